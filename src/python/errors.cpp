#include "errors.hpp"

namespace kadmo::py {

using core::ErrorKind;
using core::KadmoError;

Exceptions& exceptions() {
  static Exceptions e;
  return e;
}

void register_exceptions(nb::module_& m) {
  auto& e = exceptions();
  auto make = [&](const char* qual, const char* short_name, const char* doc, PyObject* base) {
    PyObject* t = PyErr_NewExceptionWithDoc(qual, doc, base, nullptr);
    if (!t) throw std::runtime_error("Failed to initialize new exception type.");
    m.attr(short_name) = nb::handle(t);
    return t;
  };
  e.directive_error = make("kadmo_rs.DirectiveError", "DirectiveError", "Base class for kadmo directive errors.",
                           PyExc_ValueError);
  e.directive_syntax_error =
      make("kadmo_rs.DirectiveSyntaxError", "DirectiveSyntaxError",
           "A directive string could not be parsed (with line / column).", e.directive_error);
  e.directive_value_error =
      make("kadmo_rs.DirectiveValueError", "DirectiveValueError",
           "A directive has an unknown command / sub-command or an invalid argument.", e.directive_error);
}

nb::str utf8_str(std::string_view s) {
  // Text from users may carry lone surrogates (as their UTF-8 bytes); give
  // them back as they came, and never fail on stray bytes.
  PyObject* o = PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), "surrogatepass");
  if (!o) {
    PyErr_Clear();
    o = PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), "backslashreplace");
  }
  if (!o) throw nb::python_error();
  return nb::steal<nb::str>(o);
}

void raise(PyObject* type, const std::string& msg) {
  nb::str text = utf8_str(msg);
  PyErr_SetObject(type, text.ptr());
  throw nb::python_error();
}

namespace {
std::string not_found(const KadmoError& e) { return "column \"" + e.message + "\" not found"; }
}  // namespace

void pyerr(const KadmoError& e) {
  switch (e.kind) {
    case ErrorKind::ColumnNotFound: raise(PyExc_KeyError, not_found(e));
    case ErrorKind::DType: raise(PyExc_TypeError, e.message);
    default: raise(PyExc_ValueError, e.message);
  }
}

void value_err(const KadmoError& e) {
  switch (e.kind) {
    case ErrorKind::ColumnNotFound: raise(exceptions().directive_value_error, not_found(e));
    case ErrorKind::DType: raise(PyExc_TypeError, e.message);
    case ErrorKind::Value: raise(exceptions().directive_value_error, e.message);
    default: raise(PyExc_ValueError, e.message);
  }
}

void syntax_err(const KadmoError& e) {
  PyObject* t = exceptions().directive_syntax_error;
  switch (e.kind) {
    case ErrorKind::ColumnNotFound: raise(t, not_found(e));
    case ErrorKind::Value: raise(t, e.message);
    default: raise(t, e.text());
  }
}

}  // namespace kadmo::py
