#include <nanobind/nanobind.h>
#include <nanobind/stl/string.h>

#include "errors.hpp"
#include "kadmo/directive/lookback.hpp"
#include "kadmo/directive/parser.hpp"
#include "objects.hpp"

namespace kadmo::py {

namespace {

std::shared_ptr<const directive::ParsedDirective> parse_or_raise(nb::handle text) {
  Py_ssize_t len = 0;
  const char* s = PyUnicode_AsUTF8AndSize(text.ptr(), &len);
  nb::object bytes;
  if (!s) {
    // Lone surrogates: parse their raw bytes so the parser reports where.
    PyErr_Clear();
    bytes = nb::steal(PyUnicode_AsEncodedString(text.ptr(), "utf-8", "surrogatepass"));
    if (!bytes.is_valid()) throw nb::python_error();
    s = PyBytes_AS_STRING(bytes.ptr());
    len = PyBytes_GET_SIZE(bytes.ptr());
  }
  auto r = directive::parse_shared(std::string_view(s, static_cast<std::size_t>(len)));
  if (!r) syntax_err(r.error());
  return std::move(*r);
}

}  // namespace

void register_directive_functions(nb::module_& m) {
  m.def(
      "directive_stringify",
      [](nb::str directive) {
        auto p = parse_or_raise(directive);
        return utf8_str(p->canonical);
      },
      nb::arg("directive"), "The canonical text of a directive: the column name its result is cached under.");
  m.def(
      "directive_lookback",
      [](nb::str directive) { return directive::lookback(parse_or_raise(directive)->node); }, nb::arg("directive"),
      "The number of leading rows a directive needs before its first value (nothing is evaluated).");
}

}  // namespace kadmo::py
