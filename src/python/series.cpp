#include <nanobind/nanobind.h>
#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>

#include "convert.hpp"
#include "errors.hpp"
#include "objects.hpp"

namespace kadmo::py {

namespace {

nb::object series_to_numpy(const PySeries& s, const std::optional<std::string>& dtype) {
  nb::object a = column_to_numpy(s.column);
  return dtype ? a.attr("astype")(*dtype) : a;
}

nb::list series_to_list(const PySeries& s) {
  nb::list l;
  const std::size_t n = s.column.len();
  for (std::size_t i = 0; i < n; ++i) l.append(scalar_to_py(s.column, i));
  return l;
}

}  // namespace

void register_series(nb::module_& m) {
  nb::class_<PySeries>(m, "Series", "One named, indexed column of a kadmo DataFrame.")
      .def_prop_ro("name",
                   [](const PySeries& s) -> nb::object {
                     if (!s.name) return nb::none();
                     return nb::str(s.name->data(), s.name->size());
                   })
      .def_prop_ro("dtype",
                   [](const PySeries& s) {
                     auto n = core::dtype_name(s.column.dtype());
                     return nb::str(n.data(), n.size());
                   })
      .def_prop_ro("index", [](const PySeries& s) { return index_to_numpy(*s.index); })
      .def_prop_ro("shape", [](const PySeries& s) { return nb::make_tuple(s.column.len()); })
      .def_prop_ro("tz",
                   [](const PySeries& s) -> nb::object {
                     auto tz = s.index->tz();
                     if (!tz || tz->is_utc()) return nb::none();
                     return nb::str(tz->name().c_str());
                   })
      .def("__len__", [](const PySeries& s) { return s.column.len(); })
      .def("__repr__",
           [](const PySeries& s) {
             std::string name = "None";
             if (s.name) {
               name = "Some(\"";
               for (char c : *s.name) {
                 if (c == '"' || c == '\\') name.push_back('\\');
                 name.push_back(c);
               }
               name += "\")";
             }
             return "Series(name=" + name + ", dtype=" + std::string(core::dtype_name(s.column.dtype())) +
                    ", len=" + std::to_string(s.column.len()) + ")";
           })
      .def("to_list", &series_to_list)
      .def("tolist", &series_to_list)
      .def("to_numpy", &series_to_numpy, nb::arg("dtype").none() = nb::none())
      .def(
          "__array__",
          [](const PySeries& s, std::optional<std::string> dtype, nb::handle) { return series_to_numpy(s, dtype); },
          nb::arg("dtype").none() = nb::none(), nb::arg("copy").none() = nb::none());
}

}  // namespace kadmo::py
