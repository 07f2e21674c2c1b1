#pragma once
// Evaluation of a parsed directive over a frame: one full-length float or
// bool column, or an error (kind Value, or ColumnNotFound for a missing
// default input column).

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "kadmo/core/dataframe.hpp"
#include "kadmo/core/error.hpp"
#include "kadmo/directive/registry.hpp"
#include "kadmo/directive/spec.hpp"
#include "kadmo/directive/types.hpp"

namespace kadmo::directive {

core::Result<core::Column> execute(const core::DataFrame& frame, const Node& node);

core::Result<core::Column> exec_command(const core::DataFrame& frame, std::string_view name,
                                        std::optional<std::string_view> sub, ArgList args,
                                        std::span<const Node> series);

// Argument readers: an absent or empty slot gives the default; no default
// gives "missing required argument #i".
core::Result<std::uint64_t> arg_usize(ArgList args, std::size_t i, std::optional<std::uint64_t> def);
core::Result<std::int64_t> arg_i64(ArgList args, std::size_t i, std::optional<std::int64_t> def);
core::Result<double> arg_f64(ArgList args, std::size_t i, std::optional<double> def);

// Moving average of type 0..8 ("unknown ma type {}" otherwise).
core::Result<std::vector<double>> ma_typed(std::span<const double> values, std::uint64_t period,
                                           std::int64_t ma_type);

// Input helpers. Float results are always float columns: a float column of
// the frame is shared as it is, any other column is converted.
core::Result<core::Column> series_f64(const core::DataFrame& frame, std::span<const Node> series, std::size_t slot,
                                      std::string_view default_name);
// Slot 1, which has no default ("series argument #1 is required").
core::Result<core::Column> series_f64_required(const core::DataFrame& frame, std::span<const Node> series);
// Slot 0 read as a truth vector ("a boolean series argument is required").
core::Result<core::Column> series_bool(const core::DataFrame& frame, std::span<const Node> series);
// Float view of any column (shared when it already is one).
core::Column as_f64(const core::Column& c);
// Truth view of any column: a bool column as it is, else value != 0.0 (NaN
// counts as true).
core::Column as_bool(const core::Column& c);

// A window or seed period as the indicators take it: any period beyond the
// data acts like one row beyond it (all NaN), so nothing is sized by it.
std::size_t window_period(std::uint64_t p, std::size_t len);
// ma_type codes 0..8 ("unknown ma type {}" otherwise).
core::Result<void> check_ma_type(std::uint64_t t);

// Bar length in minutes of an `hv` bar frame such as "1d", "15m", "90s".
core::Result<std::int64_t> bar_minutes(std::string_view text);

// ---- the evaluator column of the command registry ----

// A parsed argument; which member holds the value follows the slot's kind.
struct ArgValue {
  std::uint64_t u = 0;
  double f = 0.0;
  std::int64_t i = 0;
  std::string_view text;
};

// One command ready to run: its spec, its inputs fetched (float columns, or
// one bool column for a boolean series) and its arguments read.
struct CommandInput {
  const core::DataFrame* frame = nullptr;
  std::string name;                      // lowercased, cdl -> style
  std::optional<std::string_view> sub;   // canonical
  CommandSpec spec;
  ArgList args;
  std::span<const Node> series;
  std::vector<core::Column> inputs;
  std::vector<ArgValue> values;
  // Rows the resume hooks see: the first `limit` of the frame. A tail is
  // resumed piece by piece through it, each piece over a longer prefix.
  std::size_t limit = static_cast<std::size_t>(-1);

  std::size_t len() const { return frame->height() < limit ? frame->height() : limit; }
  std::span<const double> in(std::size_t i) const;
};

enum class SeriesRule : std::uint8_t {
  Defaults,      // one float input per default series slot
  PlusRequired,  // the defaults, then slot 1 which has no default
  Bool,          // one boolean series in slot 0
};

struct EvalHook {
  core::Result<core::Column> (*run)(const CommandInput& in);
  SeriesRule series = SeriesRule::Defaults;
  bool own_args = false;  // the hook reads its arguments itself
};

// The evaluator of a resolved command: its variant's, or for a candlestick
// pattern the row's pattern evaluator; nullptr when the registry has none.
const EvalHook* eval_hook(const CommandSpec& spec);

// The MAMA limits of a prepared `mama` command: each within (0, 1].
core::Result<void> check_mama_limits(const CommandInput& in);

// Resolves the command (lowercasing, spec lookup, argument count), fetches
// its inputs and reads its arguments, in that order; the first failure is
// returned.
core::Result<CommandInput> prepare_command(const core::DataFrame& frame, std::string_view name,
                                           std::optional<std::string_view> sub, ArgList args,
                                           std::span<const Node> series);

// The evaluator of each registry variant.
namespace eval_hooks {
extern const EvalHook ma, ema, smma, wma, dema, tema, trima, kama, t3, mavp, macd, macd_signal, macd_histogram,
    macdext, macdext_signal, macdext_histogram, macdfix, macdfix_signal, macdfix_histogram, apo, ppo, llv, hhv,
    donchian, donchian_upper, donchian_lower, minmax_min, minmax_max, midpoint, midprice, bbi, rsi, rsv, kdj_k,
    kdj_d, kdj_j, stoch_k, stoch_d, stochf_k, stochf_d, stochrsi_k, stochrsi_d, cmo, tr, atr, natr, sar, sarext,
    hv, style_side, style_named_side, boll, boll_upper, boll_lower, bbw, accbands, accbands_upper, accbands_lower,
    stddev, var, linearreg, linearreg_slope, linearreg_angle, linearreg_intercept, tsf, beta, correl, dx, adx, adxr,
    plus_di, minus_di, plus_dm, minus_dm, avgprice, medprice, typprice, wclprice, aroon_up, aroon_down, aroonosc,
    bop, cci, imi, mfi, mom, roc, rocp, rocr, rocr100, trix, willr, ultosc, obv, ad, adosc, sum, maxindex, minindex,
    change, increase, repeat, mama, mama_fama, ht_dcperiod, ht_dcphase, ht_phasor, ht_phasor_quadrature, ht_sine,
    ht_sine_lead, ht_trendline, ht_trendmode, candle;
}  // namespace eval_hooks

}  // namespace kadmo::directive
