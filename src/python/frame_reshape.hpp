#pragma once
// DataFrame methods that derive a new frame: copy, head/tail, NaN handling,
// drop, rename, astype, index changes, sorting, zones, equality, comparison.

#include <nanobind/nanobind.h>

#include "objects.hpp"

namespace kadmo::py {

namespace nb = nanobind;

void add_reshape_methods(nb::class_<PyDataFrame>& cls);

}  // namespace kadmo::py
