#pragma once
// Small signal functions for conditions: a row-wise comparison of two series,
// the relative change over a span of rows, a condition held on consecutive
// rows, and a strictly monotonic run. None keeps a state.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "kadmo/compute/kernels.hpp"

namespace kadmo::compute {

using In = std::span<const double>;
using Flags = std::vector<std::uint8_t>;

// x > y per row when `x_above` is set, y > x otherwise; NaN compares false.
Flags style(bool x_above, In x, In y);
// x[t] / x[t - n + 1] - 1 (a span of n rows); NaN where the base is below
// 1e-10 in size.
Series change(In x, std::size_t n);
// b held on the n rows ending at each row.
Flags repeat(std::span<const std::uint8_t> b, std::size_t n);
// Each of the n + 1 values ending at a row moves in direction d:
// (v - previous) * d > 0, the first compared with -inf (d = 1) or +inf.
Flags increase(In x, std::size_t n, std::int64_t d);

constexpr std::size_t change_lookback(std::size_t n) { return n - 1; }

}  // namespace kadmo::compute
