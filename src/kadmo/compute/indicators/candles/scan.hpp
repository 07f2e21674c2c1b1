#pragma once
// Internal to the candle modules: the bar accessors and the running
// threshold sums the recognisers share.

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "kadmo/compute/indicators/candles/mod.hpp"
#include "kadmo/core/memory.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kadmo::compute::candles_detail {

inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Warm-up of a pattern: the longest averaging period of the settings it uses.
template <class... S>
constexpr std::size_t max_period(const S&... s) {
  return std::max({std::size_t{0}, s.period...});
}

// a > b ? a : b and a < b ? a : b as one instruction where there is one:
// the compiler otherwise may fold what follows into both arms of the choice
// and branch on it, which random bars mispredict half the time.
inline double pick_greater(double a, double b) {
#if defined(__SSE2__)
  return _mm_cvtsd_f64(_mm_max_sd(_mm_set_sd(a), _mm_set_sd(b)));
#else
  return a > b ? a : b;
#endif
}

inline double pick_less(double a, double b) {
#if defined(__SSE2__)
  return _mm_cvtsd_f64(_mm_min_sd(_mm_set_sd(a), _mm_set_sd(b)));
#else
  return a < b ? a : b;
#endif
}

// v when m holds, else +0, by masking the bits: no branch to mispredict.
inline double when(bool m, double v) {
  return std::bit_cast<double>(std::bit_cast<std::uint64_t>(v) & (std::uint64_t{0} - std::uint64_t{m}));
}

// Rows per block of the evaluation: the thresholds of one block stay in L1
// alongside the prices.
inline constexpr std::size_t kRows = 256;

class Ohlc {
 public:
  Ohlc(In open, In high, In low, In close)
      : o_(open.data()), h_(high.data()), l_(low.data()), c_(close.data()), out_len_(close.size()) {
    // Unequal inputs never reach here from the evaluator; reading only the
    // common prefix keeps a careless caller from reading past an end.
    n_ = std::min({open.size(), high.size(), low.size(), close.size()});
  }

  std::size_t size() const { return n_; }
  std::size_t out_len() const { return out_len_; }
  bool flagged() const { return !bad_.empty(); }
  bool bad(std::size_t j) const { return !bad_.empty() && bad_[j] != 0; }

  // Whether every price and range of bars [from, to) is finite. x * 0 is 0
  // only for finite x; the flags are or-ed, so the loop vectorises and has
  // no chain through memory or a floating-point sum.
  bool finite(std::size_t from, std::size_t to) const {
    unsigned bad = 0;
    for (std::size_t j = from; j < to; ++j) {
      const double t = std::max(o_[j], c_[j]), b = std::min(o_[j], c_[j]);
      const double v = (h_[j] - l_[j]) * 0.0 + (c_[j] - o_[j]) * 0.0 + ((h_[j] - t) + (b - l_[j])) * 0.0;
      bad |= v == 0.0 ? 0u : 1u;
    }
    return bad == 0;
  }

  // Flags the bars that cannot be classified (none flagged: all are fine).
  void flag_bad() {
    if (finite(0, n_)) return;
    bad_.assign(n_, 0);
    for (std::size_t k = 0; k < n_; ++k) bad_[k] = finite_bar(k) ? 0 : 1;
  }

  double open(std::size_t j) const { return o_[j]; }
  double high(std::size_t j) const { return h_[j]; }
  double low(std::size_t j) const { return l_[j]; }
  double close(std::size_t j) const { return c_[j]; }

