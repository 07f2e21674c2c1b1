#include <nanobind/nanobind.h>
#include <nanobind/ndarray.h>
#include <nanobind/stl/string.h>

#include <array>

#include "convert.hpp"
#include "errors.hpp"
#include "row_timestamp.hpp"

namespace kadmo::py {

nb::object make_row(const core::DataFrame& frame, std::size_t pos) {
  if (pos >= frame.height()) raise(PyExc_IndexError, "row position out of range");
  const std::array<std::size_t, 1> at{pos};
  return nb::cast(PyRow{frame.take(at)});
}

namespace {

const core::Column& row_column(const PyRow& r, const std::string& key) {
  auto p = r.frame.column_pos(key);
  if (!p) pyerr(core::KadmoError::column_not_found(key));
  return r.frame.column_at(*p);
}

nb::object row_to_numpy(const PyRow& r) {
  const std::size_t w = r.frame.width();
  nb::object arr = numpy().attr("empty")(nb::make_tuple(1, w), "float64");
  nb::ndarray<double, nb::ndim<2>, nb::c_contig> view;
  if (!nb::try_cast(arr, view, false)) raise(PyExc_RuntimeError, "could not allocate the export array");
  r.frame.to_row_major_f64(view.data());
  return arr;
}

}  // namespace

void register_row(nb::module_& m) {
  nb::class_<PyRow>(m, "Row", "One row of a kadmo DataFrame: typed values by column name and the row's index label.")
      .def_prop_ro("name", [](const PyRow& r) { return label_to_py(r.frame.index(), 0); })
      .def(
          "__getitem__", [](const PyRow& r, const std::string& key) { return scalar_to_py(row_column(r, key), 0); },
          nb::arg("key"))
      .def("to_dict",
           [](const PyRow& r) {
             nb::dict d;
             const auto& names = r.frame.names();
             for (std::size_t i = 0; i < names.size(); ++i)
               d[nb::str(names[i].data(), names[i].size())] = scalar_to_py(r.frame.column_at(i), 0);
             return d;
           })
      .def("to_numpy", &row_to_numpy)
      .def("__repr__", [](const PyRow& r) {
        std::string s = "Row(columns=[";
        const auto& names = r.frame.names();
        for (std::size_t i = 0; i < names.size(); ++i) {
          if (i) s += ", ";
          s += core::quoted(names[i]);
        }
        return s + "])";
      });
}

}  // namespace kadmo::py
