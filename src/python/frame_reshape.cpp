// DataFrame methods that derive a new frame. Argument conversion and error
// mapping only; the transforms live in kadmo/core/reshape.

#include "frame_reshape.hpp"

#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "convert.hpp"
#include "errors.hpp"
#include "kadmo/core/reshape.hpp"

namespace kadmo::py {

using core::CmpOp;
using core::DataFrame;

namespace {

// Every result but copy() is a plain frame: it never carries a time-frame
// state, so only the core frame is set.
PyDataFrame plain(DataFrame df) { return PyDataFrame{std::move(df)}; }

// UTF-8 of a str (lone surrogates kept as their bytes), or nothing for any
// other object.
std::optional<std::string> str_of(PyObject* o) {
  if (!PyUnicode_Check(o)) return std::nullopt;
  Py_ssize_t len = 0;
  if (const char* p = PyUnicode_AsUTF8AndSize(o, &len)) return std::string(p, static_cast<std::size_t>(len));
  PyErr_Clear();
  nb::object b = nb::steal(PyUnicode_AsEncodedString(o, "utf-8", "surrogatepass"));
  if (!b.is_valid()) throw nb::python_error();
  return std::string(PyBytes_AS_STRING(b.ptr()), static_cast<std::size_t>(PyBytes_GET_SIZE(b.ptr())));
}

// The items of a dict of str to str, in the dict's order.
std::vector<std::pair<std::string, std::string>> str_items(const nb::dict& d, const char* what) {
  std::vector<std::pair<std::string, std::string>> out;
  Py_ssize_t pos = 0;
  PyObject *key, *value;
  while (PyDict_Next(d.ptr(), &pos, &key, &value)) {
    auto k = str_of(key), v = str_of(value);
    if (!k || !v) raise(PyExc_TypeError, what);
    out.emplace_back(std::move(*k), std::move(*v));
  }
  return out;
}

core::Tz parse_tz(const std::string& text) { return unwrap(core::Tz::parse(text)); }

PyDataFrame astype(const PyDataFrame& s, const nb::dict& dtypes) {
  const auto items = str_items(dtypes, "astype(): `dtypes` must be a dict of column name to dtype name");
  // Datetime targets convert at once in a working copy; the other casts are
  // collected and applied together at the end.
  DataFrame work = s.df;
  std::vector<std::pair<std::string, core::DType>> casts;
  for (const auto& [name, dtype] : items) {
    if (auto unit = core::datetime_unit_of(dtype)) {
      auto r = core::replace_with_datetime(work, name, *unit);
      if (!r) {
        if (r.error().kind == core::ErrorKind::ColumnNotFound) pyerr(r.error());
        value_err(r.error());
      }
    } else {
      casts.emplace_back(name, parse_dtype(dtype));
    }
  }
  return plain(unwrap(work.astype(casts)));
}

PyDataFrame drop(const PyDataFrame& s, nb::handle labels, std::int64_t axis) {
  if (PyUnicode_Check(labels.ptr()) || PyBytes_Check(labels.ptr()))
    raise(PyExc_TypeError, "drop(): `labels` must be a list or tuple of labels, not a str");
  if (!PySequence_Check(labels.ptr())) raise(PyExc_TypeError, "drop(): `labels` must be a list or tuple of labels");
  nb::object seq = nb::steal(PySequence_Fast(labels.ptr(), "drop(): `labels` must be a list or tuple of labels"));
  if (!seq.is_valid()) throw nb::python_error();
  const Py_ssize_t n = PySequence_Fast_GET_SIZE(seq.ptr());
  PyObject** items = PySequence_Fast_ITEMS(seq.ptr());
  if (axis == 1) {
    std::vector<std::string> names;
    names.reserve(n);
    for (Py_ssize_t i = 0; i < n; ++i) {
      auto name = str_of(items[i]);
      if (!name) raise(PyExc_TypeError, "drop(axis=1): column names must be str");
      names.push_back(std::move(*name));
    }
    return plain(unwrap(core::drop_columns(s.df, names)));
  }
  std::vector<core::Label> parsed;
  parsed.reserve(n);
  for (Py_ssize_t i = 0; i < n; ++i) parsed.push_back(parse_label(items[i], s.df.index()));
  return plain(core::drop_rows(s.df, parsed));
}

PyDataFrame compare(const PyDataFrame& s, nb::handle other, CmpOp op) {
  if (nb::isinstance<PyDataFrame>(other))
    return plain(unwrap(core::compare_frames(s.df, nb::cast<const PyDataFrame&>(other).df, op)));
  const double x = PyFloat_AsDouble(other.ptr());
  if (x == -1.0 && PyErr_Occurred()) {
    PyErr_Clear();
    raise(PyExc_TypeError, "unsupported operand for a DataFrame comparison");
  }
  return plain(unwrap(core::compare_frame_scalar(s.df, x, op)));
}

}  // namespace

void add_reshape_methods(nb::class_<PyDataFrame>& cls) {
  cls.def(
         "copy", [](const PyDataFrame& s) { return PyDataFrame(s); },
         "A copy of the frame \xe2\x80\x94 preserving the cached directive columns / cursor and (for a tf-aware frame) "
         "the cumulation state, so the copy keeps folding.")
      .def(
          "head", [](const PyDataFrame& s, std::size_t n) { return plain(core::head(s.df, n)); }, nb::arg("n") = 5,
          "The first n rows.")
      .def(
          "tail", [](const PyDataFrame& s, std::size_t n) { return plain(core::tail(s.df, n)); }, nb::arg("n") = 5,
          "The last n rows.")
      .def(
          "isna", [](const PyDataFrame& s) { return plain(unwrap(core::isna_frame(s.df))); },
          "A bool frame: True where a float value is NaN.")
      .def(
          "notna", [](const PyDataFrame& s) { return plain(unwrap(core::notna_frame(s.df))); },
          "A bool frame: True where a value is present.")
      .def(
          "fillna",
          [](const PyDataFrame& s, std::optional<double> value, std::optional<std::string> method) {
            std::optional<std::string_view> m;
            if (method) m = *method;
            return plain(unwrap(core::fillna_frame(s.df, value, m)));
          },
          nb::arg("value").none() = nb::none(), nb::arg("method").none() = nb::none(),
          "Fill the NaN of every float column with a value, or by method 'ffill'/'pad' or 'bfill'/'backfill'.")
      .def(
          "dropna",
          [](const PyDataFrame& s, const std::string& how) {
            return plain(core::dropna_frame(s.df, how == "all" ? core::DropHow::All : core::DropHow::Any));
          },
          nb::arg("how") = "any",
          "Drop the rows holding NaN in any float column (how='all': only rows where every column is NaN).")
      .def("drop", &drop, nb::arg("labels"), nb::arg("axis") = 0,
           "Drop rows by label (axis=0) or columns by name (axis=1); labels is a list or tuple.")
      .def(
          "rename",
          [](const PyDataFrame& s, const nb::dict& columns) {
            core::StringMap<std::string> mapping;
            for (auto& [from, to] : str_items(columns, "rename(): `columns` must be a dict of str to str"))
              mapping[std::move(from)] = std::move(to);
            return plain(unwrap(core::rename_columns(s.df, mapping)));
          },
          nb::arg("columns"), "Rename columns by a dict {old: new}; unknown names are ignored.")
      .def("astype", &astype, nb::arg("dtypes"),
           "Cast columns to new dtypes (pandas `astype({col: dtype})`), returning a new frame.")
      .def(
          "equals",
          [](const PyDataFrame& s, const PyDataFrame& other) { return core::frame_equals(s.df, other.df); },
          nb::arg("other"), "Value equality (same columns + index + values, `NaN == NaN`).")
      .def(
          "set_index", [](const PyDataFrame& s, const std::string& keys) { return plain(unwrap(s.df.set_index(keys))); },
          nb::arg("keys"), "Move a datetime, int64 or string column into the row index.")
      .def(
          "reset_index",
          [](const PyDataFrame& s, bool drop) { return plain(unwrap(core::reset_index(s.df, drop))); },
          nb::arg("drop") = false,
          "Move the row index into an `'index'` column and restore a RangeIndex (pandas `reset_index`); `drop=True` "
          "discards the old index.")
      .def(
          "sort_index",
          [](const PyDataFrame& s, bool ascending) { return plain(core::sort_index(s.df, ascending)); },
          nb::arg("ascending") = true, "Rows ordered by index label (stable: equal labels keep their order).")
      .def(
          "tz_localize",
          [](const PyDataFrame& s, const std::string& tz) {
            return plain(unwrap(core::tz_localize(s.df, parse_tz(tz))));
          },
          nb::arg("tz"),
          "Reinterpret the index wall-clock as `tz` (pandas `tz_localize`): the displayed wall-clock is unchanged, "
          "each instant is recomputed. Use when data was ingested without a tz. Returns a new frame.")
      .def(
          "tz_convert",
          [](const PyDataFrame& s, const std::string& tz) { return plain(unwrap(s.df.tz_convert(parse_tz(tz)))); },
          nb::arg("tz"),
          "Change the index display / matching tz without moving any instant (pandas `tz_convert`). Returns a new "
          "frame.");

  static constexpr std::pair<const char*, CmpOp> kCmp[] = {
      {"__lt__", CmpOp::Lt}, {"__le__", CmpOp::Le}, {"__eq__", CmpOp::Eq},
      {"__ne__", CmpOp::Ne}, {"__ge__", CmpOp::Ge}, {"__gt__", CmpOp::Gt},
  };
  for (const auto& [name, op] : kCmp) {
    const CmpOp o = op;
    cls.def(name, [o](const PyDataFrame& s, nb::handle other) { return compare(s, other, o); },
            nb::arg("other").none());
  }
  // == is element-wise, so frames cannot be dict keys (as in pandas); NumPy
  // scalars on the left defer to the frame's reflected comparison.
  cls.attr("__hash__") = nb::none();
  cls.attr("__array_priority__") = 1000.0;
}

}  // namespace kadmo::py
