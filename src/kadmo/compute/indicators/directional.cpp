#include "kadmo/compute/indicators/directional.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

namespace kadmo::compute {

namespace {

constexpr double kTiny = 1e-14;

// Which of the three running sums an indicator keeps.
enum : unsigned { kP = 1, kM = 2, kT = 4, kAll = kP | kM | kT };

struct Sums {
  double p = 0.0, m = 0.0, t = 0.0;
};

// The one-row movements and true range of row t (t >= 1). A missing high or
// low fails both comparisons, so its movement is 0.
struct Rows {
  const double *h, *l, *c;

  [[gnu::always_inline]] double plus(std::size_t t) const {
    const double up = h[t] - h[t - 1], down = l[t - 1] - l[t];
    return (down < up && up > 0.0) ? up : 0.0;
  }
  [[gnu::always_inline]] double minus(std::size_t t) const {
    const double up = h[t] - h[t - 1], down = l[t - 1] - l[t];
    return (up < down && down > 0.0) ? down : 0.0;
  }
  [[gnu::always_inline]] double tr(std::size_t t) const {
    const double pc = c[t - 1];
    return nan_max(nan_max(h[t] - l[t], std::fabs(h[t] - pc)), std::fabs(l[t] - pc));
  }

  template <unsigned K>
  [[gnu::always_inline]] void add(Sums& s, std::size_t t) const {
    if constexpr ((K & kP) != 0) s.p += plus(t);
    if constexpr ((K & kM) != 0) s.m += minus(t);
    if constexpr ((K & kT) != 0) s.t += tr(t);
  }
  // Wilder's running-sum rule, one rounding: a*S + value.
  template <unsigned K>
  [[gnu::always_inline]] void smooth(Sums& s, double a, std::size_t t) const {
    if constexpr ((K & kP) != 0) s.p = std::fma(a, s.p, plus(t));
    if constexpr ((K & kM) != 0) s.m = std::fma(a, s.m, minus(t));
    if constexpr ((K & kT) != 0) s.t = std::fma(a, s.t, tr(t));
  }
};

Rows rows(In h, In l, In c) { return Rows{h.data(), l.data(), c.empty() ? h.data() : c.data()}; }

double sum_weight(std::size_t n) { return 1.0 - 1.0 / static_cast<double>(n); }

[[gnu::always_inline]] inline double di_value(double dm, double tr) {
  return std::fabs(tr) < kTiny ? 0.0 : (dm * 100.0) / tr;
}

[[gnu::always_inline]] inline double dx_value(const Sums& s) {
  if (std::fabs(s.t) < kTiny) return 0.0;
  const double pdi = (s.p * 100.0) / s.t, mdi = (s.m * 100.0) / s.t;
  const double sum = pdi + mdi;
  return std::fabs(sum) < kTiny ? 0.0 : (std::fabs(mdi - pdi) * 100.0) / sum;
}

// First row of the computation: where every input is present.
std::size_t lead(In h, In l, In c) {
  std::size_t f = std::max(first_present(View(h)), first_present(View(l)));
  if (!c.empty()) f = std::max(f, first_present(View(c)));
  return f;
}

// Whether k*n - sub < avail, without overflow (n >= 1, k*n >= sub).
bool fits(std::size_t k, std::size_t n, std::size_t sub, std::size_t avail) {
  if (n == 0 || n > avail) return false;
  return k * n - sub < avail;
}

// The sums seeded at row f+n-1 (the plain sum of rows f+1..f+n-1).
// Nothing when n = 0 or that row does not exist (n > len - f).
struct Seeded {
  Sums s;
  std::size_t f;  // first row
};
template <unsigned K>
[[gnu::always_inline]] inline std::optional<Seeded> seed(const Rows& r, In h, In l, In c, std::size_t n) {
  const std::size_t len = h.size();
  const std::size_t f = lead(h, l, c);
  if (f >= len || n == 0 || n > len - f) return std::nullopt;
  Seeded sd{{}, f};
  for (std::size_t t = f + 1; t < f + n; ++t) r.add<K>(sd.s, t);
  return sd;
}

// The sums after the last row. The DM lines have a value at the seed row
// itself; the DI lines, DX and the bare sums need one row beyond it.
template <unsigned K>
std::optional<Sums> final_sums(In h, In l, In c, std::size_t n) {
  const Rows r = rows(h, l, c);
  auto sd = seed<K>(r, h, l, c, n);
  if (!sd) return std::nullopt;
  if constexpr ((K & kT) != 0)
    if (sd->f + n >= h.size()) return std::nullopt;
  const double a = sum_weight(n);
  for (std::size_t t = sd->f + n; t < h.size(); ++t) r.smooth<K>(sd->s, a, t);
  return sd->s;
}

// Each indicator is written as a walk over the rows after the seed: the
// batch, final-state and resume forms all perform the same operations in the
// same order, so a resumed tail equals the batch values bit for bit.

// DX after updating the sums of row t, for the rows from `from` on.
struct DxWalk {
  Rows r;
  double a;
  Sums s;
  [[gnu::always_inline]] double next(std::size_t t) {
    r.smooth<kAll>(s, a, t);
    return dx_value(s);
  }
};

// ADX: its own seed is the mean of the DX of rows f+n..f+2n-1.
struct AdxWalk {
  DxWalk d;
  double adx = kNaN;
  double a2 = 0.0, b2 = 0.0;  // (n-1)/n and 1/n
  [[gnu::always_inline]] double next(std::size_t t) {
    adx = std::fma(a2, adx, d.next(t) * b2);
    return adx;
  }
};

// The ADX walk positioned after row f+2n-1 (its first value); nothing when
// 2n-1 >= len - f.
std::optional<std::pair<AdxWalk, std::size_t>> adx_start(In h, In l, In c, std::size_t n) {
  const std::size_t len = h.size();
  const std::size_t f = lead(h, l, c);
  if (f >= len || !fits(2, n, 1, len - f)) return std::nullopt;
  const Rows r = rows(h, l, c);
  auto sd = seed<kAll>(r, h, l, c, n);
  if (!sd) return std::nullopt;
  const double nn = static_cast<double>(n);
  AdxWalk w{DxWalk{r, sum_weight(n), sd->s}, kNaN, (nn - 1.0) / nn, 1.0 / nn};
  double sum = 0.0;
  const std::size_t first = f + 2 * n - 1;
  for (std::size_t t = f + n; t <= first; ++t) sum += w.d.next(t);
  w.adx = sum / nn;
  return std::pair{w, first};
}

std::optional<State> sums_state(std::optional<Sums> s, unsigned k) {
  if (!s) return std::nullopt;
  State st;
  if (k & kP) st.push_back(s->p);
  if (k & kM) st.push_back(s->m);
  if (k & kT) st.push_back(s->t);
  return st;
}

bool can_resume(In h, std::size_t n, std::size_t start, const State& state, std::size_t slots) {
  return n != 0 && start != 0 && start <= h.size() && state.size() >= slots;
}

}  // namespace

// ---- batch -------------------------------------------------------------------

namespace {
template <unsigned K>
KADMO_HOT Series dm_series(In h, In l, std::size_t n) {
  const std::size_t len = h.size();
  const Rows r = rows(h, l, {});
  auto sd = seed<K>(r, h, l, {}, n);
  if (!sd) return nan_series(len);
  const double a = sum_weight(n);
  Series out = nan_series(len);
  double* o = out.data();
  Sums s = sd->s;
  o[sd->f + n - 1] = K == kP ? s.p : s.m;
  for (std::size_t t = sd->f + n; t < len; ++t) {
    r.smooth<K>(s, a, t);
    o[t] = K == kP ? s.p : s.m;
  }
  return out;
}

template <unsigned K>
KADMO_HOT Series di_series(In h, In l, In c, std::size_t n) {
  const std::size_t len = h.size();
  const Rows r = rows(h, l, c);
  auto sd = seed<K | kT>(r, h, l, c, n);
  if (!sd) return nan_series(len);
  const double a = sum_weight(n);
  Series out = nan_series(len);
  double* o = out.data();
  Sums s = sd->s;
  for (std::size_t t = sd->f + n; t < len; ++t) {
    r.smooth<K | kT>(s, a, t);
    o[t] = di_value(K == kP ? s.p : s.m, s.t);
  }
  return out;
}
}  // namespace

Series plus_dm(In high, In low, std::size_t n) { return dm_series<kP>(high, low, n); }
Series minus_dm(In high, In low, std::size_t n) { return dm_series<kM>(high, low, n); }
Series plus_di(In high, In low, In close, std::size_t n) { return di_series<kP>(high, low, close, n); }
Series minus_di(In high, In low, In close, std::size_t n) { return di_series<kM>(high, low, close, n); }

Series di(In dm_sum, In tr_sum, std::size_t n) {
  const std::size_t len = dm_sum.size();
  Series out = nan_series(len);
  if (n == 0) return out;
  for (std::size_t t = n; t < len; ++t) out[t] = di_value(dm_sum[t], tr_sum[t]);
  return out;
}

KADMO_HOT Series dx(In high, In low, In close, std::size_t n) {
  const std::size_t len = high.size();
  const Rows r = rows(high, low, close);
  auto sd = seed<kAll>(r, high, low, close, n);
  if (!sd) return nan_series(len);
  Series out = nan_series(len);
  double* o = out.data();
  DxWalk w{r, sum_weight(n), sd->s};
  for (std::size_t t = sd->f + n; t < len; ++t) o[t] = w.next(t);
  return out;
}

KADMO_HOT Series adx(In high, In low, In close, std::size_t n) {
  const std::size_t len = high.size();
  auto st = adx_start(high, low, close, n);
  if (!st) return nan_series(len);
  auto [w, first] = *st;
  Series out = nan_series(len);
  double* o = out.data();
  o[first] = w.adx;
  for (std::size_t t = first + 1; t < len; ++t) o[t] = w.next(t);
  return out;
}

Series adxr(In high, In low, In close, std::size_t n) {
  const std::size_t len = high.size();
  const std::size_t f = lead(high, low, close);
  if (f >= len || !fits(3, n, 2, len - f)) return nan_series(len);
  Series out = adx(high, low, close, n);
  // In place from the top: row t reads rows t and t-n+1, neither rewritten yet.
  const std::size_t first = f + 3 * n - 2;
  for (std::size_t t = len; t-- > first;) out[t] = (out[t] + out[t - n + 1]) * 0.5;
  std::fill(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(first), kNaN);
  return out;
}

KADMO_HOT_GEN std::optional<std::array<double, 3>> dm_tr_sums_final(In high, In low, In close, std::size_t n) {
  auto s = final_sums<kAll>(high, low, close, n);
  if (!s) return std::nullopt;
  return std::array<double, 3>{s->p, s->m, s->t};
}

// ---- final state / resume ----------------------------------------------------

KADMO_HOT_GEN std::optional<State> plus_dm_final_state(In high, In low, std::size_t n) {
  return sums_state(final_sums<kP>(high, low, {}, n), kP);
}
KADMO_HOT_GEN std::optional<State> minus_dm_final_state(In high, In low, std::size_t n) {
  return sums_state(final_sums<kM>(high, low, {}, n), kM);
}
KADMO_HOT_GEN std::optional<State> plus_di_final_state(In high, In low, In close, std::size_t n) {
  return sums_state(final_sums<kP | kT>(high, low, close, n), kP | kT);
}
KADMO_HOT_GEN std::optional<State> minus_di_final_state(In high, In low, In close, std::size_t n) {
  return sums_state(final_sums<kM | kT>(high, low, close, n), kM | kT);
}
KADMO_HOT_GEN std::optional<State> dx_final_state(In high, In low, In close, std::size_t n) {
  return sums_state(final_sums<kAll>(high, low, close, n), kAll);
}

namespace {
// Resume of the sums alone (DM and DI lines): state slots in the order p, m, t
// of the sums kept.
template <unsigned K, bool Di>
Resumed sums_resume(In h, In l, In c, std::size_t n, std::size_t start, const State& state) {
  constexpr std::size_t slots = ((K & kP) ? 1 : 0) + ((K & kM) ? 1 : 0) + ((K & kT) ? 1 : 0);
  if (!can_resume(h, n, start, state, slots)) return std::nullopt;
  const Rows r = rows(h, l, c);
  const double a = sum_weight(n);
  Sums s;
  std::size_t i = 0;
  if constexpr ((K & kP) != 0) s.p = state[i++];
  if constexpr ((K & kM) != 0) s.m = state[i++];
  if constexpr ((K & kT) != 0) s.t = state[i++];
  Series out(h.size() - start);
  for (std::size_t t = start; t < h.size(); ++t) {
    r.smooth<K>(s, a, t);
    const double dm = (K & kP) ? s.p : s.m;
    out[t - start] = Di ? di_value(dm, s.t) : dm;
  }
  return std::pair{std::move(out), *sums_state(s, K)};
}
}  // namespace

KADMO_HOT_GEN Resumed plus_dm_resume(In high, In low, std::size_t n, std::size_t start, const State& state) {
  return sums_resume<kP, false>(high, low, {}, n, start, state);
}
KADMO_HOT_GEN Resumed minus_dm_resume(In high, In low, std::size_t n, std::size_t start, const State& state) {
  return sums_resume<kM, false>(high, low, {}, n, start, state);
}
KADMO_HOT_GEN Resumed plus_di_resume(In high, In low, In close, std::size_t n, std::size_t start, const State& state) {
  return sums_resume<kP | kT, true>(high, low, close, n, start, state);
}
KADMO_HOT_GEN Resumed minus_di_resume(In high, In low, In close, std::size_t n, std::size_t start, const State& state) {
  return sums_resume<kM | kT, true>(high, low, close, n, start, state);
}

KADMO_HOT_GEN Resumed dx_resume(In high, In low, In close, std::size_t n, std::size_t start, const State& state) {
  if (!can_resume(high, n, start, state, 3)) return std::nullopt;
  DxWalk w{rows(high, low, close), sum_weight(n), Sums{state[0], state[1], state[2]}};
  Series out(high.size() - start);
  for (std::size_t t = start; t < high.size(); ++t) out[t - start] = w.next(t);
  return std::pair{std::move(out), State{w.s.p, w.s.m, w.s.t}};
}

KADMO_HOT_GEN std::optional<State> adx_final_state(In high, In low, In close, std::size_t n) {
  auto st = adx_start(high, low, close, n);
  if (!st) return std::nullopt;
  auto [w, first] = *st;
  for (std::size_t t = first + 1; t < high.size(); ++t) w.next(t);
  return State{w.d.s.p, w.d.s.m, w.d.s.t, w.adx};
}

KADMO_HOT_GEN Resumed adx_resume(In high, In low, In close, std::size_t n, std::size_t start, const State& state) {
  if (!can_resume(high, n, start, state, 4)) return std::nullopt;
  const double nn = static_cast<double>(n);
  AdxWalk w{DxWalk{rows(high, low, close), sum_weight(n), Sums{state[0], state[1], state[2]}}, state[3],
            (nn - 1.0) / nn, 1.0 / nn};
  Series out(high.size() - start);
  for (std::size_t t = start; t < high.size(); ++t) out[t - start] = w.next(t);
  return std::pair{std::move(out), State{w.d.s.p, w.d.s.m, w.d.s.t, w.adx}};
}

KADMO_HOT_GEN std::optional<State> adxr_final_state(In high, In low, In close, std::size_t n) {
  const std::size_t len = high.size();
  const std::size_t f = lead(high, low, close);
  if (f >= len || !fits(3, n, 2, len - f)) return std::nullopt;
  auto st = adx_start(high, low, close, n);
  if (!st) return std::nullopt;
  auto [w, first] = *st;
  // Ring of the last n ADX values; slot t % n holds row t.
  std::vector<double> ring(n, kNaN);
  ring[first % n] = w.adx;
  for (std::size_t t = first + 1; t < len; ++t) ring[t % n] = w.next(t);
  State out{w.d.s.p, w.d.s.m, w.d.s.t};
  out.reserve(3 + n);
  for (std::size_t t = len - n; t < len; ++t) out.push_back(ring[t % n]);
  return out;
}

KADMO_HOT_GEN Resumed adxr_resume(In high, In low, In close, std::size_t n, std::size_t start, const State& state) {
  if (!can_resume(high, n, start, state, 3) || state.size() - 3 < n) return std::nullopt;
  const double nn = static_cast<double>(n);
  // The window of ADX values, oldest first; the last one is the n-th.
  std::vector<double> win(state.begin() + 3, state.begin() + 3 + static_cast<std::ptrdiff_t>(n));
  AdxWalk w{DxWalk{rows(high, low, close), sum_weight(n), Sums{state[0], state[1], state[2]}}, win[n - 1],
            (nn - 1.0) / nn, 1.0 / nn};
  Series out(high.size() - start);
  // Ring over the window: `head` is the oldest slot.
  std::size_t head = 0;
  for (std::size_t t = start; t < high.size(); ++t) {
    const double v = w.next(t);
    win[head] = v;  // the oldest leaves, the new value takes its slot
    head = head + 1 == n ? 0 : head + 1;
    out[t - start] = (v + win[head]) * 0.5;  // win[head]: the adx of row t-n+1
  }
  State ns{w.d.s.p, w.d.s.m, w.d.s.t};
  ns.reserve(3 + n);
  for (std::size_t i = 0; i < n; ++i) ns.push_back(win[(head + i) % n]);
  return std::pair{std::move(out), std::move(ns)};
}

}  // namespace kadmo::compute
