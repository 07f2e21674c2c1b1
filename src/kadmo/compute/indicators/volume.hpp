#pragma once
// On-balance volume, the accumulation/distribution line and its oscillator,
// each with its final-state/resume pair and its lookback.

#include <cstddef>
#include <optional>
#include <span>

#include "kadmo/compute/kernels.hpp"

namespace kadmo::compute {

using In = std::span<const double>;

// --- batch ---------------------------------------------------------------
Series obv(In close, In volume);
Series ad(In high, In low, In close, In volume);
// The periods are smoothing factors (alpha 2/(p + 1)), not windows.
Series adosc(In high, In low, In close, In volume, std::size_t fast, std::size_t slow);

// --- final state / resume -------------------------------------------------
// obv: (obv, last close); ad: (ad); adosc: (ad, fast average, slow average).
std::optional<State> obv_final_state(In close, In volume);
Resumed obv_resume(In close, In volume, std::size_t start, const State& state);
std::optional<State> ad_final_state(In high, In low, In close, In volume);
Resumed ad_resume(In high, In low, In close, In volume, std::size_t start, const State& state);
std::optional<State> adosc_final_state(In high, In low, In close, In volume, std::size_t fast, std::size_t slow);
Resumed adosc_resume(In high, In low, In close, In volume, std::size_t fast, std::size_t slow, std::size_t start,
                     const State& state);

// --- lookback --------------------------------------------------------------
constexpr std::size_t obv_lookback() { return 0; }
constexpr std::size_t ad_lookback() { return 0; }
constexpr std::size_t adosc_lookback(std::size_t fast, std::size_t slow) {
  const std::size_t m = fast > slow ? fast : slow;
  return m == 0 ? 0 : m - 1;
}

}  // namespace kadmo::compute
