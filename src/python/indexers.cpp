#include "indexers.hpp"

#include <nanobind/ndarray.h>

#include <optional>
#include <string>
#include <vector>

#include "convert.hpp"
#include "errors.hpp"
#include "kadmo/core/selection.hpp"
#include "row_timestamp.hpp"

namespace kadmo::py {

namespace {

using core::Column;
using core::DataFrame;
using core::DType;

constexpr const char* kOutOfRange = "index out of range";

// The indexers hold their frame (a strong reference: writes reach the very
// object the user holds) or a copy of their series.
struct PyDataFrameILoc {
  nb::object frame;
};
struct PyDataFrameLoc {
  nb::object frame;
};
struct PyDataFrameIat {
  nb::object frame;
};
struct PyDataFrameAt {
  nb::object frame;
};
struct PySeriesILoc {
  PySeries s;
};
struct PySeriesLoc {
  PySeries s;
};

PyDataFrame& frame_of(const nb::object& o) { return nb::cast<PyDataFrame&>(o); }

[[noreturn]] void cant_delete() { raise(PyExc_NotImplementedError, "can't delete item"); }

// ---- keys -----------------------------------------------------------------

// UTF-8 of a str; lone surrogates pass through as their bytes, so they can
// only miss, never fail.
std::string text_of(nb::handle h) {
  Py_ssize_t len = 0;
  if (const char* s = PyUnicode_AsUTF8AndSize(h.ptr(), &len)) return std::string(s, static_cast<std::size_t>(len));
  PyErr_Clear();
  nb::object b = nb::steal(PyUnicode_AsEncodedString(h.ptr(), "utf-8", "surrogatepass"));
  if (!b.is_valid()) throw nb::python_error();
  return std::string(PyBytes_AS_STRING(b.ptr()), static_cast<std::size_t>(PyBytes_GET_SIZE(b.ptr())));
}

// int, bool and integer scalars such as NumPy's; arrays have __index__ too
// (for 0-d) but are sequences, read as lists.
bool is_int_key(nb::handle h) {
  return PyLong_Check(h.ptr()) || (PyIndex_Check(h.ptr()) && !PySequence_Check(h.ptr()));
}

// Python's integer conversion of an __index__ object; none on overflow.
std::optional<std::int64_t> int_value(nb::handle h) {
  nb::object i = nb::steal(PyNumber_Index(h.ptr()));
  if (!i.is_valid()) throw nb::python_error();
  int overflow = 0;
  const long long v = PyLong_AsLongLongAndOverflow(i.ptr(), &overflow);
  if (overflow) return std::nullopt;
  if (v == -1 && PyErr_Occurred()) throw nb::python_error();
  return v;
}

std::size_t position(nb::handle h, std::size_t n) {
  auto v = int_value(h);
  std::optional<std::size_t> p = v ? core::normalize_position(*v, n) : std::nullopt;
  if (!p) raise(PyExc_IndexError, kOutOfRange);
  return *p;
}

bool is_ndarray(nb::handle h) {
  static nb::object cls = numpy().attr("ndarray");
  return PyObject_IsInstance(h.ptr(), cls.ptr()) == 1;
}

bool is_numpy_bool(nb::handle h) {
  static nb::object cls = numpy().attr("bool_");
  return PyObject_IsInstance(h.ptr(), cls.ptr()) == 1;
}

const PySeries* as_series(nb::handle h) {
  return nb::isinstance<PySeries>(h) ? &nb::cast<const PySeries&>(h) : nullptr;
}

// A 1-D NumPy array of one of the element types, copied; none otherwise.
template <class T>
std::optional<std::vector<T>> array_values(nb::handle h) {
  if (!is_ndarray(h)) return std::nullopt;
  nb::ndarray<nb::ro, nb::ndim<1>> a;
  if (!nb::try_cast(h, a, false) || a.dtype() != nb::dtype<T>()) return std::nullopt;
  const T* p = static_cast<const T*>(a.data());
  std::vector<T> out(a.shape(0));
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = p[static_cast<std::int64_t>(i) * a.stride(0)];
  return out;
}

// A boolean mask of exactly n values: a NumPy bool array, a bool Series or a
// list of Python bools. Other lengths are not masks.
std::optional<std::vector<std::size_t>> mask_key(nb::handle key, std::size_t n) {
  if (const PySeries* s = as_series(key)) {
    if (auto* b = s->column.bool_values(); b && b->size() == n) return core::mask_positions(*b);
    return std::nullopt;
  }
  if (PyList_Check(key.ptr())) {
    const Py_ssize_t len = PyList_GET_SIZE(key.ptr());
    if (static_cast<std::size_t>(len) != n) return std::nullopt;
    std::vector<std::uint8_t> m(n);
    for (Py_ssize_t i = 0; i < len; ++i) {
      PyObject* it = PyList_GET_ITEM(key.ptr(), i);
      if (!PyBool_Check(it)) return std::nullopt;
      m[static_cast<std::size_t>(i)] = it == Py_True;
    }
    return core::mask_positions(m);
  }
  if (auto b = array_values<bool>(key); b && b->size() == n) {
    std::vector<std::uint8_t> m(b->begin(), b->end());
    return core::mask_positions(m);
  }
  return std::nullopt;
}

// Positions of a Python slice over n items, in slice order.
std::vector<std::size_t> slice_positions(nb::handle key, std::size_t n) {
  Py_ssize_t start = 0, stop = 0, step = 0;
  if (PySlice_Unpack(key.ptr(), &start, &stop, &step) < 0) throw nb::python_error();
  const Py_ssize_t count = PySlice_AdjustIndices(static_cast<Py_ssize_t>(n), &start, &stop, step);
  std::vector<std::size_t> out(static_cast<std::size_t>(count));
  for (Py_ssize_t k = 0; k < count; ++k) out[static_cast<std::size_t>(k)] = static_cast<std::size_t>(start + k * step);
  return out;
}

// A sequence of integers (list, tuple, integer array, int or bool Series),
// each counted from the end when negative and range-checked; none when the
// key is not such a sequence.
std::optional<std::vector<std::size_t>> int_list_key(nb::handle key, std::size_t n) {
  std::vector<std::int64_t> raw;
  bool overflow = false;
  if (const PySeries* s = as_series(key)) {
    if (auto* i = s->column.i64_values()) raw = *i;
    else if (auto* b = s->column.bool_values()) raw.assign(b->begin(), b->end());
    else return std::nullopt;
  } else if (auto a = array_values<std::int64_t>(key)) {
    raw = std::move(*a);
  } else {
    if (PyUnicode_Check(key.ptr()) || PyBytes_Check(key.ptr()) || PyByteArray_Check(key.ptr()) ||
        !PySequence_Check(key.ptr()))
      return std::nullopt;
    nb::object seq = nb::steal(PySequence_Fast(key.ptr(), "not a sequence"));
    if (!seq.is_valid()) {
      PyErr_Clear();
      return std::nullopt;
    }
    const Py_ssize_t len = PySequence_Fast_GET_SIZE(seq.ptr());
    PyObject** items = PySequence_Fast_ITEMS(seq.ptr());
    raw.reserve(static_cast<std::size_t>(len));
    for (Py_ssize_t i = 0; i < len; ++i) {
      if (!PyIndex_Check(items[i])) return std::nullopt;
      auto v = int_value(items[i]);
      if (!v) overflow = true;
      raw.push_back(v.value_or(0));
    }
  }
  if (overflow) raise(PyExc_IndexError, kOutOfRange);
  std::vector<std::size_t> out;
  out.reserve(raw.size());
  for (auto v : raw) {
    auto p = core::normalize_position(v, n);
    if (!p) raise(PyExc_IndexError, kOutOfRange);
    out.push_back(*p);
  }
  return out;
}

// A resolved row key: one row (an int or a single label) or several.
// Contiguous keys (a step-1 slice, a label slice) keep only their span
// [lo, hi) until positions are asked for, so whole-column reads stay O(1).
struct Rows {
  std::vector<std::size_t> pos;
  bool single = false;
  std::optional<std::pair<std::size_t, std::size_t>> span = std::nullopt;

