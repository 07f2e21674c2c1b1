#pragma once
// Internal to the candle modules: the bar accessors and the running
// threshold sums the recognisers share.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "kadmo/compute/indicators/candles/mod.hpp"

namespace kadmo::compute::candles_detail {

inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Warm-up of a pattern: the longest averaging period of the settings it uses.
template <class... S>
constexpr std::size_t max_period(const S&... s) {
  return std::max({std::size_t{0}, s.period...});
}

class Ohlc {
 public:
  Ohlc(In open, In high, In low, In close)
      : o_(open.data()), h_(high.data()), l_(low.data()), c_(close.data()), out_len_(close.size()) {
    // Unequal inputs never reach here from the evaluator; reading only the
    // common prefix keeps a careless caller from reading past an end.
    n_ = std::min({open.size(), high.size(), low.size(), close.size()});
    // x * 0 is 0 only for finite x, so one branch-free pass finds whether any
    // price or range is non-finite; the per-bar flags are built only then.
    double acc = 0.0;
    for (std::size_t j = 0; j < n_; ++j) {
      const double t = std::max(o_[j], c_[j]), b = std::min(o_[j], c_[j]);
      acc += (h_[j] - l_[j]) * 0.0 + (c_[j] - o_[j]) * 0.0 + ((h_[j] - t) + (b - l_[j])) * 0.0;
    }
    if (!(acc == 0.0)) {
      bad_.assign(n_, 0);
      for (std::size_t k = 0; k < n_; ++k) bad_[k] = finite_bar(k) ? 0 : 1;
    }
  }

  std::size_t size() const { return n_; }
  bool clean() const { return bad_.empty(); }
  bool bad(std::size_t j) const { return !bad_.empty() && bad_[j] != 0; }

  double open(std::size_t j) const { return o_[j]; }
  double high(std::size_t j) const { return h_[j]; }
  double low(std::size_t j) const { return l_[j]; }
  double close(std::size_t j) const { return c_[j]; }

  int color(std::size_t j) const { return c_[j] >= o_[j] ? 1 : -1; }
  bool white(std::size_t j) const { return c_[j] >= o_[j]; }
  bool black(std::size_t j) const { return c_[j] < o_[j]; }
  double body(std::size_t j) const { return std::fabs(c_[j] - o_[j]); }
  double top(std::size_t j) const { return c_[j] >= o_[j] ? c_[j] : o_[j]; }
  double bottom(std::size_t j) const { return c_[j] >= o_[j] ? o_[j] : c_[j]; }
  double upper(std::size_t j) const { return h_[j] - top(j); }
  double lower(std::size_t j) const { return bottom(j) - l_[j]; }
  double hl(std::size_t j) const { return h_[j] - l_[j]; }

  // Real-body gaps from bar a to bar b.
  bool body_gap_up(std::size_t b, std::size_t a) const { return bottom(b) > top(a); }
  bool body_gap_down(std::size_t b, std::size_t a) const { return top(b) < bottom(a); }
  // Whole-candle gaps (shadows included).
  bool gap_up(std::size_t b, std::size_t a) const { return l_[b] > h_[a]; }
  bool gap_down(std::size_t b, std::size_t a) const { return h_[b] < l_[a]; }

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

// Running threshold of one setting for the bar `shift` places before the
// loop position. The window sum is updated as total += (entering - leaving),
// in that order, from a sum started `period` bars before the first tested bar.
class Avg {
 public:
  Avg(const Ohlc& b, CandleSetting s, std::size_t first, std::size_t shift) : b_(b), s_(s), shift_(shift) {
    const std::size_t j0 = first - shift;
    const std::size_t from = j0 >= s.period ? j0 - s.period : 0;
    for (std::size_t k = from; k < j0; ++k) {
      if (b.bad(k))
        ++missing_;
      else
        total_ += b.range(s.kind, k);
    }
  }

  // Threshold at the tested bar for loop position i.
  double at(std::size_t i) const {
    const std::size_t j = i - shift_;
    const double base = s_.period != 0 ? total_ / static_cast<double>(s_.period) : b_.range(s_.kind, j);
    if (s_.period != 0 && missing_ != 0) return kNaN;
    return s_.factor * base / (s_.kind == RangeKind::Shadows ? 2.0 : 1.0);
  }

  // Move the window from loop position i to i + 1.
  void step(std::size_t i) {
    if (s_.period == 0) return;
    const std::size_t in = i - shift_;
    if (clean_ && in >= s_.period) {
      total_ += b_.range(s_.kind, in) - b_.range(s_.kind, in - s_.period);
      return;
    }
    step_checked(in);
  }

 private:
  // Bad bars neither enter nor leave the sum; they are counted instead.
  [[gnu::noinline]] void step_checked(std::size_t in) {
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
  bool clean_ = b_.clean();
  std::size_t shift_;
  double total_ = 0.0;
  std::size_t missing_ = 0;
};

// Evaluates f(i) at every position from the lookback on, stepping the given
// averages after each, then blanks windows with bad bars.
template <class F, class... A>
Series run(const Ohlc& b, std::size_t lookback, F&& f, A&... avgs) {
  Series out = b.nan_series();
  for (std::size_t i = lookback; i < b.size(); ++i) {
    out[i] = f(i);
    (avgs.step(i), ...);
  }
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
  const Ohlc b(o, h, l, c);
  if (b.size() <= lb) return b.nan_series();
  return with_avgs<Uses>(b, lb, [&](auto&... avgs) {
    return run(
        b, lb, [&](std::size_t i) [[gnu::always_inline]] { return f(b, i, std::as_const(avgs)...); }, avgs...);
  });
}

// The same for a pattern that compares bars without any threshold.
template <std::size_t Bars, class F>
Series scan(In o, In h, In l, In c, F&& f) {
  const Ohlc b(o, h, l, c);
  if (b.size() <= Bars) return b.nan_series();
  return run(b, Bars, [&](std::size_t i) { return f(b, i); });
}

inline double sgn100(int color) { return color > 0 ? 100.0 : -100.0; }

}  // namespace kadmo::compute::candles_detail