  int color(std::size_t j) const { return c_[j] >= o_[j] ? 1 : -1; }
  bool white(std::size_t j) const { return c_[j] >= o_[j]; }
  bool black(std::size_t j) const { return c_[j] < o_[j]; }
  double body(std::size_t j) const { return std::fabs(c_[j] - o_[j]); }
  // The larger and smaller of open and close, written so they compile to
  // max/min instead of a branch on the colour. They equal the colour-based
  // choice for every pair of numbers (signed zeros included); they differ
  // only for NaN, whose windows are blanked anyway.
  double top(std::size_t j) const { return pick_greater(o_[j], c_[j]); }
  double bottom(std::size_t j) const { return pick_less(c_[j], o_[j]); }
  // The same choice written as a conditional: where GCC already turns a
  // pattern's conditions into branch-free code, max/min can hinder that, and
  // some patterns measured faster this way.
  double top_sel(std::size_t j) const { return o_[j] > c_[j] ? o_[j] : c_[j]; }
  double bottom_sel(std::size_t j) const { return c_[j] < o_[j] ? c_[j] : o_[j]; }
  double upper_sel(std::size_t j) const { return h_[j] - top_sel(j); }
  double upper(std::size_t j) const { return h_[j] - top(j); }
  double lower(std::size_t j) const { return bottom(j) - l_[j]; }
  double hl(std::size_t j) const { return h_[j] - l_[j]; }

  // Real-body gaps from bar a to bar b.
  bool body_gap_up(std::size_t b, std::size_t a) const { return bottom(b) > top(a); }
  bool body_gap_down(std::size_t b, std::size_t a) const { return top(b) < bottom(a); }
  bool body_gap_up_sel(std::size_t b, std::size_t a) const { return bottom_sel(b) > top_sel(a); }
  bool body_gap_down_sel(std::size_t b, std::size_t a) const { return top_sel(b) < bottom_sel(a); }
  // Whole-candle gaps (shadows included).
  bool gap_up(std::size_t b, std::size_t a) const { return l_[b] > h_[a]; }
  bool gap_down(std::size_t b, std::size_t a) const { return h_[b] < l_[a]; }

  template <RangeKind K>
  double range_of(std::size_t j) const {
    if constexpr (K == RangeKind::RealBody) return body(j);
    else if constexpr (K == RangeKind::HighLow) return hl(j);
    else return upper(j) + lower(j);
  }

  double range(RangeKind k, std::size_t j) const {
    switch (k) {
      case RangeKind::RealBody: return body(j);
      case RangeKind::HighLow: return hl(j);
      case RangeKind::Shadows: return upper(j) + lower(j);
    }
    return kNaN;
  }

  // All NaN: the output for a series too short to leave the warm-up.
  Series nan_series() const { return Series(out_len_, kNaN); }

  // Positions whose window [i - lookback, i] holds a bad bar are unknown.
  void mask(Series& out, std::size_t lookback) const {
    if (bad_.empty()) return;
    std::size_t last_bad = 0;
    bool seen = false;
    for (std::size_t i = 0; i < n_; ++i) {
      if (bad_[i]) {
        last_bad = i;
        seen = true;
      }
      if (seen && i >= lookback && i - last_bad <= lookback) out[i] = kNaN;
    }
  }

 private:
  bool finite_bar(std::size_t j) const {
    return std::isfinite(o_[j]) && std::isfinite(h_[j]) && std::isfinite(l_[j]) && std::isfinite(c_[j]) &&
           std::isfinite(hl(j)) && std::isfinite(body(j)) && std::isfinite(upper(j) + lower(j));
  }

  const double *o_, *h_, *l_, *c_;
  std::size_t n_ = 0;
  std::size_t out_len_ = 0;
  std::vector<std::uint8_t> bad_;  // empty when every bar is finite
};

// Threshold of a setting without a period at bar j: the bar's own range
// scaled, as Avg would give it, for patterns that need it on few bars only.
template <const CandleSetting& S>
double own_threshold(const Ohlc& b, std::size_t j) {
  static_assert(S.period == 0);
  constexpr double div = S.kind == RangeKind::Shadows ? 2.0 : 1.0;
  return S.factor * b.range_of<S.kind>(j) / div;
}

