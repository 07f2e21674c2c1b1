#pragma once
// The Python TimeFrame class and the reading of time_frame= arguments.

#include <nanobind/nanobind.h>

#include "kadmo/core/error.hpp"
#include "kadmo/time/time_frame.hpp"

namespace kadmo::py {

namespace nb = nanobind;

struct PyTimeFrame {
  time::TimeFrame tf;
};

void register_timeframe(nb::module_& m);

// A TimeFrame object or a label string ("5m", "1D", ...). Anything else is a
// DType error (TypeError under the general mapping), an unknown label a
// Value error naming it.
core::Result<time::TimeFrame> timeframe_from_py(nb::handle obj);

// timeframe_from_py with its failure raised through the general mapping.
time::TimeFrame resolve_time_frame(nb::handle obj);

// The class constant of a time frame (the same object every time).
nb::object timeframe_to_py(time::TimeFrame tf);

}  // namespace kadmo::py
