#pragma once
// Shared fixtures of the indicator tests: seeded random-walk bars and
// NaN-aware bitwise comparison.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <random>
#include <span>
#include <vector>

namespace kadmo::compute::testing {

inline constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
inline constexpr double Inf = std::numeric_limits<double>::infinity();

struct Bars {
  std::vector<double> high, low, close;
  std::size_t size() const { return close.size(); }
};

// Random walk around 100 with a realistic bar range; `lead_nan` rows of NaN
// first, then an optional missing close at `gap`.
inline Bars random_bars(std::size_t n, std::uint64_t seed, std::size_t lead_nan = 0,
                        std::size_t gap = static_cast<std::size_t>(-1)) {
  std::mt19937_64 rng(seed);
  std::normal_distribution<double> step(0.0, 1.0);
  std::exponential_distribution<double> wick(2.0);
  Bars b;
  double c = 100.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double o = c;
    c += step(rng);
    b.close.push_back(c);
    b.high.push_back(std::max(o, c) + wick(rng));
    b.low.push_back(std::min(o, c) - wick(rng));
  }
  for (std::size_t i = 0; i < lead_nan && i < n; ++i) b.high[i] = b.low[i] = b.close[i] = NaN;
  if (gap < n) b.close[gap] = b.high[gap] = b.low[gap] = NaN;
  return b;
}

inline bool same_bits(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// Exact comparison with NaN equal to NaN; reports the first differing index.
inline ::testing::AssertionResult bitwise_equal(std::span<const double> got, std::span<const double> want) {
  if (got.size() != want.size())
    return ::testing::AssertionFailure() << "length " << got.size() << " != " << want.size();
  for (std::size_t i = 0; i < got.size(); ++i)
    if (!same_bits(got[i], want[i]))
      return ::testing::AssertionFailure() << "index " << i << ": " << got[i] << " != " << want[i];
  return ::testing::AssertionSuccess();
}

// Count of leading NaN values.
inline std::size_t leading_nan(std::span<const double> s) {
  std::size_t i = 0;
  while (i < s.size() && std::isnan(s[i])) ++i;
  return i;
}

// NaN in exactly the first `lookback` values and in none after.
inline ::testing::AssertionResult warmup_is(std::span<const double> s, std::size_t lookback) {
  const std::size_t lead = leading_nan(s);
  if (lead != lookback)
    return ::testing::AssertionFailure() << lead << " leading NaN, want " << lookback;
  for (std::size_t i = lookback; i < s.size(); ++i)
    if (std::isnan(s[i])) return ::testing::AssertionFailure() << "NaN at index " << i << " past the warm-up";
  return ::testing::AssertionSuccess();
}

// Values within a relative tolerance, NaN where NaN is expected.
inline ::testing::AssertionResult near_all(std::span<const double> got, std::span<const double> want,
                                           double rel = 1e-12) {
  if (got.size() != want.size())
    return ::testing::AssertionFailure() << "length " << got.size() << " != " << want.size();
  for (std::size_t i = 0; i < got.size(); ++i) {
    if (std::isnan(want[i]) || std::isnan(got[i])) {
      if (std::isnan(want[i]) != std::isnan(got[i]))
        return ::testing::AssertionFailure() << "index " << i << ": " << got[i] << " vs " << want[i];
      continue;
    }
    if (std::isinf(want[i])) {
      if (got[i] != want[i]) return ::testing::AssertionFailure() << "index " << i << ": " << got[i];
      continue;
    }
    if (std::fabs(got[i] - want[i]) > rel * std::max(1.0, std::fabs(want[i])))
      return ::testing::AssertionFailure() << "index " << i << ": " << got[i] << " vs " << want[i];
  }
  return ::testing::AssertionSuccess();
}

// A computed series and its expected values; rel 0 takes the check's
// tolerance.
struct ValueCase {
  const char* name;
  std::vector<double> got;
  std::vector<double> want;
  double rel = 0.0;
};
inline void check_values(std::span<const ValueCase> cases, double rel = 1e-12) {
  for (const auto& cs : cases) {
    SCOPED_TRACE(cs.name);
    EXPECT_TRUE(near_all(cs.got, cs.want, cs.rel != 0.0 ? cs.rel : rel));
  }
}
inline void check_values(std::initializer_list<ValueCase> cases, double rel = 1e-12) {
  check_values(std::span<const ValueCase>(cases.begin(), cases.size()), rel);
}

}  // namespace kadmo::compute::testing
