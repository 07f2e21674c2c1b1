#pragma once
// Fast stochastic, stochastic RSI, their default-argument shortcuts and the
// stochastic RSI's final-state/resume pair.

#include <cstddef>
#include <optional>
#include <span>

#include "kadmo/compute/kernels.hpp"

namespace kadmo::compute {

using In = std::span<const double>;

Series stoch_fastk(In high, In low, In close, std::size_t n);
Series stochrsi_fastk(In x, std::size_t n, std::size_t fastk);

// Fused forms of the default compositions (5,3,3 / 5,3 / 14,5,3 with simple
// averages). None when they cannot reproduce the general composition exactly;
// the caller then composes.
std::optional<Series> stoch_d_default_sma(In high, In low, In close);
std::optional<Series> stochf_d_default_sma(In high, In low, In close);
std::optional<Series> stochrsi_d_default_sma(In x);

// State: average gain, average loss, the last g RSI values; with_d adds the
// running sum of the D average and the last fastd %K values, so that the
// resumed D line repeats the batch average's sums exactly.
std::optional<State> stochrsi_final_state(In x, std::size_t n, std::size_t fastk, bool with_d, std::size_t fastd);
Resumed stochrsi_resume(In x, std::size_t n, std::size_t fastk, bool with_d, std::size_t fastd, std::size_t start,
                        const State& state);

constexpr std::size_t stoch_fastk_lookback(std::size_t n) { return n - 1; }
constexpr std::size_t stochrsi_fastk_lookback(std::size_t n, std::size_t fastk) { return n + fastk - 1; }
constexpr std::size_t stoch_d_default_lookback() { return 8; }
constexpr std::size_t stochf_d_default_lookback() { return 6; }
constexpr std::size_t stochrsi_d_default_lookback() { return 20; }

}  // namespace kadmo::compute
