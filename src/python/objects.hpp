#pragma once
// The Python-visible objects that several files of the extension share.

#include <nanobind/nanobind.h>

#include <memory>
#include <optional>
#include <string>

#include "kadmo/core/dataframe.hpp"

namespace kadmo::py {

namespace nb = nanobind;

struct PyDataFrame {
  core::DataFrame df;
};

struct PySeries {
  core::Column column;
  std::optional<std::string> name;
  std::shared_ptr<core::Index> index;
};

PySeries series_from_frame(const PyDataFrame& self, const std::string& key);

void register_dataframe(nb::module_& m);
void add_directive_methods(nb::class_<PyDataFrame>& cls);
void register_series(nb::module_& m);
void register_conversion_functions(nb::module_& m);
void register_directive_functions(nb::module_& m);

}  // namespace kadmo::py
