#include "convert.hpp"

#include <nanobind/stl/string.h>

#include <cstring>
#include <limits>

#include "errors.hpp"
#include "kadmo/core/memory.hpp"
#include "row_timestamp.hpp"

namespace kadmo::py {

using core::Column;
using core::DType;

nb::module_ numpy() {
  static nb::module_* np = nullptr;
  if (!np) np = new nb::module_(nb::module_::import_("numpy"));
  return *np;
}

namespace {

[[noreturn]] void bad_column_values() {
  raise(PyExc_TypeError, "column values must be a 1-D numeric array, a list of numbers, or a list of strings");
}

bool is_ndarray(nb::handle obj) {
  static nb::object cls = numpy().attr("ndarray");
  return PyObject_IsInstance(obj.ptr(), cls.ptr()) == 1;
}

template <class T>
std::vector<T> copy_strided(const nb::ndarray<nb::ro, nb::ndim<1>>& a) {
  const std::size_t n = a.shape(0);
  const T* p = static_cast<const T*>(a.data());
  const std::int64_t st = a.stride(0);
  std::vector<T> out = core::vector_with_capacity<T>(n);
  if (st == 1) {
    out.insert(out.end(), p, p + n);  // one pass, no zero fill
    return out;
  }
  for (std::size_t i = 0; i < n; ++i) out.push_back(p[static_cast<std::int64_t>(i) * st]);
  return out;
}

// An array of a narrower numeric type, widened exactly to float64 / int64.
template <class From, class To>
std::optional<Column> widened(const nb::ndarray<nb::ro, nb::ndim<1>>& a) {
  if (a.dtype() != nb::dtype<From>()) return std::nullopt;
  const std::vector<From> src = copy_strided<From>(a);
  std::vector<To> out(src.begin(), src.end());
  if constexpr (std::is_same_v<To, double>) return Column::f64(std::move(out));
  else return Column::i64(std::move(out));
}

// Whether every value of a datetime64 array fits in nanoseconds. Checked on
// the integers: NumPy's own conversions wrap near the ends of the range.
bool datetimes_fit_ns(nb::handle arr) {
  nb::object info = numpy().attr("datetime_data")(arr.attr("dtype"));
  const std::string unit = nb::cast<std::string>(info[0]);
  const auto count = nb::cast<std::int64_t>(info[1]);
  std::int64_t factor = 0;  // ns per unit; 0 for the calendar units
  std::int64_t limit = 0;   // calendar units: the largest |value| inside the range
  if (unit == "Y") limit = 292;  // 1678 .. 2262
  else if (unit == "M") limit = 3507;  // 1677-10 .. 2262-04
  else if (unit == "W") factor = 604'800'000'000'000;
  else if (unit == "D") factor = 86'400'000'000'000;
  else if (unit == "h") factor = 3'600'000'000'000;
  else if (unit == "m") factor = 60'000'000'000;
  else if (unit == "s") factor = 1'000'000'000;
  else if (unit == "ms") factor = 1'000'000;
  else if (unit == "us") factor = 1'000;
  else return true;  // ns and finer units, generic NaT: no overflow
  nb::ndarray<nb::ro, nb::ndim<1>> a;
  nb::object native = arr.attr("astype")(arr.attr("dtype").attr("newbyteorder")("="));
  if (!nb::try_cast(native.attr("view")("int64"), a, false)) return true;
  constexpr std::int64_t kNaT = std::numeric_limits<std::int64_t>::min();
  for (std::int64_t v : copy_strided<std::int64_t>(a)) {
    if (v == kNaT) continue;
    std::int64_t u = 0, ns = 0;
    if (__builtin_mul_overflow(v, count, &u)) return false;
    if (factor == 0 ? (u < -limit || u > limit) : (__builtin_mul_overflow(u, factor, &ns) || ns == kNaT)) return false;
  }
  return true;
}

// Steps 1-4 of the converter: NumPy datetime, float64, int64 and bool arrays.
std::optional<Column> array_to_column(nb::handle obj) {
  // A datetime dtype of any unit (pandas columns too, through asarray).
  bool is_dt = false;
  {
    PyObject* dt = PyObject_GetAttrString(obj.ptr(), "dtype");
    if (dt) {
      PyObject* kind = PyObject_GetAttrString(dt, "kind");
      if (kind) {
        is_dt = PyUnicode_Check(kind) && PyUnicode_CompareWithASCIIString(kind, "M") == 0;
        Py_DECREF(kind);
      }
      Py_DECREF(dt);
    }
    PyErr_Clear();
  }
  if (is_dt) {
    nb::object arr = numpy().attr("asarray")(obj);
    if (nb::cast<int>(arr.attr("ndim")) != 1) bad_column_values();
    // NumPy wraps values of coarse units that overflow nanoseconds (year
    // 3000 in days reads as 1830): refuse them rather than store wrong dates.
    if (!datetimes_fit_ns(arr))
      raise(PyExc_ValueError, "datetime values out of range for datetime64[ns] (1677-09-21 to 2262-04-11)");
    nb::object as_ns = arr.attr("astype")("datetime64[ns]");
    nb::object ns = as_ns.attr("view")("int64");
    nb::ndarray<nb::ro, nb::ndim<1>> a;
    if (!nb::try_cast(ns, a, false)) bad_column_values();
    return Column::datetime(copy_strided<std::int64_t>(a));
  }
  if (!is_ndarray(obj)) return std::nullopt;
  if (nb::cast<int>(obj.attr("ndim")) != 1) bad_column_values();
  nb::ndarray<nb::ro, nb::ndim<1>> a;
  if (!nb::try_cast(obj, a, false)) return std::nullopt;
  if (a.dtype() == nb::dtype<double>()) return Column::f64(copy_strided<double>(a));
  if (a.dtype() == nb::dtype<std::int64_t>()) return Column::i64(copy_strided<std::int64_t>(a));
  if (a.dtype() == nb::dtype<bool>()) return Column::boolean(copy_strided<std::uint8_t>(a));
  // Narrower numeric arrays give what the element-wise steps would give,
  // without a Python object per element. Empty arrays take the slow path
  // (an empty sequence is an int column).
  if (a.shape(0) > 0) {
    if (auto c = widened<float, double>(a)) return c;
    if (auto c = widened<std::int32_t, std::int64_t>(a)) return c;
    if (auto c = widened<std::int16_t, std::int64_t>(a)) return c;
    if (auto c = widened<std::int8_t, std::int64_t>(a)) return c;
    if (auto c = widened<std::uint32_t, std::int64_t>(a)) return c;
    if (auto c = widened<std::uint16_t, std::int64_t>(a)) return c;
    if (auto c = widened<std::uint8_t, std::int64_t>(a)) return c;
  }
  return std::nullopt;
}

}  // namespace

Column pyany_to_column(nb::handle obj) {
  if (auto c = array_to_column(obj)) return std::move(*c);
  if (PyUnicode_Check(obj.ptr()) || !PySequence_Check(obj.ptr())) bad_column_values();
  nb::object seq = nb::steal(PySequence_Fast(obj.ptr(), "column values must be a sequence"));
  if (!seq.is_valid()) {
    PyErr_Clear();
    bad_column_values();
  }
  const Py_ssize_t n = PySequence_Fast_GET_SIZE(seq.ptr());
  PyObject** items = PySequence_Fast_ITEMS(seq.ptr());

  if (n > 0) {
    bool all_bool = true;
    for (Py_ssize_t i = 0; i < n && all_bool; ++i) all_bool = PyBool_Check(items[i]);
    if (all_bool) {
      std::vector<std::uint8_t> out(n);
      for (Py_ssize_t i = 0; i < n; ++i) out[i] = items[i] == Py_True;
      return Column::boolean(std::move(out));
    }
  }
  {
    std::vector<std::int64_t> out(n);
    bool ok = true;
    for (Py_ssize_t i = 0; i < n && ok; ++i) {
      PyObject* it = items[i];
      if (PyLong_CheckExact(it)) {
        int overflow = 0;
        long long v = PyLong_AsLongLongAndOverflow(it, &overflow);
        if (overflow) ok = false;
        else out[i] = v;
        continue;
      }
      PyObject* idx = PyNumber_Index(it);
      if (!idx) {
        PyErr_Clear();
        ok = false;
        break;
      }
      int overflow = 0;
      long long v = PyLong_AsLongLongAndOverflow(idx, &overflow);
      Py_DECREF(idx);
      if (overflow || (v == -1 && PyErr_Occurred())) {
        PyErr_Clear();
        ok = false;
      } else {
        out[i] = v;
      }
    }
    if (ok) return Column::i64(std::move(out));
  }
  {
    std::vector<double> out(n);
    bool ok = true;
    for (Py_ssize_t i = 0; i < n && ok; ++i) {
      PyObject* it = items[i];
      if (PyFloat_CheckExact(it)) {
        out[i] = PyFloat_AS_DOUBLE(it);
        continue;
      }
      if (PyUnicode_Check(it) || it == Py_None) {
        ok = false;
        break;
      }
      double v = PyFloat_AsDouble(it);
      if (v == -1.0 && PyErr_Occurred()) {
        PyErr_Clear();
        ok = false;
      } else {
        out[i] = v;
      }
    }
    if (ok) return Column::f64(std::move(out));
  }
  {
    std::vector<std::string> out;
    out.reserve(n);
    for (Py_ssize_t i = 0; i < n; ++i) {
      if (!PyUnicode_Check(items[i])) bad_column_values();
      Py_ssize_t len = 0;
      const char* s = PyUnicode_AsUTF8AndSize(items[i], &len);
      if (!s) {
        PyErr_Clear();
        bad_column_values();
      }
      out.emplace_back(s, static_cast<std::size_t>(len));
    }
    return Column::str(std::move(out));
  }
}

nb::object bool_vec_to_numpy(std::vector<std::uint8_t>&& v) {
  auto* holder = new std::vector<std::uint8_t>(std::move(v));
  nb::capsule owner(holder, [](void* p) noexcept { delete static_cast<std::vector<std::uint8_t>*>(p); });
  std::size_t shape[1] = {holder->size()};
  return nb::cast(nb::ndarray<nb::numpy, bool, nb::ndim<1>>(reinterpret_cast<bool*>(holder->data()), 1, shape, owner));
}

namespace {

nb::object strings_to_numpy(const std::vector<std::string>& v) {
  nb::list l;
  for (const auto& s : v) l.append(nb::str(s.data(), s.size()));
  return numpy().attr("array")(l, nb::arg("dtype") = "object");
}

nb::object ns_to_numpy(std::vector<std::int64_t>&& v) {
  return vec_to_numpy(std::move(v)).attr("astype")("datetime64[ns]");
}

}  // namespace

nb::object column_to_numpy(const Column& c) {
  if (auto* f = c.f64_values()) return vec_to_numpy(std::vector<double>(*f));
  if (auto* b = c.bool_values()) return bool_vec_to_numpy(std::vector<std::uint8_t>(*b));
  if (auto* i = c.i64_values()) return vec_to_numpy(std::vector<std::int64_t>(*i));
  if (auto* s = c.str_values()) return strings_to_numpy(*s);
  return ns_to_numpy(std::vector<std::int64_t>(*c.datetime_values()));
}

nb::object index_to_numpy(const core::Index& idx) {
  switch (idx.kind()) {
    case core::Index::Kind::Range:
    case core::Index::Kind::Integer: return vec_to_numpy(idx.to_i64_labels());
    case core::Index::Kind::Datetime: return ns_to_numpy(idx.to_i64_labels());
    case core::Index::Kind::String: return strings_to_numpy(std::get<core::StringIndex>(idx.variant()).labels);
  }
  return nb::none();
}

nb::object datetime64_scalar(std::int64_t ns) { return numpy().attr("datetime64")(ns, "ns"); }

nb::object scalar_to_py(const Column& c, std::size_t pos) {
  if (auto* f = c.f64_values()) return nb::float_((*f)[pos]);
  if (auto* b = c.bool_values()) return nb::bool_((*b)[pos] != 0);
  if (auto* i = c.i64_values()) return nb::int_((*i)[pos]);
  if (auto* s = c.str_values()) return nb::str((*s)[pos].data(), (*s)[pos].size());
  return datetime64_scalar((*c.datetime_values())[pos]);
}

DType parse_dtype(std::string_view n) {
  if (n == "float64" || n == "float" || n == "float_" || n == "f64" || n == "double") return DType::Float64;
  if (n == "int64" || n == "int" || n == "int_" || n == "i64" || n == "long") return DType::Int64;
  if (n == "bool" || n == "boolean") return DType::Bool;
  if (n == "datetime64[ns]" || n == "datetime64" || n == "datetime") return DType::Datetime;
  if (n == "object" || n == "O" || n == "str" || n == "string") return DType::Object;
  std::string esc = "\"";
  for (char ch : n) {
    if (ch == '"' || ch == '\\') esc.push_back('\\');
    esc.push_back(ch);
  }
  raise(PyExc_ValueError, "unknown dtype " + esc + "\"");
}

std::int64_t parse_ts_in_tz(nb::handle obj, const core::Tz& tz) {
  // A Timestamp is an absolute instant whatever zone it is read in.
  if (nb::isinstance<PyTimestamp>(obj) && nb::inst_ready(obj)) return nb::cast<const PyTimestamp&>(obj).value;
  if (PyUnicode_Check(obj.ptr())) {
    Py_ssize_t len = 0;
    const char* s = PyUnicode_AsUTF8AndSize(obj.ptr(), &len);
    if (!s) {
      PyErr_Clear();
      raise(PyExc_KeyError, "label must be a datetime string or integer");
    }
    std::string_view text(s, static_cast<std::size_t>(len));
    if (auto ns = core::parse_ns_in_tz(text, tz)) return *ns;
    raise(PyExc_KeyError, "invalid datetime label " + core::quoted(text));
  }
  PyObject* idx = PyNumber_Index(obj.ptr());
  if (idx) {
    int overflow = 0;
    long long v = PyLong_AsLongLongAndOverflow(idx, &overflow);
    Py_DECREF(idx);
    if (!overflow && !(v == -1 && PyErr_Occurred())) return v;
  }
  PyErr_Clear();
  raise(PyExc_KeyError, "label must be a datetime string or integer");
}

core::Label parse_label(nb::handle obj, const core::Index& idx) {
  if (idx.kind() == core::Index::Kind::String) {
    if (!PyUnicode_Check(obj.ptr())) raise(PyExc_KeyError, "label must be a string for a string index");
    return core::Label(nb::cast<std::string>(obj));
  }
  core::Tz tz = idx.tz().value_or(core::Tz::utc());
  return core::Label(parse_ts_in_tz(obj, tz));
}

nb::object label_to_py(const core::Index& idx, std::size_t pos) {
  switch (idx.kind()) {
    case core::Index::Kind::Range: return nb::int_(static_cast<std::int64_t>(pos));
    case core::Index::Kind::Integer: return nb::int_(std::get<core::IntIndex>(idx.variant()).labels[pos]);
    case core::Index::Kind::Datetime: {
      const auto& d = std::get<core::DatetimeIndex>(idx.variant());
      return nb::str(core::format_ns_tz(d.ns[pos], d.tz).c_str());
    }
    case core::Index::Kind::String: {
      const auto& s = std::get<core::StringIndex>(idx.variant()).labels[pos];
      return nb::str(s.data(), s.size());
    }
  }
  return nb::none();
}

void stale_guard(bool stale) {
  if (stale)
    raise(PyExc_ValueError,
          "frame has stale computed (directive) columns after append; call fulfill() before a bulk or positional read");
}

}  // namespace kadmo::py
