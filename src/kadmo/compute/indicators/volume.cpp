#include "kadmo/compute/indicators/volume.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>

namespace kadmo::compute {

namespace {

// Money flow of one bar: the close's place in the range times the volume; a
// bar without range (or with a missing high or low) adds nothing.
inline double clv(double h, double l, double c, double v) {
  const double r = h - l;
  return r > 0.0 ? (((c - l) - (h - c)) / r) * v : 0.0;
}

inline double obv_sign(double c, double prev) { return c > prev ? 1.0 : (c < prev ? -1.0 : 0.0); }

// One step of the running volume: up adds v, down adds -v (the same as
// subtracting it), no change (or a missing close on either side, which
// compares false both ways) adds -0.0, which leaves every value as it is.
// The addend is picked with bit masks: the direction of a close is a coin
// flip, and a branch on it costs more than the whole step.
[[gnu::always_inline]] inline double obv_step(double acc, double c, double prev, double v) {
  constexpr std::uint64_t sign = std::uint64_t{1} << 63;
  const std::uint64_t up = -static_cast<std::uint64_t>(c > prev);
  const std::uint64_t down = -static_cast<std::uint64_t>(c < prev);
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(v);
  const std::uint64_t addend = (bits & up) | ((bits ^ sign) & down) | (sign & ~(up | down));
  return acc + std::bit_cast<double>(addend);
}

struct AdoscStep {
  double af, as;
  AdoscStep(std::size_t fast, std::size_t slow)
      : af(2.0 / (static_cast<double>(fast) + 1.0)), as(2.0 / (static_cast<double>(slow) + 1.0)) {}
  void operator()(double ad, double& fe, double& se) const {
    fe = std::fma(af, ad - fe, fe);
    se = std::fma(as, ad - se, se);
  }
};

}  // namespace

// ---- on-balance volume ---------------------------------------------------------

KADMO_HOT_GEN Series obv(In close, In volume) {
  const std::size_t len = close.size();
  if (len == 0) return {};
  const double *c = close.data(), *v = volume.data();
  return series_from(len, 0, [=, acc = v[0], t = std::size_t{0}]() mutable {
    if (t > 0) acc = obv_step(acc, c[t], c[t - 1], v[t]);
    ++t;
    return acc;
  });
}

KADMO_HOT_GEN std::optional<State> obv_final_state(In close, In volume) {
  if (close.empty()) return std::nullopt;
  double acc = volume[0];
  for (std::size_t t = 1; t < close.size(); ++t) acc = obv_step(acc, close[t], close[t - 1], volume[t]);
  return State{acc, close.back()};
}

KADMO_HOT_GEN Resumed obv_resume(In close, In volume, std::size_t start, const State& state) {
  if (start == 0 || start > close.size() || state.size() < 2) return std::nullopt;
  double acc = state[0], prev = state[1];
  Series out(close.size() - start);
  for (std::size_t t = start; t < close.size(); ++t) {
    out[t - start] = acc = obv_step(acc, close[t], prev, volume[t]);
    prev = close[t];
  }
  return std::pair{std::move(out), State{acc, prev}};
}

// ---- accumulation/distribution -------------------------------------------------

namespace {

// Running money flow over rows r..r+k-1 into o; returns the last value.
KADMO_HOT_CHUNK double ad_run(double* __restrict o, In high, In low, In close, In volume, std::size_t r,
                              std::size_t k, double acc) {
  const double *h = high.data() + r, *l = low.data() + r, *c = close.data() + r, *v = volume.data() + r;
  for (std::size_t j = 0; j < k; ++j) o[j] = acc += clv(h[j], l[j], c[j], v[j]);
  return acc;
}

// Rows start..len-1 from the running value before start.
std::pair<Series, double> ad_from(In high, In low, In close, In volume, std::size_t start, double acc) {
  ChunkedOut out(close.size() - start, 0);
  for (std::size_t k; (k = out.next()) != 0; out.commit(k))
    acc = ad_run(out.buf, high, low, close, volume, start + out.row, k, acc);
  return {out.take(), acc};
}

}  // namespace

Series ad(In high, In low, In close, In volume) { return ad_from(high, low, close, volume, 0, 0.0).first; }

KADMO_HOT_GEN std::optional<State> ad_final_state(In high, In low, In close, In volume) {
  if (close.empty()) return std::nullopt;
  double acc = 0.0;
  for (std::size_t t = 0; t < close.size(); ++t) acc += clv(high[t], low[t], close[t], volume[t]);
  return State{acc};
}

KADMO_HOT_GEN Resumed ad_resume(In high, In low, In close, In volume, std::size_t start, const State& state) {
  if (start == 0 || start > close.size() || state.empty()) return std::nullopt;
  auto [out, acc] = ad_from(high, low, close, volume, start, state[0]);
  return std::pair{std::move(out), State{acc}};
}

// ---- chaikin A/D oscillator ----------------------------------------------------

// Both averages start at the first bar's A/D value (no mean seed).
namespace {

struct AdoscState {
  double acc, fe, se;
};

// Rows r..r+k-1 of the oscillator into o, from the state before row r > 0.
KADMO_HOT_CHUNK AdoscState adosc_run(double* __restrict o, In high, In low, In close, In volume, std::size_t r,
                                     std::size_t k, AdoscStep step, AdoscState st) {
  const double *h = high.data() + r, *l = low.data() + r, *c = close.data() + r, *v = volume.data() + r;
  for (std::size_t j = 0; j < k; ++j) {
    st.acc += clv(h[j], l[j], c[j], v[j]);
    step(st.acc, st.fe, st.se);
    o[j] = st.fe - st.se;
  }
  return st;
}

}  // namespace

Series adosc(In high, In low, In close, In volume, std::size_t fast, std::size_t slow) {
  const std::size_t len = close.size();
  const std::size_t lb = adosc_lookback(fast, slow);
  if (lb >= len) return nan_series(len);
  const AdoscStep step(fast, slow);
  // Row 0 starts both averages at its own A/D value (the running sum from
  // 0.0, as the state function takes it: a -0.0 term gives +0.0).
  AdoscState st{0.0 + clv(high[0], low[0], close[0], volume[0]), 0.0, 0.0};
  st.fe = st.se = st.acc;
  for (std::size_t t = 1; t < lb; ++t) {
    st.acc += clv(high[t], low[t], close[t], volume[t]);
    step(st.acc, st.fe, st.se);
  }
  ChunkedOut out(len, lb);
  if (lb == 0) {
    out.put(st.fe - st.se);
    out.flush();
  }
  for (std::size_t k; (k = out.next()) != 0; out.commit(k))
    st = adosc_run(out.buf, high, low, close, volume, out.row, k, step, st);
  return out.take();
}

KADMO_HOT_GEN
std::optional<State> adosc_final_state(In high, In low, In close, In volume, std::size_t fast, std::size_t slow) {
  if (close.empty()) return std::nullopt;
  const AdoscStep step(fast, slow);
  double acc = 0.0, fe = 0.0, se = 0.0;
  for (std::size_t t = 0; t < close.size(); ++t) {
    acc += clv(high[t], low[t], close[t], volume[t]);
    if (t == 0) fe = se = acc;
    else step(acc, fe, se);
  }
  return State{acc, fe, se};
}

KADMO_HOT_GEN
Resumed adosc_resume(In high, In low, In close, In volume, std::size_t fast, std::size_t slow, std::size_t start,
                     const State& state) {
  if (start == 0 || start > close.size() || state.size() < 3) return std::nullopt;
  const AdoscStep step(fast, slow);
  const std::size_t lb = adosc_lookback(fast, slow);
  AdoscState st{state[0], state[1], state[2]};
  ChunkedOut out(close.size() - start, 0);
  // Rows inside the warm-up stay NaN, as in the batch.
  for (std::size_t t = start; t < std::min(lb, close.size()); ++t) {
    st.acc += clv(high[t], low[t], close[t], volume[t]);
    step(st.acc, st.fe, st.se);
    out.put(kNaN);
  }
  out.flush();
  for (std::size_t k; (k = out.next()) != 0; out.commit(k))
    st = adosc_run(out.buf, high, low, close, volume, start + out.row, k, step, st);
  return std::pair{out.take(), State{st.acc, st.fe, st.se}};
}

}  // namespace kadmo::compute
