#include "kadmo/compute/indicators/momentum.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "kadmo/compute/indicators/window_extreme.hpp"

namespace kadmo::compute {

namespace {

using detail::ExtremeTracker;

// Running window sum that leaves missing values out and reports NaN while
// one is inside the window.
struct WinSum {
  double sum = 0.0;
  std::size_t missing = 0;
  void add(double v) {
    if (std::isnan(v)) ++missing;
    else sum += v;
  }
  void sub(double v) {
    if (std::isnan(v)) --missing;
    else sum -= v;
  }
  double get() const { return missing ? kNaN : sum; }
};

// ---- Aroon -----------------------------------------------------------------

// Windows of n + 1 rows (t - n .. t); ties go to the most recent row.
template <class Emit>
Series aroon_walk(std::size_t len, std::size_t n, const Emit& emit) {
  if (n == 0 || n >= len) return nan_series(len);
  Series out = nan_series(len);
  for (std::size_t t = n; t < len; ++t) out[t] = emit(t);
  return out;
}

// Aroon up (High) or down: 100 at a fresh extreme, falling to 0 as it ages
// out of the window.
template <bool High>
Series aroon_line(In x, std::size_t n) {
  const double k = 100.0 / static_cast<double>(n);
  const double nn = static_cast<double>(n);
  ExtremeTracker<High, true> ext;
  return aroon_walk(x.size(), n, [&](std::size_t t) {
    ext.step(x.data(), t, n + 1);
    return k * (nn - static_cast<double>(t - ext.idx));
  });
}

// ---- rates of change ---------------------------------------------------------

template <class F>
Series lagged(In x, std::size_t n, const F& f) {
  const std::size_t len = x.size();
  if (n == 0 || n >= len) return nan_series(len);
  const double* p = x.data();
  return series_from(len, n, [p, t = n, n, f]() mutable {
    const double v = f(p[t], p[t - n]);
    ++t;
    return v;
  });
}

// A zero base gives 0, not an infinity.
template <class F>
Series ratio(In x, std::size_t n, const F& f) {
  return lagged(x, n, [f](double a, double b) { return b == 0.0 ? 0.0 : f(a, b); });
}

}  // namespace

// ---- Aroon -------------------------------------------------------------------

KADMO_HOT_GEN Series aroon_up(In high, std::size_t n) { return aroon_line<true>(high, n); }

KADMO_HOT_GEN Series aroon_down(In low, std::size_t n) { return aroon_line<false>(low, n); }

KADMO_HOT_GEN Series aroonosc(In high, In low, std::size_t n) {
  const double k = 100.0 / static_cast<double>(n);
  ExtremeTracker<true, true> hi;
  ExtremeTracker<false, true> lo;
  return aroon_walk(high.size(), n, [&](std::size_t t) {
    hi.step(high.data(), t, n + 1);
    lo.step(low.data(), t, n + 1);
    return k * (static_cast<double>(hi.idx) - static_cast<double>(lo.idx));
  });
}

// ---- balance of power --------------------------------------------------------

KADMO_HOT_GEN Series bop(In open, In high, In low, In close) {
  const std::size_t len = close.size();
  const double *o = open.data(), *h = high.data(), *l = low.data(), *c = close.data();
  return series_from(len, 0, [=, t = std::size_t{0}]() mutable {
    const double r = h[t] - l[t];
    const double v = r < 1e-14 ? 0.0 : (c[t] - o[t]) / r;
    ++t;
    return v;
  });
}

// ---- commodity channel index -------------------------------------------------

KADMO_HOT_GEN Series cci(In high, In low, In close, std::size_t n) {
  const std::size_t len = close.size();
  if (n == 0 || n > len) return nan_series(len);
  std::vector<double> tp(len);
  for (std::size_t i = 0; i < len; ++i) tp[i] = ((high[i] + low[i]) + close[i]) / 3.0;
  Series out = nan_series(len);
  const double nn = static_cast<double>(n);
  WinSum s;
  for (std::size_t t = 0; t < len; ++t) {
    s.add(tp[t]);
    if (t >= n) s.sub(tp[t - n]);
    if (t + 1 < n) continue;
    const double total = s.get();
    if (std::isnan(total)) continue;
    const double mean = total / nn;
    // The deviation is summed afresh: it depends on the current mean.
    double dev = 0.0;
    for (std::size_t j = t + 1 - n; j <= t; ++j) dev += std::fabs(tp[j] - mean);
    const double d = tp[t] - mean;
    out[t] = (d == 0.0 || dev == 0.0) ? 0.0 : d / ((dev / nn) * 0.015);
  }
  return out;
}

// ---- intraday momentum index -------------------------------------------------

KADMO_HOT_GEN Series imi(In open, In close, std::size_t n) {
  const std::size_t len = close.size();
  if (n == 0 || n > len) return nan_series(len);
  Series out = nan_series(len);
  WinSum up, down;
  auto parts = [&](std::size_t i, double& u, double& d) {
    const double o = open[i], c = close[i];
    if (std::isnan(o) || std::isnan(c)) {
      u = d = kNaN;
    } else if (c > o) {
      u = c - o;
      d = 0.0;
    } else {
      u = 0.0;
      d = o - c;
    }
  };
  for (std::size_t t = 0; t < len; ++t) {
    double u, d;
    parts(t, u, d);
    up.add(u);
    down.add(d);
    if (t >= n) {
      parts(t - n, u, d);
      up.sub(u);
      down.sub(d);
    }
    if (t + 1 >= n) {
      const double a = up.get(), b = down.get();
      out[t] = (a / (a + b)) * 100.0;
    }
  }
  return out;
}

// ---- money flow index --------------------------------------------------------

KADMO_HOT_GEN Series mfi(In high, In low, In close, In volume, std::size_t n) {
  const std::size_t len = close.size();
  if (n == 0 || n >= len) return nan_series(len);
  Series out = nan_series(len);
  // Ring of the last n rows' positive and negative flows.
  std::vector<double> pos(n, 0.0), neg(n, 0.0);
  WinSum ps, ns;
  double prev = ((high[0] + low[0]) + close[0]) / 3.0;
  std::size_t slot = 0;
  for (std::size_t t = 1; t < len; ++t) {
    const double tp = ((high[t] + low[t]) + close[t]) / 3.0;
    const double flow = tp * volume[t];
    double p = 0.0, q = 0.0;
    if (tp > prev) p = flow;
    else if (tp < prev) q = flow;
    prev = tp;
    ps.add(p);
    ns.add(q);
    if (t > n) {
      ps.sub(pos[slot]);
      ns.sub(neg[slot]);
    }
    pos[slot] = p;
    neg[slot] = q;
    if (++slot == n) slot = 0;
    if (t >= n) {
      const double a = ps.get(), b = ns.get();
      const double total = a + b;
      out[t] = total < 1.0 ? 0.0 : (a * 100.0) / total;
    }
  }
  return out;
}

// ---- momentum and rates of change --------------------------------------------

KADMO_HOT_GEN Series mom(In x, std::size_t n) {
  return lagged(x, n, [](double a, double b) { return a - b; });
}
KADMO_HOT_GEN Series roc(In x, std::size_t n) {
  return ratio(x, n, [](double a, double b) { return (a / b - 1.0) * 100.0; });
}
KADMO_HOT_GEN Series rocp(In x, std::size_t n) {
  return ratio(x, n, [](double a, double b) { return a / b - 1.0; });
}
KADMO_HOT_GEN Series rocr(In x, std::size_t n) {
  return ratio(x, n, [](double a, double b) { return a / b; });
}
KADMO_HOT_GEN Series rocr100(In x, std::size_t n) {
  return ratio(x, n, [](double a, double b) { return (a / b) * 100.0; });
}

// ---- TRIX --------------------------------------------------------------------

namespace {
// Rows of TRIX over k inputs from the three stages before them; batch and
// resume share it.
KADMO_HOT_CHUNK std::array<double, 3> trix_run(double* __restrict o, const double* __restrict p, std::size_t k,
                                              double a, std::array<double, 3> e) {
  double e1 = e[0], e2 = e[1], e3 = e[2];
  for (std::size_t j = 0; j < k; ++j) {
    const double prev = e3;
    e1 = std::fma(a, p[j] - e1, e1);
    e2 = std::fma(a, e1 - e2, e2);
    e3 = std::fma(a, e2 - e3, e3);
    o[j] = (e3 / prev - 1.0) * 100.0;
  }
  return {e1, e2, e3};
}
}  // namespace

// The three stages are seeded exactly as tema_final_state seeds them, so its
// state continues this series bit for bit.
KADMO_HOT_GEN Series trix(In x, std::size_t n) {
  const std::size_t len = x.size();
  if (n == 0 || n - 1 >= len || 3 * (n - 1) >= len) return nan_series(len);
  const std::size_t f = first_present(View(x));
  if (len - f < 3 * n - 2) return nan_series(len);
  const StepRule rule = StepRule::exponential_period(n);
  SeededStage s1{n}, s2{n}, s3{n};
  std::size_t i = f;
  for (; i < len && !s3.seeded(); ++i) {
    const double v1 = s1.push(x[i], rule);
    if (!s1.seeded()) continue;
    const double v2 = s2.push(v1, rule);
    if (!s2.seeded()) continue;
    s3.push(v2, rule);
  }
  if (!s3.seeded()) return nan_series(len);
  ChunkedOut out(len, i);
  std::array<double, 3> e{s1.value, s2.value, s3.value};
  for (std::size_t k; (k = out.next()) != 0; out.commit(k)) e = trix_run(out.buf, x.data() + out.row, k, rule.a, e);
  return out.take();
}

KADMO_HOT_GEN Resumed trix_resume(In x, std::size_t n, std::size_t start, const State& state) {
  if (n == 0 || start > x.size() || state.size() < 3) return std::nullopt;
  const double a = StepRule::exponential_period(n).a;
  std::array<double, 3> e{state[0], state[1], state[2]};
  ChunkedOut out(x.size() - start, 0);
  for (std::size_t k; (k = out.next()) != 0; out.commit(k)) e = trix_run(out.buf, x.data() + start + out.row, k, a, e);
  return std::pair{out.take(), State{e[0], e[1], e[2]}};
}

// ---- Williams' %R ------------------------------------------------------------

// HH and LL are the values of the window's extremes, which do not depend on
// which of equal rows holds them: the rolling kernels give them directly.
KADMO_HOT Series willr(In high, In low, In close, std::size_t n) {
  const std::size_t len = close.size();
  if (n == 0 || n > len) return nan_series(len);
  Series hh = rolling_max(View(high), n);
  const double* c = close.data();
  auto join = [&](std::size_t row, const double* ll, std::size_t k) {
    for (std::size_t j = 0; j < k; ++j) {
      const std::size_t t = row + j;
      const double range = hh[t] - ll[j];
      hh[t] = range == 0.0 ? 0.0 : (-100.0 / range) * (hh[t] - c[t]);
    }
  };
  if (rolling_min_each(View(low), n, join)) return hh;
  hh = rolling_max(View(high), n);  // a missing value stopped the join part way
  const Series ll = rolling_min(View(low), n);
  for (std::size_t t = n - 1; t < len; ++t) {
    const double range = hh[t] - ll[t];
    hh[t] = range == 0.0 ? 0.0 : (-100.0 / range) * (hh[t] - c[t]);
  }
  return hh;
}

// ---- ultimate oscillator -----------------------------------------------------

KADMO_HOT_GEN Series ultosc(In high, In low, In close, std::size_t p1, std::size_t p2, std::size_t p3) {
  const std::size_t len = close.size();
  const std::size_t pmax = std::max({p1, p2, p3});
  if (p1 == 0 || p2 == 0 || p3 == 0 || pmax >= len) return nan_series(len);
  Series out = nan_series(len);
  {
    // Check-free pass; the ring pass below runs only when a missing value
    // reached a sum. The per-row terms of the last pmax rows are kept in a
    // ring of a power-of-two size (no full-length temporaries).
    std::size_t cap = 1;
    while (cap <= pmax) cap <<= 1;
    const std::size_t mask = cap - 1;
    std::vector<double> bpv(cap), trv(cap);
    double sb1 = 0, sb2 = 0, sb3 = 0, st1 = 0, st2 = 0, st3 = 0;
    auto r = [](double b, double t) { return std::fabs(t) >= 1e-14 ? b / t : 0.0; };
    for (std::size_t t = 1; t < len; ++t) {
      const double pc = close[t - 1];
      const double bp = close[t] - nan_min(low[t], pc);
      const double tr = nan_max(nan_max(high[t] - low[t], std::fabs(high[t] - pc)), std::fabs(low[t] - pc));
      bpv[t & mask] = bp;
      trv[t & mask] = tr;
      sb1 += bp;
      st1 += tr;
      sb2 += bp;
      st2 += tr;
      sb3 += bp;
      st3 += tr;
      if (t > p1) sb1 -= bpv[(t - p1) & mask], st1 -= trv[(t - p1) & mask];
      if (t > p2) sb2 -= bpv[(t - p2) & mask], st2 -= trv[(t - p2) & mask];
      if (t > p3) sb3 -= bpv[(t - p3) & mask], st3 -= trv[(t - p3) & mask];
      if (t >= pmax) out[t] = ((r(sb3, st3) + (r(sb1, st1) * 4.0 + r(sb2, st2) * 2.0)) / 7.0) * 100.0;
    }
    if (!std::isnan(sb1 + sb2 + sb3 + st1 + st2 + st3)) return out;
    std::fill(out.begin(), out.end(), kNaN);
  }
  // Per-row buying pressure and true range, one ring of pmax rows.
  std::vector<double> bp(pmax, 0.0), tr(pmax, 0.0);
  WinSum b1, b2, b3, t1, t2, t3;
  const std::size_t w[3] = {p1, p2, p3};
  WinSum* bs[3] = {&b1, &b2, &b3};
  WinSum* ts[3] = {&t1, &t2, &t3};
  auto ratio_or_0 = [](const WinSum& b, const WinSum& t) {
    const double tv = t.get();
    return std::fabs(tv) >= 1e-14 ? b.get() / tv : (std::isnan(tv) ? kNaN : 0.0);
  };
  for (std::size_t t = 1; t < len; ++t) {
    const double pc = close[t - 1];
    const double b = close[t] - nan_min(low[t], pc);
    const double r = nan_max(nan_max(high[t] - low[t], std::fabs(high[t] - pc)), std::fabs(low[t] - pc));
    const std::size_t slot = t % pmax;
    for (int k = 0; k < 3; ++k) {
      bs[k]->add(b);
      ts[k]->add(r);
      // Row t - w leaves a window of w rows (rows 1.. carry terms).
      if (t > w[k]) {
        const std::size_t old = (t - w[k]) % pmax;
        bs[k]->sub(bp[old]);
        ts[k]->sub(tr[old]);
      }
    }
    bp[slot] = b;
    tr[slot] = r;
    if (t >= pmax) {
      const double s = ratio_or_0(b3, t3) + (ratio_or_0(b1, t1) * 4.0 + ratio_or_0(b2, t2) * 2.0);
      out[t] = (s / 7.0) * 100.0;
    }
  }
  return out;
}

}  // namespace kadmo::compute
