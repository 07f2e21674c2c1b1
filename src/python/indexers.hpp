#pragma once
// The pandas-style indexers (iloc, loc, iat, at) of DataFrame and Series and
// whole-column assignment df[name] = value.

#include <nanobind/nanobind.h>

#include "objects.hpp"

namespace kadmo::py {

namespace nb = nanobind;

void register_indexer_classes(nb::module_& m);
void add_frame_indexers(nb::class_<PyDataFrame>& cls);
void add_series_indexers(nb::class_<PySeries>& cls);

}  // namespace kadmo::py
