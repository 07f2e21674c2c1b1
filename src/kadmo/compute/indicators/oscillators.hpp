#pragma once
// Bounded oscillators (RSI, CMO, raw stochastic, KDJ) and channel lines.

#include <cstddef>
#include <optional>
#include <span>

#include "kadmo/compute/kernels.hpp"

namespace kadmo::compute {

using In = std::span<const double>;

Series rsi(In x, std::size_t n);
Series cmo(In x, std::size_t n);
Series rsv(In high, In low, In close, std::size_t n);
Series kdj_rsv(In high, In low, In close, std::size_t n);
Series kdj_k(In high, In low, In close, double initial, std::size_t n, std::size_t m1);
Series kdj_d(In high, In low, In close, double initial, std::size_t n, std::size_t m1, std::size_t m2);
Series kdj_j(In high, In low, In close, double initial, std::size_t n, std::size_t m1, std::size_t m2);
Series hhv(In x, std::size_t n);
Series midpoint(In x, std::size_t n);
Series midprice(In high, In low, std::size_t n);
Series donchian(In high, In low, std::size_t n);

std::optional<State> rsi_final_state(In x, std::size_t n);
Resumed rsi_resume(In x, std::size_t n, std::size_t start, const State& state);
std::optional<State> cmo_final_state(In x, std::size_t n);
Resumed cmo_resume(In x, std::size_t n, std::size_t start, const State& state);
// line: 0 K, 1 D, 2 J. with_d keeps D in the state (needed for D and J).
std::optional<State> kdj_final_state(In high, In low, In close, double initial, std::size_t n, std::size_t m1,
                                     std::size_t m2, bool with_d);
Resumed kdj_resume(In high, In low, In close, std::size_t n, std::size_t m1, std::size_t m2, int line,
                   std::size_t start, const State& state);

constexpr std::size_t rsi_lookback(std::size_t n) { return n; }
constexpr std::size_t cmo_lookback(std::size_t n) { return n; }
constexpr std::size_t rsv_lookback(std::size_t) { return 0; }
constexpr std::size_t kdj_lookback(std::size_t) { return 0; }
constexpr std::size_t hhv_lookback(std::size_t n) { return n - 1; }
constexpr std::size_t midpoint_lookback(std::size_t n) { return n - 1; }
constexpr std::size_t midprice_lookback(std::size_t n) { return n - 1; }

}  // namespace kadmo::compute
