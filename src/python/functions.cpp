#include <nanobind/nanobind.h>
#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>

#include "convert.hpp"
#include "errors.hpp"
#include "objects.hpp"

namespace kadmo::py {

namespace {

core::Column strings_with_format(const core::Column& c, const std::string& format) {
  const auto& strs = *c.str_values();
  std::vector<std::int64_t> out;
  out.reserve(strs.size());
  for (const auto& s : strs) {
    auto ns = core::parse_with_format(s, format);
    if (!ns) raise(PyExc_ValueError, "\"" + s + "\" does not match format \"" + format + "\"");
    out.push_back(*ns);
  }
  return core::Column::datetime(std::move(out));
}

// A list of str parsed straight from the Python strings, without building a
// string column first; nothing when the list holds anything else.
std::optional<core::Column> parse_str_list(nb::handle obj) {
  if (!PyList_Check(obj.ptr()) || PyList_GET_SIZE(obj.ptr()) == 0) return std::nullopt;
  const Py_ssize_t n = PyList_GET_SIZE(obj.ptr());
  for (Py_ssize_t i = 0; i < n; ++i)
    if (!PyUnicode_Check(PyList_GET_ITEM(obj.ptr(), i))) return std::nullopt;
  std::vector<std::int64_t> out(n);
  for (Py_ssize_t i = 0; i < n; ++i) {
    Py_ssize_t len = 0;
    const char* s = PyUnicode_AsUTF8AndSize(PyList_GET_ITEM(obj.ptr(), i), &len);
    if (!s) {
      PyErr_Clear();
      return std::nullopt;
    }
    std::string_view text(s, static_cast<std::size_t>(len));
    auto ns = core::parse_ns_in_tz(text, core::Tz::utc());
    if (!ns) value_err(core::KadmoError::value("could not parse datetime " + core::quoted(text)));
    out[i] = *ns;
  }
  return core::Column::datetime(std::move(out));
}

PySeries to_datetime(nb::handle obj, const std::string& unit, std::optional<std::string> format) {
  PySeries in;
  if (!format) {
    if (auto c = parse_str_list(obj)) {
      in.index = std::make_shared<core::Index>(core::Index::range(c->len()));
      in.column = std::move(*c);
      return in;
    }
  }
  if (nb::isinstance<PySeries>(obj)) {
    in = nb::cast<PySeries&>(obj);
  } else {
    in.column = pyany_to_column(obj);
    in.index = std::make_shared<core::Index>(core::Index::range(in.column.len()));
  }
  const core::DType d = in.column.dtype();
  if (d == core::DType::Object) {
    if (format) {
      in.column = strings_with_format(in.column, *format);
    } else {
      auto r = in.column.to_datetime_tz(core::Tz::utc());
      if (!r) value_err(r.error());
      in.column = std::move(*r);
    }
  } else {
    auto r = in.column.epoch_to_datetime_rounded(unit);
    if (!r) value_err(r.error());
    in.column = std::move(*r);
  }
  return in;
}

}  // namespace

void register_conversion_functions(nb::module_& m) {
  m.def("to_datetime", &to_datetime, nb::arg("obj"), nb::arg("unit") = "ns", nb::arg("format").none() = nb::none(),
        "Convert epoch numbers or datetime strings to a datetime64[ns] Series (naive text is UTC).");
}

}  // namespace kadmo::py
