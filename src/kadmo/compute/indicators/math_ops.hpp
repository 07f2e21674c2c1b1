#pragma once
// Rolling sum and the row positions of a window's maximum and minimum, with
// the final-state/resume pairs of the positions and the lookback of each.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "kadmo/compute/kernels.hpp"

namespace kadmo::compute {

using In = std::span<const double>;

// --- batch ---------------------------------------------------------------
// Window sum; NaN while a missing value is inside the window.
Series sum(In x, std::size_t n);
// Row position of the window's maximum (minimum) as f64. A new value equal to
// the extreme takes over; a rescan keeps the oldest of equal values.
Series maxindex(In x, std::size_t n);
Series minindex(In x, std::size_t n);

// --- final state / resume -------------------------------------------------
// State: (position of the extreme, the extreme). Positions count from the
// first row of the data the state was first taken over; `origin` is the
// number of rows cut from the front of the inputs since then. The resumed
// values are positions in that same numbering, so a cached column keeps one
// numbering across cuts.
std::optional<State> maxindex_final_state(In x, std::size_t n);
Resumed maxindex_resume(In x, std::size_t n, std::size_t start, const State& state, std::uint64_t origin = 0);
std::optional<State> minindex_final_state(In x, std::size_t n);
Resumed minindex_resume(In x, std::size_t n, std::size_t start, const State& state, std::uint64_t origin = 0);

// --- lookback --------------------------------------------------------------
constexpr std::size_t sum_lookback(std::size_t n) { return n - 1; }
constexpr std::size_t maxindex_lookback(std::size_t n) { return n - 1; }
constexpr std::size_t minindex_lookback(std::size_t n) { return n - 1; }

}  // namespace kadmo::compute
