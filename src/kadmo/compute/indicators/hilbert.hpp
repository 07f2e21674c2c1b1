#pragma once
// Hilbert-transform cycle indicators and the MESA adaptive moving average.
// All of them run one shared recursion (the Hilbert core) whose whole state
// can be saved and restored, so every indicator of the family resumes.
//
// Leading missing values are skipped: the series is taken to begin at its
// first present value, as the other adaptive averages do. A missing value
// after that poisons the running price sums, and every later value is NaN.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "kadmo/compute/kernels.hpp"

namespace kadmo::compute {

using In = std::span<const double>;

// One Hilbert filter line (detrender, Q1, jI, jQ): a copy of its state for
// even bars and one for odd bars. 10 slots when saved.
struct HilbertVar {
  std::array<double, 3> odd{}, even{};
  double prev_odd = 0.0, prev_even = 0.0;
  double prev_in_odd = 0.0, prev_in_even = 0.0;

  static constexpr std::size_t kSlots = 10;
  // Reads kSlots values at pos and advances pos; the caller checks the size.
  static HilbertVar from_state(std::span<const double> s, std::size_t& pos);
  void push_state(State& s) const;
};

// Per-bar output of the core.
struct HtRecord {
  double smooth_period = 0.0, smoothed = 0.0, i1 = 0.0, q1 = 0.0;
};

// The whole core recursion after some row. 54 slots when saved.
struct HtCoreState {
  // Price smoothing: running sums of the 4-bar weighted average, the price
  // that leaves the window next, and the number of rows fed since the first
  // present value (its parity picks the filter copy).
  double wma_sub = 0.0, wma_sum = 0.0, trailing = 0.0;
  std::uint64_t count = 0;
  HilbertVar detrender, q1, ji, jq;
  // Detrender of the last three bars, newest first: I1 is the oldest.
  std::array<double, 3> i1_hist{};
  std::uint64_t ring = 0;  // shared filter ring position, 0..2
  double period = 0.0, smooth_period = 0.0;
  double prev_i2 = 0.0, prev_q2 = 0.0, re = 0.0, im = 0.0;

  static constexpr std::size_t kSlots = 54;
  void serialize(State& s) const;
  // Validated read of the first kSlots values; none when they do not form a
  // usable core state.
  static std::optional<HtCoreState> deserialize(std::span<const double> s);
};

// Rows the core consumes before its first record, and the rows a state
// must cover before it can be saved.
inline constexpr std::size_t kHtCoreWarmup = 12;

// One record per row: zero before the first present value + 12.
std::vector<HtRecord> ht_core(In x);
// Restores the core for a resume from row `start`; none unless start > 12
// and the state holds a valid 54-slot core.
std::optional<HtCoreState> ht_core_resume_setup(const State& state, std::size_t start);

// --- batch ---------------------------------------------------------------
Series ht_dcperiod(In x);
Series ht_dcphase(In x);
Series ht_phasor_line(In x, bool quadrature);
std::pair<Series, Series> ht_sine(In x);  // (sine, lead sine)
Series ht_trendline(In x);
Series ht_trendmode(In x);
Series mama_line(In x, bool fama, double fast_limit, double slow_limit);

// --- final state / resume -------------------------------------------------
// Final states are none when fewer than 13 rows follow the first present value.
std::optional<State> ht_core_state(In x);            // ht_dcperiod, ht_phasor (54)
std::optional<State> ht_dcphase_final_state(In x);   // ht_dcphase, ht_sine (106)
std::optional<State> ht_trendline_state(In x);       // (57)
std::optional<State> ht_trendmode_state(In x);       // (111)
std::optional<State> mama_state(In x, double fast_limit, double slow_limit);  // (57)

Resumed ht_dcperiod_resume(In x, std::size_t start, const State& state);
Resumed ht_phasor_resume(In x, bool quadrature, std::size_t start, const State& state);
Resumed ht_dcphase_resume(In x, std::size_t start, const State& state);
Resumed ht_sine_resume(In x, bool lead, std::size_t start, const State& state);
// These two also need start >= 50: the trend line's mean reads up to 50
// earlier prices from the inputs.
Resumed ht_trendline_resume(In x, std::size_t start, const State& state);
Resumed ht_trendmode_resume(In x, std::size_t start, const State& state);
Resumed mama_resume(In x, bool fama, std::size_t start, const State& state, double fast_limit, double slow_limit);

// --- lookback (leading NaN count on complete input) -----------------------
constexpr std::size_t ht_dcperiod_lookback() { return 32; }
constexpr std::size_t ht_phasor_lookback() { return 32; }
constexpr std::size_t mama_lookback() { return 32; }
constexpr std::size_t ht_dcphase_lookback() { return 63; }
constexpr std::size_t ht_sine_lookback() { return 63; }
constexpr std::size_t ht_trendline_lookback() { return 63; }
constexpr std::size_t ht_trendmode_lookback() { return 63; }

}  // namespace kadmo::compute
