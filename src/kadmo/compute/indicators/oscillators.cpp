#include "kadmo/compute/indicators/oscillators.hpp"

#include <algorithm>
#include <array>

namespace kadmo::compute {

namespace {

// ---- RSI: separate roundings, no fused updates ------------------------------

inline double rsi_value(double gain, double loss) {
  return std::fabs(loss) < 1e-10 ? 100.0 : 100.0 - 100.0 / (gain / loss + 1.0);
}

inline void rsi_update(double& gain, double& loss, double d, double nm1, double nn) {
  // Selects rather than branches: the sign of a change is a coin flip.
  const bool up = d > 0.0;
  const double tg = up ? d : 0.0;
  const double tl = up ? 0.0 : -d;  // NaN for a missing change
  gain = (tg + nm1 * gain) / nn;
  loss = (tl + nm1 * loss) / nn;
}

// Averages of the first n changes of y.
inline void rsi_seed(const double* y, std::size_t n, double& g, double& l) {
  for (std::size_t t = 1; t <= n; ++t) {
    const double d = y[t] - y[t - 1];
    if (d > 0.0)
      g += d;
    else
      l -= d;
  }
  const double nn = static_cast<double>(n);
  g /= nn;
  l /= nn;
}

// RSI starts at the first present value, so an input with a NaN warm-up (the
// output of another indicator) still gets values. Returns false when the
// series is too short after that value.
bool rsi_run(In x, std::size_t n, double& gain, double& loss) {
  const std::size_t f = first_present(View(x));
  const std::size_t m = x.size() - f;
  if (n == 0 || n >= m) return false;
  const double* y = x.data() + f;
  const double nn = static_cast<double>(n), nm1 = static_cast<double>(n - 1);
  double g = 0.0, l = 0.0;
  rsi_seed(y, n, g, l);
  for (std::size_t t = n + 1; t < m; ++t) rsi_update(g, l, y[t] - y[t - 1], nm1, nn);
  gain = g;
  loss = l;
  return true;
}

// ---- CMO: Wilder averages of the up and down moves ------------------------

inline void cmo_terms(double d, double& up, double& down) {
  if (std::isnan(d)) {
    up = down = kNaN;
    return;
  }
  up = d > 0.0 ? d : 0.0;
  down = -d > 0.0 ? -d : 0.0;
}

inline double cmo_value(double up, double down) {
  const double s = up + down;
  if (s < 1e-14) return 0.0;
  return ((up - down) * 100.0) / s;
}

// One machine for batch and state: a missing change before the seed is
// skipped, after it the averages turn NaN (the batch rule), so the resumed
// tail always equals the batch column.
struct CmoRun {
  SeededStage up, down;
  StepRule rule;
  explicit CmoRun(std::size_t n) : up{n}, down{n}, rule(StepRule::wilder(n)) {}
  double push(double d) {
    double u, w;
    cmo_terms(d, u, w);
    const double au = up.push(u, rule);
    const double ad = down.push(w, rule);
    if (!up.seeded() || !down.seeded() || std::isnan(au) || std::isnan(ad)) return kNaN;
    return cmo_value(au, ad);
  }
};

// ---- KDJ ---------------------------------------------------------------

struct KdjWeights {
  double k0, k1, d0, d1;
  KdjWeights(std::size_t m1, std::size_t m2) {
    k1 = 1.0 / static_cast<double>(m1);
    k0 = 1.0 - k1;
    d1 = 1.0 / static_cast<double>(m2);
    d0 = 1.0 - d1;
  }
};

inline double rsv_value(double hh, double ll, double c) {
  const double range = hh - ll;
  if (!(std::fabs(range) > 1e-10)) return 0.0;
  return ((c - ll) / range) * 100.0;
}

// K (and D when with_d) over m raw values rv, the chosen line written to o,
// which may be rv itself; returns (K, D) after the last. Batch, state and
// resume share it; in a function of its own so that K and D stay in
// registers.
KADMO_HOT_CHUNK std::array<double, 2> kdj_steps(double* o, const double* rv, std::size_t m, KdjWeights w, int line,
                                               bool with_d, std::array<double, 2> kd) {
  double k = kd[0], d = kd[1];
  for (std::size_t j = 0; j < m; ++j) {
    k = w.k0 * k + w.k1 * rv[j];
    if (with_d) d = w.d0 * d + w.d1 * k;
    o[j] = line == 0 ? k : line == 1 ? d : 3.0 * k - 2.0 * d;
  }
  return {k, d};
}

Series kdj_line(In high, In low, In close, double initial, std::size_t n, std::size_t m1, std::size_t m2,
                int line) {
  Series out = rsv(high, low, close, n);
  kdj_steps(out.data(), out.data(), out.size(), KdjWeights(m1, m2), line, line != 0, {initial, initial});
  return out;
}

Series channel_mid(View hi, View lo, std::size_t n) {
  Series a = rolling_max(hi, n);
  // The minima join the maxima chunk by chunk: no second full-length array.
  auto join = [&a](std::size_t row, const double* v, std::size_t k) {
    double* o = a.data() + row;
    for (std::size_t j = 0; j < k; ++j) o[j] = (o[j] + v[j]) * 0.5;
  };
  if (rolling_min_each(lo, n, join)) return a;
  a = rolling_max(hi, n);  // a missing value stopped the join part way
  const Series b = rolling_min(lo, n);
  for (std::size_t i = 0; i < a.size(); ++i) a[i] = (a[i] + b[i]) * 0.5;
  return a;
}

}  // namespace

// ---- RSI -------------------------------------------------------------------

Series rsi(In x, std::size_t n) {
  const std::size_t f = first_present(View(x));
  const std::size_t m = x.size() - f;
  if (n == 0 || n >= m) return nan_series(x.size());
  const double* y = x.data() + f;
  const double nn = static_cast<double>(n), nm1 = static_cast<double>(n - 1);
  double g = 0.0, l = 0.0;
  rsi_seed(y, n, g, l);
  Series out = nan_series(x.size());
  double* o = out.data() + f;
  o[n] = rsi_value(g, l);
  for (std::size_t t = n + 1; t < m; ++t) {
    rsi_update(g, l, y[t] - y[t - 1], nm1, nn);
    o[t] = rsi_value(g, l);
  }
  return out;
}

KADMO_HOT_GEN std::optional<State> rsi_final_state(In x, std::size_t n) {
  double g, l;
  if (!rsi_run(x, n, g, l)) return std::nullopt;
  return State{g, l};
}

KADMO_HOT_GEN Resumed rsi_resume(In x, std::size_t n, std::size_t start, const State& state) {
  if (n == 0 || start == 0 || start > x.size() || state.size() < 2) return std::nullopt;
  const double nn = static_cast<double>(n), nm1 = static_cast<double>(n - 1);
  double g = state[0], l = state[1];
  Series out(x.size() - start);
  for (std::size_t t = start; t < x.size(); ++t) {
    rsi_update(g, l, x[t] - x[t - 1], nm1, nn);
    out[t - start] = rsi_value(g, l);
  }
  return std::pair{std::move(out), State{g, l}};
}

// ---- CMO -------------------------------------------------------------------

KADMO_HOT_GEN Series cmo(In x, std::size_t n) {
  Series out = nan_series(x.size());
  if (n == 0) return out;
  CmoRun r(n);
  for (std::size_t t = 1; t < x.size(); ++t) out[t] = r.push(x[t] - x[t - 1]);
  return out;
}

KADMO_HOT_GEN std::optional<State> cmo_final_state(In x, std::size_t n) {
  if (n == 0 || n >= x.size()) return std::nullopt;
  CmoRun r(n);
  for (std::size_t t = 1; t < x.size(); ++t) r.push(x[t] - x[t - 1]);
  if (!r.up.seeded()) return std::nullopt;
  return State{r.up.value, r.down.value};
}

KADMO_HOT_GEN Resumed cmo_resume(In x, std::size_t n, std::size_t start, const State& state) {
  if (n == 0 || start == 0 || start > x.size() || state.size() < 2) return std::nullopt;
  CmoRun r(n);
  r.up.count = r.down.count = n;
  r.up.value = state[0];
  r.down.value = state[1];
  Series out(x.size() - start);
  for (std::size_t t = start; t < x.size(); ++t) out[t - start] = r.push(x[t] - x[t - 1]);
  return std::pair{std::move(out), State{r.up.value, r.down.value}};
}

// ---- raw stochastic and KDJ ---------------------------------------------------

Series rsv(In high, In low, In close, std::size_t n) {
  Series hh = rolling_max(View(high), n);
  if (n >= 1 && n <= hh.size()) {
    auto join = [&](std::size_t row, const double* v, std::size_t k) {
      double* o = hh.data() + row;
      for (std::size_t j = 0; j < k; ++j) o[j] = rsv_value(o[j], v[j], close[row + j]);
    };
    if (rolling_min_each(View(low), n, join)) {
      // Warm-up rows: both extremes NaN.
      for (std::size_t i = 0; i + 1 < n; ++i) hh[i] = rsv_value(kNaN, kNaN, close[i]);
      return hh;
    }
    hh = rolling_max(View(high), n);  // a missing value stopped the join part way
  }
  const Series ll = rolling_min(View(low), n);
  for (std::size_t i = 0; i < hh.size(); ++i) hh[i] = rsv_value(hh[i], ll[i], close[i]);
  return hh;
}
Series kdj_rsv(In high, In low, In close, std::size_t n) { return rsv(high, low, close, n); }

Series kdj_k(In high, In low, In close, double initial, std::size_t n, std::size_t m1) {
  return kdj_line(high, low, close, initial, n, m1, 1, 0);
}
Series kdj_d(In high, In low, In close, double initial, std::size_t n, std::size_t m1, std::size_t m2) {
  return kdj_line(high, low, close, initial, n, m1, m2, 1);
}
Series kdj_j(In high, In low, In close, double initial, std::size_t n, std::size_t m1, std::size_t m2) {
  return kdj_line(high, low, close, initial, n, m1, m2, 2);
}

KADMO_HOT_GEN
std::optional<State> kdj_final_state(In high, In low, In close, double initial, std::size_t n, std::size_t m1,
                                     std::size_t m2, bool with_d) {
  if (high.empty()) return std::nullopt;
  Series r = rsv(high, low, close, n);
  const auto [k, d] = kdj_steps(r.data(), r.data(), r.size(), KdjWeights(m1, m2), 0, true, {initial, initial});
  return with_d ? State{k, d} : State{k};
}

KADMO_HOT_GEN Resumed kdj_resume(In high, In low, In close, std::size_t n, std::size_t m1, std::size_t m2, int line,
                   std::size_t start, const State& state) {
  const std::size_t len = high.size();
  if (n == 0 || start > len || state.empty()) return std::nullopt;
  if (line != 0 && state.size() < 2) return std::nullopt;
  const bool keep_d = state.size() >= 2;
  // Only the windows of the new rows are needed; rows before the first full
  // window keep the batch's raw value 0 by starting from row 0.
  const std::size_t from = start + 1 >= n ? start + 1 - n : 0;
  // The raw values become the output in place; the rows before start go.
  Series r = rsv(high.subspan(from), low.subspan(from), close.subspan(from), n);
  double* rv = r.data() + (start - from);
  const auto [k, d] = kdj_steps(rv, rv, len - start, KdjWeights(m1, m2), line, keep_d,
                                {state[0], keep_d ? state[1] : kNaN});
  r.erase(r.begin(), r.begin() + static_cast<std::ptrdiff_t>(start - from));
  return std::pair{std::move(r), keep_d ? State{k, d} : State{k}};
}

// ---- channel lines -------------------------------------------------------

Series hhv(In x, std::size_t n) {
  if (n == 10 && x.size() > 9) {
    Series out = nan_series(x.size());
    if (scan_max(View(x), n, out.data())) return out;
  }
  return rolling_max(View(x), n);
}

Series midpoint(In x, std::size_t n) { return channel_mid(View(x), View(x), n); }
Series midprice(In high, In low, std::size_t n) { return channel_mid(View(high), View(low), n); }
Series donchian(In high, In low, std::size_t n) { return midprice(high, low, n); }

}  // namespace kadmo::compute
