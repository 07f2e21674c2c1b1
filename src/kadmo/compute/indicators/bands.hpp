#pragma once
// Bollinger bands, band width, acceleration bands and historical volatility.
// Window statistics: none of them keeps a state; a value depends only on the
// rows of its window.

#include <cstddef>
#include <cstdint>
#include <span>

#include "kadmo/compute/kernels.hpp"

namespace kadmo::compute {

using In = std::span<const double>;

// mean +/- k * population standard deviation of the n-row window.
Series boll_upper(In x, std::size_t n, double k);
Series boll_lower(In x, std::size_t n, double k);
// (4 * sd) / mean; a zero mean gives an infinity or NaN.
Series bbw(In x, std::size_t n);

// The raw acceleration band of each row, and its simple average.
Series accbands_raw(In high, In low, bool upper);
Series accbands_upper(In high, In low, std::size_t n);
Series accbands_lower(In high, In low, std::size_t n);
Series accbands_middle(In close, std::size_t n);

// Annualised sample deviation of the log returns over n returns; bars of
// `minutes_per_bar` minutes, `periods_per_year` trading days a year.
Series hv(In x, std::size_t n, std::int64_t minutes_per_bar, std::int64_t periods_per_year);

constexpr std::size_t boll_lookback(std::size_t n) { return n - 1; }
constexpr std::size_t bbw_lookback(std::size_t n) { return n - 1; }
constexpr std::size_t accbands_lookback(std::size_t n) { return n - 1; }
constexpr std::size_t accbands_raw_lookback() { return 0; }
constexpr std::size_t hv_lookback(std::size_t n) { return n; }

}  // namespace kadmo::compute
