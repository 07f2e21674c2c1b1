// The evaluator of each command: which indicator runs, on which inputs and
// with which parameters.

#include <algorithm>
#include <cmath>
#include <string>

#include "kadmo/compute/indicators/bands.hpp"
#include "kadmo/compute/indicators/candles/mod.hpp"
#include "kadmo/compute/indicators/directional.hpp"
#include "kadmo/compute/indicators/hilbert.hpp"
#include "kadmo/compute/indicators/math_ops.hpp"
#include "kadmo/compute/indicators/momentum.hpp"
#include "kadmo/compute/indicators/oscillators.hpp"
#include "kadmo/compute/indicators/statistic.hpp"
#include "kadmo/compute/indicators/stochastic.hpp"
#include "kadmo/compute/indicators/tools.hpp"
#include "kadmo/compute/indicators/transform.hpp"
#include "kadmo/compute/indicators/trend.hpp"
#include "kadmo/compute/indicators/volume.hpp"
#include "kadmo/compute/kernels.hpp"
#include "kadmo/directive/exec.hpp"
#include "kadmo/directive/lookback.hpp"

namespace kadmo::directive {

using core::Column;
using core::KadmoError;
using core::Result;
using core::fail;
using compute::Series;

namespace {

using In = std::span<const double>;

Column nan_column(std::size_t len) { return Column::f64(compute::nan_series(len)); }
Result<Column> out(Series s) { return Column::f64(std::move(s)); }
Result<Column> out(Result<Series> s) {
  if (!s) return fail(s.error());
  return Column::f64(std::move(*s));
}

std::uint64_t u(const CommandInput& in, std::size_t i) { return in.values[i].u; }
double f(const CommandInput& in, std::size_t i) { return in.values[i].f; }
std::size_t win(const CommandInput& in, std::size_t i) { return window_period(u(in, i), in.len()); }

// A period of 0 leaves no computable row: the whole column is NaN, as for a
// period longer than the data.
template <class... I>
bool any_zero(const CommandInput& in, I... slots) {
  return ((u(in, slots) == 0) || ...);
}

template <Series (*F)(In, std::size_t)>
Result<Column> one_period(const CommandInput& in) {
  if (any_zero(in, 0)) return nan_column(in.len());
  return out(F(in.in(0), win(in, 0)));
}

// ---- moving averages ----

Result<Column> run_ma(const CommandInput& in) {
  if (auto ok = check_ma_type(u(in, 1)); !ok) return fail(ok.error());
  return out(ma_typed(in.in(0), u(in, 0), static_cast<std::int64_t>(u(in, 1))));
}

Result<Column> run_t3(const CommandInput& in) {
  if (any_zero(in, 0)) return nan_column(in.len());
  return out(compute::t3(in.in(0), win(in, 0), f(in, 1)));
}

Result<Series> ma_checked(In x, std::uint64_t period, std::uint64_t type) {
  if (auto ok = check_ma_type(type); !ok) return fail(ok.error());
  return ma_typed(x, period, static_cast<std::int64_t>(type));
}

// Moving average with a period chosen per row. Each distinct clamped period
// is averaged once, over the rows from where its own warm-up must begin so
// that its first value lands on the common start row.
Result<Column> run_mavp(const CommandInput& in) {
  const In x = in.in(0), periods = in.in(1);
  const std::uint64_t lo = u(in, 0), hi = u(in, 1), type = u(in, 2);
  if (auto ok = check_ma_type(type); !ok) return fail(ok.error());
  if (lo > hi)
    return fail(KadmoError::value("mavp min_period " + std::to_string(lo) + " is greater than max_period " +
                                  std::to_string(hi)));
  const std::size_t len = in.len();
  Series res = compute::nan_series(len);
  const std::uint64_t start = ma_lookback(hi, type);
  if (start >= len) return Column::f64(std::move(res));
  // Rows grouped by clamped period: a counting sort when the period range is
  // no wider than the rows, a comparison sort otherwise.
  const std::size_t first = static_cast<std::size_t>(start), count = len - first;
  std::vector<std::uint64_t> per(count);
  for (std::size_t i = first; i < len; ++i) {
    const std::int64_t p = core::saturating_f64_to_i64(periods[i]);
    per[i - first] = std::clamp(p < 0 ? std::uint64_t{0} : static_cast<std::uint64_t>(p), lo, hi);
  }
  std::vector<std::size_t> order(count);
  if (hi - lo < count) {
    std::vector<std::size_t> bucket(static_cast<std::size_t>(hi - lo) + 2, 0);
    for (std::uint64_t p : per) ++bucket[p - lo + 1];
    for (std::size_t b = 1; b < bucket.size(); ++b) bucket[b] += bucket[b - 1];
    for (std::size_t k = 0; k < count; ++k) order[bucket[per[k] - lo]++] = k;
  } else {
    for (std::size_t k = 0; k < count; ++k) order[k] = k;
    std::ranges::stable_sort(order, {}, [&](std::size_t k) { return per[k]; });
  }
  for (std::size_t a = 0; a < count;) {
    const std::uint64_t p = per[order[a]];
    std::size_t b = a;
    while (b < count && per[order[b]] == p) ++b;
    const std::size_t off = static_cast<std::size_t>(start - ma_lookback(p, type));
    auto avg = ma_typed(x.subspan(off), p, static_cast<std::int64_t>(type));
    if (!avg) return fail(avg.error());
    for (std::size_t k = a; k < b; ++k) {
      const std::size_t row = first + order[k];
      res[row] = (*avg)[row - off];
    }
    a = b;
  }
  return Column::f64(std::move(res));
}

// ---- MACD family ----

enum class MacdLine { Line, Signal, Histogram };

Result<Column> macd_of(const CommandInput& in, std::uint64_t fast, std::uint64_t slow, std::uint64_t signal,
                       MacdLine line) {
  const std::size_t len = in.len();
  if (fast == 0 || slow == 0 || (line != MacdLine::Line && signal == 0)) return nan_column(len);
  const std::size_t fa = window_period(fast, len), sl = window_period(slow, len), sg = window_period(signal, len);
  switch (line) {
    case MacdLine::Line: return out(compute::macd(in.in(0), fa, sl));
    case MacdLine::Signal: return out(compute::macd_signal(in.in(0), fa, sl, sg));
    case MacdLine::Histogram: return out(compute::macd_histogram(in.in(0), fa, sl, sg));
  }
  return nan_column(len);
}

template <MacdLine L>
Result<Column> run_macd(const CommandInput& in) {
  return macd_of(in, u(in, 0), u(in, 1), L == MacdLine::Line ? 0 : u(in, 2), L);
}
template <MacdLine L>
Result<Column> run_macdfix(const CommandInput& in) {
  return macd_of(in, 12, 26, L == MacdLine::Line ? 0 : u(in, 0), L);
}

Result<Series> difference(In x, std::uint64_t fast, std::uint64_t ft, std::uint64_t slow, std::uint64_t st) {
  auto a = ma_checked(x, fast, ft);
  if (!a) return a;
  auto b = ma_checked(x, slow, st);
  if (!b) return b;
  for (std::size_t i = 0; i < a->size(); ++i) (*a)[i] -= (*b)[i];
  return a;
}

template <MacdLine L>
Result<Column> run_macdext(const CommandInput& in) {
  auto line = difference(in.in(0), u(in, 0), u(in, 1), u(in, 2), u(in, 3));
  if (!line || L == MacdLine::Line) return out(std::move(line));
  auto sig = ma_checked(*line, u(in, 4), u(in, 5));
  if (!sig || L == MacdLine::Signal) return out(std::move(sig));
  for (std::size_t i = 0; i < line->size(); ++i) (*line)[i] -= (*sig)[i];
  return out(std::move(line));
}

Result<Column> run_apo(const CommandInput& in) {
  return out(difference(in.in(0), u(in, 0), u(in, 2), u(in, 1), u(in, 2)));
}

Result<Column> run_ppo(const CommandInput& in) {
  auto a = ma_checked(in.in(0), u(in, 0), u(in, 2));
  if (!a) return fail(a.error());
  auto b = ma_checked(in.in(0), u(in, 1), u(in, 2));
  if (!b) return fail(b.error());
  for (std::size_t i = 0; i < a->size(); ++i) (*a)[i] = (((*a)[i] - (*b)[i]) / (*b)[i]) * 100.0;
  return out(std::move(*a));
}

// ---- channels ----

Series roll_min(In x, std::size_t n) { return compute::rolling_min(compute::View(x), n); }

Result<Column> run_donchian(const CommandInput& in) {
  if (any_zero(in, 0)) return nan_column(in.len());
  return out(compute::donchian(in.in(0), in.in(1), win(in, 0)));
}
Result<Column> run_midprice(const CommandInput& in) {
  if (any_zero(in, 0)) return nan_column(in.len());
  return out(compute::midprice(in.in(0), in.in(1), win(in, 0)));
}
Result<Column> run_bbi(const CommandInput& in) {
  if (any_zero(in, 0, 1, 2, 3)) return nan_column(in.len());
  return out(compute::bbi(in.in(0), win(in, 0), win(in, 1), win(in, 2), win(in, 3)));
}

// ---- oscillators ----

Result<Column> run_rsv(const CommandInput& in) {
  if (any_zero(in, 0)) return nan_column(in.len());
  return out(compute::rsv(in.in(0), in.in(1), in.in(2), win(in, 0)));
}

// The smoothing periods are factors (1/m), not windows: they are passed as
// they are; the rsv window is bounded like any other.
Result<Column> run_kdj_k(const CommandInput& in) {
  if (any_zero(in, 0, 1)) return nan_column(in.len());
  return out(compute::kdj_k(in.in(0), in.in(1), in.in(2), f(in, 2), win(in, 0), u(in, 1)));
}
template <bool J>
Result<Column> run_kdj_dj(const CommandInput& in) {
  if (any_zero(in, 0, 1, 2)) return nan_column(in.len());
  auto fn = J ? compute::kdj_j : compute::kdj_d;
  return out(fn(in.in(0), in.in(1), in.in(2), f(in, 3), win(in, 0), u(in, 1), u(in, 2)));
}

Series fastk_or_nan(const CommandInput& in, std::uint64_t n) {
  if (n == 0) return compute::nan_series(in.len());
  return compute::stoch_fastk(in.in(0), in.in(1), in.in(2), window_period(n, in.len()));
}

Result<Column> run_stoch_k(const CommandInput& in) {
  if (auto ok = check_ma_type(u(in, 2)); !ok) return fail(ok.error());
  return out(ma_checked(fastk_or_nan(in, u(in, 0)), u(in, 1), u(in, 2)));
}
Result<Column> run_stoch_d(const CommandInput& in) {
  if (u(in, 0) == 5 && u(in, 1) == 3 && u(in, 2) == 0 && u(in, 3) == 3 && u(in, 4) == 0)
    if (auto s = compute::stoch_d_default_sma(in.in(0), in.in(1), in.in(2))) return out(std::move(*s));
  auto k = ma_checked(fastk_or_nan(in, u(in, 0)), u(in, 1), u(in, 2));
  if (!k) return fail(k.error());
  return out(ma_checked(*k, u(in, 3), u(in, 4)));
}
Result<Column> run_stochf_k(const CommandInput& in) { return out(fastk_or_nan(in, u(in, 0))); }
Result<Column> run_stochf_d(const CommandInput& in) {
  if (u(in, 0) == 5 && u(in, 1) == 3 && u(in, 2) == 0)
    if (auto s = compute::stochf_d_default_sma(in.in(0), in.in(1), in.in(2))) return out(std::move(*s));
  return out(ma_checked(fastk_or_nan(in, u(in, 0)), u(in, 1), u(in, 2)));
}

Series stochrsi_k_or_nan(const CommandInput& in) {
  if (any_zero(in, 0, 1)) return compute::nan_series(in.len());
  return compute::stochrsi_fastk(in.in(0), win(in, 0), win(in, 1));
}
Result<Column> run_stochrsi_k(const CommandInput& in) { return out(stochrsi_k_or_nan(in)); }
Result<Column> run_stochrsi_d(const CommandInput& in) {
  if (u(in, 0) == 14 && u(in, 1) == 5 && u(in, 2) == 3 && u(in, 3) == 0)
    if (auto s = compute::stochrsi_d_default_sma(in.in(0))) return out(std::move(*s));
  return out(ma_checked(stochrsi_k_or_nan(in), u(in, 2), u(in, 3)));
}

// ---- true range and stop and reverse ----

Result<Column> run_tr(const CommandInput& in) { return out(compute::tr(in.in(0), in.in(1), in.in(2))); }
template <Series (*F)(In, In, In, std::size_t)>
Result<Column> hlc_period(const CommandInput& in) {
  if (any_zero(in, 0)) return nan_column(in.len());
  return out(F(in.in(0), in.in(1), in.in(2), win(in, 0)));
}
Result<Column> run_sar(const CommandInput& in) { return out(compute::sar(in.in(0), in.in(1), f(in, 0), f(in, 1))); }
Result<Column> run_sarext(const CommandInput& in) {
  return out(compute::sarext(in.in(0), in.in(1), f(in, 0), f(in, 1), f(in, 2), f(in, 3), f(in, 4), f(in, 5),
                             f(in, 6), f(in, 7)));
}

// ---- two inputs and a period (high/low, or a series against a second) ----

template <Series (*F)(In, In, std::size_t)>
Result<Column> two_period(const CommandInput& in) {
  if (any_zero(in, 0)) return nan_column(in.len());
  return out(F(in.in(0), in.in(1), win(in, 0)));
}

// ---- bands and statistics ----

template <Series (*F)(In, std::size_t, double)>
Result<Column> period_factor(const CommandInput& in) {
  if (any_zero(in, 0)) return nan_column(in.len());
  return out(F(in.in(0), win(in, 0), f(in, 1)));
}

Result<Column> run_hv(const CommandInput& in) {
  auto minutes = bar_minutes(in.values[1].text);
  if (!minutes) return fail(minutes.error());
  // A year of no or negative periods has no volatility to scale to; the
  // square root would turn every value into NaN or 0 without saying why.
  const std::int64_t per_year = in.values[2].i;
  if (per_year <= 0)
    return fail(KadmoError::value("periods_per_year must be positive, got " + std::to_string(per_year)));
  if (any_zero(in, 0)) return nan_column(in.len());
  return out(compute::hv(in.in(0), win(in, 0), *minutes, per_year));
}

// ---- price transforms ----

Result<Column> run_avgprice(const CommandInput& in) {
  return out(compute::avgprice(in.in(0), in.in(1), in.in(2), in.in(3)));
}
Result<Column> run_medprice(const CommandInput& in) { return out(compute::medprice(in.in(0), in.in(1))); }
template <Series (*F)(In, In, In)>
Result<Column> hlc(const CommandInput& in) {
  return out(F(in.in(0), in.in(1), in.in(2)));
}

// ---- momentum, volume and window positions ----

Result<Column> run_aroon_down(const CommandInput& in) {
  // The down line reads the low, the second input.
  if (any_zero(in, 0)) return nan_column(in.len());
  return out(compute::aroon_down(in.in(1), win(in, 0)));
}
Result<Column> run_bop(const CommandInput& in) { return out(compute::bop(in.in(0), in.in(1), in.in(2), in.in(3))); }
Result<Column> run_mfi(const CommandInput& in) {
  if (any_zero(in, 0)) return nan_column(in.len());
  return out(compute::mfi(in.in(0), in.in(1), in.in(2), in.in(3), win(in, 0)));
}
Result<Column> run_ultosc(const CommandInput& in) {
  if (any_zero(in, 0, 1, 2)) return nan_column(in.len());
  return out(compute::ultosc(in.in(0), in.in(1), in.in(2), win(in, 0), win(in, 1), win(in, 2)));
}
Result<Column> run_obv(const CommandInput& in) { return out(compute::obv(in.in(0), in.in(1))); }
Result<Column> run_ad(const CommandInput& in) { return out(compute::ad(in.in(0), in.in(1), in.in(2), in.in(3))); }
// The adosc periods set the smoothing factors, so they are passed as given.
Result<Column> run_adosc(const CommandInput& in) {
  return out(compute::adosc(in.in(0), in.in(1), in.in(2), in.in(3), static_cast<std::size_t>(u(in, 0)),
                            static_cast<std::size_t>(u(in, 1))));
}

// ---- signal tools ----

Result<Column> run_increase(const CommandInput& in) {
  return Column::boolean(compute::increase(in.in(0), static_cast<std::size_t>(u(in, 0)), in.values[1].i));
}
Result<Column> run_repeat(const CommandInput& in) {
  return Column::boolean(compute::repeat(*in.inputs[0].bool_values(), static_cast<std::size_t>(u(in, 0))));
}

// Inputs are open, close: bullish is close above open.
Result<Column> style_of(const CommandInput& in, std::string_view side) {
  if (side != "bullish" && side != "bearish")
    return fail(KadmoError::value("style should be 'bullish' or 'bearish', got '" + std::string(side) + "'"));
  return Column::boolean(compute::style(side == "bullish", in.in(1), in.in(0)));
}
Result<Column> run_style_side(const CommandInput& in) {
  const bool given = !in.args.empty() && in.args[0] && !in.args[0]->empty();
  return style_of(in, given ? std::string_view(*in.args[0]) : std::string_view());
}
Result<Column> run_style_named_side(const CommandInput& in) { return style_of(in, *in.sub); }

// ---- Hilbert transform family ----

template <bool Fama>
Result<Column> run_mama(const CommandInput& in) {
  if (auto ok = check_mama_limits(in); !ok) return fail(ok.error());
  return out(compute::mama_line(in.in(0), Fama, f(in, 0), f(in, 1)));
}
template <Series (*F)(In)>
Result<Column> ht_one(const CommandInput& in) {
  return out(F(in.in(0)));
}
template <bool Quadrature>
Result<Column> run_ht_phasor(const CommandInput& in) {
  return out(compute::ht_phasor_line(in.in(0), Quadrature));
}
template <bool Lead>
Result<Column> run_ht_sine(const CommandInput& in) {
  auto [sine, lead] = compute::ht_sine(in.in(0));
  return out(Lead ? std::move(lead) : std::move(sine));
}

// ---- candlestick patterns ----

// Open, high, low, close into the pattern's recogniser; patterns without a
// penetration take no argument and ignore the one passed.
Result<Column> run_candle(const CommandInput& in) {
  const compute::CandlePattern* p = in.sub ? compute::candle_pattern(*in.sub) : nullptr;
  if (!p) return fail(KadmoError::value("command \"style\" has no sub-command " + core::quoted(in.sub.value_or(""))));
  double penetration = 0.0;
  if (p->penetration) {
    penetration = f(in, 0);
    // A NaN would fail every comparison and report "no pattern" on every
    // bar; a negative one inverts the test it stands for.
    if (!(penetration >= 0.0) || !std::isfinite(penetration))
      return fail(KadmoError::value("penetration must be a finite number >= 0, got '" +
                                    std::string(in.args.empty() ? "" : in.args[0].value_or("")) + "'"));
  }
  return out(p->fn(in.in(0), in.in(1), in.in(2), in.in(3), penetration));
}

}  // namespace

// Both limits are smoothing factors: outside (0, 1] the average leaves the
// prices (a factor above 1 overshoots, 0 freezes, NaN erases every value).
Result<void> check_mama_limits(const CommandInput& in) {
  static constexpr std::string_view names[] = {"fast_limit", "slow_limit"};
  for (std::size_t i = 0; i < 2; ++i) {
    const double v = in.values[i].f;
    if (!(v > 0.0 && v <= 1.0)) {
      const std::string shown = i < in.args.size() && in.args[i] ? *in.args[i] : std::string();
      return fail(KadmoError::value("mama " + std::string(names[i]) + " must be greater than 0 and at most 1, got '" +
                                    shown + "'"));
    }
  }
  return {};
}

namespace eval_hooks {
constexpr SeriesRule D = SeriesRule::Defaults;

const EvalHook ma{run_ma};
const EvalHook ema{one_period<compute::ema>};
const EvalHook smma{one_period<compute::smma>};
const EvalHook wma{one_period<compute::wma>};
const EvalHook dema{one_period<compute::dema>};
const EvalHook tema{one_period<compute::tema>};
const EvalHook trima{one_period<compute::trima>};
const EvalHook kama{one_period<compute::kama>};
const EvalHook t3{run_t3};
const EvalHook mavp{run_mavp, SeriesRule::PlusRequired};
const EvalHook macd{run_macd<MacdLine::Line>};
const EvalHook macd_signal{run_macd<MacdLine::Signal>};
const EvalHook macd_histogram{run_macd<MacdLine::Histogram>};
const EvalHook macdext{run_macdext<MacdLine::Line>};
const EvalHook macdext_signal{run_macdext<MacdLine::Signal>};
const EvalHook macdext_histogram{run_macdext<MacdLine::Histogram>};
const EvalHook macdfix{run_macdfix<MacdLine::Line>};
const EvalHook macdfix_signal{run_macdfix<MacdLine::Signal>};
const EvalHook macdfix_histogram{run_macdfix<MacdLine::Histogram>};
const EvalHook apo{run_apo};
const EvalHook ppo{run_ppo};
const EvalHook llv{one_period<roll_min>};
const EvalHook hhv{one_period<compute::hhv>};
const EvalHook donchian{run_donchian};
const EvalHook donchian_upper{one_period<compute::hhv>};
const EvalHook donchian_lower{one_period<roll_min>};
const EvalHook minmax_min{one_period<roll_min>};
const EvalHook minmax_max{one_period<compute::hhv>};
const EvalHook midpoint{one_period<compute::midpoint>};
const EvalHook midprice{run_midprice};
const EvalHook bbi{run_bbi};
const EvalHook rsi{one_period<compute::rsi>};
const EvalHook rsv{run_rsv};
const EvalHook kdj_k{run_kdj_k};
const EvalHook kdj_d{run_kdj_dj<false>};
const EvalHook kdj_j{run_kdj_dj<true>};
const EvalHook stoch_k{run_stoch_k};
const EvalHook stoch_d{run_stoch_d};
const EvalHook stochf_k{run_stochf_k};
const EvalHook stochf_d{run_stochf_d};
const EvalHook stochrsi_k{run_stochrsi_k};
const EvalHook stochrsi_d{run_stochrsi_d};
const EvalHook cmo{one_period<compute::cmo>};
const EvalHook tr{run_tr};
const EvalHook atr{hlc_period<compute::atr>};
const EvalHook natr{hlc_period<compute::natr>};
const EvalHook sar{run_sar};
const EvalHook sarext{run_sarext};
const EvalHook hv{run_hv};
const EvalHook boll{one_period<compute::accbands_middle>};
const EvalHook boll_upper{period_factor<compute::boll_upper>};
const EvalHook boll_lower{period_factor<compute::boll_lower>};
const EvalHook bbw{one_period<compute::bbw>};
const EvalHook accbands{one_period<compute::accbands_middle>};
const EvalHook accbands_upper{two_period<compute::accbands_upper>};
const EvalHook accbands_lower{two_period<compute::accbands_lower>};
const EvalHook stddev{period_factor<compute::stddev>};
const EvalHook var{one_period<compute::rolling_var>};
const EvalHook linearreg{one_period<compute::linearreg>};
const EvalHook linearreg_slope{one_period<compute::linearreg_slope>};
const EvalHook linearreg_angle{one_period<compute::linearreg_angle>};
const EvalHook linearreg_intercept{one_period<compute::linearreg_intercept>};
const EvalHook tsf{one_period<compute::tsf>};
const EvalHook beta{two_period<compute::beta>, SeriesRule::PlusRequired};
const EvalHook correl{two_period<compute::correl>, SeriesRule::PlusRequired};
const EvalHook dx{hlc_period<compute::dx>};
const EvalHook adx{hlc_period<compute::adx>};
const EvalHook adxr{hlc_period<compute::adxr>};
const EvalHook plus_di{hlc_period<compute::plus_di>};
const EvalHook minus_di{hlc_period<compute::minus_di>};
const EvalHook plus_dm{two_period<compute::plus_dm>};
const EvalHook minus_dm{two_period<compute::minus_dm>};
const EvalHook avgprice{run_avgprice};
const EvalHook medprice{run_medprice};
const EvalHook typprice{hlc<compute::typprice>};
const EvalHook wclprice{hlc<compute::wclprice>};
const EvalHook style_side{run_style_side, D, true};
const EvalHook style_named_side{run_style_named_side, D, true};
const EvalHook aroon_up{one_period<compute::aroon_up>};
const EvalHook aroon_down{run_aroon_down};
const EvalHook aroonosc{two_period<compute::aroonosc>};
const EvalHook bop{run_bop};
const EvalHook cci{hlc_period<compute::cci>};
const EvalHook imi{two_period<compute::imi>};
const EvalHook mfi{run_mfi};
const EvalHook mom{one_period<compute::mom>};
const EvalHook roc{one_period<compute::roc>};
const EvalHook rocp{one_period<compute::rocp>};
const EvalHook rocr{one_period<compute::rocr>};
const EvalHook rocr100{one_period<compute::rocr100>};
const EvalHook trix{one_period<compute::trix>};
const EvalHook willr{hlc_period<compute::willr>};
const EvalHook ultosc{run_ultosc};
const EvalHook obv{run_obv};
const EvalHook ad{run_ad};
const EvalHook adosc{run_adosc};
const EvalHook sum{one_period<compute::sum>};
const EvalHook maxindex{one_period<compute::maxindex>};
const EvalHook minindex{one_period<compute::minindex>};
const EvalHook change{one_period<compute::change>};
const EvalHook increase{run_increase};
const EvalHook repeat{run_repeat, SeriesRule::Bool};
const EvalHook mama{run_mama<false>};
const EvalHook mama_fama{run_mama<true>};
const EvalHook ht_dcperiod{ht_one<compute::ht_dcperiod>};
const EvalHook ht_dcphase{ht_one<compute::ht_dcphase>};
const EvalHook ht_phasor{run_ht_phasor<false>};
const EvalHook ht_phasor_quadrature{run_ht_phasor<true>};
const EvalHook ht_sine{run_ht_sine<false>};
const EvalHook ht_sine_lead{run_ht_sine<true>};
const EvalHook ht_trendline{ht_one<compute::ht_trendline>};
const EvalHook ht_trendmode{ht_one<compute::ht_trendmode>};
const EvalHook candle{run_candle};
}  // namespace eval_hooks

}  // namespace kadmo::directive
