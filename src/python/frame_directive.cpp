// DataFrame methods of the directive language: df[key], exec, fulfill.

#include <nanobind/nanobind.h>
#include <nanobind/ndarray.h>
#include <nanobind/stl/string.h>

#include "convert.hpp"
#include "errors.hpp"
#include "kadmo/directive/cache.hpp"
#include "objects.hpp"

namespace kadmo::py {

using core::DataFrame;

namespace {

[[noreturn]] void raise_cache(const directive::CacheError& e) {
  if (e.stage == directive::CacheError::Stage::Syntax) syntax_err(e.error);
  value_err(e.error);
}

template <class T>
T unwrap_cache(directive::CacheResult<T>&& r) {
  if (!r) raise_cache(r.error());
  if constexpr (!std::is_void_v<T>) return std::move(*r);
}

// Text of a str key, keeping lone surrogates as their UTF-8 bytes.
std::string key_text(nb::handle s) {
  Py_ssize_t len = 0;
  const char* p = PyUnicode_AsUTF8AndSize(s.ptr(), &len);
  if (p) return {p, static_cast<std::size_t>(len)};
  PyErr_Clear();
  nb::object b = nb::steal(PyUnicode_AsEncodedString(s.ptr(), "utf-8", "surrogatepass"));
  if (!b.is_valid()) throw nb::python_error();
  return {PyBytes_AS_STRING(b.ptr()), static_cast<std::size_t>(PyBytes_GET_SIZE(b.ptr()))};
}

PyDataFrame masked(const DataFrame& df, std::span<const std::uint8_t> mask) {
  return PyDataFrame{unwrap(df.filter_mask(mask))};
}

nb::object column_values_to_numpy(core::Column&& c) {
  // A result nobody else holds goes to NumPy without a copy.
  if (!c.is_shared()) {
    if (auto* f = c.f64_mut()) return vec_to_numpy(std::move(*f));
    if (auto* b = c.bool_mut()) return bool_vec_to_numpy(std::move(*b));
  }
  return column_to_numpy(c);
}

nb::object getitem(nb::handle self_h, nb::handle key) {
  auto& self = nb::cast<PyDataFrame&>(self_h);
  DataFrame& df = self.df;
  // 1. a bool Series
  if (nb::isinstance<PySeries>(key)) {
    auto& s = nb::cast<PySeries&>(key);
    if (auto* b = s.column.bool_values()) return nb::cast(masked(df, *b));
  }
  // 2. a NumPy bool array
  {
    nb::ndarray<nb::ro, nb::ndim<1>> a;
    if (nb::try_cast(key, a, false) && a.dtype() == nb::dtype<bool>()) {
      std::vector<std::uint8_t> mask(a.shape(0));
      const auto* p = static_cast<const std::uint8_t*>(a.data());
      for (std::size_t i = 0; i < mask.size(); ++i) mask[i] = p[static_cast<std::int64_t>(i) * a.stride(0)];
      return nb::cast(masked(df, mask));
    }
  }
  // 3. a list of bool
  if (PyList_Check(key.ptr()) && PyList_GET_SIZE(key.ptr()) > 0) {
    const Py_ssize_t n = PyList_GET_SIZE(key.ptr());
    bool all_bool = true;
    for (Py_ssize_t i = 0; i < n && all_bool; ++i) all_bool = PyBool_Check(PyList_GET_ITEM(key.ptr(), i));
    if (all_bool) {
      if (static_cast<std::size_t>(n) != df.height())
        raise(PyExc_IndexError, "boolean index has wrong length: " + std::to_string(n) + " instead of " +
                                    std::to_string(df.height()));
      std::vector<std::uint8_t> mask(n);
      for (Py_ssize_t i = 0; i < n; ++i) mask[i] = PyList_GET_ITEM(key.ptr(), i) == Py_True;
      return nb::cast(masked(df, mask));
    }
  }
  // 4. a slice
  if (PySlice_Check(key.ptr())) {
    auto* sl = reinterpret_cast<PySliceObject*>(key.ptr());
    const bool labels = PyUnicode_Check(sl->start) || PyUnicode_Check(sl->stop);
    if (!labels) {
      Py_ssize_t start, stop, step;
      if (PySlice_Unpack(key.ptr(), &start, &stop, &step) < 0) throw nb::python_error();
      const Py_ssize_t len = PySlice_AdjustIndices(static_cast<Py_ssize_t>(df.height()), &start, &stop, step);
      if (step == 1) return nb::cast(PyDataFrame{df.slice(start, start + len)});
      std::vector<std::size_t> pos;
      pos.reserve(len);
      for (Py_ssize_t i = 0, p = start; i < len; ++i, p += step) pos.push_back(static_cast<std::size_t>(p));
      return nb::cast(PyDataFrame{df.take(pos)});
    }
    std::optional<core::Label> a, b;
    if (sl->start != Py_None) a = parse_label(sl->start, df.index());
    if (sl->stop != Py_None) b = parse_label(sl->stop, df.index());
    auto [lo, hi] = df.index().label_slice(a, b);
    return nb::cast(PyDataFrame{df.slice(lo, hi)});
  }
  // 5. a column name or directive
  if (PyUnicode_Check(key.ptr())) {
    const std::string text = key_text(key);
    std::string name = unwrap_cache(directive::materialize(df, text));
    return nb::cast(series_from_frame(self, name));
  }
  // 6. a list of names
  if (PyList_Check(key.ptr())) {
    const Py_ssize_t n = PyList_GET_SIZE(key.ptr());
    std::vector<std::string> names;
    for (Py_ssize_t i = 0; i < n; ++i) {
      PyObject* it = PyList_GET_ITEM(key.ptr(), i);
      if (!PyUnicode_Check(it)) raise(PyExc_KeyError, "key must be a column name, directive, list, boolean mask, or slice");
      names.push_back(key_text(it));
    }
    std::vector<core::Column> cols;
    for (const auto& nm : names) {
      if (const core::Column* c = df.column_ptr(nm)) cols.push_back(*c);
      else cols.push_back(unwrap_cache(directive::evaluate_uncached(df, nm)));
    }
    // No names: no columns over the same rows and index.
    if (names.empty()) return nb::cast(PyDataFrame{unwrap(df.select({}))});
    auto out = DataFrame::make(names, std::move(cols), df.index());
    if (!out) pyerr(out.error());
    return nb::cast(PyDataFrame{std::move(*out)});
  }
  raise(PyExc_KeyError, "key must be a column name, directive, list, boolean mask, or slice");
}

}  // namespace

void add_directive_methods(nb::class_<PyDataFrame>& cls) {
  cls.def("__getitem__", &getitem, nb::arg("key"))
      .def(
          "exec",
          [](PyDataFrame& s, nb::str directive, bool create_column) {
            return column_values_to_numpy(unwrap_cache(directive::exec_directive(s.df, key_text(directive), create_column)));
          },
          nb::arg("directive"), nb::arg("create_column") = false,
          "Evaluate a directive and return its values as a NumPy array; with create_column=True the result is "
          "cached on the frame like df[directive].")
      .def(
          "fulfill", [](PyDataFrame& s) { unwrap_cache(directive::refresh_computed(s.df, std::nullopt)); },
          "Refresh every stale computed (directive) column after appends: O(lookback + new rows) per column, not "
          "O(n).");
}

}  // namespace kadmo::py
