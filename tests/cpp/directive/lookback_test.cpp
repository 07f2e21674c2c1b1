#include <gtest/gtest.h>

#include <string>

#include "kadmo/directive/lookback.hpp"
#include "kadmo/directive/parser.hpp"

namespace kadmo::directive {
namespace {

std::uint64_t lb(const std::string& text) {
  auto r = parse_uncached(text);
  EXPECT_TRUE(r.has_value()) << text;
  return r ? lookback(*r) : 12345;
}

TEST(Lookback, WorkedValues) {
  // Hand-computed from the lookback rules and the command defaults.
  const std::pair<const char*, std::uint64_t> cases[] = {
      {"boll:20", 19}, {"macd", 25}, {"macd.signal", 33}, {"kdj.k", 27}, {"stoch.k", 6}, {"stoch.d", 8},
      {"stochrsi.d", 20}, {"adx", 27}, {"adxr", 40}, {"trix", 88}, {"dema", 58}, {"tema", 87}, {"t3", 24},
      {"ma:10,7", 32}, {"apo", 25}, {"ppo:12,26,8", 150},
      // edge cases
      {"rsi", 14}, {"ma", 0}, {"ma:x", 0}, {"adx:0", 0}, {"adxr:0", 0}, {"adxr:1", 1}, {"stoch.slowd", 6},
      {"macd.dif", 33}, {"macd.", 33}, {"close", 0}, {"open + close", 0}, {"2", 0},
      {"(high + low) / 2 > boll:20", 19}, {"ma:5@(macd.signal)", 37}, {"ma:5@(ema:10)", 13},
      {"close > ma:20", 19}, {"MACD", 0}, {"MACD:12,26", 25}, {"-ma:5", 4}, {"ma:5@(ma:5@(ma:5))", 12},
      // the ma type rule
      {"ma:+5", 4}, {"ma:5,1", 4}, {"ma:5,3", 8}, {"ma:5,4", 12}, {"ma:5,6", 5}, {"ma:5,7", 32}, {"ma:5,8", 24},
      {"ma:5,99", 4}, {"ma:0", 0}, {"ma:0,3", 0}, {"t3:0", 0}, {"dema:1", 0},
      // the rest of the table
      {"ema:10", 9}, {"smma:10", 9}, {"wma", 29}, {"trima", 29}, {"kama", 30}, {"sum", 29}, {"var", 4},
      {"stddev", 4}, {"bbw", 19}, {"boll.upper:10,3", 9}, {"accbands.lower", 19}, {"donchian.upper:5", 4},
      {"llv:5", 4}, {"hhv", 0}, {"minmax.max", 29}, {"minmaxindex.min:7", 6}, {"maxindex", 29},
      {"minindex", 29}, {"midpoint", 13}, {"midprice", 13}, {"linearreg", 13}, {"linearreg_slope", 13},
      {"linearreg_angle", 13}, {"linearreg_intercept", 13}, {"tsf", 13}, {"correl", 29}, {"cci", 13},
      {"imi", 13}, {"willr", 13}, {"plus_dm", 13}, {"minus_dm", 13}, {"change", 1}, {"increase", 0},
      {"repeat:3@(close>open)", 2}, {"cmo", 14}, {"mom", 10}, {"roc", 10}, {"rocp", 10}, {"rocr", 10},
      {"rocr100", 10}, {"mfi", 14}, {"atr", 14}, {"natr", 14}, {"dx", 14}, {"plus_di", 14}, {"minus_di", 14},
      {"aroon.up", 14}, {"aroonosc", 14}, {"beta", 5}, {"hv", 1}, {"hv:20", 20}, {"kdj", 27}, {"kdj.j:5", 15},
      {"bbi", 24}, {"bbi:30", 30}, {"ultosc", 28}, {"adosc", 9}, {"adosc:12,4", 11}, {"macd:5,7", 6},
      {"macd.signal:5,7,3", 8}, {"macd:0,0", 0}, {"macdfix", 25}, {"macdfix.signal", 33},
      {"macdfix.h:5", 29}, {"macdext", 25}, {"macdext.signal:12,1,26,1,9,3", 41}, {"apo:30,5,3", 8},
      {"mavp", 29}, {"mavp:2,10,3", 18}, {"stoch.d:5,3,1,4,4", 15}, {"stochf.k", 4}, {"stochf.d", 6},
      {"stochf.fastd", 4}, {"stochrsi.k", 18}, {"stochrsi.fastd", 18}, {"mama", 32}, {"mama.fama", 32},
      {"ht_dcperiod", 32}, {"ht_phasor.q", 32}, {"ht_dcphase", 63}, {"ht_sine", 63}, {"ht_trendline", 63},
      {"ht_trendmode", 63}, {"tr", 1}, {"sar", 1}, {"sarext", 1}, {"ad", 0}, {"obv", 0}, {"bop", 0},
      {"avgprice", 0}, {"medprice", 0}, {"typprice", 0}, {"wclprice", 0},
      {"style", 0}, {"style:bullish", 0}, {"cdl.bearish", 0}, {"style.doji", 10}, {"cdl.morningstar:0.5", 12},
      {"style.3outside", 3}, {"style.Doji", 0}, {"style.foo", 0}, {"rsv:9", 0}, {"foo:5", 0}, {"Ma:5", 4},
  };
  for (const auto& [text, want] : cases) EXPECT_EQ(lb(text), want) << text;
}

TEST(Lookback, OwnLookbackKnowsOnlyCommandNames) {
  EXPECT_EQ(own_lookback("ma", std::nullopt, {}), std::optional<std::uint64_t>(0));
  EXPECT_EQ(own_lookback("cdl", std::string_view("doji"), {}), std::optional<std::uint64_t>(10));
  EXPECT_EQ(own_lookback("MACD", std::nullopt, {}), std::nullopt);
  EXPECT_EQ(own_lookback("close", std::nullopt, {}), std::nullopt);
  EXPECT_EQ(own_lookback("rsv", std::nullopt, {}), std::nullopt);  // warm-up rows are 0, not NaN
}

TEST(Lookback, ArgReader) {
  std::vector<std::optional<std::string>> args = {
      "+5", "-5", "5.0", std::nullopt, "18446744073709551616", "18446744073709551615", " 5", "++5", "5x", "007"};
  const std::uint64_t want[] = {5, 7, 7, 7, 7, 18446744073709551615ull, 7, 7, 7, 7};
  for (std::size_t i = 0; i < args.size(); ++i) EXPECT_EQ(arg(args, i, 7), want[i]) << i;
  EXPECT_EQ(arg(args, 99, 3), 3u);
}

TEST(Lookback, HugePeriodsSaturate) {
  const std::uint64_t max = 18446744073709551615ull;
  const std::pair<const char*, std::uint64_t> cases[] = {
      {"mavp:2,18446744073709551615,8", max},
      {"t3:18446744073709551615", max},
      {"t3:3074457345618258604", max},  // 6 * (p - 1) just past the top
      {"t3:3074457345618258603", 18446744073709551612ull},
      {"adxr:18446744073709551615", max},
      {"kdj.k:18446744073709551615", max},
      {"trix:6148914691236517206", max},  // 3(p - 1) = max exactly, then + 1
      {"stochrsi.d:18446744073709551615,18446744073709551615", max},
      {"macdfix.signal:18446744073709551615", max},
      {"macdext.signal:18446744073709551615,3,1,0,18446744073709551615,8", max},
      {"ma:5@(t3:18446744073709551615)", max},
      {"ma:18446744073709551615", max - 1},
      // Out of the 64-bit range the text does not read as a period: the default applies.
      {"t3:99999999999999999999", 24},
  };
  for (const auto& [text, want] : cases) EXPECT_EQ(lb(text), want) << text;
  static_assert(sat_add(kSatMax, 1) == kSatMax && sat_mul(kSatMax, 2) == kSatMax && sat_sub(0, 1) == 0);
  static_assert(sat_mul(0, kSatMax) == 0 && sat_add(1, 2) == 3);
}

}  // namespace
}  // namespace kadmo::directive
