#include <nanobind/nanobind.h>

#include "csv.hpp"
#include "errors.hpp"
#include "indexers.hpp"
#include "objects.hpp"
#include "row_timestamp.hpp"
#include "timeframe.hpp"

namespace nb = nanobind;

NB_MODULE(kadmo_rs, m) {
  m.doc() = "Columnar market-bar frames with a built-in technical-indicator engine.";
  // Classes, then exceptions, then functions: the order users see in dir().
  kadmo::py::register_dataframe(m);
  kadmo::py::register_series(m);
  kadmo::py::register_row(m);
  kadmo::py::register_timestamp(m);
  kadmo::py::register_indexer_classes(m);
  kadmo::py::register_timeframe(m);
  kadmo::py::register_exceptions(m);
  kadmo::py::register_read_csv(m);
  kadmo::py::register_conversion_functions(m);
  kadmo::py::register_directive_functions(m);
}
