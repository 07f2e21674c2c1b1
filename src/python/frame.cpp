#include <nanobind/nanobind.h>
#include <nanobind/ndarray.h>
#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>

#include <cstring>

#include "convert.hpp"
#include "csv.hpp"
#include "errors.hpp"
#include "frame_reshape.hpp"
#include "indexers.hpp"
#include "objects.hpp"
#include "row_timestamp.hpp"
#include "timeframe.hpp"

namespace kadmo::py {

using core::Column;
using core::DataFrame;
using core::DType;

namespace {

DataFrame frame_from_dict(nb::handle data) {
  std::vector<std::string> names;
  std::vector<Column> cols;
  const Py_ssize_t size0 = PyDict_Size(data.ptr());
  names.reserve(size0);
  cols.reserve(size0);
  Py_ssize_t pos = 0;
  PyObject *key, *value;
  while (PyDict_Next(data.ptr(), &pos, &key, &value)) {
    if (!PyUnicode_Check(key))
      raise(PyExc_TypeError, std::string("DataFrame(data): column names must be str, not ") + Py_TYPE(key)->tp_name);
    nb::object k = nb::borrow(key), v = nb::borrow(value);
    Py_ssize_t len = 0;
    const char* s = PyUnicode_AsUTF8AndSize(key, &len);
    if (!s) throw nb::python_error();
    names.emplace_back(s, static_cast<std::size_t>(len));
    cols.push_back(pyany_to_column(v));
    if (PyDict_Size(data.ptr()) != size0) raise(PyExc_RuntimeError, "dictionary changed size during iteration");
  }
  return unwrap(DataFrame::make(std::move(names), std::move(cols)));
}

bool has_string_column(const DataFrame& df) {
  for (const auto& c : df.columns())
    if (c.dtype() == DType::Object) return true;
  return false;
}

nb::object float_matrix(const DataFrame& df) {
  // NumPy allocates (huge pages for big arrays), the core fills in place.
  nb::object arr = numpy().attr("empty")(nb::make_tuple(df.height(), df.width()), "float64");
  nb::ndarray<double, nb::ndim<2>, nb::c_contig> view;
  if (!nb::try_cast(arr, view, false)) raise(PyExc_RuntimeError, "could not allocate the export array");
  df.to_row_major_f64(view.data());
  return arr;
}

nb::object object_matrix(const DataFrame& df) {
  const std::size_t h = df.height(), w = df.width();
  nb::list rows;
  for (std::size_t i = 0; i < h; ++i) {
    nb::list row;
    for (std::size_t j = 0; j < w; ++j) row.append(scalar_to_py(df.column_at(j), i));
    rows.append(row);
  }
  nb::object arr = numpy().attr("array")(rows, nb::arg("dtype") = "object");
  if (h == 0) arr = arr.attr("reshape")(nb::make_tuple(0, w));
  return arr;
}

bool names_float_type(const std::string& dtype) {
  if (dtype == "f32" || dtype == "f64" || dtype == "float" || dtype == "double" ||
      dtype.find("float") != std::string::npos)
    return true;
  try {
    return nb::cast<std::string>(numpy().attr("dtype")(dtype).attr("kind")) == "f";
  } catch (nb::python_error&) {
    return false;
  }
}

bool names_object_type(const std::string& dtype) {
  if (dtype == "object" || dtype == "O") return true;
  try {
    return nb::cast<std::string>(numpy().attr("dtype")(dtype).attr("kind")) == "O";
  } catch (nb::python_error&) {
    return false;
  }
}

nb::object frame_to_numpy(const DataFrame& df, const std::optional<std::string>& dtype) {
  stale_guard(df.has_stale_computed());
  if (!has_string_column(df)) {
    nb::object m = float_matrix(df);
    return dtype ? m.attr("astype")(*dtype) : m;
  }
  if (!dtype || names_object_type(*dtype)) return object_matrix(df);
  if (names_float_type(*dtype)) raise(PyExc_ValueError, "cannot convert a string column to " + *dtype);
  return float_matrix(df).attr("astype")(*dtype);
}

nb::object frame_to_pandas(const DataFrame& df) {
  stale_guard(df.has_stale_computed());
  nb::module_ pd = nb::module_::import_("pandas");
  nb::dict d;
  for (std::size_t j = 0; j < df.width(); ++j) d[nb::str(df.names()[j].c_str())] = column_to_numpy(df.column_at(j));
  nb::object out = pd.attr("DataFrame")(d, nb::arg("index") = index_to_numpy(df.index()));
  if (auto tz = df.index().tz(); tz && !tz->is_utc()) {
    nb::object idx = out.attr("index").attr("tz_localize")("UTC").attr("tz_convert")(tz->name());
    out.attr("index") = idx;
  }
  return out;
}

}  // namespace

PySeries series_from_frame(const PyDataFrame& self, const std::string& key) {
  auto pos = self.df.column_pos(key);
  if (!pos) pyerr(core::KadmoError::column_not_found(key));
  return PySeries{self.df.column_at(*pos), key, self.df.index_ptr()};
}

void register_dataframe(nb::module_& m) {
  nb::class_<PyDataFrame> cls(m, "DataFrame",
                              "A columnar table of market bars with cached directive (indicator) columns.");
  cls.def(
          "__init__",
          [](PyDataFrame* self, nb::handle data, nb::handle time_frame, std::optional<nb::dict> cumulators) {
            DataFrame df;
            std::optional<time::TfState> tf;
            if (nb::isinstance<PyDataFrame>(data)) {
              const auto& src = nb::cast<PyDataFrame&>(data);
              df = src.df;
              tf = src.tf;
            } else if (PyDict_Check(data.ptr())) {
              df = frame_from_dict(data);
            } else {
              raise(PyExc_TypeError,
                    "DataFrame(data): data must be a dict of columns or a kadmo DataFrame (for a pandas DataFrame use "
                    "from_pandas)");
            }
            if (time_frame.is_none()) {
              if (cumulators) raise(PyExc_ValueError, "cumulators requires time_frame");
            } else {
              const time::TimeFrame target = resolve_time_frame(time_frame);
              if (df.index().kind() != core::Index::Kind::Datetime)
                raise(PyExc_ValueError,
                      "time_frame requires a DatetimeIndex (build one with to_datetime(df[col]) then "
                      "df.set_index(col))");
              // Existing rows are all completed periods: no pending bars.
              tf = time::TfState{std::nullopt, build_agg_spec(cumulators ? nb::handle(*cumulators) : nb::none()),
                                 target};
            }
            new (self) PyDataFrame{std::move(df), std::move(tf)};
          },
          nb::arg("data"), nb::arg("time_frame").none() = nb::none(), nb::arg("cumulators").none() = nb::none())
      .def("__len__", [](const PyDataFrame& s) { return s.df.height(); })
      .def("__bool__",
           [](const PyDataFrame&) -> bool {
             raise(PyExc_ValueError,
                   "The truth value of a DataFrame is ambiguous \xe2\x80\x94 use len(df) or an explicit reduction");
           })
      .def("__repr__",
           [](const PyDataFrame& s) {
             std::string r = "DataFrame(columns=[";
             const auto& names = s.df.names();
             for (std::size_t i = 0; i < names.size(); ++i) {
               if (i) r += ", ";
               r += core::quoted(names[i]);
             }
             r += "], shape=(" + std::to_string(s.df.height()) + ", " + std::to_string(s.df.width()) + "))";
             return r;
           })
      .def_prop_ro("columns",
                   [](const PyDataFrame& s) {
                     nb::list l;
                     for (const auto& n : s.df.names()) l.append(nb::str(n.data(), n.size()));
                     return l;
                   })
      .def_prop_ro("dtypes",
                   [](const PyDataFrame& s) {
                     nb::dict d;
                     for (std::size_t i = 0; i < s.df.width(); ++i) {
                       auto dn = core::dtype_name(s.df.column_at(i).dtype());
                       d[nb::str(s.df.names()[i].data(), s.df.names()[i].size())] = nb::str(dn.data(), dn.size());
                     }
                     return d;
                   })
      .def_prop_ro("shape", [](const PyDataFrame& s) { return nb::make_tuple(s.df.height(), s.df.width()); })
      .def_prop_ro("index", [](const PyDataFrame& s) { return index_to_numpy(s.df.index()); })
      .def_prop_ro("tz",
                   [](const PyDataFrame& s) -> nb::object {
                     auto tz = s.df.index().tz();
                     if (!tz || tz->is_utc()) return nb::none();
                     return nb::str(tz->name().c_str());
                   })
      .def("get_column", [](const PyDataFrame& s, const std::string& key) { return series_from_frame(s, key); },
           nb::arg("key"))
      .def("__contains__", [](const PyDataFrame& s, const std::string& key) { return s.df.has_column(key); },
           nb::arg("key"))
      .def("__iter__",
           [](const PyDataFrame& s) {
             nb::list l;
             for (const auto& n : s.df.names()) l.append(nb::str(n.data(), n.size()));
             return nb::iter(l);
           })
      .def("to_numpy", [](const PyDataFrame& s, std::optional<std::string> dtype) { return frame_to_numpy(s.df, dtype); },
           nb::arg("dtype").none() = nb::none())
      .def("to_pandas", [](const PyDataFrame& s) { return frame_to_pandas(s.df); })
      .def(
          "append",
          [](nb::handle self, nb::handle other) -> nb::handle {
            auto& me = nb::cast<PyDataFrame&>(self);
            const DataFrame* rows = nullptr;
            if (nb::isinstance<PyDataFrame>(other)) rows = &nb::cast<PyDataFrame&>(other).df;
            else if (nb::isinstance<PyRow>(other)) rows = &nb::cast<PyRow&>(other).frame;
            else raise(PyExc_TypeError, "append expects a DataFrame or Row");
            // Both snapshot a self-append themselves.
            if (me.tf) unwrap(time::fold_append(me.df, *me.tf, *rows));
            else unwrap(me.df.append(*rows));
            return self;
          },
          nb::arg("other"),
          "Append the rows of another DataFrame or a single Row **in place** and return the same frame (amortized "
          "O(1), like ``list.append`` \xe2\x80\x94 the live single-bar hot path, no full-column copy).")
      .def(
          "alias",
          [](PyDataFrame& s, const std::string& as_name, const std::string& src_name) {
            if (s.df.has_column(as_name))
              pyerr(core::KadmoError::value("column \"" + as_name + "\" already exists"));
            if (!s.df.has_column(src_name)) pyerr(core::KadmoError::value("column \"" + src_name + "\" not exists"));
            // Store the final target so an alias of an alias resolves in one step.
            s.df.set_alias(as_name, std::string(s.df.resolve(src_name)));
          },
          nb::arg("as_name"), nb::arg("src_name"));
  add_directive_methods(cls);
  add_frame_indexers(cls);
  add_csv_methods(cls);
  add_reshape_methods(cls);
  add_cumulate_methods(cls);
}

}  // namespace kadmo::py
