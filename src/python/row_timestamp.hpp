#pragma once
// Row (one row of a frame, typed values and its label) and Timestamp (an
// instant with the zone it is shown in).

#include <nanobind/nanobind.h>

#include <cstddef>
#include <cstdint>

#include "kadmo/core/dataframe.hpp"
#include "kadmo/core/tz.hpp"

namespace kadmo::py {

namespace nb = nanobind;

struct PyRow {
  core::DataFrame frame;  // exactly one row
};

struct PyTimestamp {
  core::Tz tz;
  std::int64_t value;  // UTC nanoseconds
};

// A Row holding the row at pos of frame (its own copy of the values and the
// label). Raises IndexError when pos is not a row of the frame.
nb::object make_row(const core::DataFrame& frame, std::size_t pos);

void register_row(nb::module_& m);
void register_timestamp(nb::module_& m);

}  // namespace kadmo::py
