#include "kadmo/directive/registry.hpp"

#include <algorithm>
#include <array>

#include "kadmo/directive/candle_names.hpp"
#include "kadmo/directive/exec.hpp"
#include "kadmo/directive/exec_resume.hpp"
#include "kadmo/directive/lookback.hpp"

namespace kadmo::directive {

namespace {

using SV = std::string_view;
constexpr auto kNone = std::nullopt;
constexpr auto kFloat = ResultKind::Float;
constexpr auto kBool = ResultKind::Bool;

constexpr ArgSpec req(SV n) { return {ArgKind::Required, n, ""}; }
constexpr ArgSpec usz(SV n, std::uint64_t v, SV t) { return {ArgKind::Usize, n, t, v}; }
constexpr ArgSpec f64(SV n, double v, SV t) { return {ArgKind::F64, n, t, 0, v}; }
constexpr ArgSpec i64(SV n, std::int64_t v, SV t) { return {ArgKind::I64, n, t, 0, 0.0, v}; }
constexpr ArgSpec txt(SV n, SV t) { return {ArgKind::Text, n, t}; }

// ---- argument lists ----
constexpr std::array<ArgSpec, 0> aNone{};
constexpr std::array aPeriodReq{req("period")};
constexpr std::array aMa{req("period"), usz("ma_type", 0, "0")};
constexpr std::array aP5{usz("period", 5, "5")};
constexpr std::array aP10{usz("period", 10, "10")};
constexpr std::array aP14{usz("period", 14, "14")};
constexpr std::array aP20{usz("period", 20, "20")};
constexpr std::array aP30{usz("period", 30, "30")};
constexpr std::array aP2{usz("period", 2, "2")};
constexpr std::array aT3{usz("period", 5, "5"), f64("volume_factor", 0.7, "0.7")};
constexpr std::array aMama{f64("fast_limit", 0.5, "0.5"), f64("slow_limit", 0.05, "0.05")};
constexpr std::array aMavp{usz("min_period", 2, "2"), usz("max_period", 30, "30"), usz("ma_type", 0, "0")};
constexpr std::array aMacdLine{usz("fast", 12, "12"), usz("slow", 26, "26")};
constexpr std::array aMacdSig{usz("fast", 12, "12"), usz("slow", 26, "26"), usz("signal", 9, "9")};
constexpr std::array aMacdextLine{usz("fast", 12, "12"), usz("fast_ma_type", 0, "0"), usz("slow", 26, "26"),
                                  usz("slow_ma_type", 0, "0")};
constexpr std::array aMacdextSig{usz("fast", 12, "12"),  usz("fast_ma_type", 0, "0"), usz("slow", 26, "26"),
                                 usz("slow_ma_type", 0, "0"), usz("signal", 9, "9"), usz("signal_ma_type", 0, "0")};
constexpr std::array aMacdfixSig{usz("signal", 9, "9")};
constexpr std::array aApo{usz("fast", 12, "12"), usz("slow", 26, "26"), usz("ma_type", 0, "0")};
constexpr std::array aBollBand{usz("period", 20, "20"), f64("deviations", 2.0, "2")};
constexpr std::array aBbi{usz("period1", 3, "3"), usz("period2", 6, "6"), usz("period3", 12, "12"),
                          usz("period4", 24, "24")};
constexpr std::array aHv{req("period"), txt("bar_frame", "1d"), i64("periods_per_year", 252, "252")};
constexpr std::array aStddev{usz("period", 5, "5"), f64("deviations", 1.0, "1")};
constexpr std::array aKdjK{usz("period", 9, "9"), usz("k_smoothing", 3, "3"), f64("initial", 50.0, "50")};
constexpr std::array aKdjD{usz("period", 9, "9"), usz("k_smoothing", 3, "3"), usz("d_smoothing", 3, "3"),
                           f64("initial", 50.0, "50")};
constexpr std::array aStoch{usz("fastk_period", 5, "5"), usz("slowk_period", 3, "3"), usz("slowk_ma_type", 0, "0"),
                            usz("slowd_period", 3, "3"), usz("slowd_ma_type", 0, "0")};
constexpr std::array aStochf{usz("fastk_period", 5, "5"), usz("fastd_period", 3, "3"), usz("fastd_ma_type", 0, "0")};
constexpr std::array aStochrsi{usz("rsi_period", 14, "14"), usz("fastk_period", 5, "5"), usz("fastd_period", 3, "3"),
                               usz("fastd_ma_type", 0, "0")};
constexpr std::array aUltosc{usz("period1", 7, "7"), usz("period2", 14, "14"), usz("period3", 28, "28")};
constexpr std::array aSar{f64("acceleration", 0.02, "0.02"), f64("maximum", 0.2, "0.2")};
constexpr std::array aSarext{f64("start", 0.0, "0"),
                             f64("offset_on_reverse", 0.0, "0"),
                             f64("acceleration_init_long", 0.02, "0.02"),
                             f64("acceleration_long", 0.02, "0.02"),
                             f64("acceleration_max_long", 0.2, "0.2"),
                             f64("acceleration_init_short", 0.02, "0.02"),
                             f64("acceleration_short", 0.02, "0.02"),
                             f64("acceleration_max_short", 0.2, "0.2")};
constexpr std::array aAdosc{usz("fast", 3, "3"), usz("slow", 10, "10")};
constexpr std::array aIncrease{usz("period", 1, "1"), i64("direction", 1, "1")};
constexpr std::array aRepeat{usz("count", 1, "1")};
constexpr std::array aStyleSide{req("side")};

// ---- default series ----
constexpr std::array<SV, 0> sNone{};
constexpr std::array<SV, 1> sClose{"close"};
constexpr std::array<SV, 1> sHigh{"high"};
constexpr std::array<SV, 1> sLow{"low"};
constexpr std::array<SV, 2> sHL{"high", "low"};
constexpr std::array<SV, 2> sOC{"open", "close"};
constexpr std::array<SV, 2> sCV{"close", "volume"};
constexpr std::array<SV, 3> sHLC{"high", "low", "close"};
constexpr std::array<SV, 4> sHLCV{"high", "low", "close", "volume"};
constexpr std::array<SV, 4> sOHLC{"open", "high", "low", "close"};

// ---- lookback rules ----
std::uint64_t d(const CommandRow& r, std::size_t i) { return r.usize_default(i).value_or(1); }
std::uint64_t a(const CommandRow& r, ArgList args, std::size_t i) { return arg(args, i, d(r, i)); }

std::uint64_t lb_none(const CommandRow&, std::optional<SV>, ArgList) { return 0; }
std::uint64_t lb_pm1(const CommandRow& r, std::optional<SV>, ArgList x) { return sat_sub(a(r, x, 0), 1); }
std::uint64_t lb_p(const CommandRow& r, std::optional<SV>, ArgList x) { return a(r, x, 0); }
// A missing rsi period counts as 14 where every other Required period counts as 1.
std::uint64_t lb_rsi(const CommandRow&, std::optional<SV>, ArgList x) { return arg(x, 0, 14); }
std::uint64_t lb_dema(const CommandRow& r, std::optional<SV>, ArgList x) { return sat_mul(2, sat_sub(a(r, x, 0), 1)); }
std::uint64_t lb_tema(const CommandRow& r, std::optional<SV>, ArgList x) { return sat_mul(3, sat_sub(a(r, x, 0), 1)); }
std::uint64_t lb_t3(const CommandRow& r, std::optional<SV>, ArgList x) { return sat_mul(6, sat_sub(a(r, x, 0), 1)); }
std::uint64_t lb_trix(const CommandRow& r, std::optional<SV> s, ArgList x) { return sat_add(lb_tema(r, s, x), 1); }
// 2p - 1 and 3p - 2 written as k(p - 1) + 1 so that saturation happens
// before the subtraction, never after it.
std::uint64_t lb_kp_minus(std::uint64_t k, std::uint64_t p) { return p == 0 ? 0 : sat_add(sat_mul(k, p - 1), 1); }
std::uint64_t lb_adx(const CommandRow& r, std::optional<SV>, ArgList x) { return lb_kp_minus(2, a(r, x, 0)); }
std::uint64_t lb_adxr(const CommandRow& r, std::optional<SV>, ArgList x) { return lb_kp_minus(3, a(r, x, 0)); }
std::uint64_t lb_kdj(const CommandRow& r, std::optional<SV>, ArgList x) { return sat_mul(3, a(r, x, 0)); }
template <std::size_t N>
std::uint64_t lb_max_of(const CommandRow& r, std::optional<SV>, ArgList x) {
  std::uint64_t m = 0;
  for (std::size_t i = 0; i < N; ++i) m = std::max(m, a(r, x, i));
  return m;
}
std::uint64_t lb_adosc(const CommandRow& r, std::optional<SV>, ArgList x) {
  return sat_sub(std::max(a(r, x, 0), a(r, x, 1)), 1);
}
std::uint64_t lb_macd(const CommandRow& r, std::optional<SV> s, ArgList x) {
  std::uint64_t v = sat_sub(std::max(a(r, x, 0), a(r, x, 1)), 1);
  return s ? sat_add(v, sat_sub(a(r, x, 2), 1)) : v;
}
std::uint64_t lb_macdfix(const CommandRow& r, std::optional<SV> s, ArgList x) {
  return s ? sat_add(25, sat_sub(a(r, x, 0), 1)) : 25;
}
std::uint64_t lb_macdext(const CommandRow& r, std::optional<SV> s, ArgList x) {
  std::uint64_t v = std::max(ma_lookback(a(r, x, 0), a(r, x, 1)), ma_lookback(a(r, x, 2), a(r, x, 3)));
  return s ? sat_add(v, ma_lookback(a(r, x, 4), a(r, x, 5))) : v;
}
std::uint64_t lb_ma(const CommandRow& r, std::optional<SV>, ArgList x) { return ma_lookback(a(r, x, 0), a(r, x, 1)); }
// apo, ppo (the fast period does not count) and mavp (its max_period).
std::uint64_t lb_ma_of_1_2(const CommandRow& r, std::optional<SV>, ArgList x) {
  return ma_lookback(a(r, x, 1), a(r, x, 2));
}
// The stochastics pick %D on the written sub-command `d` only.
bool is_d(std::optional<SV> s) { return s && *s == "d"; }
std::uint64_t lb_stoch(const CommandRow& r, std::optional<SV> s, ArgList x) {
  std::uint64_t k = sat_add(sat_sub(a(r, x, 0), 1), ma_lookback(a(r, x, 1), a(r, x, 2)));
  return is_d(s) ? sat_add(k, ma_lookback(a(r, x, 3), a(r, x, 4))) : k;
}
std::uint64_t lb_stochf(const CommandRow& r, std::optional<SV> s, ArgList x) {
  std::uint64_t k = sat_sub(a(r, x, 0), 1);
  return is_d(s) ? sat_add(k, ma_lookback(a(r, x, 1), a(r, x, 2))) : k;
}
std::uint64_t lb_stochrsi(const CommandRow& r, std::optional<SV> s, ArgList x) {
  std::uint64_t rsi = a(r, x, 0), fastk = a(r, x, 1);
  std::uint64_t k = fastk > 0 ? sat_add(rsi, fastk - 1) : sat_sub(rsi, 1);
  return is_d(s) ? sat_add(k, ma_lookback(a(r, x, 2), a(r, x, 3))) : k;
}
template <std::uint64_t N>
std::uint64_t lb_const(const CommandRow&, std::optional<SV>, ArgList) { return N; }
std::uint64_t lb_style(const CommandRow&, std::optional<SV> s, ArgList) {
  if (!s) return 0;
  const CandlePatternInfo* p = candle_pattern_info(*s);
  return p ? p->lookback : 0;
}

// ---- variants ----
// Each variant carries its evaluator and, where the command can continue from
// a saved state, its resume pair.
namespace EH = eval_hooks;
namespace RH = resume_hooks;

template <std::size_t NA, std::size_t NS>
constexpr Variant V(std::optional<SV> sub, const std::array<ArgSpec, NA>& args, const std::array<SV, NS>& series,
                    const EvalHook* eval, const ResumeHook* resume = nullptr, ResultKind result = kFloat) {
  return Variant{sub, args, series, result, eval, resume};
}
#define ONE(id, args, series, ...) constexpr std::array id{V(kNone, args, series, __VA_ARGS__)};

ONE(vMa, aMa, sClose, &EH::ma)
ONE(vEma, aPeriodReq, sClose, &EH::ema, &RH::ema)
ONE(vSmma, aPeriodReq, sClose, &EH::smma, &RH::smma)
ONE(vWma, aP30, sClose, &EH::wma)
ONE(vDema, aP30, sClose, &EH::dema, &RH::dema)
ONE(vTema, aP30, sClose, &EH::tema, &RH::tema)
ONE(vTrima, aP30, sClose, &EH::trima)
ONE(vKama, aP30, sClose, &EH::kama, &RH::kama)
ONE(vT3, aT3, sClose, &EH::t3, &RH::t3)
constexpr std::array vMama{V(kNone, aMama, sClose, &EH::mama, &RH::mama),
                           V("fama", aMama, sClose, &EH::mama_fama, &RH::mama_fama)};
ONE(vMavp, aMavp, sClose, &EH::mavp)
constexpr std::array vMacd{V(kNone, aMacdLine, sClose, &EH::macd, &RH::macd),
                           V("signal", aMacdSig, sClose, &EH::macd_signal, &RH::macd_signal),
                           V("histogram", aMacdSig, sClose, &EH::macd_histogram, &RH::macd_histogram)};
constexpr std::array vMacdext{V(kNone, aMacdextLine, sClose, &EH::macdext),
                              V("signal", aMacdextSig, sClose, &EH::macdext_signal),
                              V("histogram", aMacdextSig, sClose, &EH::macdext_histogram)};
constexpr std::array vMacdfix{V(kNone, aNone, sClose, &EH::macdfix, &RH::macdfix),
                              V("signal", aMacdfixSig, sClose, &EH::macdfix_signal, &RH::macdfix_signal),
                              V("histogram", aMacdfixSig, sClose, &EH::macdfix_histogram, &RH::macdfix_histogram)};
ONE(vApo, aApo, sClose, &EH::apo)
ONE(vPpo, aApo, sClose, &EH::ppo)
constexpr std::array vBoll{V(kNone, aP20, sClose, &EH::boll), V("upper", aBollBand, sClose, &EH::boll_upper),
                           V("lower", aBollBand, sClose, &EH::boll_lower)};
ONE(vBbw, aP20, sClose, &EH::bbw)
ONE(vBbi, aBbi, sClose, &EH::bbi)
constexpr std::array vAccbands{V(kNone, aP20, sClose, &EH::accbands), V("upper", aP20, sHL, &EH::accbands_upper),
                               V("lower", aP20, sHL, &EH::accbands_lower)};
constexpr std::array vDonchian{V(kNone, aPeriodReq, sHL, &EH::donchian), V("upper", aPeriodReq, sHigh, &EH::donchian_upper),
                               V("lower", aPeriodReq, sLow, &EH::donchian_lower)};
ONE(vHv, aHv, sClose, &EH::hv)
ONE(vStddev, aStddev, sClose, &EH::stddev)
ONE(vVar, aP5, sClose, &EH::var)
ONE(vSum, aP30, sClose, &EH::sum)
ONE(vLlv, aPeriodReq, sLow, &EH::llv)
ONE(vHhv, aPeriodReq, sHigh, &EH::hhv)
constexpr std::array vMinMax{V("min", aP30, sClose, &EH::minmax_min), V("max", aP30, sClose, &EH::minmax_max)};
constexpr std::array vMinMaxIndex{V("min", aP30, sClose, &EH::minindex, &RH::minindex),
                                  V("max", aP30, sClose, &EH::maxindex, &RH::maxindex)};
ONE(vMaxIndex, aP30, sClose, &EH::maxindex, &RH::maxindex)
ONE(vMinIndex, aP30, sClose, &EH::minindex, &RH::minindex)
ONE(vTrix, aP30, sClose, &EH::trix, &RH::trix)
ONE(vMidpoint, aP14, sClose, &EH::midpoint)
ONE(vMidprice, aP14, sHL, &EH::midprice)
ONE(vLinearreg, aP14, sClose, &EH::linearreg)
ONE(vLinearregSlope, aP14, sClose, &EH::linearreg_slope)
ONE(vLinearregAngle, aP14, sClose, &EH::linearreg_angle)
ONE(vLinearregIntercept, aP14, sClose, &EH::linearreg_intercept)
ONE(vTsf, aP14, sClose, &EH::tsf)
ONE(vBeta, aP5, sClose, &EH::beta)
ONE(vCorrel, aP30, sClose, &EH::correl)
ONE(vRsi, aPeriodReq, sClose, &EH::rsi, &RH::rsi)
ONE(vRsv, aPeriodReq, sHLC, &EH::rsv)
constexpr std::array vKdj{V("k", aKdjK, sHLC, &EH::kdj_k, &RH::kdj_k), V("d", aKdjD, sHLC, &EH::kdj_d, &RH::kdj_d),
                          V("j", aKdjD, sHLC, &EH::kdj_j, &RH::kdj_j)};
constexpr std::array vStoch{V("k", aStoch, sHLC, &EH::stoch_k), V("d", aStoch, sHLC, &EH::stoch_d)};
constexpr std::array vStochf{V("k", aStochf, sHLC, &EH::stochf_k), V("d", aStochf, sHLC, &EH::stochf_d)};
constexpr std::array vStochrsi{V("k", aStochrsi, sClose, &EH::stochrsi_k, &RH::stochrsi_k),
                               V("d", aStochrsi, sClose, &EH::stochrsi_d, &RH::stochrsi_d)};
ONE(vWillr, aP14, sHLC, &EH::willr)
ONE(vCci, aP14, sHLC, &EH::cci)
ONE(vCmo, aP14, sClose, &EH::cmo, &RH::cmo)
ONE(vUltosc, aUltosc, sHLC, &EH::ultosc)
ONE(vImi, aP14, sOC, &EH::imi)
ONE(vMfi, aP14, sHLCV, &EH::mfi)
ONE(vMom, aP10, sClose, &EH::mom)
ONE(vRoc, aP10, sClose, &EH::roc)
ONE(vRocp, aP10, sClose, &EH::rocp)
ONE(vRocr, aP10, sClose, &EH::rocr)
ONE(vRocr100, aP10, sClose, &EH::rocr100)
ONE(vBop, aNone, sOHLC, &EH::bop)
constexpr std::array vAroon{V("up", aP14, sHL, &EH::aroon_up), V("down", aP14, sHL, &EH::aroon_down)};
ONE(vAroonosc, aP14, sHL, &EH::aroonosc)
ONE(vDx, aP14, sHLC, &EH::dx, &RH::dx)
ONE(vAdx, aP14, sHLC, &EH::adx, &RH::adx)
ONE(vAdxr, aP14, sHLC, &EH::adxr, &RH::adxr)
ONE(vPlusDi, aP14, sHLC, &EH::plus_di, &RH::plus_di)
ONE(vMinusDi, aP14, sHLC, &EH::minus_di, &RH::minus_di)
ONE(vPlusDm, aP14, sHL, &EH::plus_dm, &RH::plus_dm)
ONE(vMinusDm, aP14, sHL, &EH::minus_dm, &RH::minus_dm)
ONE(vAvgprice, aNone, sOHLC, &EH::avgprice)
ONE(vMedprice, aNone, sHL, &EH::medprice)
ONE(vTypprice, aNone, sHLC, &EH::typprice)
ONE(vWclprice, aNone, sHLC, &EH::wclprice)
ONE(vTr, aNone, sHLC, &EH::tr)
ONE(vAtr, aP14, sHLC, &EH::atr, &RH::atr)
ONE(vNatr, aP14, sHLC, &EH::natr, &RH::natr)
ONE(vSar, aSar, sHL, &EH::sar, &RH::sar)
ONE(vSarext, aSarext, sHL, &EH::sarext, &RH::sarext)
ONE(vAd, aNone, sHLCV, &EH::ad, &RH::ad)
ONE(vAdosc, aAdosc, sHLCV, &EH::adosc, &RH::adosc)
ONE(vObv, aNone, sCV, &EH::obv, &RH::obv)
ONE(vHtDcperiod, aNone, sClose, &EH::ht_dcperiod, &RH::ht_dcperiod)
ONE(vHtDcphase, aNone, sClose, &EH::ht_dcphase, &RH::ht_dcphase)
ONE(vHtTrendline, aNone, sClose, &EH::ht_trendline, &RH::ht_trendline)
ONE(vHtTrendmode, aNone, sClose, &EH::ht_trendmode, &RH::ht_trendmode)
constexpr std::array vHtPhasor{V(kNone, aNone, sClose, &EH::ht_phasor, &RH::ht_phasor),
                               V("quadrature", aNone, sClose, &EH::ht_phasor_quadrature, &RH::ht_phasor_quadrature)};
constexpr std::array vHtSine{V(kNone, aNone, sClose, &EH::ht_sine, &RH::ht_sine),
                             V("leadsine", aNone, sClose, &EH::ht_sine_lead, &RH::ht_sine_lead)};
ONE(vChange, aP2, sClose, &EH::change)
constexpr std::array vIncrease{V(kNone, aIncrease, sClose, &EH::increase, nullptr, kBool)};
constexpr std::array vRepeat{V(kNone, aRepeat, sNone, &EH::repeat, nullptr, kBool)};
// Candlestick pattern sub-commands are resolved through candle_pattern_info
// and evaluated by the row's pattern evaluator.
constexpr std::array vStyle{V(kNone, aStyleSide, sOC, &EH::style_side, nullptr, kBool),
                            V("bullish", aNone, sOC, &EH::style_named_side, nullptr, kBool),
                            V("bearish", aNone, sOC, &EH::style_named_side, nullptr, kBool)};
#undef ONE

// ---- sub-command aliases ----
constexpr std::array<Alias, 0> xNone{};
constexpr std::array<Alias, 5> xMacd{{{"dif", kNone}, {"dea", "signal"}, {"s", "signal"}, {"macd", "histogram"},
                                      {"h", "histogram"}}};
constexpr std::array<Alias, 4> xBand{{{"u", "upper"}, {"l", "lower"}, {"m", kNone}, {"middle", kNone}}};
constexpr std::array<Alias, 1> xMama{{{"mama", kNone}}};
constexpr std::array<Alias, 2> xHtSine{{{"sine", kNone}, {"lead", "leadsine"}}};
constexpr std::array<Alias, 4> xHtPhasor{{{"inphase", kNone}, {"i", kNone}, {"quad", "quadrature"},
                                          {"q", "quadrature"}}};
constexpr std::array<Alias, 2> xStoch{{{"slowk", "k"}, {"slowd", "d"}}};
constexpr std::array<Alias, 2> xFast{{{"fastk", "k"}, {"fastd", "d"}}};
constexpr std::array<Alias, 2> xAroon{{{"u", "up"}, {"d", "down"}}};

constexpr std::array<std::uint8_t, 0> mNone{};
constexpr std::array<std::uint8_t, 1> mArg1{1};
constexpr std::array<std::uint8_t, 1> mArg2{2};
constexpr std::array<std::uint8_t, 3> mMacdext{1, 3, 5};
constexpr std::array<std::uint8_t, 2> mStoch{2, 4};

constexpr auto F = Window::Finite;
constexpr auto R = Window::Recursive;
constexpr auto M = Window::FiniteIfMaTypesFinite;
constexpr auto P = Window::Positions;

constexpr CommandRow row(SV name, std::span<const Variant> v, LookbackRule lb, Window w,
                         std::span<const Alias> x = xNone, std::span<const std::uint8_t> m = mNone) {
  return CommandRow{name, v, x, lb, w, m, false};
}

// rsv has no lookback rule: its warm-up rows are 0, not NaN. For the same
// reason a short refresh window cannot tell its warm-up from real values, so
// it is refreshed over the whole frame (R).
const std::array kRows{
    row("ma", vMa, lb_ma, M, xNone, mArg1),
    row("ema", vEma, lb_pm1, R),
    row("smma", vSmma, lb_pm1, R),
    row("wma", vWma, lb_pm1, F),
    row("dema", vDema, lb_dema, R),
    row("tema", vTema, lb_tema, R),
    row("trima", vTrima, lb_pm1, F),
    row("kama", vKama, lb_p, R),
    row("t3", vT3, lb_t3, R),
    row("mama", vMama, lb_const<32>, R, xMama),
    row("mavp", vMavp, lb_ma_of_1_2, M, xNone, mArg2),
    row("macd", vMacd, lb_macd, R, xMacd),
    row("macdext", vMacdext, lb_macdext, M, xMacd, mMacdext),
    row("macdfix", vMacdfix, lb_macdfix, R, xMacd),
    row("apo", vApo, lb_ma_of_1_2, M, xNone, mArg2),
    row("ppo", vPpo, lb_ma_of_1_2, M, xNone, mArg2),
    row("boll", vBoll, lb_pm1, F, xBand),
    row("bbw", vBbw, lb_pm1, F),
    row("bbi", vBbi, lb_max_of<4>, F),
    row("accbands", vAccbands, lb_pm1, F, xBand),
    row("donchian", vDonchian, lb_pm1, F, xBand),
    row("hv", vHv, lb_p, F),
    row("stddev", vStddev, lb_pm1, F),
    row("var", vVar, lb_pm1, F),
    row("sum", vSum, lb_pm1, F),
    row("llv", vLlv, lb_pm1, F),
    row("hhv", vHhv, lb_pm1, F),
    row("minmax", vMinMax, lb_pm1, F),
    // Index outputs are row positions, which a window would renumber.
    row("minmaxindex", vMinMaxIndex, lb_pm1, P),
    row("maxindex", vMaxIndex, lb_pm1, P),
    row("minindex", vMinIndex, lb_pm1, P),
    row("midpoint", vMidpoint, lb_pm1, F),
    row("midprice", vMidprice, lb_pm1, F),
    row("linearreg", vLinearreg, lb_pm1, F),
    row("linearreg_slope", vLinearregSlope, lb_pm1, F),
    row("linearreg_angle", vLinearregAngle, lb_pm1, F),
    row("linearreg_intercept", vLinearregIntercept, lb_pm1, F),
    row("tsf", vTsf, lb_pm1, F),
    row("beta", vBeta, lb_p, F),
    row("correl", vCorrel, lb_pm1, F),
    row("rsi", vRsi, lb_rsi, R),
    row("rsv", vRsv, nullptr, R),
    row("kdj", vKdj, lb_kdj, R),
    row("stoch", vStoch, lb_stoch, M, xStoch, mStoch),
    row("stochf", vStochf, lb_stochf, M, xFast, mArg2),
    row("stochrsi", vStochrsi, lb_stochrsi, R, xFast),
    row("willr", vWillr, lb_pm1, F),
    row("cci", vCci, lb_pm1, F),
    row("cmo", vCmo, lb_p, R),
    row("ultosc", vUltosc, lb_max_of<3>, F),
    row("imi", vImi, lb_pm1, F),
    row("mfi", vMfi, lb_p, F),
    row("mom", vMom, lb_p, F),
    row("roc", vRoc, lb_p, F),
    row("rocp", vRocp, lb_p, F),
    row("rocr", vRocr, lb_p, F),
    row("rocr100", vRocr100, lb_p, F),
    row("trix", vTrix, lb_trix, R),
    row("bop", vBop, lb_none, F),
    row("aroon", vAroon, lb_p, F, xAroon),
    row("aroonosc", vAroonosc, lb_p, F),
    row("dx", vDx, lb_p, R),
    row("adx", vAdx, lb_adx, R),
    row("adxr", vAdxr, lb_adxr, R),
    row("plus_di", vPlusDi, lb_p, R),
    row("minus_di", vMinusDi, lb_p, R),
    row("plus_dm", vPlusDm, lb_pm1, R),
    row("minus_dm", vMinusDm, lb_pm1, R),
    row("tr", vTr, lb_const<1>, F),
    row("atr", vAtr, lb_p, R),
    row("natr", vNatr, lb_p, R),
    row("sar", vSar, lb_const<1>, R),
    row("sarext", vSarext, lb_const<1>, R),
    row("ad", vAd, lb_none, R),
    row("adosc", vAdosc, lb_adosc, R),
    row("obv", vObv, lb_none, R),
    row("avgprice", vAvgprice, lb_none, F),
    row("medprice", vMedprice, lb_none, F),
    row("typprice", vTypprice, lb_none, F),
    row("wclprice", vWclprice, lb_none, F),
    row("ht_dcperiod", vHtDcperiod, lb_const<32>, R),
    row("ht_dcphase", vHtDcphase, lb_const<63>, R),
    row("ht_phasor", vHtPhasor, lb_const<32>, R, xHtPhasor),
    row("ht_sine", vHtSine, lb_const<63>, R, xHtSine),
    row("ht_trendline", vHtTrendline, lb_const<63>, R),
    row("ht_trendmode", vHtTrendmode, lb_const<63>, R),
    row("change", vChange, lb_pm1, F),
    row("increase", vIncrease, lb_pm1, F),
    row("repeat", vRepeat, lb_pm1, F),
    // A pattern reads a fixed number of bars (its lookback and the averages
    // inside it), so a window reproduces it.
    CommandRow{"style", vStyle, xNone, lb_style, F, mNone, true, &EH::candle},
};
static_assert(kRows.size() == 90);

const std::array<const CommandRow*, 90>& sorted_rows() {
  static const auto idx = [] {
    std::array<const CommandRow*, 90> p{};
    for (std::size_t i = 0; i < kRows.size(); ++i) p[i] = &kRows[i];
    std::ranges::sort(p, {}, &CommandRow::name);
    return p;
  }();
  return idx;
}

}  // namespace

const Variant* CommandRow::variant(std::optional<std::string_view> sub) const {
  for (const Variant& v : variants)
    if (v.sub == sub) return &v;
  return nullptr;
}

std::optional<std::uint64_t> CommandRow::usize_default(std::size_t i) const {
  for (const Variant& v : variants)
    if (i < v.args.size() && v.args[i].kind == ArgKind::Usize) return v.args[i].u;
  return std::nullopt;
}

std::span<const CommandRow> command_rows() { return kRows; }

const CommandRow* find_command(std::string_view name) {
  const auto& rows = sorted_rows();
  auto it = std::ranges::lower_bound(rows, name, {}, &CommandRow::name);
  if (it == rows.end() || (*it)->name != name) return nullptr;
  return *it;
}

}  // namespace kadmo::directive
