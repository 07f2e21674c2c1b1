#pragma once
// Moving averages, MACD, true range, parabolic SAR and BBI, each with its
// final-state/resume pair (where it has one) and its lookback.

#include <cstddef>
#include <optional>
#include <span>

#include "kadmo/compute/kernels.hpp"

namespace kadmo::compute {

using In = std::span<const double>;

// --- batch ---------------------------------------------------------------
Series ema(In x, std::size_t n);
Series smma(In x, std::size_t n);
Series wma(In x, std::size_t n);
Series dema(In x, std::size_t n);
Series tema(In x, std::size_t n);
Series trima(In x, std::size_t n);
Series kama(In x, std::size_t n);
Series t3(In x, std::size_t n, double v);
Series macd_line(In x, std::size_t fast, std::size_t slow);
Series macd(In x, std::size_t fast, std::size_t slow);
Series macd_signal(In x, std::size_t fast, std::size_t slow, std::size_t signal);
Series macd_histogram(In x, std::size_t fast, std::size_t slow, std::size_t signal);
// The three MACD lines in one pass, each equal to its function above.
struct MacdLines {
  Series line, signal, histogram;
};
MacdLines macd_all(In x, std::size_t fast, std::size_t slow, std::size_t signal);
Series tr(In high, In low, In close);
Series atr(In high, In low, In close, std::size_t n);
Series natr(In high, In low, In close, std::size_t n);
Series bbi(In x, std::size_t a, std::size_t b, std::size_t c, std::size_t d);
Series sar(In high, In low, double acceleration, double maximum);
Series sarext(In high, In low, double start_value, double offset_on_reverse, double long_initial, double long_step,
              double long_maximum, double short_initial, double short_step, double short_maximum);

// --- final state / resume -------------------------------------------------
std::optional<State> ema_final_state(In x, std::size_t n);
Resumed ema_resume(In x, std::size_t n, std::size_t start, const State& state);
std::optional<State> smma_final_state(In x, std::size_t n);
Resumed smma_resume(In x, std::size_t n, std::size_t start, const State& state);
std::optional<State> dema_final_state(In x, std::size_t n);
Resumed dema_resume(In x, std::size_t n, std::size_t start, const State& state);
std::optional<State> tema_final_state(In x, std::size_t n);
Resumed tema_resume(In x, std::size_t n, std::size_t start, const State& state);
std::optional<State> t3_final_state(In x, std::size_t n);
Resumed t3_resume(In x, std::size_t n, double v, std::size_t start, const State& state);
std::optional<State> kama_final_state(In x, std::size_t n);
Resumed kama_resume(In x, std::size_t n, std::size_t start, const State& state);
std::optional<State> macd_final_state(In x, std::size_t fast, std::size_t slow);
Resumed macd_resume(In x, std::size_t fast, std::size_t slow, std::size_t start, const State& state);
std::optional<State> macd_signal_final_state(In x, std::size_t fast, std::size_t slow, std::size_t signal);
Resumed macd_signal_resume(In x, std::size_t fast, std::size_t slow, std::size_t signal, bool histogram,
                           std::size_t start, const State& state);
std::optional<State> atr_final_state(In high, In low, In close, std::size_t n);
Resumed atr_resume(In high, In low, In close, std::size_t n, std::size_t start, const State& state);
Resumed natr_resume(In high, In low, In close, std::size_t n, std::size_t start, const State& state);
std::optional<State> sar_final_state(In high, In low, double acceleration, double maximum);
Resumed sar_resume(In high, In low, std::size_t start, double acceleration, double maximum, const State& state);
std::optional<State> sarext_final_state(In high, In low, double start_value, double offset_on_reverse,
                                        double long_initial, double long_step, double long_maximum,
                                        double short_initial, double short_step, double short_maximum);
Resumed sarext_resume(In high, In low, std::size_t start, double offset_on_reverse, double long_initial,
                      double long_step, double long_maximum, double short_initial, double short_step,
                      double short_maximum, const State& state);

// --- lookback (leading NaN count on complete input; periods >= 1) ---------
constexpr std::size_t ema_lookback(std::size_t n) { return n - 1; }
constexpr std::size_t smma_lookback(std::size_t n) { return n - 1; }
constexpr std::size_t wma_lookback(std::size_t n) { return n - 1; }
constexpr std::size_t trima_lookback(std::size_t n) { return n - 1; }
constexpr std::size_t dema_lookback(std::size_t n) { return 2 * (n - 1); }
constexpr std::size_t tema_lookback(std::size_t n) { return 3 * (n - 1); }
constexpr std::size_t t3_lookback(std::size_t n) { return 6 * (n - 1); }
constexpr std::size_t kama_lookback(std::size_t n) { return n; }
// The line exists once both averages do, so a fast period above the slow one
// moves the start to fast - 1.
constexpr std::size_t macd_lookback(std::size_t fast, std::size_t slow) { return (fast > slow ? fast : slow) - 1; }
constexpr std::size_t macd_signal_lookback(std::size_t fast, std::size_t slow, std::size_t signal) {
  return macd_lookback(fast, slow) + signal - 1;
}
constexpr std::size_t tr_lookback() { return 1; }
constexpr std::size_t atr_lookback(std::size_t n) { return n; }
constexpr std::size_t natr_lookback(std::size_t n) { return n; }
constexpr std::size_t sar_lookback() { return 1; }
constexpr std::size_t sarext_lookback() { return 1; }
constexpr std::size_t bbi_lookback(std::size_t a, std::size_t b, std::size_t c, std::size_t d) {
  std::size_t m = a > b ? a : b;
  m = m > c ? m : c;
  m = m > d ? m : d;
  return m - 1;
}

}  // namespace kadmo::compute