// Running threshold of one setting for the bar `shift` places before the
// loop position. The window sum is updated as total += (entering - leaving),
// in that order, from a sum started `period` bars before the first tested bar.
// The thresholds are produced a block of rows at a time (fill), which keeps
// the division off the sum's dependency chain and lets it vectorise.
class Avg {
 public:
  Avg(const Ohlc& b, CandleSetting s, std::size_t first, std::size_t shift)
      : b_(b), s_(s), first_(first), shift_(shift) {
    start();
  }

  // Sum of the window before the first tested bar; bad bars are counted
  // instead of summed.
  void start() {
    total_ = 0.0;
    missing_ = 0;
    const std::size_t j0 = first_ - shift_;
    const std::size_t from = j0 >= s_.period ? j0 - s_.period : 0;
    for (std::size_t k = from; k < j0; ++k) add(k);
  }

  // Threshold at the tested bar for loop position i (i inside the last fill).
  double at(std::size_t i) const { return thr_[i - base_]; }

  // Thresholds of loop positions [i0, i1) (at most kRows), moving the
  // window past them.
  void fill(std::size_t i0, std::size_t i1) {
    base_ = i0;
    switch (s_.kind) {
      case RangeKind::RealBody: fill_kind<RangeKind::RealBody>(i0, i1); break;
      case RangeKind::HighLow: fill_kind<RangeKind::HighLow>(i0, i1); break;
      case RangeKind::Shadows: fill_kind<RangeKind::Shadows>(i0, i1); break;
    }
  }

 private:
  template <RangeKind K>
  [[gnu::always_inline]] void fill_kind(std::size_t i0, std::size_t i1) {
    constexpr double div = K == RangeKind::Shadows ? 2.0 : 1.0;
    const std::size_t k = i1 - i0;
    const double f = s_.factor;
    if (s_.period == 0) {
      for (std::size_t r = 0; r < k; ++r) thr_[r] = f * b_.range_of<K>(i0 + r - shift_) / div;
      return;
    }
    if (b_.flagged() || i0 - shift_ < s_.period) {
      for (std::size_t r = 0; r < k; ++r) {
        thr_[r] = missing_ != 0 ? kNaN : f * (total_ / static_cast<double>(s_.period)) / div;
        step_checked(i0 + r - shift_);
      }
      return;
    }
    // Every bar is finite: the sums first, one dependent add per row ...
    const std::size_t p = s_.period;
    double t = total_;
    for (std::size_t r = 0; r < k; ++r) {
      thr_[r] = t;
      const std::size_t in = i0 + r - shift_;
      t += b_.range_of<K>(in) - b_.range_of<K>(in - p);
    }
    total_ = t;
    // ... then the thresholds from them.
    const double pp = static_cast<double>(p);
    for (std::size_t r = 0; r < k; ++r) thr_[r] = f * (thr_[r] / pp) / div;
  }

  // Bad bars neither enter nor leave the sum; they are counted instead.
  void step_checked(std::size_t in) {
    if (in < s_.period) {  // window not yet full (only before a short warm-up)
      add(in);
      return;
    }
    const std::size_t out = in - s_.period;
    const bool in_bad = b_.bad(in), out_bad = b_.bad(out);
    if (!in_bad && !out_bad) {
      total_ += b_.range(s_.kind, in) - b_.range(s_.kind, out);
      return;
    }
    if (in_bad) ++missing_; else total_ += b_.range(s_.kind, in);
    if (out_bad) --missing_; else total_ -= b_.range(s_.kind, out);
  }

  void add(std::size_t k) {
    if (b_.bad(k))
      ++missing_;
    else
      total_ += b_.range(s_.kind, k);
  }

  const Ohlc& b_;
  CandleSetting s_;
  std::size_t first_, shift_;
  std::size_t base_ = 0;
  double total_ = 0.0;
  std::size_t missing_ = 0;
  alignas(64) double thr_[kRows];
};

