#pragma once
// read_csv and DataFrame.to_csv.

#include <nanobind/nanobind.h>

#include "objects.hpp"

namespace kadmo::py {

namespace nb = nanobind;

void register_read_csv(nb::module_& m);
void add_csv_methods(nb::class_<PyDataFrame>& cls);

}  // namespace kadmo::py
