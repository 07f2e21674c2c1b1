#pragma once
// The three fixed mappings from a core KadmoError to a Python exception.

#include <nanobind/nanobind.h>

#include "kadmo/core/error.hpp"

namespace kadmo::py {

namespace nb = nanobind;

struct Exceptions {
  PyObject* directive_error = nullptr;
  PyObject* directive_syntax_error = nullptr;
  PyObject* directive_value_error = nullptr;
};
Exceptions& exceptions();
void register_exceptions(nb::module_& m);

// Raise the mapped exception (throws nb::python_error).
[[noreturn]] void pyerr(const core::KadmoError& e);      // general
[[noreturn]] void value_err(const core::KadmoError& e);  // directive evaluation
[[noreturn]] void syntax_err(const core::KadmoError& e); // directive parsing

[[noreturn]] void raise(PyObject* type, const std::string& msg);
// A Python str of UTF-8 text that may hold surrogate bytes.
nb::str utf8_str(std::string_view s);

template <class T>
T unwrap(core::Result<T>&& r) {
  if (!r) pyerr(r.error());
  if constexpr (!std::is_void_v<T>) return std::move(*r);
}
inline void unwrap(core::Result<void>&& r) {
  if (!r) pyerr(r.error());
}

}  // namespace kadmo::py
