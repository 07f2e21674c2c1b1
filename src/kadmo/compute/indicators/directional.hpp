#pragma once
// Wilder's directional movement: the smoothed +DM/-DM sums, the directional
// indicators, DX, ADX and ADXR, each with its final-state/resume pair and its
// lookback.
//
// Leading rows where an input is missing are skipped: the indicators start at
// the first row where every input is present, as if the series began there
// (on complete input nothing changes). Without this a few missing first bars
// would turn the whole TR sum, and with it every DI, DX and ADX, into NaN.

#include <array>
#include <cstddef>
#include <optional>
#include <span>

#include "kadmo/compute/kernels.hpp"

namespace kadmo::compute {

using In = std::span<const double>;

// --- batch ---------------------------------------------------------------
Series plus_dm(In high, In low, std::size_t n);
Series minus_dm(In high, In low, std::size_t n);
Series plus_di(In high, In low, In close, std::size_t n);
Series minus_di(In high, In low, In close, std::size_t n);
// 100*DM/TR from row n of two smoothed sums (0 where the TR sum is ~0).
Series di(In dm_sum, In tr_sum, std::size_t n);
Series dx(In high, In low, In close, std::size_t n);
Series adx(In high, In low, In close, std::size_t n);
Series adxr(In high, In low, In close, std::size_t n);

// (+DM sum, -DM sum, TR sum) after the last row; none when n = 0 or the
// inputs are too short for the seed.
std::optional<std::array<double, 3>> dm_tr_sums_final(In high, In low, In close, std::size_t n);

// --- final state / resume -------------------------------------------------
std::optional<State> plus_dm_final_state(In high, In low, std::size_t n);
Resumed plus_dm_resume(In high, In low, std::size_t n, std::size_t start, const State& state);
std::optional<State> minus_dm_final_state(In high, In low, std::size_t n);
Resumed minus_dm_resume(In high, In low, std::size_t n, std::size_t start, const State& state);
std::optional<State> plus_di_final_state(In high, In low, In close, std::size_t n);
Resumed plus_di_resume(In high, In low, In close, std::size_t n, std::size_t start, const State& state);
std::optional<State> minus_di_final_state(In high, In low, In close, std::size_t n);
Resumed minus_di_resume(In high, In low, In close, std::size_t n, std::size_t start, const State& state);
std::optional<State> dx_final_state(In high, In low, In close, std::size_t n);
Resumed dx_resume(In high, In low, In close, std::size_t n, std::size_t start, const State& state);
std::optional<State> adx_final_state(In high, In low, In close, std::size_t n);
Resumed adx_resume(In high, In low, In close, std::size_t n, std::size_t start, const State& state);
std::optional<State> adxr_final_state(In high, In low, In close, std::size_t n);
Resumed adxr_resume(In high, In low, In close, std::size_t n, std::size_t start, const State& state);

// --- lookback (leading NaN count on complete input; periods >= 1) ---------
constexpr std::size_t plus_dm_lookback(std::size_t n) { return n - 1; }
constexpr std::size_t minus_dm_lookback(std::size_t n) { return n - 1; }
constexpr std::size_t plus_di_lookback(std::size_t n) { return n; }
constexpr std::size_t minus_di_lookback(std::size_t n) { return n; }
constexpr std::size_t dx_lookback(std::size_t n) { return n; }
constexpr std::size_t adx_lookback(std::size_t n) { return 2 * n - 1; }
constexpr std::size_t adxr_lookback(std::size_t n) { return 3 * n - 2; }

}  // namespace kadmo::compute