  static Rows contiguous(std::size_t lo, std::size_t hi) { return Rows{{}, false, std::pair{lo, hi}}; }
  bool all_of(std::size_t n) const { return span ? span->first == 0 && span->second == n : core::is_all_rows(pos, n); }
  const std::vector<std::size_t>& positions() {
    if (span && pos.size() != span->second - span->first) {
      pos.resize(span->second - span->first);
      for (std::size_t i = 0; i < pos.size(); ++i) pos[i] = span->first + i;
    }
    return pos;
  }
};

Rows iloc_rows(nb::handle key, std::size_t n) {
  if (auto m = mask_key(key, n)) return Rows{std::move(*m)};
  if (is_int_key(key)) return Rows{{position(key, n)}, true};
  if (PySlice_Check(key.ptr())) {
    Py_ssize_t start = 0, stop = 0, step = 0;
    if (PySlice_Unpack(key.ptr(), &start, &stop, &step) < 0) throw nb::python_error();
    const Py_ssize_t count = PySlice_AdjustIndices(static_cast<Py_ssize_t>(n), &start, &stop, step);
    if (step == 1) {
      const auto lo = static_cast<std::size_t>(count > 0 ? start : 0);
      return Rows::contiguous(lo, lo + static_cast<std::size_t>(count));
    }
    return Rows{slice_positions(key, n)};
  }
  if (auto l = int_list_key(key, n)) return Rows{std::move(*l)};
  raise(PyExc_TypeError, "iloc row selector must be an int, slice, int list, or boolean mask");
}

std::size_t label_position(const core::Index& idx, nb::handle key) {
  auto p = idx.position_of(parse_label(key, idx));
  if (!p) raise(PyExc_KeyError, "label not found");
  return *p;
}

std::optional<core::Label> slice_bound(nb::handle b, const core::Index& idx) {
  if (b.is_none()) return std::nullopt;
  return parse_label(b, idx);
}

std::pair<std::size_t, std::size_t> label_span(nb::handle key, const core::Index& idx) {
  nb::object start = nb::steal(PyObject_GetAttrString(key.ptr(), "start"));
  nb::object stop = nb::steal(PyObject_GetAttrString(key.ptr(), "stop"));
  if (!start.is_valid() || !stop.is_valid()) throw nb::python_error();
  // Both bounds are read before the range is looked up, start first.
  auto a = slice_bound(start, idx);
  auto b = slice_bound(stop, idx);
  return idx.label_slice(a, b);
}

Rows loc_rows(nb::handle key, const DataFrame& df) {
  const core::Index& idx = df.index();
  if (auto m = mask_key(key, df.height())) return Rows{std::move(*m)};
  if (PySlice_Check(key.ptr())) {
    auto [lo, hi] = label_span(key, idx);
    return Rows::contiguous(lo, hi);
  }
  if (PyList_Check(key.ptr()) || PyTuple_Check(key.ptr()) || is_ndarray(key)) {
    nb::object seq = nb::steal(PySequence_Fast(key.ptr(), "labels must be a sequence"));
    if (!seq.is_valid()) throw nb::python_error();
    const Py_ssize_t len = PySequence_Fast_GET_SIZE(seq.ptr());
    PyObject** items = PySequence_Fast_ITEMS(seq.ptr());
    Rows r;
    r.pos.reserve(static_cast<std::size_t>(len));
    for (Py_ssize_t i = 0; i < len; ++i) r.pos.push_back(label_position(idx, items[i]));
    return r;
  }
  return Rows{{label_position(idx, key)}, true};
}

// A resolved column key: positions, the names the results carry, and
// whether it named one column.
struct Cols {
  std::vector<std::size_t> pos;
  bool single = false;
};

Cols iloc_cols(nb::handle key, std::size_t w) {
  if (is_int_key(key)) return Cols{{position(key, w)}, true};
  if (PySlice_Check(key.ptr())) return Cols{slice_positions(key, w)};
  if (auto l = int_list_key(key, w)) return Cols{std::move(*l)};
  raise(PyExc_TypeError, "iloc column selector must be an int, slice, or int list");
}

std::size_t column_position(const DataFrame& df, nb::handle name) {
  const std::string n = text_of(name);
  auto p = df.column_pos(n);
  if (!p) pyerr(core::KadmoError::column_not_found(n));
  return *p;
}

[[noreturn]] void bad_loc_cols() {
  raise(PyExc_TypeError, "loc column selector must be a name, name list, or name slice");
}

Cols loc_cols(nb::handle key, const DataFrame& df) {
  if (PyUnicode_Check(key.ptr())) return Cols{{column_position(df, key)}, true};
  if (PyList_Check(key.ptr())) {
    const Py_ssize_t len = PyList_GET_SIZE(key.ptr());
    for (Py_ssize_t i = 0; i < len; ++i)
      if (!PyUnicode_Check(PyList_GET_ITEM(key.ptr(), i))) bad_loc_cols();
    // Looking names up runs no Python code, so the borrowed items stay valid.
    Cols c;
    for (Py_ssize_t i = 0; i < len; ++i) c.pos.push_back(column_position(df, PyList_GET_ITEM(key.ptr(), i)));
    return c;
  }
  if (PySlice_Check(key.ptr())) {
    auto* sl = reinterpret_cast<PySliceObject*>(key.ptr());
    auto end = [&](PyObject* b) -> std::optional<std::size_t> {
      if (b == Py_None) return std::nullopt;
      if (!PyUnicode_Check(b)) bad_loc_cols();
      return column_position(df, b);
    };
    auto a = end(sl->start);
    auto b = end(sl->stop);
    return Cols{core::inclusive_positions(a, b, df.width())};
  }
  bad_loc_cols();
}

// ---- reads ----------------------------------------------------------------

std::vector<std::string> names_at(const DataFrame& df, const std::vector<std::size_t>& cols) {
  std::vector<std::string> out;
  out.reserve(cols.size());
  for (auto j : cols) out.push_back(df.names()[j]);
  return out;
}

nb::object select_2d(const DataFrame& df, Rows& rows, const Cols& cols) {
  if (cols.single) {
    const std::size_t j = cols.pos[0];
    if (rows.single) return scalar_to_py(df.column_at(j), rows.pos[0]);
    // Every row in order: the column as stored (a writer copies it first).
    if (rows.all_of(df.height())) return nb::cast(PySeries{df.column_at(j), df.names()[j], df.index_ptr()});
    const auto& pos = rows.positions();
    return nb::cast(PySeries{df.column_at(j).take(pos), df.names()[j],
                             std::make_shared<core::Index>(df.index().take(pos))});
  }
  auto names = names_at(df, cols.pos);
  DataFrame out = unwrap(core::project(df, cols.pos, names, rows.positions()));
  if (rows.single) return nb::cast(PyRow{std::move(out)});
  return nb::cast(PyDataFrame{std::move(out)});
}

nb::object frame_rows(const DataFrame& df, const Rows& rows) {
  if (rows.single) return make_row(df, rows.pos[0]);
  if (rows.span) return nb::cast(PyDataFrame{df.slice(rows.span->first, rows.span->second)});
  return nb::cast(PyDataFrame{df.take(rows.pos)});
}

bool is_pair(nb::handle key) { return PyTuple_Check(key.ptr()) && PyTuple_GET_SIZE(key.ptr()) == 2; }

nb::object iloc_get(const DataFrame& df, nb::handle key) {
  stale_guard(df.has_stale_computed());
  if (is_pair(key)) {
    nb::tuple t = nb::borrow<nb::tuple>(key);
    Rows rows = iloc_rows(t[0], df.height());
    Cols cols = iloc_cols(t[1], df.width());
    return select_2d(df, rows, cols);
  }
  return frame_rows(df, iloc_rows(key, df.height()));
}

nb::object loc_get(const DataFrame& df, nb::handle key) {
  stale_guard(df.has_stale_computed());
  if (is_pair(key)) {
    nb::tuple t = nb::borrow<nb::tuple>(key);
    Rows rows = loc_rows(t[0], df);
    Cols cols = loc_cols(t[1], df);
    return select_2d(df, rows, cols);
  }
  return frame_rows(df, loc_rows(key, df));
}

std::pair<std::size_t, std::size_t> iat_key(const DataFrame& df, nb::handle key) {
  if (!is_pair(key)) raise(PyExc_TypeError, "iat key must be a (row, column) pair of integers");
  nb::tuple t = nb::borrow<nb::tuple>(key);
  if (!is_int_key(t[0]) || !is_int_key(t[1]))
    raise(PyExc_TypeError, "iat key must be a (row, column) pair of integers");
  return {position(t[0], df.height()), position(t[1], df.width())};
}

std::pair<std::size_t, std::size_t> at_key(const DataFrame& df, nb::handle key) {
  if (!is_pair(key)) raise(PyExc_TypeError, "at key must be a (label, column) pair");
  nb::tuple t = nb::borrow<nb::tuple>(key);
  if (!PyUnicode_Check(t[1].ptr())) raise(PyExc_TypeError, "at column must be a column name");
  const std::size_t row = label_position(df.index(), t[0]);
  return {row, column_position(df, t[1])};
}

// ---- writes ---------------------------------------------------------------

[[noreturn]] void bad_column_values() {
  raise(PyExc_TypeError, "column values must be a 1-D numeric array, a list of numbers, or a list of strings");
}

// One scalar as a one-value column for a column of dtype dt.
Column scalar_to_column(nb::handle v, DType dt) {
  auto as_double = [&](nb::handle h) -> std::optional<double> {
    if (PyUnicode_Check(h.ptr())) return std::nullopt;
    const double x = PyFloat_AsDouble(h.ptr());
    if (x == -1.0 && PyErr_Occurred()) {
      PyErr_Clear();
      return std::nullopt;
    }
    return x;
  };
  switch (dt) {
    case DType::Float64: {
      auto x = as_double(v);
      if (!x) raise(PyExc_TypeError, "expected a number");
      return Column::f64({*x});
    }
    case DType::Int64: {
      if (!PyFloat_Check(v.ptr()) && is_int_key(v)) {
        auto i = int_value(v);
        // Saturating would store a different number.
        if (!i) raise(PyExc_OverflowError, "int too large for an int64 column");
        return Column::i64({*i});
      }
      // A float stays a float: a whole number is stored as an int, a
      // fraction or NaN turns the column into float64.
      auto x = as_double(v);
      if (!x) raise(PyExc_TypeError, "expected a number");
      return Column::f64({*x});
    }
    case DType::Bool:
      if (PyBool_Check(v.ptr())) return Column::boolean({static_cast<std::uint8_t>(v.ptr() == Py_True)});
      if (is_numpy_bool(v)) return Column::boolean({static_cast<std::uint8_t>(PyObject_IsTrue(v.ptr()) == 1)});
      raise(PyExc_TypeError, "expected a bool");
    case DType::Object:
      if (!PyUnicode_Check(v.ptr())) raise(PyExc_TypeError, "expected a string");
      return Column::str({text_of(v)});
    case DType::Datetime: return Column::datetime({parse_ts_in_tz(v, core::Tz::utc())});
  }
  raise(PyExc_TypeError, "expected a number");
}

Column resolve_assignment(nb::handle v, DType dt, std::size_t m) {
  if (!PyUnicode_Check(v.ptr()) && PyObject_HasAttrString(v.ptr(), "__len__")) {
    if (nb::isinstance<PyDataFrame>(v)) bad_column_values();
    const PySeries* s = as_series(v);
    Column c = s ? s->column : pyany_to_column(v);
    if (c.len() != m)
      raise(PyExc_ValueError,
            "cannot assign " + std::to_string(c.len()) + " values to " + std::to_string(m) + " selected rows");
    return c;
  }
  return scalar_to_column(v, dt);
}

void assign(PyDataFrame& f, std::size_t col, const std::vector<std::size_t>& rows, nb::handle value) {
  Column v = resolve_assignment(value, f.df.column_at(col).dtype(), rows.size());
  unwrap(f.df.assign_positions(col, rows, v));
}

nb::tuple assignment_key(nb::handle key, const char* which) {
  if (!PyTuple_Check(key.ptr()))
    raise(PyExc_TypeError, std::string(which) + " assignment needs a (rows, column) key, e.g. df." + which +
                               "[mask, 'col'] = value");
  if (PyTuple_GET_SIZE(key.ptr()) != 2)
    raise(PyExc_TypeError, std::string(which) + " assignment key must be (rows, column)");
  return nb::borrow<nb::tuple>(key);
}

void iloc_set(PyDataFrame& f, nb::handle key, nb::handle value) {
  stale_guard(f.df.has_stale_computed());
  nb::tuple t = assignment_key(key, "iloc");
  Rows rows = iloc_rows(t[0], f.df.height());
  // Python's own integer conversion error for a non-int column.
  auto j = int_value(t[1]);
  std::optional<std::size_t> col = j ? core::normalize_position(*j, f.df.width()) : std::nullopt;
  if (!col) raise(PyExc_IndexError, kOutOfRange);
  assign(f, *col, rows.positions(), value);
}

void loc_set(PyDataFrame& f, nb::handle key, nb::handle value) {
  stale_guard(f.df.has_stale_computed());
  nb::tuple t = assignment_key(key, "loc");
  if (!PyUnicode_Check(t[1].ptr())) raise(PyExc_TypeError, "loc assignment column must be a single column name");
  Rows rows = loc_rows(t[0], f.df);
  assign(f, column_position(f.df, t[1]), rows.positions(), value);
}

// df[name] = value: a whole column, new or replacing the one name resolves to.
Column whole_column(const DataFrame& df, nb::handle v) {
  if (const PySeries* s = as_series(v)) return s->column;
  // A frame iterates its column names; never store those as values.
  if (nb::isinstance<PyDataFrame>(v)) bad_column_values();
  const std::size_t h = df.height();
  if (PyBool_Check(v.ptr()) || is_numpy_bool(v))
    return Column::boolean(std::vector<std::uint8_t>(h, PyObject_IsTrue(v.ptr()) == 1));
  if (!PyUnicode_Check(v.ptr()) && !PySequence_Check(v.ptr()) && PyNumber_Check(v.ptr())) {
    const double x = PyFloat_AsDouble(v.ptr());
    if (!(x == -1.0 && PyErr_Occurred())) return Column::f64(std::vector<double>(h, x));
    PyErr_Clear();
  }
  return pyany_to_column(v);
}

void set_whole_column(PyDataFrame& f, nb::str name, nb::handle value) {
  const std::string n = text_of(name);
  Column c = whole_column(f.df, value);
  const auto existing = f.df.column_pos(n);
  unwrap(f.df.set_column(n, std::move(c)));
  // The replaced column's own cache entry goes (a refresh would overwrite the
  // new values); every other cached column may depend on it and restarts.
  if (existing) f.df.invalidate_computed_on_write_at(*existing);
}

// ---- series ---------------------------------------------------------------

PySeries series_rows(const PySeries& s, std::span<const std::size_t> rows) {
  return PySeries{core::take_rows(s.column, rows), s.name, core::take_index(s.index, rows)};
}

nb::object series_iloc(const PySeries& s, nb::handle key) {
  const std::size_t n = s.column.len();
  if (is_int_key(key)) return scalar_to_py(s.column, position(key, n));
  if (PySlice_Check(key.ptr())) return nb::cast(series_rows(s, slice_positions(key, n)));
  raise(PyExc_TypeError, "iloc key must be an integer or slice");
}

nb::object series_loc(const PySeries& s, nb::handle key) {
  if (PySlice_Check(key.ptr())) {
    auto [lo, hi] = label_span(key, *s.index);
    std::vector<std::size_t> rows(hi - lo);
    for (std::size_t i = lo; i < hi; ++i) rows[i - lo] = i;
    return nb::cast(series_rows(s, rows));
  }
  return scalar_to_py(s.column, label_position(*s.index, key));
}

// Item protocol of one indexer class: reads, writes (or a read-only
// refusal) and the refusal to delete. Keys and values may be None, so that
// the indexers' own messages, not the binding layer's, report them.
template <class X, class Get, class Set>
void item_protocol(nb::class_<X>& cls, Get get, Set set) {
  cls.def("__getitem__", get, nb::arg("key").none())
      .def("__setitem__", set, nb::arg("key").none(), nb::arg("value").none())
      .def("__delitem__", [](X&, nb::handle) { cant_delete(); }, nb::arg("key").none());
}

// One cell read and written through a key that names its row and column.
template <class X, class Key>
void cell_protocol(nb::class_<X>& cls, Key key) {
  item_protocol(
      cls,
      [key](const X& x, nb::handle k) {
        const DataFrame& df = frame_of(x.frame).df;
        stale_guard(df.has_stale_computed());
        auto [i, j] = key(df, k);
        return scalar_to_py(df.column_at(j), i);
      },
      [key](X& x, nb::handle k, nb::handle value) {
        PyDataFrame& f = frame_of(x.frame);
        stale_guard(f.df.has_stale_computed());
        auto [i, j] = key(f.df, k);
        assign(f, j, {i}, value);
      });
}

template <class X>
auto read_only(const char* type_name) {
  return [type_name](X&, nb::handle, nb::handle) {
    raise(PyExc_TypeError, std::string("'") + type_name + "' object does not support item assignment");
  };
}

}  // namespace

void register_indexer_classes(nb::module_& m) {
  nb::class_<PyDataFrameILoc> iloc(m, "DataFrameILoc", "Positional selection and assignment: df.iloc[rows, cols].");
  item_protocol(
      iloc, [](const PyDataFrameILoc& x, nb::handle key) { return iloc_get(frame_of(x.frame).df, key); },
      [](PyDataFrameILoc& x, nb::handle key, nb::handle value) { iloc_set(frame_of(x.frame), key, value); });

  nb::class_<PyDataFrameLoc> loc(m, "DataFrameLoc",
                                 "Label selection and assignment: df.loc[labels, columns]. A bare string on a "
                                 "datetime index is a wall clock in the index's zone; a Timestamp is an absolute "
                                 "instant.");
  item_protocol(
      loc, [](const PyDataFrameLoc& x, nb::handle key) { return loc_get(frame_of(x.frame).df, key); },
      [](PyDataFrameLoc& x, nb::handle key, nb::handle value) { loc_set(frame_of(x.frame), key, value); });

  nb::class_<PyDataFrameIat> iat(m, "DataFrameIat", "One cell by position: df.iat[row, column].");
  cell_protocol(iat, iat_key);

  nb::class_<PyDataFrameAt> at(m, "DataFrameAt", "One cell by label and column name: df.at[label, column].");
  cell_protocol(at, at_key);

  nb::class_<PySeriesILoc> siloc(m, "SeriesILoc", "Read-only positional access to a Series: s.iloc[i], s.iloc[a:b].");
  item_protocol(
      siloc, [](const PySeriesILoc& x, nb::handle key) { return series_iloc(x.s, key); },
      read_only<PySeriesILoc>("SeriesILoc"));

  nb::class_<PySeriesLoc> sloc(m, "SeriesLoc", "Read-only label access to a Series: s.loc[label], s.loc[a:b].");
  item_protocol(
      sloc, [](const PySeriesLoc& x, nb::handle key) { return series_loc(x.s, key); },
      read_only<PySeriesLoc>("SeriesLoc"));
}

void add_frame_indexers(nb::class_<PyDataFrame>& cls) {
  cls.def_prop_ro("iloc", [](nb::handle self) { return PyDataFrameILoc{nb::borrow(self)}; },
                  "Positional indexer (rows, columns by position); assignment writes copy-on-write, so a prior "
                  "copy() is unaffected.")
      .def_prop_ro("loc", [](nb::handle self) { return PyDataFrameLoc{nb::borrow(self)}; },
                   "Label indexer (rows by index label, columns by name).")
      .def_prop_ro("iat", [](nb::handle self) { return PyDataFrameIat{nb::borrow(self)}; },
                   "Scalar cell by row and column position.")
      .def_prop_ro("at", [](nb::handle self) { return PyDataFrameAt{nb::borrow(self)}; },
                   "Scalar cell by row label and column name.")
      .def("__setitem__", &set_whole_column, nb::arg("key"), nb::arg("value").none(),
           "Set a whole column in place (a new column, or the one the name or alias refers to).")
      .def("__delitem__", [](PyDataFrame&, nb::handle) { cant_delete(); }, nb::arg("key").none());
}

void add_series_indexers(nb::class_<PySeries>& cls) {
  cls.def_prop_ro("iloc", [](const PySeries& s) { return PySeriesILoc{s}; }, "Read-only positional indexer.")
      .def_prop_ro("loc", [](const PySeries& s) { return PySeriesLoc{s}; }, "Read-only label indexer.");
}

}  // namespace kadmo::py
