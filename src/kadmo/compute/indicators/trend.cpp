#include "kadmo/compute/indicators/trend.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <utility>

namespace kadmo::compute {

namespace {

// Seeded-recursion smoother (ema, smma, atr): one loop for batch and state.
Series seeded_batch(In x, std::size_t n, StepRule rule) { return sma_seeded(View(x), n, rule); }

// The final state runs the same seed as the batch (present values only), so a
// missing value inside the warm-up gives the state the batch continues from.
std::optional<State> seeded_final(In x, std::size_t n, StepRule rule) {
  if (n == 0 || x.empty()) return std::nullopt;
  SeededStage st{n};
  for (double v : x) st.push(v, rule);
  if (!st.seeded()) return std::nullopt;
  return State{st.value};
}

Resumed seeded_resume(In x, std::size_t start, const State& state, StepRule rule) {
  if (start > x.size() || state.empty()) return std::nullopt;
  double e = state[0];
  ChunkedOut out(x.size() - start, 0);
  for (std::size_t k; (k = out.next()) != 0; out.commit(k))
    e = seeded_run(out.buf, x.data() + start + out.row, 1, k, rule, e);
  return std::pair{out.take(), State{e}};
}

// Chained exponential averages: each stage seeds on the first n present
// values of its input and passes nothing on before its seed.
template <std::size_t K>
struct Chain {
  std::array<SeededStage, K> s;
  StepRule rule;
  explicit Chain(std::size_t n) : rule(StepRule::exponential_period(n)) {
    for (auto& st : s) st.n = n;
  }
  bool push(double x) {
    double v = s[0].push(x, rule);
    for (std::size_t k = 1; k < K; ++k) {
      if (!s[k - 1].seeded()) return false;
      v = s[k].push(v, rule);
    }
    return s[K - 1].seeded();
  }
  std::array<double, K> values() const {
    std::array<double, K> e;
    for (std::size_t k = 0; k < K; ++k) e[k] = s[k].value;
    return e;
  }
};

// Unrolled with constant indices so that the stages stay in registers.
template <std::size_t K, std::size_t... I>
[[gnu::always_inline]] inline void chain_step_at(std::array<double, K>& e, double a, double x,
                                                 std::index_sequence<I...>) {
  e[0] = std::fma(a, x - e[0], e[0]);
  ((e[I + 1] = std::fma(a, e[I] - e[I + 1], e[I + 1])), ...);
}
template <std::size_t K>
[[gnu::always_inline]] inline void chain_step(std::array<double, K>& e, double a, double x) {
  chain_step_at(e, a, x, std::make_index_sequence<K - 1>{});
}

struct DemaComb {
  double operator()(const std::array<double, 2>& e) const { return 2.0 * e[0] - e[1]; }
};
struct TemaComb {
  double operator()(const std::array<double, 3>& e) const { return (3.0 * e[0] - 3.0 * e[1]) + e[2]; }
};
struct T3Comb {
  double c1, c2, c3, c4;
  explicit T3Comb(double v) {
    const double v2 = v * v, v3 = v2 * v;
    c1 = -v3;
    c2 = 3.0 * v2 + 3.0 * v3;
    c3 = (-6.0 * v2 - 3.0 * v) - 3.0 * v3;
    c4 = ((1.0 + 3.0 * v) + v3) + 3.0 * v2;
  }
  double operator()(const std::array<double, 6>& e) const {
    return c4 * e[2] + (c3 * e[3] + (c2 * e[4] + c1 * e[5]));
  }
};

// Rows after the first present value that the chain needs before its first
// value: K(n-1)+1.
template <std::size_t K>
bool chain_too_short(In x, std::size_t n, std::size_t f) {
  return n == 0 || x.size() - f < K * (n - 1) + 1;
}

// Steps of a chain over one chunk, in its own function so that the stages
// stay in registers (see ChunkedOut).
template <std::size_t K, class Comb>
[[gnu::always_inline]] inline std::array<double, K> chain_run(double* __restrict o, const double* __restrict p,
                                                              std::size_t k, std::array<double, K> e, double a,
                                                              const Comb& comb) {
  for (std::size_t j = 0; j < k; ++j) {
    chain_step(e, a, p[j]);
    o[j] = comb(e);
  }
  return e;
}
KADMO_HOT_CHUNK std::array<double, 2> dema_run(double* o, const double* p, std::size_t k, std::array<double, 2> e,
                                              double a) {
  return chain_run(o, p, k, e, a, DemaComb{});
}
KADMO_HOT_CHUNK std::array<double, 3> tema_run(double* o, const double* p, std::size_t k, std::array<double, 3> e,
                                              double a) {
  return chain_run(o, p, k, e, a, TemaComb{});
}
KADMO_HOT_CHUNK void t3_run(double* o, const double* p, std::size_t k, std::array<double, 6>& e, double a,
                            const T3Comb& comb) {
  e = chain_run(o, p, k, e, a, comb);
}

template <std::size_t K, class Comb, class Run>
[[gnu::always_inline]] inline Series chain_batch(In x, std::size_t n, Comb comb, Run run) {
  const std::size_t f = first_present(View(x));
  if (chain_too_short<K>(x, n, f)) return nan_series(x.size());
  Chain<K> ch(n);
  std::size_t i = f;
  bool ready = false;
  for (; i < x.size() && !ready; ++i) ready = ch.push(x[i]);
  if (!ready) return nan_series(x.size());
  // Row i - 1 holds the combination of the seeds; every later row takes a step.
  const std::size_t s0 = i - 1;
  std::array<double, K> e = ch.values();
  const double a = ch.rule.a;
  ChunkedOut out(x.size(), s0);
  out.buf[0] = comb(e);
  for (std::size_t k; (k = out.next()) != 0; out.commit(k)) {
    const std::size_t skip = out.row == s0 ? 1 : 0;
    run(out.buf + skip, x.data() + out.row + skip, k - skip, e, a);
  }
  return out.take();
}

template <std::size_t K>
std::optional<State> chain_final(In x, std::size_t n) {
  const std::size_t f = first_present(View(x));
  if (chain_too_short<K>(x, n, f)) return std::nullopt;
  Chain<K> ch(n);
  std::size_t i = f;
  bool ready = false;
  for (; i < x.size() && !ready; ++i) ready = ch.push(x[i]);
  if (!ready) return std::nullopt;
  std::array<double, K> e = ch.values();
  for (; i < x.size(); ++i) chain_step(e, ch.rule.a, x[i]);
  return State(e.begin(), e.end());
}

template <std::size_t K, class Comb>
Resumed chain_resume(In x, std::size_t n, std::size_t start, const State& state, Comb comb) {
  if (n == 0 || start > x.size() || state.size() < K) return std::nullopt;
  std::array<double, K> e;
  std::copy_n(state.begin(), K, e.begin());
  const double a = StepRule::exponential_period(n).a;
  Series out(x.size() - start);
  for (std::size_t t = start; t < x.size(); ++t) {
    chain_step(e, a, x[t]);
    out[t - start] = comb(e);
  }
  return std::pair{std::move(out), State(e.begin(), e.end())};
}

// KAMA smoothing constant: (2/3 - 2/31)*|dir/noise| + 2/31, squared.
// Both sides are computed and one is selected: which applies depends on the
// data, and a mispredicted branch costs more than the division.
inline double kama_sc(double noise, double direction) {
  const bool flat = (std::fabs(noise) < 1e-14) | (noise <= direction);
  const double r = std::fma(0.6021505376344085, std::fabs(direction / noise), 0.06451612903225806);
  return flat ? 0.44444444444444425 : r * r;
}

// KAMA steps over one chunk; y points at the chunk's first row, which is
// past the first value, so the noise sum slides on every row.
KADMO_HOT_CHUNK std::array<double, 2> kama_chunk(double* __restrict o, const double* __restrict y, std::size_t k,
                                                std::size_t n, std::array<double, 2> st) {
  double noise = st[0], prev = st[1];
  const double* __restrict back = y - n;
  for (std::size_t j = 0; j < k; ++j) {
    noise = std::fabs(y[j] - y[j - 1]) + (noise - std::fabs(back[j - 1] - back[j]));
    const double sc = kama_sc(noise, y[j] - back[j]);
    o[j] = prev = std::fma(sc, y[j] - prev, prev);
  }
  return {noise, prev};
}

// The batch loop without the output, for the final state.
struct KamaRun {
  double kama = kNaN;
  double noise = kNaN;
};
inline KamaRun kama_run(In x, std::size_t n) {
  KamaRun r;
  const std::size_t f = first_present(View(x));
  if (n == 0 || x.size() - f < n + 1) return r;
  const double* y = x.data() + f;
  const std::size_t m = x.size() - f;
  double noise = 0.0;
  for (std::size_t j = 1; j <= n; ++j) noise += std::fabs(y[j - 1] - y[j]);
  double prev = y[n - 1];
  for (std::size_t t = n; t < m; ++t) {
    if (t > n) noise = std::fabs(y[t] - y[t - 1]) + (noise - std::fabs(y[t - n - 1] - y[t - n]));
    const double sc = kama_sc(noise, y[t] - y[t - n]);
    prev = std::fma(sc, y[t] - prev, prev);
  }
  r.kama = prev;
  r.noise = noise;
  return r;
}

// Both averages of the line; the line exists once both are seeded.
struct MacdRun {
  SeededStage fast, slow, sig;
  StepRule rf, rs, rg;
  MacdRun(std::size_t f, std::size_t s, std::size_t g)
      : fast{f}, slow{s}, sig{g},
        rf(StepRule::exponential_period(f)),
        rs(StepRule::exponential_period(s)),
        rg(StepRule::exponential_period(g)) {}
  // Returns the line (NaN before both seeds).
  double push(double x) {
    const double a = fast.push(x, rf);
    const double b = slow.push(x, rs);
    return fast.seeded() && slow.seeded() ? a - b : kNaN;
  }
};

// Seeding of the line and, for a signal period above 0, of the signal: the
// first row where every wanted average exists and the averages there.
struct MacdSeed {
  std::size_t row;  // len when never reached
  double ef, es, eg;
};
MacdSeed macd_seed(In x, std::size_t fast, std::size_t slow, std::size_t signal) {
  MacdRun r(fast, slow, signal == 0 ? 1 : signal);
  for (std::size_t i = 0; i < x.size(); ++i) {
    const double l = r.push(x[i]);
    if (signal != 0) r.sig.push(l, r.rg);
    if (r.fast.seeded() && r.slow.seeded() && (signal == 0 || r.sig.seeded()))
      return {i, r.fast.value, r.slow.value, r.sig.value};
  }
  return {x.size(), kNaN, kNaN, kNaN};
}

// Plain MACD updates over one chunk (see ChunkedOut): the line alone, or the
// line with its signal average and the three outputs.
KADMO_HOT_CHUNK std::array<double, 2> macd_line_run(double* __restrict lo, const double* __restrict p,
                                                    std::size_t k, double af, double as, std::array<double, 2> e) {
  double ef = e[0], es = e[1];
  for (std::size_t j = 0; j < k; ++j) {
    ef = std::fma(af, p[j] - ef, ef);
    es = std::fma(as, p[j] - es, es);
    lo[j] = ef - es;
  }
  return {ef, es};
}
enum class MacdOut { Line, Signal, Histogram, All };
template <MacdOut W>
[[gnu::always_inline]] inline std::array<double, 3> macd_sig_run(double* __restrict lo, double* __restrict so,
                                                                 double* __restrict ho, const double* __restrict p,
                                                                 std::size_t k, double af, double as, double ag,
                                                                 std::array<double, 3> e) {
  double ef = e[0], es = e[1], eg = e[2];
  for (std::size_t j = 0; j < k; ++j) {
    ef = std::fma(af, p[j] - ef, ef);
    es = std::fma(as, p[j] - es, es);
    const double l = ef - es;
    eg = std::fma(ag, l - eg, eg);
    if constexpr (W == MacdOut::All) {
      lo[j] = l;
      so[j] = eg;
      ho[j] = l - eg;
    } else if constexpr (W == MacdOut::Signal) {
      so[j] = eg;
    } else {
      ho[j] = l - eg;
    }
  }
  return {ef, es, eg};
}
KADMO_HOT_CHUNK std::array<double, 3> macd_all_run(double* lo, double* so, double* ho, const double* p, std::size_t k,
                                                   double af, double as, double ag, std::array<double, 3> e) {
  return macd_sig_run<MacdOut::All>(lo, so, ho, p, k, af, as, ag, e);
}
KADMO_HOT_CHUNK std::array<double, 3> macd_signal_run(double* o, const double* p, std::size_t k, double af, double as,
                                                      double ag, std::array<double, 3> e) {
  return macd_sig_run<MacdOut::Signal>(nullptr, o, nullptr, p, k, af, as, ag, e);
}
KADMO_HOT_CHUNK std::array<double, 3> macd_hist_run(double* o, const double* p, std::size_t k, double af, double as,
                                                    double ag, std::array<double, 3> e) {
  return macd_sig_run<MacdOut::Histogram>(nullptr, nullptr, o, p, k, af, as, ag, e);
}

// Line, signal or histogram from the seed row on: plain updates after it.
template <MacdOut W>
[[gnu::always_inline]] inline Series macd_series(In x, std::size_t fast, std::size_t slow, std::size_t signal) {
  if (fast == 0 || slow == 0 || (W != MacdOut::Line && signal == 0)) return nan_series(x.size());
  const MacdSeed sd = macd_seed(x, fast, slow, W == MacdOut::Line ? 0 : signal);
  if (sd.row == x.size()) return nan_series(x.size());
  const double af = StepRule::exponential_period(fast).a, as = StepRule::exponential_period(slow).a;
  const double ag = W == MacdOut::Line ? 0.0 : StepRule::exponential_period(signal).a;
  const double l = sd.ef - sd.es;
  ChunkedOut out(x.size(), sd.row);
  if constexpr (W == MacdOut::Line) out.put(l);
  else if constexpr (W == MacdOut::Signal) out.put(sd.eg);
  else out.put(l - sd.eg);
  out.flush();
  const double* p = x.data();
  if constexpr (W == MacdOut::Line) {
    std::array<double, 2> e{sd.ef, sd.es};
    for (std::size_t k; (k = out.next()) != 0; out.commit(k)) e = macd_line_run(out.buf, p + out.row, k, af, as, e);
  } else {
    std::array<double, 3> e{sd.ef, sd.es, sd.eg};
    for (std::size_t k; (k = out.next()) != 0; out.commit(k)) {
      if constexpr (W == MacdOut::Signal) e = macd_signal_run(out.buf, p + out.row, k, af, as, ag, e);
      else e = macd_hist_run(out.buf, p + out.row, k, af, as, ag, e);
    }
  }
  return out.take();
}

inline double true_range(double h, double l, double prev_close) {
  return nan_max(nan_max(h - l, std::fabs(h - prev_close)), std::fabs(l - prev_close));
}

// The same value with two plain compares: with the operands in this order a
// NaN range is passed over exactly where nan_max would pass over it, except
// a NaN high - low, which makes the result NaN; only then the full rule runs.
inline double true_range_fast(double h, double l, double prev_close) {
  const double hl = h - l, hc = std::fabs(h - prev_close), lc = std::fabs(l - prev_close);
  const double m = hc > hl ? hc : hl;
  const double r = lc > m ? lc : m;
  if (r != r) [[unlikely]]
    return nan_max(nan_max(hl, hc), lc);
  return r;
}

// Wilder steps of the average true range over one chunk; c points at the
// previous row's close. Normalised (natr): the value written is the average
// over the row's close times 100, computed beside the chain.
template <bool Normalised>
[[gnu::always_inline]] inline double atr_steps(double* __restrict o, const double* __restrict h,
                                               const double* __restrict l, const double* __restrict c, std::size_t k,
                                               double a, double b, double v) {
  for (std::size_t j = 0; j < k; ++j) {
    v = std::fma(a, v, b * true_range_fast(h[j], l[j], c[j]));
    o[j] = Normalised ? v / c[j + 1] * 100.0 : v;
  }
  return v;
}
KADMO_HOT_CHUNK double atr_run(double* o, const double* h, const double* l, const double* c, std::size_t k, double a,
                               double b, double v) {
  return atr_steps<false>(o, h, l, c, k, a, b, v);
}
KADMO_HOT_CHUNK double natr_run(double* o, const double* h, const double* l, const double* c, std::size_t k, double a,
                                double b, double v) {
  return atr_steps<true>(o, h, l, c, k, a, b, v);
}

// ---- triangular average ----------------------------------------------------

using V4 = double __attribute__((vector_size(32)));

struct TrimaSums {
  double sum, total;
};

// Triangular average over one chunk of c rows. Each row costs two running
// sums and two divisions; the divisions are done four rows at a time and
// the outer sum runs a few rows behind the inner one, so that the divider
// works alongside the two add chains instead of after them. Inner values go
// to ring[pos + j]; the one leaving the outer window sits k rows earlier.
KADMO_HOT_CHUNK TrimaSums trima_chunk(double* __restrict o, const double* __restrict y, std::size_t c, std::size_t m,
                                      double* __restrict ring, std::size_t mask, std::size_t pos, std::size_t k,
                                      double mm, double kk, TrimaSums st) {
  constexpr std::size_t lag = 8;
  double sum = st.sum, total = st.total;
  const double* __restrict ym = y - m;
  double* __restrict in = ring + pos;
  const std::size_t old = pos - k;
  const V4 vm = {mm, mm, mm, mm}, vk = {kk, kk, kk, kk};
  // The vectors are built from registers: a wide load of values just stored
  // one by one would stall on store forwarding.
  auto inner_step = [&](std::size_t r) {
    sum += y[r];
    sum -= ym[r];
    return sum;
  };
  auto outer_step = [&](std::size_t r) {
    total += in[r];
    total -= ring[(old + r) & mask];
    return total;
  };
  std::size_t j = 0, t = 0;
  for (; j + 4 <= c; j += 4) {
    const double s0 = inner_step(j), s1 = inner_step(j + 1), s2 = inner_step(j + 2), s3 = inner_step(j + 3);
    const V4 iv = V4{s0, s1, s2, s3} / vm;
    std::memcpy(in + j, &iv, sizeof iv);
    if (j >= lag) {
      const double t0 = outer_step(t), t1 = outer_step(t + 1), t2 = outer_step(t + 2), t3 = outer_step(t + 3);
      const V4 ov = V4{t0, t1, t2, t3} / vk;
      std::memcpy(o + t, &ov, sizeof ov);
      t += 4;
    }
  }
  for (; j < c; ++j) in[j] = inner_step(j) / mm;
  for (; t < c; ++t) o[t] = outer_step(t) / kk;
  return {sum, total};
}

// ---- parabolic SAR -------------------------------------------------------

struct Sar {
  bool is_long;
  double af, ep, sar, ph, pl;
};

// nan_max and nan_min as branches the compiler keeps: the stop rarely
// touches the previous bar's range, so these are predicted and stay off the
// stop's dependency chain, where a min/max instruction would add its latency
// to every row.
[[gnu::always_inline]] inline double stop_max(double a, double b) {
  if (std::isnan(a)) [[unlikely]]
    return b;
  if (__builtin_expect(a < b, 0)) return b;
  return a;
}
[[gnu::always_inline]] inline double stop_min(double a, double b) {
  if (std::isnan(a)) [[unlikely]]
    return b;
  if (__builtin_expect(b < a, 0)) return b;
  return a;
}

[[gnu::always_inline]] inline double sar_step(Sar& s, double h, double l, double step, double maximum) {
  double out;
  if (s.is_long) {
    if (l <= s.sar) {
      out = stop_max(stop_max(s.ep, s.ph), h);
      s.is_long = false;
      s.af = step;
      s.ep = l;
      s.sar = out + s.af * (s.ep - out);
      s.sar = stop_max(stop_max(s.sar, s.ph), h);
    } else {
      out = s.sar;
      // A new high is frequent and unpredictable: selects, not a branch.
      const bool up = h > s.ep;
      double af = s.af + step;
      af = af > maximum ? maximum : af;
      s.ep = up ? h : s.ep;
      s.af = up ? af : s.af;
      s.sar = s.sar + s.af * (s.ep - s.sar);
      s.sar = stop_min(stop_min(s.sar, s.pl), l);
    }
  } else {
    if (h >= s.sar) {
      out = stop_min(stop_min(s.ep, s.pl), l);
      s.is_long = true;
      s.af = step;
      s.ep = h;
      s.sar = out + s.af * (s.ep - out);
      s.sar = stop_min(stop_min(s.sar, s.pl), l);
    } else {
      out = s.sar;
      const bool down = l < s.ep;
      double af = s.af + step;
      af = af > maximum ? maximum : af;
      s.ep = down ? l : s.ep;
      s.af = down ? af : s.af;
      s.sar = s.sar + s.af * (s.ep - s.sar);
      s.sar = stop_max(stop_max(s.sar, s.ph), h);
    }
  }
  s.ph = h;
  s.pl = l;
  return out;
}

KADMO_HOT_CHUNK Sar sar_chunk(double* __restrict o, const double* __restrict h, const double* __restrict l,
                              std::size_t k, double step, double maximum, Sar s) {
  for (std::size_t j = 0; j < k; ++j) o[j] = sar_step(s, h[j], l[j], step, maximum);
  return s;
}

// Opening position from the first two bars: short only on a dominant down move.
inline bool starts_long(In high, In low) {
  const double plus = high[1] - high[0];
  const double minus = low[0] - low[1];
  return !(minus > 0.0 && plus < minus);
}

Sar sar_init(In high, In low, double step) {
  Sar s{};
  s.is_long = starts_long(high, low);
  s.sar = s.is_long ? low[0] : high[0];
  s.ep = s.is_long ? high[1] : low[1];
  s.af = step;
  s.ph = high[1];
  s.pl = low[1];
  return s;
}

struct SarExtParams {
  double offset, li, ls, lm, si, ss, sm;
  SarExtParams(double off, double li_, double ls_, double lm_, double si_, double ss_, double sm_)
      : offset(off), li(std::min(li_, lm_)), ls(std::min(ls_, lm_)), lm(lm_), si(std::min(si_, sm_)),
        ss(std::min(ss_, sm_)), sm(sm_) {}
};

struct SarExt {
  bool is_long;
  double af_long, af_short, ep, sar, ph, pl;
};

inline double sarext_step(SarExt& s, double h, double l, const SarExtParams& p) {
  double out;
  if (s.is_long) {
    if (l <= s.sar) {
      double stop = nan_max(nan_max(s.ep, s.ph), h);
      if (p.offset != 0.0) stop = stop + stop * p.offset;
      out = -stop;
      s.is_long = false;
      s.af_short = p.si;
      s.ep = l;
      s.sar = stop + (s.ep - stop) * s.af_short;
      s.sar = nan_max(nan_max(s.sar, s.ph), h);
    } else {
      out = s.sar;
      if (h > s.ep) {
        s.ep = h;
        s.af_long += p.ls;
        if (s.af_long > p.lm) s.af_long = p.lm;
      }
      s.sar = s.sar + s.af_long * (s.ep - s.sar);
      s.sar = nan_min(nan_min(s.sar, s.pl), l);
    }
  } else {
    if (h >= s.sar) {
      double stop = nan_min(nan_min(s.ep, s.pl), l);
      if (p.offset != 0.0) stop = stop - stop * p.offset;
      out = stop;
      s.is_long = true;
      s.af_long = p.li;
      s.ep = h;
      s.sar = stop + (s.ep - stop) * s.af_long;
      s.sar = nan_min(nan_min(s.sar, s.pl), l);
    } else {
      out = -s.sar;
      if (l < s.ep) {
        s.ep = l;
        s.af_short += p.ss;
        if (s.af_short > p.sm) s.af_short = p.sm;
      }
      s.sar = s.sar + s.af_short * (s.ep - s.sar);
      s.sar = nan_max(nan_max(s.sar, s.ph), h);
    }
  }
  s.ph = h;
  s.pl = l;
  return out;
}

SarExt sarext_init(In high, In low, double start_value, const SarExtParams& p) {
  SarExt s{};
  if (start_value > 0.0) {
    s.is_long = true;
    s.sar = start_value;
    s.ep = high[1];
  } else if (start_value < 0.0) {
    s.is_long = false;
    s.sar = std::fabs(start_value);
    s.ep = low[1];
  } else {
    s.is_long = starts_long(high, low);
    s.sar = s.is_long ? low[0] : high[0];
    s.ep = s.is_long ? high[1] : low[1];
  }
  s.af_long = p.li;
  s.af_short = p.si;
  s.ph = high[1];
  s.pl = low[1];
  return s;
}

}  // namespace

// ---- exponential and Wilder ----------------------------------------------

KADMO_HOT Series ema(In x, std::size_t n) { return seeded_batch(x, n, StepRule::exponential_period(n)); }
KADMO_HOT Series smma(In x, std::size_t n) { return seeded_batch(x, n, StepRule::wilder(n)); }

KADMO_HOT_GEN std::optional<State> ema_final_state(In x, std::size_t n) {
  return seeded_final(x, n, StepRule::exponential_period(n));
}
KADMO_HOT_GEN Resumed ema_resume(In x, std::size_t n, std::size_t start, const State& state) {
  if (n == 0) return std::nullopt;
  return seeded_resume(x, start, state, StepRule::exponential_period(n));
}
KADMO_HOT_GEN
std::optional<State> smma_final_state(In x, std::size_t n) { return seeded_final(x, n, StepRule::wilder(n)); }
KADMO_HOT_GEN Resumed smma_resume(In x, std::size_t n, std::size_t start, const State& state) {
  if (n == 0) return std::nullopt;
  return seeded_resume(x, start, state, StepRule::wilder(n));
}

// ---- weighted and triangular -----------------------------------------------

KADMO_HOT_GEN Series wma(In x, std::size_t n) {
  const std::size_t f = first_present(View(x));
  const std::size_t m = x.size() - f;
  if (n == 0 || n > m) return nan_series(x.size());
  const double* y = x.data() + f;
  const double nn = static_cast<double>(n);
  double total = 0.0, weighted = 0.0;
  for (std::size_t j = 0; j < n; ++j) {
    total += y[j];
    weighted += y[j] * static_cast<double>(j + 1);
  }
  const double d = static_cast<double>(n * (n + 1) / 2);
  // The total moves after the weighted sum has used it.
  return series_from(x.size(), f + n - 1, [=, t = n - 1]() mutable {
    if (t >= n) {
      weighted = weighted + y[t] * nn - total;
      total = total + y[t] - y[t - n];
    }
    ++t;
    return weighted / d;
  });
}

Series trima(In x, std::size_t n) {
  const std::size_t f = first_present(View(x));
  const std::size_t len = x.size() - f;
  if (n == 0 || n > len) return nan_series(x.size());
  const std::size_t m = n % 2 == 1 ? (n + 1) / 2 : n / 2;
  const std::size_t k = n % 2 == 1 ? (n + 1) / 2 : n / 2 + 1;
  const double mm = static_cast<double>(m), kk = static_cast<double>(k);
  const double* y = x.data() + f;
  // Inner values live in a ring indexed from the row after the first value,
  // so that every chunk's rows are contiguous in it.
  const std::size_t cap = std::bit_ceil(k + kChunk);
  const std::size_t mask = cap - 1;
  std::vector<double> ring(cap);
  double sum = 0.0, total = 0.0;
  // Fill the inner window and the ring up to the first value (row n - 1).
  std::size_t t = 0;
  for (; t < m - 1; ++t) sum += y[t];
  for (std::size_t filled = 0; filled < k; ++t) {
    sum += y[t];
    if (t >= m) sum -= y[t - m];
    const double inner = sum / mm;
    total += inner;
    ring[(cap - k + filled++) & mask] = inner;
  }
  const std::size_t first = t - 1;
  ChunkedOut out(x.size(), f + first);
  out.put(total / kk);
  out.flush();
  TrimaSums st{sum, total};
  for (std::size_t c; (c = out.next()) != 0; out.commit(c)) {
    const std::size_t row = out.row - f;
    st = trima_chunk(out.buf, y + row, c, m, ring.data(), mask, (row - first - 1) & mask, k, mm, kk, st);
  }
  return out.take();
}

// ---- chained exponential averages ------------------------------------------

Series dema(In x, std::size_t n) {
  return chain_batch<2>(x, n, DemaComb{}, [](double* o, const double* p, std::size_t k, auto& e, double a) {
    e = dema_run(o, p, k, e, a);
  });
}
Series tema(In x, std::size_t n) {
  return chain_batch<3>(x, n, TemaComb{}, [](double* o, const double* p, std::size_t k, auto& e, double a) {
    e = tema_run(o, p, k, e, a);
  });
}
Series t3(In x, std::size_t n, double v) {
  const T3Comb comb(v);
  return chain_batch<6>(x, n, comb, [&](double* o, const double* p, std::size_t k, auto& e, double a) {
    t3_run(o, p, k, e, a, comb);
  });
}

KADMO_HOT_GEN std::optional<State> dema_final_state(In x, std::size_t n) { return chain_final<2>(x, n); }
KADMO_HOT_GEN Resumed dema_resume(In x, std::size_t n, std::size_t start, const State& state) {
  return chain_resume<2>(x, n, start, state, DemaComb{});
}
KADMO_HOT_GEN std::optional<State> tema_final_state(In x, std::size_t n) {
  auto e = ema_cascade_final(View(x), n);
  if (!e) return std::nullopt;
  return State(e->begin(), e->end());
}
KADMO_HOT_GEN Resumed tema_resume(In x, std::size_t n, std::size_t start, const State& state) {
  return chain_resume<3>(x, n, start, state, TemaComb{});
}
KADMO_HOT_GEN std::optional<State> t3_final_state(In x, std::size_t n) { return chain_final<6>(x, n); }
KADMO_HOT_GEN Resumed t3_resume(In x, std::size_t n, double v, std::size_t start, const State& state) {
  return chain_resume<6>(x, n, start, state, T3Comb(v));
}

// ---- KAMA ------------------------------------------------------------------

Series kama(In x, std::size_t n) {
  const std::size_t f = first_present(View(x));
  if (n == 0 || x.size() - f < n + 1) return nan_series(x.size());
  const double* y = x.data() + f;
  double noise = 0.0;
  for (std::size_t j = 1; j <= n; ++j) noise += std::fabs(y[j - 1] - y[j]);
  // Same steps as kama_run; the first value has no slide.
  double prev = y[n - 1];
  prev = std::fma(kama_sc(noise, y[n] - y[0]), y[n] - prev, prev);
  ChunkedOut out(x.size(), f + n);
  out.put(prev);
  out.flush();
  std::array<double, 2> st{noise, prev};
  for (std::size_t k; (k = out.next()) != 0; out.commit(k)) st = kama_chunk(out.buf, x.data() + out.row, k, n, st);
  return out.take();
}

KADMO_HOT_GEN std::optional<State> kama_final_state(In x, std::size_t n) {
  const KamaRun r = kama_run(x, n);
  const std::size_t f = first_present(View(x));
  if (n == 0 || x.size() - f < n + 1) return std::nullopt;
  return State{r.kama, r.noise};
}

KADMO_HOT_GEN Resumed kama_resume(In x, std::size_t n, std::size_t start, const State& state) {
  if (n == 0 || n >= start || start > x.size() || state.size() < 2) return std::nullopt;
  double k = state[0], noise = state[1];
  Series out(x.size() - start);
  for (std::size_t t = start; t < x.size(); ++t) {
    noise = noise - std::fabs(x[t - n - 1] - x[t - n]) + std::fabs(x[t] - x[t - 1]);
    const double sc = kama_sc(noise, x[t] - x[t - n]);
    out[t - start] = k = std::fma(sc, x[t] - k, k);
  }
  return std::pair{std::move(out), State{k, noise}};
}

// ---- MACD ------------------------------------------------------------------

KADMO_HOT Series macd_line(In x, std::size_t fast, std::size_t slow) {
  return macd_series<MacdOut::Line>(x, fast, slow, 0);
}
Series macd(In x, std::size_t fast, std::size_t slow) { return macd_line(x, fast, slow); }

KADMO_HOT Series macd_signal(In x, std::size_t fast, std::size_t slow, std::size_t signal) {
  return macd_series<MacdOut::Signal>(x, fast, slow, signal);
}

KADMO_HOT Series macd_histogram(In x, std::size_t fast, std::size_t slow, std::size_t signal) {
  return macd_series<MacdOut::Histogram>(x, fast, slow, signal);
}

MacdLines macd_all(In x, std::size_t fast, std::size_t slow, std::size_t signal) {
  const std::size_t len = x.size();
  if (fast == 0 || slow == 0) return {nan_series(len), nan_series(len), nan_series(len)};
  const MacdSeed sd = macd_seed(x, fast, slow, 0);
  if (sd.row == len) return {nan_series(len), nan_series(len), nan_series(len)};
  const double af = StepRule::exponential_period(fast).a, as = StepRule::exponential_period(slow).a;
  const double* p = x.data();
  double ef = sd.ef, es = sd.es;
  ChunkedOut line(len, sd.row);
  if (signal == 0) {
    line.put(ef - es);
    line.flush();
    std::array<double, 2> e{ef, es};
    for (std::size_t k; (k = line.next()) != 0; line.commit(k)) e = macd_line_run(line.buf, p + line.row, k, af, as, e);
    return {line.take(), nan_series(len), nan_series(len)};
  }
  // The signal seeds on the first `signal` present line values.
  const StepRule rg = StepRule::exponential_period(signal);
  SeededStage sg{signal};
  double l;
  for (std::size_t k = sd.row;;) {
    l = ef - es;
    line.put(l);
    sg.push(l, rg);
    if (sg.seeded() || ++k == len) break;
    ef = std::fma(af, p[k] - ef, ef);
    es = std::fma(as, p[k] - es, es);
  }
  line.flush();
  if (!sg.seeded()) return {line.take(), nan_series(len), nan_series(len)};
  // Three outputs written row by row straight into NaN-filled vectors: this
  // measures faster here than staging each through an L1 buffer.
  const std::size_t r0 = line.row;
  MacdLines m{line.take(), nan_series(len), nan_series(len)};
  m.line.resize(len);
  m.signal[r0 - 1] = sg.value;
  m.histogram[r0 - 1] = l - sg.value;
  macd_all_run(m.line.data() + r0, m.signal.data() + r0, m.histogram.data() + r0, p + r0, len - r0, af, as, rg.a,
               {ef, es, sg.value});
  return m;
}

KADMO_HOT_GEN std::optional<State> macd_final_state(In x, std::size_t fast, std::size_t slow) {
  if (fast == 0 || slow == 0) return std::nullopt;
  MacdRun r(fast, slow, 1);
  for (double v : x) r.push(v);
  if (!r.fast.seeded() || !r.slow.seeded()) return std::nullopt;
  return State{r.fast.value, r.slow.value};
}

KADMO_HOT_GEN Resumed macd_resume(In x, std::size_t fast, std::size_t slow, std::size_t start, const State& state) {
  if (fast == 0 || slow == 0 || start > x.size() || state.size() < 2) return std::nullopt;
  const double af = StepRule::exponential_period(fast).a, as = StepRule::exponential_period(slow).a;
  double ef = state[0], es = state[1];
  Series out(x.size() - start);
  for (std::size_t t = start; t < x.size(); ++t) {
    ef = std::fma(af, x[t] - ef, ef);
    es = std::fma(as, x[t] - es, es);
    out[t - start] = ef - es;
  }
  return std::pair{std::move(out), State{ef, es}};
}

KADMO_HOT_GEN
std::optional<State> macd_signal_final_state(In x, std::size_t fast, std::size_t slow, std::size_t signal) {
  if (fast == 0 || slow == 0 || signal == 0) return std::nullopt;
  MacdRun r(fast, slow, signal);
  for (double v : x) r.sig.push(r.push(v), r.rg);
  if (!r.sig.seeded()) return std::nullopt;
  return State{r.fast.value, r.slow.value, r.sig.value};
}

KADMO_HOT_GEN Resumed macd_signal_resume(In x, std::size_t fast, std::size_t slow, std::size_t signal, bool histogram,
                           std::size_t start, const State& state) {
  if (fast == 0 || slow == 0 || signal == 0 || start > x.size() || state.size() < 3) return std::nullopt;
  const double af = StepRule::exponential_period(fast).a, as = StepRule::exponential_period(slow).a,
               ag = StepRule::exponential_period(signal).a;
  double ef = state[0], es = state[1], eg = state[2];
  Series out(x.size() - start);
  for (std::size_t t = start; t < x.size(); ++t) {
    ef = std::fma(af, x[t] - ef, ef);
    es = std::fma(as, x[t] - es, es);
    const double l = ef - es;
    eg = std::fma(ag, l - eg, eg);
    out[t - start] = histogram ? l - eg : eg;
  }
  return std::pair{std::move(out), State{ef, es, eg}};
}

// ---- true range family -------------------------------------------------------

Series tr(In high, In low, In close) {
  Series out = nan_series(high.size());
  for (std::size_t t = 1; t < high.size(); ++t) out[t] = true_range(high[t], low[t], close[t - 1]);
  return out;
}

namespace {

template <bool Normalised>
Series atr_series(In high, In low, In close, std::size_t n) {
  const std::size_t len = high.size();
  if (n == 0) return nan_series(len);
  const StepRule rule = StepRule::wilder(n);
  SeededStage st{n};
  std::size_t t = 1;
  for (; t < len && !st.seeded(); ++t) st.push(true_range(high[t], low[t], close[t - 1]), rule);
  if (!st.seeded()) return nan_series(len);
  const std::size_t s0 = t - 1;
  double v = st.value;
  ChunkedOut out(len, s0);
  out.buf[0] = Normalised ? v / close[s0] * 100.0 : v;
  for (std::size_t k; (k = out.next()) != 0; out.commit(k)) {
    const std::size_t r = out.row + (out.row == s0 ? 1 : 0);
    const std::size_t skip = r - out.row;
    v = (Normalised ? natr_run : atr_run)(out.buf + skip, high.data() + r, low.data() + r, close.data() + r - 1,
                                          k - skip, rule.a, rule.b, v);
  }
  return out.take();
}

template <bool Normalised>
Resumed atr_resume_from(In high, In low, In close, std::size_t n, std::size_t start, const State& state) {
  if (n == 0 || start == 0 || start > high.size() || state.empty()) return std::nullopt;
  const StepRule rule = StepRule::wilder(n);
  double v = state[0];
  ChunkedOut out(high.size() - start, 0);
  for (std::size_t k; (k = out.next()) != 0; out.commit(k)) {
    const std::size_t r = start + out.row;
    v = (Normalised ? natr_run : atr_run)(out.buf, high.data() + r, low.data() + r, close.data() + r - 1, k, rule.a,
                                          rule.b, v);
  }
  return std::pair{out.take(), State{v}};
}

}  // namespace

Series atr(In high, In low, In close, std::size_t n) { return atr_series<false>(high, low, close, n); }
Series natr(In high, In low, In close, std::size_t n) { return atr_series<true>(high, low, close, n); }

KADMO_HOT_GEN std::optional<State> atr_final_state(In high, In low, In close, std::size_t n) {
  if (n == 0 || high.empty()) return std::nullopt;
  const StepRule rule = StepRule::wilder(n);
  SeededStage st{n};
  for (std::size_t t = 1; t < high.size(); ++t) st.push(true_range(high[t], low[t], close[t - 1]), rule);
  if (!st.seeded()) return std::nullopt;
  return State{st.value};
}

KADMO_HOT_GEN Resumed atr_resume(In high, In low, In close, std::size_t n, std::size_t start, const State& state) {
  return atr_resume_from<false>(high, low, close, n, start, state);
}
KADMO_HOT_GEN Resumed natr_resume(In high, In low, In close, std::size_t n, std::size_t start, const State& state) {
  return atr_resume_from<true>(high, low, close, n, start, state);
}

// ---- BBI -------------------------------------------------------------------

Series bbi(In x, std::size_t a, std::size_t b, std::size_t c, std::size_t d) {
  Series sa = sma(View(x), a), sb = sma(View(x), b), sc = sma(View(x), c), sd = sma(View(x), d);
  for (std::size_t i = 0; i < sa.size(); ++i) sa[i] = (((sa[i] + sb[i]) + sc[i]) + sd[i]) * 0.25;
  return sa;
}

// ---- parabolic SAR ---------------------------------------------------------

Series sar(In high, In low, double acceleration, double maximum) {
  if (high.size() <= 1) return nan_series(high.size());
  const double step = std::min(acceleration, maximum);
  Sar s = sar_init(high, low, step);
  ChunkedOut out(high.size(), 1);
  for (std::size_t k; (k = out.next()) != 0; out.commit(k))
    s = sar_chunk(out.buf, high.data() + out.row, low.data() + out.row, k, step, maximum, s);
  return out.take();
}

KADMO_HOT_GEN std::optional<State> sar_final_state(In high, In low, double acceleration, double maximum) {
  if (high.size() < 2) return std::nullopt;
  const double step = std::min(acceleration, maximum);
  Sar s = sar_init(high, low, step);
  for (std::size_t t = 1; t < high.size(); ++t) sar_step(s, high[t], low[t], step, maximum);
  return State{s.is_long ? 1.0 : 0.0, s.af, s.ep, s.sar, s.ph, s.pl};
}

KADMO_HOT_GEN
Resumed sar_resume(In high, In low, std::size_t start, double acceleration, double maximum, const State& state) {
  if (start < 2 || start > high.size() || state.size() < 6) return std::nullopt;
  const double step = std::min(acceleration, maximum);
  Sar s{state[0] != 0.0, state[1], state[2], state[3], state[4], state[5]};
  Series out(high.size() - start);
  for (std::size_t t = start; t < high.size(); ++t) out[t - start] = sar_step(s, high[t], low[t], step, maximum);
  return std::pair{std::move(out), State{s.is_long ? 1.0 : 0.0, s.af, s.ep, s.sar, s.ph, s.pl}};
}

Series sarext(In high, In low, double start_value, double offset_on_reverse, double long_initial, double long_step,
              double long_maximum, double short_initial, double short_step, double short_maximum) {
  Series out = nan_series(high.size());
  if (high.size() <= 1) return out;
  const SarExtParams p(offset_on_reverse, long_initial, long_step, long_maximum, short_initial, short_step,
                       short_maximum);
  SarExt s = sarext_init(high, low, start_value, p);
  for (std::size_t t = 1; t < high.size(); ++t) out[t] = sarext_step(s, high[t], low[t], p);
  return out;
}

KADMO_HOT_GEN std::optional<State> sarext_final_state(In high, In low, double start_value, double offset_on_reverse,
                                        double long_initial, double long_step, double long_maximum,
                                        double short_initial, double short_step, double short_maximum) {
  if (high.size() < 2) return std::nullopt;
  const SarExtParams p(offset_on_reverse, long_initial, long_step, long_maximum, short_initial, short_step,
                       short_maximum);
  SarExt s = sarext_init(high, low, start_value, p);
  for (std::size_t t = 1; t < high.size(); ++t) sarext_step(s, high[t], low[t], p);
  return State{s.is_long ? 1.0 : 0.0, s.af_long, s.af_short, s.ep, s.sar, s.ph, s.pl};
}

KADMO_HOT_GEN Resumed sarext_resume(In high, In low, std::size_t start, double offset_on_reverse, double long_initial,
                      double long_step, double long_maximum, double short_initial, double short_step,
                      double short_maximum, const State& state) {
  if (start < 2 || start > high.size() || state.size() < 7) return std::nullopt;
  const SarExtParams p(offset_on_reverse, long_initial, long_step, long_maximum, short_initial, short_step,
                       short_maximum);
  SarExt s{state[0] != 0.0, state[1], state[2], state[3], state[4], state[5], state[6]};
  Series out(high.size() - start);
  for (std::size_t t = start; t < high.size(); ++t) out[t - start] = sarext_step(s, high[t], low[t], p);
  return std::pair{std::move(out), State{s.is_long ? 1.0 : 0.0, s.af_long, s.af_short, s.ep, s.sar, s.ph, s.pl}};
}

}  // namespace kadmo::compute
