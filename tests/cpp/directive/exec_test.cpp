#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "kadmo/compute/indicators/hilbert.hpp"
#include "kadmo/compute/indicators/oscillators.hpp"
#include "kadmo/compute/indicators/stochastic.hpp"
#include "kadmo/compute/indicators/trend.hpp"
#include "kadmo/compute/kernels.hpp"
#include "kadmo/directive/exec.hpp"
#include "kadmo/directive/parser.hpp"

namespace kadmo::directive {
namespace {

using core::Column;
using core::DataFrame;
using core::ErrorKind;

constexpr double N = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

// Same value, NaN equal to NaN, and the sign of a zero counts.
bool same(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return a == b && std::signbit(a) == std::signbit(b);
}

::testing::AssertionResult same_values(const std::vector<double>& got, const std::vector<double>& want) {
  if (got.size() != want.size())
    return ::testing::AssertionFailure() << "length " << got.size() << " vs " << want.size();
  for (std::size_t i = 0; i < got.size(); ++i)
    if (!same(got[i], want[i])) return ::testing::AssertionFailure() << "row " << i << ": " << got[i] << " vs " << want[i];
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult near_values(const std::vector<double>& got, const std::vector<double>& want) {
  if (got.size() != want.size())
    return ::testing::AssertionFailure() << "length " << got.size() << " vs " << want.size();
  for (std::size_t i = 0; i < got.size(); ++i) {
    const bool ok = std::isnan(want[i]) ? std::isnan(got[i]) : std::fabs(got[i] - want[i]) <= 1e-12 * std::max(1.0, std::fabs(want[i]));
    if (!ok) return ::testing::AssertionFailure() << "row " << i << ": " << got[i] << " vs " << want[i];
  }
  return ::testing::AssertionSuccess();
}

// Eight rows: close and open with NaN in different rows and equal values in
// others, a bool, an int and a string column, and a plain 1..8 series with a
// per-row period column for mavp.
DataFrame fixture() {
  auto f = DataFrame::make(
      {"close", "open", "flag", "vol", "name", "x", "p"},
      {Column::f64({1, 2, N, 4, 0, 5, 6, 7}), Column::f64({2, 2, 3, N, -1, 5, 7, 6}),
       Column::boolean({1, 0, 1, 0, 1, 0, 0, 1}), Column::i64({0, 1, 2, 3, 4, 5, 6, 7}),
       Column::str({"a", "b", "c", "d", "e", "f", "g", "h"}), Column::f64({1, 2, 3, 4, 5, 6, 7, 8}),
       Column::f64({2, 3, 2, N, 3, 100, 1, 2})});
  EXPECT_TRUE(f.has_value());
  f->set_alias("c", "close");
  return std::move(*f);
}

core::Result<Column> run(const DataFrame& f, const std::string& text) {
  auto node = parse_uncached(text);
  EXPECT_TRUE(node.has_value()) << text << ": " << (node ? "" : node.error().message);
  if (!node) return core::fail(node.error());
  return execute(f, *node);
}

std::vector<double> floats(const DataFrame& f, const std::string& text) {
  auto c = run(f, text);
  EXPECT_TRUE(c.has_value()) << text << ": " << (c ? "" : c.error().message);
  if (!c) return {};
  EXPECT_NE(c->f64_values(), nullptr) << text;
  return c->f64_values() ? *c->f64_values() : std::vector<double>{};
}

std::vector<int> bools(const DataFrame& f, const std::string& text) {
  auto c = run(f, text);
  EXPECT_TRUE(c.has_value()) << text << ": " << (c ? "" : c.error().message);
  if (!c || !c->bool_values()) {
    ADD_FAILURE() << text << " is not a bool column";
    return {};
  }
  return std::vector<int>(c->bool_values()->begin(), c->bool_values()->end());
}

TEST(Execute, ComparisonsLogicAndCrosses) {
  const DataFrame f = fixture();
  // close = [1, 2, NaN, 4, 0, 5, 6, 7], open = [2, 2, 3, NaN, -1, 5, 7, 6].
  const std::pair<const char*, std::vector<int>> cases[] = {
      {"close > open", {0, 0, 0, 0, 1, 0, 0, 1}},
      {"close >= open", {0, 1, 0, 0, 1, 1, 0, 1}},
      {"close < open", {1, 0, 0, 0, 0, 0, 1, 0}},
      {"close <= open", {1, 1, 0, 0, 0, 1, 1, 0}},
      {"close == open", {0, 1, 0, 0, 0, 1, 0, 0}},
      {"close != open", {1, 0, 1, 1, 1, 0, 1, 1}},
      // NaN is no zero for ~, and counts as true in logic.
      {"~close", {0, 0, 0, 0, 1, 0, 0, 0}},
      {"close & open", {1, 1, 1, 1, 0, 1, 1, 1}},
      {"close | open", {1, 1, 1, 1, 1, 1, 1, 1}},
      {"close ^ open", {0, 0, 0, 0, 1, 0, 0, 0}},
      // Row 6: 5 >= 5 then 6 < 7; row 7: 6 <= 7 then 7 > 6. Rows touching
      // a NaN (2, 3, 4) never cross.
      {"close // open", {0, 0, 0, 0, 0, 0, 0, 1}},
      {"close \\\\ open", {0, 0, 0, 0, 0, 0, 1, 0}},
      {"close >< open", {0, 0, 0, 0, 0, 0, 1, 1}},
      {"~flag", {0, 1, 0, 1, 0, 1, 1, 0}},
      {"flag & close > 3", {0, 0, 0, 0, 0, 0, 0, 1}},
      {"vol >= 6", {0, 0, 0, 0, 0, 0, 1, 1}},
      // Strings read as NaN: not zero, and true as a truth value.
      {"~name", {0, 0, 0, 0, 0, 0, 0, 0}},
      {"name & vol", {0, 1, 1, 1, 1, 1, 1, 1}},
      {"c == close", {1, 1, 0, 1, 1, 1, 1, 1}},
  };
  for (const auto& [text, want] : cases) EXPECT_EQ(bools(f, text), want) << text;
}

TEST(Execute, ArithmeticAndValues) {
  const DataFrame f = fixture();
  const std::pair<const char*, std::vector<double>> cases[] = {
      {"close + open", {3, 4, N, N, -1, 10, 13, 13}},
      {"close - open", {-1, 0, N, N, 1, 0, -1, 1}},
      {"close * open", {2, 4, N, N, -0.0, 25, 42, 42}},
      {"close / open", {0.5, 1, N, N, -0.0, 1, 6.0 / 7.0, 7.0 / 6.0}},
      {"open / close", {2, 1, N, N, -Inf, 1, 7.0 / 6.0, 6.0 / 7.0}},
      {"-close", {-1, -2, N, -4, -0.0, -5, -6, -7}},
      {"-flag", {-1, -0.0, -1, -0.0, -1, -0.0, -0.0, -1}},
      {"flag * 3", {3, 0, 3, 0, 3, 0, 0, 3}},
      {"2.5", {2.5, 2.5, 2.5, 2.5, 2.5, 2.5, 2.5, 2.5}},
      {"vol - x", {-1, -1, -1, -1, -1, -1, -1, -1}},
  };
  for (const auto& [text, want] : cases) EXPECT_TRUE(same_values(floats(f, text), want)) << text;
}

TEST(Execute, ColumnsAreSharedNotCopied) {
  const DataFrame f = fixture();
  for (const char* name : {"close", "c", "flag", "name"}) {
    auto c = run(f, name);
    ASSERT_TRUE(c.has_value()) << name;
    EXPECT_EQ(c->storage_id(), f.column_ptr(name)->storage_id()) << name;
  }
  // A float default input reaches the indicator without a copy too.
  auto in = series_f64(f, {}, 0, "close");
  ASSERT_TRUE(in.has_value());
  EXPECT_EQ(in->storage_id(), f.column_ptr("close")->storage_id());
  auto conv = series_f64(f, {}, 0, "vol");
  ASSERT_TRUE(conv.has_value());
  EXPECT_TRUE(same_values(*conv->f64_values(), {0, 1, 2, 3, 4, 5, 6, 7}));
}

struct Failure {
  const char* text;
  const char* message;
  ErrorKind kind = ErrorKind::Value;
};

TEST(Execute, FailureMessages) {
  const DataFrame f = fixture();
  const Failure cases[] = {
      {"Close", "unknown command \"close\""},
      {"nosuch", "unknown command \"nosuch\""},
      {"Macd.Signal", "command \"macd\" has no sub-command \"Signal\""},
      {"kdj", "command \"kdj\" requires a sub-command"},
      {"kdj.x", "command \"kdj\" has no sub-command \"x\""},
      {"ma", "missing required argument #0"},
      {"ma:,1", "missing required argument #0"},
      {"ma:5,0,1", "command \"ma\" accepts at most 2 argument(s), got 3"},
      {"ma:5,0,", "command \"ma\" accepts at most 2 argument(s), got 3"},
      {"macdfix:1", "command \"macdfix\" accepts at most 0 argument(s), got 1"},
      {"ma:-5", "expected an integer, got '-5'"},
      {"ma:5.0", "expected an integer, got '5.0'"},
      {"ma:5x", "expected an integer, got '5x'"},
      {"ma:99999999999999999999", "expected an integer, got '99999999999999999999'"},
      {"t3:5,x", "expected a number, got 'x'"},
      {"increase:1,1.5", "expected an integer, got '1.5'"},
      {"beta:5", "series argument #1 is required"},
      {"correl@close,", "series argument #1 is required"},
      {"mavp@x", "series argument #1 is required"},
      {"repeat:3", "a boolean series argument is required"},
      {"repeat:3@", "empty column / command name"},
      {"ma:5,9", "unknown ma type 9"},
      {"ma:5,18446744073709551615", "unknown ma type 18446744073709551615"},
      {"macdext:12,9", "unknown ma type 9"},
      {"stoch.d:5,3,0,3,12@close,close,close", "unknown ma type 12"},
      {"mavp:2,30,9@x,p", "unknown ma type 9"},
      {"mavp:40,30@x,p", "mavp min_period 40 is greater than max_period 30"},
      {"style:foo", "style should be 'bullish' or 'bearish', got 'foo'"},
      {"style", "style should be 'bullish' or 'bearish', got ''"},
      {"style:Bullish", "style should be 'bullish' or 'bearish', got 'Bullish'"},
      {"style.foo", "command \"style\" has no sub-command \"foo\""},
      {"hv:20,1w", "invalid time frame unit in '1w'"},
      {"hv:20,1D", "invalid time frame unit in '1D'"},
      {"hv:20,d", "invalid time frame 'd'"},
      {"hv:20,xd", "invalid time frame 'xd'"},
      {"hv:20,0m", "invalid time frame '0m'"},
      {"hv:20,-1d", "invalid time frame '-1d'"},
      {"hv", "missing required argument #0"},
      // Nested failures pass up unchanged; the left operand fails first.
      {"ma:5@(ema:x)", "expected an integer, got 'x'"},
      {"nosuch + ma", "unknown command \"nosuch\""},
      {"atr", "high", ErrorKind::ColumnNotFound},
      // Inputs are fetched before arguments are read.
      {"atr:x", "high", ErrorKind::ColumnNotFound},
  };
  for (const Failure& c : cases) {
    auto r = run(f, c.text);
    ASSERT_FALSE(r.has_value()) << c.text;
    EXPECT_EQ(r.error().message, c.message) << c.text;
    EXPECT_EQ(r.error().kind, c.kind) << c.text;
  }
}

TEST(Execute, BarFrames) {
  const std::pair<const char*, std::int64_t> ok[] = {
      {"1d", 1440}, {"15m", 15}, {"2h", 120}, {"1W", 10080}, {"1M", 43200}, {"1Y", 525600},
      {" 3m ", 3},  {"+5m", 5},  {"90s", 1},  {"120s", 2},   {"30s", 1},
  };
  for (const auto& [t, m] : ok) {
    auto r = bar_minutes(t);
    ASSERT_TRUE(r.has_value()) << t;
    EXPECT_EQ(*r, m) << t;
  }
  for (const char* t : {"", "d", " 1 ", "1.5d", "0m", "-1d", "0s", "-90s", "99999999999999999999m",
                        "9999999999999999Y"}) {
    auto r = bar_minutes(t);
    ASSERT_FALSE(r.has_value()) << t;
    EXPECT_EQ(r.error().message, "invalid time frame '" + std::string(t) + "'") << t;
  }
  for (const char* t : {"1D", "1y", "1w", "5x"}) {
    auto r = bar_minutes(t);
    ASSERT_FALSE(r.has_value()) << t;
    EXPECT_EQ(r.error().message, "invalid time frame unit in '" + std::string(t) + "'") << t;
  }
}

TEST(ArgReaders, ParseDefaultsAndFailures) {
  using A = std::vector<std::optional<std::string>>;
  const A args{"+5", "-5", "1e3", "", std::nullopt, "x", "9223372036854775808", "-9223372036854775808",
               "18446744073709551615", " 5", "+-5", "inf", "-Infinity", "NaN", ".5", "5.", "1e400", "1e",
               "0x10", "1.2.3", "-", "1e-400"};
  // arg_usize
  EXPECT_EQ(arg_usize(args, 0, std::nullopt).value(), 5u);
  EXPECT_EQ(arg_usize(args, 8, std::nullopt).value(), 18446744073709551615u);
  EXPECT_EQ(arg_usize(args, 3, 7).value(), 7u);
  EXPECT_EQ(arg_usize(args, 4, 7).value(), 7u);
  EXPECT_EQ(arg_usize(args, 40, 7).value(), 7u);
  EXPECT_EQ(arg_usize(args, 4, std::nullopt).error().message, "missing required argument #4");
  EXPECT_EQ(arg_usize(args, 40, std::nullopt).error().message, "missing required argument #40");
  for (std::size_t i : {1, 2, 5, 9, 10})
    EXPECT_EQ(arg_usize(args, i, 1).error().message, "expected an integer, got '" + *args[i] + "'") << i;
  // arg_i64
  EXPECT_EQ(arg_i64(args, 0, std::nullopt).value(), 5);
  EXPECT_EQ(arg_i64(args, 1, std::nullopt).value(), -5);
  EXPECT_EQ(arg_i64(args, 7, std::nullopt).value(), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(arg_i64(args, 3, -2).value(), -2);
  for (std::size_t i : {2, 5, 6, 8, 9, 10, 20})
    EXPECT_EQ(arg_i64(args, i, 1).error().message, "expected an integer, got '" + *args[i] + "'") << i;
  // arg_f64
  const std::pair<std::size_t, double> f_ok[] = {{0, 5}, {1, -5}, {2, 1000}, {11, Inf}, {12, -Inf},
                                                 {14, 0.5}, {15, 5}, {16, Inf}, {21, 0}};
  for (const auto& [i, v] : f_ok) EXPECT_TRUE(same(arg_f64(args, i, 1.0).value(), v)) << i;
  EXPECT_TRUE(std::isnan(arg_f64(args, 13, 1.0).value()));
  EXPECT_EQ(arg_f64(args, 3, 0.7).value(), 0.7);
  for (std::size_t i : {5, 9, 10, 17, 18, 19, 20})
    EXPECT_EQ(arg_f64(args, i, 1.0).error().message, "expected a number, got '" + *args[i] + "'") << i;
}

// A rough random walk: every moving-average type over it.
std::vector<double> walk(std::size_t n, std::uint64_t seed) {
  std::vector<double> v(n);
  double x = 100;
  std::uint64_t s = seed;
  for (double& e : v) {
    s = s * 6364136223846793005ULL + 1442695040888963407ULL;
    x += static_cast<double>(static_cast<std::int64_t>(s >> 33) % 2001 - 1000) / 500.0;
    e = x;
  }
  return v;
}

TEST(MaTyped, EveryTypeIsItsAverage) {
  std::vector<double> x = walk(80, 7);
  x[0] = x[1] = N;  // leading missing values
  const std::size_t n = 6;
  const std::vector<std::vector<double>> want = {
      compute::sma(compute::View(x), n), compute::ema(x, n),  compute::wma(x, n),
      compute::dema(x, n),               compute::tema(x, n), compute::trima(x, n),
      compute::kama(x, n),               compute::mama_line(x, false, 0.5, 0.05), compute::t3(x, n, 0.7)};
  for (std::int64_t t = 0; t <= 8; ++t) {
    auto r = ma_typed(x, n, t);
    ASSERT_TRUE(r.has_value()) << t;
    EXPECT_TRUE(same_values(*r, want[t])) << "type " << t;
  }
  EXPECT_EQ(ma_typed(x, n, -1).error().message, "unknown ma type -1");
  EXPECT_EQ(ma_typed(x, n, 9).error().message, "unknown ma type 9");
}

TEST(MaTyped, DirectivesReachTheirIndicators) {
  std::vector<double> c = walk(90, 3), h(c), l(c);
  for (std::size_t i = 0; i < c.size(); ++i) {
    h[i] += 1.0 + static_cast<double>(i % 3);
    l[i] -= 1.0 + static_cast<double>(i % 4);
  }
  auto fr = DataFrame::make({"high", "low", "close"}, {Column::f64(h), Column::f64(l), Column::f64(c)});
  ASSERT_TRUE(fr.has_value());
  const auto ema_of = [](const std::vector<double>& v, std::size_t n) { return compute::ema(v, n); };
  const std::vector<double> fk = compute::stoch_fastk(h, l, c, 5);
  const std::pair<const char*, std::vector<double>> cases[] = {
      {"ma:7", compute::sma(compute::View(c), 7)},
      {"ma:7,2", compute::wma(c, 7)},
      {"ema:7", ema_of(c, 7)},
      {"ema:4@(high+low)", [&] {
         std::vector<double> s(c.size());
         for (std::size_t i = 0; i < s.size(); ++i) s[i] = h[i] + l[i];
         return ema_of(s, 4);
       }()},
      {"t3:4,0.5", compute::t3(c, 4, 0.5)},
      {"macd:5,9", compute::macd(c, 5, 9)},
      {"macd.dea:5,9,4", compute::macd_signal(c, 5, 9, 4)},
      {"macdfix.h", compute::macd_histogram(c, 12, 26, 9)},
      {"llv:4", compute::rolling_min(compute::View(l), 4)},
      {"minmax.max:6", compute::rolling_max(compute::View(c), 6)},
      {"donchian.u:5", compute::rolling_max(compute::View(h), 5)},
      {"kdj.j:9,3,3,40", compute::kdj_j(h, l, c, 40.0, 9, 3, 3)},
      {"stochf.k", fk},
      {"stoch.k:5,3,1", compute::ema(fk, 3)},
      {"stoch.slowd", compute::sma(compute::View(compute::sma(compute::View(fk), 3)), 3)},
      {"stochrsi.d:14,5,3", compute::sma(compute::View(compute::stochrsi_fastk(c, 14, 5)), 3)},
      {"rsi:6", compute::rsi(c, 6)},
      {"sarext:0,0,0.03", compute::sarext(h, l, 0, 0, 0.03, 0.02, 0.2, 0.02, 0.02, 0.2)},
      {"natr:5", compute::natr(h, l, c, 5)},
  };
  for (const auto& [text, want] : cases) EXPECT_TRUE(same_values(floats(*fr, text), want)) << text;
}

TEST(Mavp, HandComputed) {
  const DataFrame f = fixture();
  // x = 1..8, periods [2, 3, 2, NaN, 3, 100, 1, 2] clamped to [2, 3] (NaN
  // reads as 0); the first value stands at max_period - 1 = 2.
  EXPECT_TRUE(same_values(floats(f, "mavp:2,3@x,p"), {N, N, 2.5, 3.5, 4, 5, 6.5, 7.5}));
  // Exponential: the period-2 average starts one row later than the period-3
  // one so both have their first value on row 2; on a straight line each
  // stays its lag behind: x - 0.5 for period 2, x - 1 for period 3.
  EXPECT_TRUE(near_values(floats(f, "mavp:2,3,1@x,p"), {N, N, 2.5, 3.5, 4, 5, 6.5, 7.5}));
  // One period for every row: the plain average.
  EXPECT_TRUE(same_values(floats(f, "mavp:3,3@x,p"), {N, N, 2, 3, 4, 5, 6, 7}));
  // A range wider than the rows: start at 5 - 1 = 4; period 1 is the value
  // itself and 100 clamps to 5.
  EXPECT_TRUE(same_values(floats(f, "mavp:0,5@x,p"), {N, N, N, N, 4, 4, 7, 7.5}));
  // A maximum beyond the data leaves nothing to compute.
  EXPECT_TRUE(same_values(floats(f, "mavp:2,18446744073709551615@x,p"), std::vector<double>(8, N)));
}

TEST(MovingAverageLines, ApoPpoMacdext) {
  const DataFrame f = fixture();
  // On x = i + 1 the 2-row mean is i + 0.5 and the 3-row mean i.
  EXPECT_TRUE(same_values(floats(f, "apo:2,3@x"), {N, N, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5}));
  EXPECT_TRUE(near_values(floats(f, "ppo:2,3@x"), {N, N, 25, 50.0 / 3, 12.5, 10, 25.0 / 3, 50.0 / 7}));
  EXPECT_TRUE(same_values(floats(f, "macdext:2,0,3@x"), {N, N, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5}));
  EXPECT_TRUE(same_values(floats(f, "macdext.s:2,0,3,0,2@x"), {N, N, N, 0.5, 0.5, 0.5, 0.5, 0.5}));
  EXPECT_TRUE(same_values(floats(f, "macdext.h:2,0,3,0,2@x"), {N, N, N, 0, 0, 0, 0, 0}));

  // Mixed types on a random walk, against the stated formulas built from the
  // indicator functions directly.
  const std::vector<double> c = walk(120, 11);
  auto fr = DataFrame::make({"close"}, {Column::f64(c)});
  ASSERT_TRUE(fr.has_value());
  const std::vector<double> fast = compute::ema(c, 5), slow = compute::kama(c, 13);
  std::vector<double> line(c.size()), ppo(c.size());
  for (std::size_t i = 0; i < c.size(); ++i) {
    line[i] = fast[i] - slow[i];
    ppo[i] = (line[i] / slow[i]) * 100.0;
  }
  const std::vector<double> sig = compute::wma(line, 4);
  std::vector<double> hist(c.size());
  for (std::size_t i = 0; i < c.size(); ++i) hist[i] = line[i] - sig[i];
  EXPECT_TRUE(same_values(floats(*fr, "macdext:5,1,13,6"), line));
  EXPECT_TRUE(same_values(floats(*fr, "macdext.signal:5,1,13,6,4,2"), sig));
  EXPECT_TRUE(same_values(floats(*fr, "macdext.histogram:5,1,13,6,4,2"), hist));
  const std::vector<double> f3 = compute::tema(c, 5), s3 = compute::tema(c, 9);
  std::vector<double> apo(c.size()), ppo3(c.size());
  for (std::size_t i = 0; i < c.size(); ++i) {
    apo[i] = f3[i] - s3[i];
    ppo3[i] = ((f3[i] - s3[i]) / s3[i]) * 100.0;
  }
  EXPECT_TRUE(same_values(floats(*fr, "apo:5,9,4"), apo));
  EXPECT_TRUE(same_values(floats(*fr, "ppo:5,9,4"), ppo3));
}

// Zero, huge and overflowing periods: all NaN of the frame's length, never a
// crash or an allocation sized by the period.
TEST(Execute, AbsurdPeriods) {
  std::vector<double> c = walk(40, 5), h(c), l(c);
  for (double& v : h) v += 1;
  for (double& v : l) v -= 1;
  auto fr = DataFrame::make({"high", "low", "close", "p"}, {Column::f64(h), Column::f64(l), Column::f64(c),
                                                            Column::f64(std::vector<double>(40, 1e300))});
  ASSERT_TRUE(fr.has_value());
  const std::string big = "18446744073709551615", half = "9223372036854775808";
  const std::vector<std::string> texts = {
      "ma:0", "ma:0,3", "ema:0", "rsi:0", "kdj.k:0", "kdj.d:9,0", "atr:0", "macd:0", "macd.signal:12,26,0",
      "stoch.k:0", "stochrsi.k:0", "bbi:0", "t3:0", "kama:0", "llv:0", "donchian:0", "rsv:0",
      "ema:" + big, "smma:" + big, "wma:" + big, "dema:" + big, "tema:" + big, "trima:" + big, "kama:" + big,
      "t3:" + big, "kama:" + half, "trima:" + half, "t3:" + half, "dema:" + half,
      "ma:" + big + ",8", "ma:" + big + ",5", "ma:" + half + ",3", "macd:" + big + "," + big,
      "macd.signal:5,9," + big, "macdext.h:" + big + ",3,9,4," + big + ",6", "apo:2," + big + ",8",
      "bbi:" + big, "rsi:" + big, "cmo:" + big, "atr:" + big, "natr:" + half, "hhv:" + big, "llv:" + big,
      "midpoint:" + big, "midprice:" + half, "donchian:" + big, "stoch.d:" + big, "stoch.k:5," + big + ",8",
      "stochf.d:5," + big + ",4", "stochrsi.d:" + big + "," + big + "," + big, "stochrsi.k:14," + half,
      "mavp:" + big + "," + big + "@close,p", "mavp:2," + half + ",6@close,p",
  };
  for (const std::string& t : texts) {
    auto v = floats(*fr, t);
    ASSERT_EQ(v.size(), 40u) << t;
    for (double x : v) ASSERT_TRUE(std::isnan(x)) << t;
  }
  // The KDJ smoothings are factors, not windows: huge ones only slow it down.
  auto k = floats(*fr, "kdj.k:9," + big);
  ASSERT_EQ(k.size(), 40u);
  EXPECT_NEAR(k[0], 50.0, 1e-9);
}

TEST(Execute, EveryCommandEvaluates) {
  std::vector<double> c = walk(60, 9), h(c), l(c), o(c), v(60, 1000);
  for (std::size_t i = 0; i < c.size(); ++i) {
    h[i] += 1.5;
    l[i] -= 1.5;
    o[i] += (i % 2 ? 0.5 : -0.5);
  }
  auto fr = DataFrame::make({"open", "high", "low", "close", "volume"},
                            {Column::f64(o), Column::f64(h), Column::f64(l), Column::f64(c), Column::f64(v)});
  ASSERT_TRUE(fr.has_value());
  int built = 0;
  for (const CommandRow& row : command_rows()) {
    for (const Variant& var : row.variants) {
      ASSERT_NE(var.eval, nullptr) << row.name;
      std::string text(row.name);
      if (var.sub) text.append(".").append(*var.sub);
      bool needs = false;
      for (const ArgSpec& a : var.args) needs |= a.kind == ArgKind::Required;
      if (row.name == "style" && !var.sub) text += ":bullish";
      else if (needs) text += ":5";
      if (row.name == "repeat") text += "@(close>open)";
      if (row.name == "beta" || row.name == "correl" || row.name == "mavp") text += "@,open";
      auto r = run(*fr, text);
      ASSERT_TRUE(r.has_value()) << text << ": " << r.error().message;
      ++built;
      EXPECT_EQ(r->len(), 60u) << text;
      EXPECT_EQ(r->bool_values() != nullptr, var.result == ResultKind::Bool) << text;
    }
  }
  EXPECT_EQ(built, 115);  // every variant of the 90 commands
  // and every candlestick pattern of style
  for (const CandlePatternInfo& p : candle_patterns()) {
    auto r = run(*fr, "style." + std::string(p.name));
    ASSERT_TRUE(r.has_value()) << p.name << ": " << r.error().message;
    ASSERT_NE(r->f64_values(), nullptr) << p.name;
    EXPECT_EQ(r->len(), 60u) << p.name;
  }
}

}  // namespace
}  // namespace kadmo::directive
