#pragma once
// Rolling least-squares line, variance and deviation, beta and correlation:
// window statistics over running sums, without a state.
//
// The running sums restart after a missing value: each stretch of rows where
// every input is present is computed as if the series began there, so a
// window that holds a missing value is NaN and the windows after it are
// computed again (on complete input this is one stretch, the whole series).
// Without the restart a single missing value, or the warm-up rows of an
// average given as the input, would make every later window NaN.

#include <cstddef>
#include <span>
#include <utility>

#include "kadmo/compute/kernels.hpp"

namespace kadmo::compute {

using In = std::span<const double>;

// Slope (forward time) and intercept (the line at the window's oldest row)
// of the least-squares line through each n-row window.
std::pair<Series, Series> linreg_fit(In x, std::size_t n);
Series linearreg(In x, std::size_t n);            // the line at the newest row
Series linearreg_slope(In x, std::size_t n);
Series linearreg_intercept(In x, std::size_t n);
Series linearreg_angle(In x, std::size_t n);      // atan(slope) in degrees
Series tsf(In x, std::size_t n);                  // the line one row ahead

// Population variance, and k times its square root.
Series rolling_var(In x, std::size_t n);
Series stddev(In x, std::size_t n, double k);

// Beta of y's one-row returns on x's over n returns; Pearson correlation of
// x and y over n rows.
Series beta(In x, In y, std::size_t n);
Series correl(In x, In y, std::size_t n);

constexpr std::size_t linreg_lookback(std::size_t n) { return n - 1; }
constexpr std::size_t rolling_var_lookback(std::size_t n) { return n - 1; }
constexpr std::size_t stddev_lookback(std::size_t n) { return n - 1; }
constexpr std::size_t beta_lookback(std::size_t n) { return n; }
constexpr std::size_t correl_lookback(std::size_t n) { return n - 1; }

}  // namespace kadmo::compute