// Evaluates rows [lookback, n) block by block into out (holding the warm-up
// already). With `check`, each block's bars are tested first and false comes
// back at the first bad one.
template <class F, class... A>
bool run_blocks(const Ohlc& b, std::size_t lookback, F& f, Series& out, bool check, A&... avgs) {
  alignas(64) double buf[kRows];
  for (std::size_t i0 = lookback; i0 < b.size(); i0 += kRows) {
    const std::size_t i1 = std::min(b.size(), i0 + kRows);
    if (check && !b.finite(i0, i1)) return false;
    (avgs.fill(i0, i1), ...);
    for (std::size_t i = i0; i < i1; ++i) buf[i - i0] = f(i);
    out.insert(out.end(), buf, buf + (i1 - i0));
  }
  return true;
}

// Evaluates f(i) at every position from the lookback on, with the given
// averages moving along, then blanks windows with bad bars. Bars are checked
// as the blocks go, so clean input is read once; at the first bad bar the
// bars are flagged and the walk starts over on the path that skips them.
template <class F, class... A>
Series run(Ohlc& b, std::size_t lookback, F&& f, A&... avgs) {
  Series out = core::vector_with_capacity<double>(b.out_len());
  out.resize(lookback, kNaN);
  if (!b.flagged() && b.finite(0, lookback) && run_blocks(b, lookback, f, out, true, avgs...)) {
    out.resize(b.out_len(), kNaN);
    return out;
  }
  if (!b.flagged()) {
    b.flag_bad();
    (avgs.start(), ...);
  }
  out.resize(lookback);
  run_blocks(b, lookback, f, out, false, avgs...);
  out.resize(b.out_len(), kNaN);
  b.mask(out, lookback);
  return out;
}

// A setting whose threshold is read `shift` bars before the loop position.
struct Use {
  CandleSetting setting;
  std::size_t shift;
};

// Builds one Avg per entry of Uses as a plain local (kept out of any
// aggregate so the optimiser folds the settings into the loop) and hands
// them all to g.
template <const auto& Uses, std::size_t K = 0, class G, class... A>
[[gnu::always_inline]] inline Series with_avgs(const Ohlc& b, std::size_t lb, G&& g, A&... made) {
  if constexpr (K == std::size(Uses)) {
    return g(made...);
  } else {
    Avg a(b, Uses[K].setting, lb, Uses[K].shift);
    return with_avgs<Uses, K + 1>(b, lb, g, made..., a);
  }
}

// The frame of a fixed-window pattern: the warm-up is the longest period it
// uses plus the `Bars` earlier bars it looks at; f(b, i, avgs...) is called
// with one running threshold per entry of `Uses`, in that order. `Uses` is a
// template argument so the settings stay compile-time constants in the loop.
template <std::size_t Bars, const auto& Uses, class F>
Series scan(In o, In h, In l, In c, F&& f) {
  constexpr std::size_t lb = [] {
    std::size_t m = 0;
    for (const Use& u : Uses) m = std::max(m, u.setting.period);
    return m + Bars;
  }();
  Ohlc b(o, h, l, c);
  if (b.size() <= lb) return b.nan_series();
  return with_avgs<Uses>(b, lb, [&](auto&... avgs) {
    return run(
        b, lb, [&](std::size_t i) [[gnu::always_inline]] { return f(std::as_const(b), i, std::as_const(avgs)...); },
        avgs...);
  });
}

// The same for a pattern that compares bars without any threshold.
template <std::size_t Bars, class F>
Series scan(In o, In h, In l, In c, F&& f) {
  Ohlc b(o, h, l, c);
  if (b.size() <= Bars) return b.nan_series();
  return run(b, Bars, [&](std::size_t i) { return f(std::as_const(b), i); });
}

inline double sgn100(int color) { return color > 0 ? 100.0 : -100.0; }

}  // namespace kadmo::compute::candles_detail
