// Bands, window statistics and price transforms: hand-worked values, the
// edge cases, missing values and the warm-up length.

#include <cmath>
#include <functional>
#include <random>
#include <string>

#include "kadmo/compute/indicators/bands.hpp"
#include "kadmo/compute/kernels.hpp"
#include "kadmo/compute/indicators/statistic.hpp"
#include "kadmo/compute/indicators/transform.hpp"
#include "test_support.hpp"

namespace kadmo::compute {
namespace {

using namespace testing;
using Sp = std::span<const double>;
using V = std::vector<double>;

void check(std::initializer_list<ValueCase> cases) { check_values(cases, 1e-13); }

TEST(Bands, HandWorkedValues) {
  const V x{1, 2, 3, 4};
  const V flat{7, 7, 7};
  // Windows of two: means 1.5, 2.5, 3.5, population deviation 0.5.
  check({
      {"boll_upper", boll_upper(x, 2, 2.0), {NaN, 2.5, 3.5, 4.5}},
      {"boll_lower", boll_lower(x, 2, 2.0), {NaN, 0.5, 1.5, 2.5}},
      {"bbw", bbw(x, 2), {NaN, 2.0 / 1.5, 2.0 / 2.5, 2.0 / 3.5}},
      {"boll constant", boll_upper(flat, 3, 2.0), {NaN, NaN, 7}},
      {"boll lower constant", boll_lower(flat, 3, 2.0), {NaN, NaN, 7}},
      // Zero mean: 4 * 1 / 0, then 4 * 0.5 / 0.5, then 0 / 0.
      {"bbw zero mean", bbw(V{-1, 1, 0, 0}, 2), {NaN, Inf, 4, NaN}},
  });
  EXPECT_TRUE(std::isnan(bbw(V{0, 0}, 2)[1]));
}

// The bands take their divisions and roots two rows at a time in groups of
// 16; every row must equal the formula on rolling_mean_std's mean and
// deviation, bit for bit: flat stretches (zero and slightly negative
// variances), rows past the last whole group, and the fallback after an
// infinity.
TEST(Bands, BandsFollowMeanAndDeviationRowByRow) {
  std::mt19937_64 rng(31);
  std::normal_distribution<double> step(0.0, 1.0);
  for (std::size_t len : {std::size_t{37}, std::size_t{3000}, std::size_t{3001}}) {
    for (bool inf : {false, true}) {
      V x(len);
      double p = 50.0;
      for (std::size_t i = 0; i < len; ++i) x[i] = (i / 40) % 3 == 0 ? 0.1 : (p += step(rng));
      if (inf) x[len / 2] = INFINITY;
      for (std::size_t n : {std::size_t{1}, std::size_t{5}, std::size_t{20}}) {
        const auto [mean, sd] = rolling_mean_std(View(x), n);
        V up(len), lo(len), w(len);
        for (std::size_t i = 0; i < len; ++i) {
          up[i] = mean[i] + 2.0 * sd[i];
          lo[i] = mean[i] - 1.5 * sd[i];
          w[i] = (4.0 * sd[i]) / mean[i];
        }
        const std::string at = "len " + std::to_string(len) + " n " + std::to_string(n) + (inf ? " inf" : "");
        EXPECT_TRUE(bitwise_equal(boll_upper(x, n, 2.0), up)) << at;
        EXPECT_TRUE(bitwise_equal(boll_lower(x, n, 1.5), lo)) << at;
        EXPECT_TRUE(bitwise_equal(bbw(x, n), w)) << at;
      }
    }
  }
}

TEST(Bands, AccelerationBands) {
  // h=12, l=8: (h-l)*4/(h+l) = 0.8; upper 12*1.8, lower 8*0.2. h+l=0 returns
  // the price unchanged.
  const V h{12, 3, 14}, l{8, -3, 6};
  check({
      {"raw upper", accbands_raw(h, l, true), {21.6, 3, 14 * 2.6}},
      {"raw lower", accbands_raw(h, l, false), {1.6, -3, 6 * (1 - 1.6)}},
      {"upper", accbands_upper(h, l, 2), {NaN, (21.6 + 3) / 2, (3 + 14 * 2.6) / 2}},
      {"lower", accbands_lower(h, l, 2), {NaN, (1.6 - 3) / 2, (-3 + 6 * (1 - 1.6)) / 2}},
      {"middle", accbands_middle(V{1, 2, 4}, 2), {NaN, 1.5, 3}},
  });
}

TEST(Bands, HistoricalVolatility) {
  // Returns ln 1.1, ln 0.9, ln 1.1; the sample deviation of two values a, b is
  // |a - b| / sqrt(2).
  const double a = std::log(1.1), b = std::log(0.9);
  const double sd = std::fabs(a - b) / std::sqrt(2.0);
  const V x{100, 110, 99, 108.9};
  check({
      {"daily", hv(x, 2, 1440, 252), {NaN, NaN, sd * std::sqrt(252.0), sd * std::sqrt(252.0)}, 1e-9},
      {"hourly", hv(x, 2, 60, 252), {NaN, NaN, sd * std::sqrt(252.0 * 24), sd * std::sqrt(252.0 * 24)}, 1e-9},
      // A non-positive price spoils the returns on both sides of it.
      {"non-positive", hv(V{100, 0, 100, 110, 99, 108.9}, 2, 1440, 252),
       {NaN, NaN, NaN, NaN, sd * std::sqrt(252.0), sd * std::sqrt(252.0)}, 1e-9},
      // A missing price: the returns of rows 2 and 3 are missing.
      {"missing", hv(V{100, 110, NaN, 110, 99, 108.9}, 2, 1440, 252),
       {NaN, NaN, NaN, NaN, NaN, sd * std::sqrt(252.0)}, 1e-9},
      {"constant", hv(V{5, 5, 5, 5}, 3, 1440, 252), {NaN, NaN, NaN, 0}},
      {"n=1", hv(x, 1, 1440, 252), {NaN, NaN, NaN, NaN}},
      {"n>len", hv(x, 5, 1440, 252), {NaN, NaN, NaN, NaN}},
  });
  // n = len: one return short of a window.
  EXPECT_TRUE(bitwise_equal(hv(x, 4, 1440, 252), V{NaN, NaN, NaN, NaN}));
}

TEST(Statistic, LeastSquaresLine) {
  // A straight line 3 + 2t is reproduced; the forecast is the next point.
  V line;
  for (int t = 0; t < 8; ++t) line.push_back(3.0 + 2.0 * t);
  V want_line(8, NaN), want_slope(8, NaN), want_icpt(8, NaN), want_tsf(8, NaN), want_angle(8, NaN);
  for (int t = 3; t < 8; ++t) {
    want_line[t] = line[t];
    want_slope[t] = 2;
    want_icpt[t] = line[t - 3];
    want_tsf[t] = 3.0 + 2.0 * (t + 1);
    want_angle[t] = std::atan(2.0) * 180.0 / M_PI;
  }
  // 1, 3, 2 at abscissae 0, 1, 2: slope 1/2, intercept 1.5, end 2.5, next 3.
  const V bent{1, 3, 2};
  check({
      {"linearreg line", linearreg(line, 4), want_line, 1e-12},
      {"slope line", linearreg_slope(line, 4), want_slope, 1e-12},
      {"intercept line", linearreg_intercept(line, 4), want_icpt, 1e-12},
      {"tsf line", tsf(line, 4), want_tsf, 1e-12},
      {"angle line", linearreg_angle(line, 4), want_angle, 1e-12},
      {"angle 45", linearreg_angle(V{1, 2, 3, 4, 5}, 3), {NaN, NaN, 45, 45, 45}, 1e-12},
      {"slope 1", linearreg_slope(V{1, 2, 3, 4, 5}, 3), {NaN, NaN, 1, 1, 1}, 1e-12},
      {"bent", linearreg(bent, 3), {NaN, NaN, 2.5}},
      {"bent slope", linearreg_slope(bent, 3), {NaN, NaN, 0.5}},
      {"bent intercept", linearreg_intercept(bent, 3), {NaN, NaN, 1.5}},
      {"bent tsf", tsf(bent, 3), {NaN, NaN, 3}},
      // n = 1: a flat line through the point (divisor 0: 0/0).
      {"n=len", linearreg(bent, 4), {NaN, NaN, NaN}},
  });
  auto [slope, icpt] = linreg_fit(bent, 3);
  EXPECT_TRUE(near_all(slope, V{NaN, NaN, 0.5}));
  EXPECT_TRUE(near_all(icpt, V{NaN, NaN, 1.5}));
}

TEST(Statistic, VarianceAndDeviation) {
  const V x{2, 4, 4, 4, 5, 5, 7, 9};  // population variance 4
  check({
      {"var", rolling_var(x, 8), {NaN, NaN, NaN, NaN, NaN, NaN, NaN, 4}},
      {"stddev", stddev(x, 8, 1.5), {NaN, NaN, NaN, NaN, NaN, NaN, NaN, 3}},
      {"var window 2", rolling_var(V{1, 3, 3, 7}, 2), {NaN, 1, 0, 4}},
      {"stddev constant", stddev(V{3, 3, 3, 3}, 2, 2.0), {NaN, 0, 0, 0}},
  });
  // 0.1 three times: sum of squares / 3 - mean^2 rounds below zero.
  const Series v = rolling_var(V{0.1, 0.1, 0.1}, 3);
  ASSERT_LT(v[2], 0.0);
  EXPECT_EQ(stddev(V{0.1, 0.1, 0.1}, 3, 1.0)[2], 0.0);
  EXPECT_FALSE(std::signbit(stddev(V{0.1, 0.1, 0.1}, 3, 1.0)[2]));
}

// stddev takes its roots two rows at a time; every row must follow the rule
// root times k when the variance is positive, NaN when it is missing, +0.0
// otherwise: checked against rolling_var on data with flat stretches (zero
// and slightly negative variances), holes, an infinity and odd lengths.
TEST(Statistic, DeviationFollowsTheVarianceRowByRow) {
  std::mt19937_64 rng(29);
  std::normal_distribution<double> step(0.0, 1.0);
  for (std::size_t len : {std::size_t{7}, std::size_t{1000}, std::size_t{1001}}) {
    V x(len);
    double p = 50.0;
    for (std::size_t i = 0; i < len; ++i) x[i] = (i / 50) % 3 == 0 ? 0.1 : (p += step(rng));
    if (len > 500) {
      x[300] = NaN;
      x[700] = INFINITY;
    }
    for (double k : {1.0, 2.5, -1.0}) {
      const Series var = rolling_var(x, 5), sd = stddev(x, 5, k);
      V want(len);
      for (std::size_t i = 0; i < len; ++i)
        want[i] = var[i] > 0.0 ? k * std::sqrt(var[i]) : (std::isnan(var[i]) ? var[i] : 0.0);
      EXPECT_TRUE(bitwise_equal(sd, want)) << "len " << len << " k " << k;
    }
  }
}

TEST(Statistic, BetaAndCorrelation) {
  // y's returns are twice x's: beta 2. x flat: beta 0.
  const V x{100, 101, 99, 102, 100.5, 103};
  V y{50};
  for (std::size_t t = 1; t < x.size(); ++t) y.push_back(y.back() * (1.0 + 2.0 * (x[t] - x[t - 1]) / x[t - 1]));
  const V flat(6, 10.0);
  check({
      {"beta 2", beta(x, y, 3), {NaN, NaN, NaN, 2, 2, 2}, 1e-9},
      {"beta flat x", beta(flat, y, 3), {NaN, NaN, NaN, 0, 0, 0}},
      // The return after a price of 0 counts as 0 (returns 0, 1, 0.5), not as
      // an infinity that would make every window with it NaN.
      {"beta from zero", beta(V{0, 1, 2, 3}, V{0, 1, 2, 3}, 2), {NaN, NaN, 1, 1}, 1e-12},
      {"correl self", correl(x, x, 4), {NaN, NaN, NaN, 1, 1, 1}, 1e-12},
      {"correl negated", correl(x, V{-100, -101, -99, -102, -100.5, -103}, 4), {NaN, NaN, NaN, -1, -1, -1}, 1e-12},
      {"correl constant", correl(x, flat, 3), {NaN, NaN, 0, 0, 0, 0}},
      // 5 / sqrt(2 * 114/9)
      {"correl hand", correl(V{1, 2, 3}, V{2, 4, 7}, 3), {NaN, NaN, 15.0 / std::sqrt(228.0)}, 1e-12},
      {"correl n=1", correl(V{1, 2}, V{3, 5}, 1), {0, 0}},
      {"beta len < n+1", beta(V{1, 2, 3}, V{1, 2, 3}, 3), {NaN, NaN, NaN}},
      {"correl n-1 >= len", correl(V{1, 2, 3}, V{1, 2, 3}, 4), {NaN, NaN, NaN}},
  });
}

TEST(Transform, RowAverages) {
  const V o{1, NaN}, h{4, 4}, l{2, 2}, c{3, 3};
  check({
      {"avgprice", avgprice(o, h, l, c), {2.5, NaN}},
      {"medprice", medprice(h, l), {3, 3}},
      {"typprice", typprice(h, l, c), {3, 3}},
      {"wclprice", wclprice(h, V{1, 1}, c), {2.75, 2.75}},
  });
  EXPECT_TRUE(avgprice(Sp{}, Sp{}, Sp{}, Sp{}).empty());
}

// Periods that leave no position: all NaN of the input's length; empty in,
// empty out.
TEST(BandsStatistic, DegeneratePeriods) {
  const Bars d = random_bars(10, 4);
  const Sp x(d.close), y(d.high);
  const V all_nan(10, NaN);
  const std::pair<const char*, Series> cases[] = {
      {"boll n=0", boll_upper(x, 0, 2)},      {"boll n>len", boll_lower(x, 11, 2)},
      {"bbw n=0", bbw(x, 0)},                 {"acc n=0", accbands_upper(x, y, 0)},
      {"acc n>len", accbands_lower(x, y, 11)}, {"hv n=0", hv(x, 0, 1440, 252)},
      {"linreg n=0", linearreg(x, 0)},         {"linreg n>len", tsf(x, 11)},
      {"var n=0", rolling_var(x, 0)},          {"stddev n>len", stddev(x, 11, 1)},
      {"beta n=0", beta(x, y, 0)},             {"beta n=len", beta(x, y, 10)},
      {"correl n=0", correl(x, y, 0)},         {"correl n>len", correl(x, y, 11)},
      {"huge n", linearreg_angle(x, ~std::size_t{0})},
  };
  for (const auto& [name, s] : cases) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(bitwise_equal(s, all_nan));
  }
  EXPECT_TRUE(rolling_var(Sp{}, 3).empty());
  EXPECT_TRUE(correl(Sp{}, Sp{}, 3).empty());
  EXPECT_TRUE(boll_upper(Sp{}, 3, 2).empty());
}

// Running sums restart after a missing value: a window holding one is NaN,
// and the windows after it equal those of the stretch computed on its own.
TEST(Statistic, MissingValuesRestartTheSums) {
  const Bars d = random_bars(60, 12);
  V x = d.close, y = d.high;
  x[0] = x[1] = x[2] = NaN;  // as an average's warm-up leaves
  x[30] = NaN;
  y[45] = NaN;
  using Fn = std::function<Series(Sp, Sp)>;
  const std::pair<const char*, Fn> fns[] = {
      {"linearreg", [](Sp a, Sp) { return linearreg(a, 5); }},
      {"slope", [](Sp a, Sp) { return linearreg_slope(a, 5); }},
      {"var", [](Sp a, Sp) { return rolling_var(a, 5); }},
      {"stddev", [](Sp a, Sp) { return stddev(a, 5, 2.0); }},
      {"beta", [](Sp a, Sp b) { return beta(a, b, 5); }},
      {"correl", [](Sp a, Sp b) { return correl(a, b, 5); }},
  };
  // Stretches where both inputs are present: 3..29, 31..44, 46..59.
  const std::pair<std::size_t, std::size_t> runs[] = {{3, 30}, {31, 45}, {46, 60}};
  for (const auto& [name, fn] : fns) {
    SCOPED_TRACE(name);
    const Series got = fn(x, y);
    const bool two = std::string(name) == "beta" || std::string(name) == "correl";
    std::size_t covered = 0;
    for (auto [a, b] : runs) {
      if (!two && a == 46) a = 31, b = 60;  // y's hole does not split x alone
      if (!two && covered > 0 && a == 31 && b == 45) continue;
      const Series part = fn(Sp(x).subspan(a, b - a), Sp(y).subspan(a, b - a));
      EXPECT_TRUE(bitwise_equal(Sp(got).subspan(a, b - a), part)) << a;
      for (std::size_t i = a; i < b; ++i) covered += !std::isnan(part[i - a]);
    }
    EXPECT_GT(covered, 30u);
    EXPECT_TRUE(std::isnan(got[33]));  // window 29..33 holds row 30
  }
}

TEST(BandsStatisticLookback, WarmupEqualsReportedLookback) {
  const Bars d = random_bars(200, 6);
  const Sp h(d.high), l(d.low), c(d.close);
  for (std::size_t n : {2u, 5u, 14u, 30u}) {
    SCOPED_TRACE(n);
    const std::pair<Series, std::size_t> cases[] = {
        {boll_upper(c, n, 2), boll_lookback(n)},     {boll_lower(c, n, 2), boll_lookback(n)},
        {bbw(c, n), bbw_lookback(n)},                 {accbands_upper(h, l, n), accbands_lookback(n)},
        {accbands_lower(h, l, n), accbands_lookback(n)}, {accbands_middle(c, n), accbands_lookback(n)},
        {hv(c, n, 1440, 252), hv_lookback(n)},        {linearreg(c, n), linreg_lookback(n)},
        {linearreg_angle(c, n), linreg_lookback(n)},  {tsf(c, n), linreg_lookback(n)},
        {rolling_var(c, n), rolling_var_lookback(n)}, {stddev(c, n, 1), stddev_lookback(n)},
        {beta(c, h, n), beta_lookback(n)},            {correl(c, h, n), correl_lookback(n)},
        {accbands_raw(h, l, true), accbands_raw_lookback()},
        {typprice(h, l, c), price_transform_lookback()},
    };
    for (const auto& [s, lb] : cases) EXPECT_TRUE(warmup_is(s, lb));
  }
}

}  // namespace
}  // namespace kadmo::compute
