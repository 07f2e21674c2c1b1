#pragma once
// The Python-visible objects that several files of the extension share.

#include <nanobind/nanobind.h>

#include <memory>
#include <optional>
#include <string>

#include "kadmo/core/dataframe.hpp"
#include "kadmo/time/cumulate.hpp"

namespace kadmo::py {

namespace nb = nanobind;

struct PyDataFrame {
  core::DataFrame df;
  // Present on a tf-aware frame: appended bars fold into its last period.
  std::optional<time::TfState> tf = std::nullopt;
};

struct PySeries {
  core::Column column;
  std::optional<std::string> name;
  std::shared_ptr<core::Index> index;
};

PySeries series_from_frame(const PyDataFrame& self, const std::string& key);

void register_dataframe(nb::module_& m);
void add_directive_methods(nb::class_<PyDataFrame>& cls);
void add_cumulate_methods(nb::class_<PyDataFrame>& cls);
// The aggregation of DataFrame(..., cumulators=) and cumulate(): the defaults
// overridden by a dict of column name -> aggregator name (None: defaults).
time::AggSpec build_agg_spec(nb::handle cumulators);
void register_series(nb::module_& m);
void register_conversion_functions(nb::module_& m);
void register_directive_functions(nb::module_& m);

}  // namespace kadmo::py
