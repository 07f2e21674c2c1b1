// Hand-computed cases of the moving averages, trend and oscillator families,
// and the choices made where the arithmetic leaves one.

#include "kadmo/compute/indicators/momentum.hpp"
#include "kadmo/compute/indicators/oscillators.hpp"
#include "kadmo/compute/indicators/stochastic.hpp"
#include "kadmo/compute/indicators/trend.hpp"
#include "test_support.hpp"

namespace kadmo::compute {
namespace {

using namespace testing;
using V = std::vector<double>;

TEST(Trend, HandComputedAverages) {
  // ema seeds on present values: mean(1,2,3) = 2 at index 4, then 2 + 0.5*(4-2).
  EXPECT_TRUE(near_all(ema(V{NaN, NaN, 1, 2, 3, 4}, 3), V{NaN, NaN, NaN, NaN, 2, 3}));
  // wma weights 1..3: (1+4+9)/6, (2+6+12)/6, (3+8+15)/6.
  EXPECT_TRUE(near_all(wma(V{1, 2, 3, 4, 5}, 3), V{NaN, NaN, 14.0 / 6, 20.0 / 6, 26.0 / 6}));
  // trima 4: 2-value means over 3 of them; trima 5: 3-value means over 3.
  const V x{1, 2, 4, 8, 16, 32};
  EXPECT_TRUE(near_all(trima(x, 4), V{NaN, NaN, NaN, (1.5 + 3 + 6) / 3, (3 + 6 + 12) / 3, (6 + 12 + 24) / 3}));
  EXPECT_TRUE(near_all(trima(x, 5), V{NaN, NaN, NaN, NaN, (7.0 / 3 + 14.0 / 3 + 28.0 / 3) / 3,
                                      (14.0 / 3 + 28.0 / 3 + 56.0 / 3) / 3}));
  // smma: mean of 2,4 then 0.5*3 + 0.5*6.
  EXPECT_TRUE(near_all(smma(V{2, 4, 6}, 2), V{NaN, 3, 4.5}));
  // bbi is NaN until its longest average exists.
  EXPECT_TRUE(near_all(bbi(V{1, 2, 3, 4}, 1, 2, 3, 4), V{NaN, NaN, NaN, (4 + 3.5 + 3 + 2.5) * 0.25}));
}

// With integer inputs and a power-of-two inner length every sum and inner
// mean is exact, so a direct window computation gives the same bits as the
// running sums: out = (sum of the last k inner means) / k. The series is long
// enough to cross many output chunks and, for n = 2047 and 4096, to wrap the
// store of inner means; leading NaN moves the chunk boundaries.
TEST(Trend, TrimaEqualsDirectWindowsWhereExact) {
  std::mt19937_64 rng(61);
  std::uniform_int_distribution<int> val(-50, 50);
  V y(5000);
  for (double& v : y) v = val(rng);
  for (std::size_t lead : {std::size_t{0}, std::size_t{3}}) {
    V x(lead, NaN);
    x.insert(x.end(), y.begin(), y.end());
    for (std::size_t n : {2, 3, 7, 8, 15, 16, 31, 32, 2047, 4096}) {
      SCOPED_TRACE(std::to_string(lead) + " " + std::to_string(n));
      const std::size_t m = n % 2 == 1 ? (n + 1) / 2 : n / 2;
      const std::size_t k = n % 2 == 1 ? (n + 1) / 2 : n / 2 + 1;
      V inner(y.size(), NaN), want(lead + y.size(), NaN);
      for (std::size_t t = m - 1; t < y.size(); ++t) {
        double sum = 0;
        for (std::size_t j = t + 1 - m; j <= t; ++j) sum += y[j];
        inner[t] = sum / static_cast<double>(m);
      }
      for (std::size_t t = m + k - 2; t < y.size(); ++t) {
        double total = 0;
        for (std::size_t j = t + 1 - k; j <= t; ++j) total += inner[j];
        want[lead + t] = total / static_cast<double>(k);
      }
      EXPECT_TRUE(bitwise_equal(trima(x, n), want));
    }
  }
}

TEST(Trend, LeadingNaNShiftsTheResult) {
  const Bars d = random_bars(120, 41);
  V shifted(7, NaN);
  shifted.insert(shifted.end(), d.close.begin(), d.close.end());
  auto check = [&](const char* name, auto f) {
    SCOPED_TRACE(name);
    Series plain = f(std::span<const double>(d.close));
    plain.insert(plain.begin(), 7, NaN);
    EXPECT_TRUE(bitwise_equal(f(std::span<const double>(shifted)), plain));
  };
  check("wma", [](auto x) { return wma(x, 6); });
  check("trima", [](auto x) { return trima(x, 6); });
  check("kama", [](auto x) { return kama(x, 6); });
  check("dema", [](auto x) { return dema(x, 6); });
  check("tema", [](auto x) { return tema(x, 6); });
  check("t3", [](auto x) { return t3(x, 4, 0.7); });
  check("rsi", [](auto x) { return rsi(x, 6); });
  check("stochrsi_fastk", [](auto x) { return stochrsi_fastk(x, 6, 3); });
}

TEST(Trend, KamaFastConstantWithoutRatio) {
  const double sc = 0.44444444444444425;
  // Flat window (noise 0): kama stays at the value.
  EXPECT_TRUE(near_all(kama(V{5, 5, 5, 5}, 2), V{NaN, NaN, 5, 5}));
  // Rising steadily: noise equals the direction, kama = prev + sc*(x - prev).
  const Series k = kama(V{1, 2, 3, 4}, 2);
  EXPECT_TRUE(same_bits(k[2], std::fma(sc, 3 - 2.0, 2.0)));
  EXPECT_TRUE(same_bits(k[3], std::fma(sc, 4 - k[2], k[2])));
}

TEST(Trend, MacdPeriods) {
  const Bars d = random_bars(100, 43);
  // Equal periods: the line is 0 from slow - 1.
  const Series same = macd(d.close, 9, 9);
  for (std::size_t i = 8; i < same.size(); ++i) EXPECT_EQ(same[i], 0.0) << i;
  // A fast period above the slow one: still fast average minus slow average,
  // from where both exist.
  const Series rev = macd(d.close, 9, 4);
  const Series e9 = ema(d.close, 9), e4 = ema(d.close, 4);
  for (std::size_t i = 0; i < rev.size(); ++i) {
    if (i < 8) EXPECT_TRUE(std::isnan(rev[i])) << i;
    else EXPECT_TRUE(same_bits(rev[i], e9[i] - e4[i])) << i;
  }
  // Signal: ema of the line seeded on its first present values.
  const Series line = macd(d.close, 4, 9);
  const Series sig = sma_seeded(View(line), 3, StepRule::exponential_period(3));
  EXPECT_TRUE(bitwise_equal(macd_signal(d.close, 4, 9, 3), sig));
  Series hist(line.size());
  for (std::size_t i = 0; i < hist.size(); ++i) hist[i] = line[i] - sig[i];
  EXPECT_TRUE(bitwise_equal(macd_histogram(d.close, 4, 9, 3), hist));
}

// The one-pass form equals the three separate lines bit for bit, including
// warm-up, a fast period above the slow one, a gap that stops the signal
// from seeding, and degenerate periods.
TEST(Trend, MacdAllEqualsSeparateLines) {
  struct Case {
    const char* name;
    Bars d;
    std::size_t fast, slow, signal;
  };
  Bars gapped = random_bars(120, 47, 3);
  gapped.close[40] = NaN;  // after the line starts, before the signal seeds
  const Case cases[] = {
      {"default", random_bars(300, 44), 12, 26, 9},
      {"leading_nan", random_bars(200, 45, 7), 5, 9, 4},
      {"fast_above_slow", random_bars(100, 46), 9, 4, 3},
      {"gap_in_signal_seed", gapped, 5, 30, 20},
      {"signal_zero", random_bars(50, 48), 3, 6, 0},
      {"fast_zero", random_bars(50, 48), 0, 6, 3},
      {"too_short", random_bars(20, 49), 12, 26, 9},
      {"long", random_bars(2600, 50), 12, 26, 9},
      {"signal_seed_spans_chunks", random_bars(3000, 51), 12, 26, 1500},
      {"empty", Bars{}, 12, 26, 9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const MacdLines m = macd_all(c.d.close, c.fast, c.slow, c.signal);
    EXPECT_TRUE(bitwise_equal(m.line, macd_line(c.d.close, c.fast, c.slow)));
    EXPECT_TRUE(bitwise_equal(m.signal, macd_signal(c.d.close, c.fast, c.slow, c.signal)));
    EXPECT_TRUE(bitwise_equal(m.histogram, macd_histogram(c.d.close, c.fast, c.slow, c.signal)));
  }
}

TEST(Trend, TrueRangeFamily) {
  const V h{10, 12, 11, 13}, l{8, 9, 7, 12}, c{9, NaN, 10, 12.5};
  // Row 1: prev close 9 -> max(3, 3, 0); row 2: prev close missing -> 11-7;
  // row 3: prev close 10 -> max(1, 3, 2).
  EXPECT_TRUE(near_all(tr(h, l, c), V{NaN, 3, 4, 3}));
  // atr 2: mean(3, 4) = 3.5, then 0.5*3.5 + 0.5*3.
  EXPECT_TRUE(near_all(atr(h, l, c, 2), V{NaN, NaN, 3.5, 3.25}));
  // A missing high leaves the true range |low - prev close|: with n = 1 the
  // average is the true range itself. Rows: max(3, 3, 0); |6 - 10|; max(1, 3, 2).
  const V hm{10, 12, NaN, 13}, lm{8, 9, 6, 12}, cm{9, 10, 10, 12.5};
  EXPECT_TRUE(near_all(atr(hm, lm, cm, 1), V{NaN, 3, 4, 3}));
  // natr at a zero close: +inf; with a zero atr too: NaN.
  const V flat{1, 1, 1}, zc{1, 0, 0};
  const V h2{2, 2, 2}, l2{1, 1, 1};
  EXPECT_EQ(natr(h2, l2, zc, 1)[1], Inf);
  EXPECT_TRUE(std::isnan(natr(flat, flat, V{1, 0, 0}, 1)[1]));
}

TEST(Trend, SarStepAndExtendedSigns) {
  const Bars d = random_bars(300, 47);
  // Acceleration above the maximum uses the maximum.
  EXPECT_TRUE(bitwise_equal(sar(d.high, d.low, 0.5, 0.2), sar(d.high, d.low, 0.2, 0.2)));
  // sarext with start 0 and no offset: |sarext| == sar, negative exactly on
  // short rows (where the stop is above the bar).
  const Series s = sar(d.high, d.low, 0.02, 0.2);
  const Series e = sarext(d.high, d.low, 0, 0, 0.02, 0.02, 0.2, 0.02, 0.02, 0.2);
  bool saw_long = false, saw_short = false;
  for (std::size_t i = 1; i < s.size(); ++i) {
    EXPECT_EQ(std::fabs(e[i]), s[i]) << i;
    if (e[i] < 0) {
      saw_short = true;
      EXPECT_GE(s[i], d.low[i]) << i;
    } else {
      saw_long = true;
      EXPECT_LE(s[i], d.high[i]) << i;
    }
  }
  EXPECT_TRUE(saw_long && saw_short);
  EXPECT_TRUE(std::isnan(s[0]) && std::isnan(e[0]));
  EXPECT_TRUE(bitwise_equal(sar(V{1}, V{0}, 0.02, 0.2), V{NaN}));
  // First step by hand: rising bars start long at low[0]; stop 1 at row 1,
  // then 1 + 0.02*(3 - 1) capped by the lows.
  const Series hs = sar(V{2, 3, 4}, V{1, 2, 3}, 0.02, 0.2);
  EXPECT_TRUE(near_all(hs, V{NaN, 1, 1.04}));
}

// A missing high or low is passed over by the stop's max/min with the
// previous and current bar, and a missing value never counts as a new
// extreme. Step 0.1, maximum 0.2; hand-computed stops.
TEST(Trend, SarIgnoresMissingBarValues) {
  const double s1 = 9.0 + 0.1 * (11.0 - 9.0), s2 = s1 + 0.2 * (12.0 - s1), s3 = s2 + 0.2 * (13.0 - s2);
  EXPECT_TRUE(bitwise_equal(sar(V{10, 11, 12, 13, 14}, V{9, 10, NaN, 12, 13}, 0.1, 0.2), V{NaN, 9, s1, s2, s3}));
  const double r1 = 11.0 + 0.1 * (9.0 - 11.0), r2 = r1 + 0.2 * (8.0 - r1), r3 = r2 + 0.2 * (7.0 - r2);
  EXPECT_TRUE(bitwise_equal(sar(V{11, 10, NaN, 8, 7}, V{10, 9, 8, 7, 6}, 0.1, 0.2), V{NaN, 11, r1, r2, r3}));
}

TEST(Oscillators, RsiAndCmoTable) {
  const V flat(20, 3.0);
  V rising(20);
  for (std::size_t i = 0; i < rising.size(); ++i) rising[i] = static_cast<double>(i);
  for (const V* x : {&flat, static_cast<const V*>(&rising)}) {
    const Series r = rsi(*x, 14);
    for (std::size_t i = 0; i < 14; ++i) EXPECT_TRUE(std::isnan(r[i]));
    for (std::size_t i = 14; i < r.size(); ++i) EXPECT_EQ(r[i], 100.0);
  }
  const Series cf = cmo(flat, 14);
  for (std::size_t i = 14; i < cf.size(); ++i) EXPECT_EQ(cf[i], 0.0);
  // rsi by hand, n = 2: changes +1, -1 -> 50; then +2: gain (2+0.5)/2.
  const Series r = rsi(V{1, 2, 1, 3}, 2);
  EXPECT_TRUE(near_all(r, V{NaN, NaN, 50, 100 - 100 / (1.25 / 0.25 + 1)}));
  EXPECT_TRUE(bitwise_equal(rsi(V{1, 2, 3}, 3), V{NaN, NaN, NaN}));
  // cmo by hand, n = 2: up (1,0) down (0,1) -> 0; then up 0.5*0.5+0.5*2.
  EXPECT_TRUE(near_all(cmo(V{1, 2, 1, 3}, 2), V{NaN, NaN, 0, (1.25 - 0.25) * 100 / 1.5}));
}

TEST(Oscillators, MissingChangeAgreesAcrossForms) {
  const Bars d = random_bars(60, 53, 0, 30);
  const Series b = cmo(d.close, 5);
  for (std::size_t i = 30; i < b.size(); ++i) EXPECT_TRUE(std::isnan(b[i])) << i;
  const auto st = cmo_final_state(std::span(d.close).first(20), 5);
  ASSERT_TRUE(st.has_value());
  const auto r = cmo_resume(d.close, 5, 20, *st);
  ASSERT_TRUE(r.has_value());
  EXPECT_TRUE(bitwise_equal(r->first, std::span(b).subspan(20)));
}

TEST(Oscillators, RawStochasticAndKdj) {
  const V h{3, 5, 4, 6, 6}, l{1, 2, 2, 6, 6}, c{2, 4, 3, 6, 6};
  // n = 2: warm-up 0; row 1 (4-1)/(5-1); row 2 (3-2)/(5-2); row 3 (6-2)/(6-2);
  // row 4: flat range -> 0.
  const Series r = rsv(h, l, c, 2);
  EXPECT_TRUE(near_all(r, V{0, 75, 100.0 / 3, 100, 0}));
  // K from 50 with a first raw value 0: 50*(1 - 1/3).
  const Series k = kdj_k(h, l, c, 50, 2, 3);
  EXPECT_DOUBLE_EQ(k[0], 50 * (1 - 1.0 / 3));
  const Series dd = kdj_d(h, l, c, 50, 2, 3, 3), j = kdj_j(h, l, c, 50, 2, 3, 3);
  for (std::size_t i = 0; i < k.size(); ++i) EXPECT_TRUE(same_bits(j[i], 3 * k[i] - 2 * dd[i]));
  // J leaves 0..100 on a jump.
  // Raw value 100 throughout from 50: K 66.67, 77.78; D 55.56, 62.96; J 107.4.
  const V one(4, 1.0), zero(4, 0.0);
  const Series jj = kdj_j(one, zero, one, 50, 1, 3, 3);
  EXPECT_NEAR(jj[1], 3 * (700.0 / 9) - 2 * (1700.0 / 27), 1e-12);
  EXPECT_GT(jj[1], 100.0);
}

TEST(Stochastic, FastKAndChannelLines) {
  const V h{3, 5, 4, 6}, l{1, 2, 2, 6}, c{2, 4, 3, 6};
  EXPECT_TRUE(near_all(stoch_fastk(h, l, c, 2), V{NaN, 75, 100.0 / 3, 100}));
  const V flat(5, 2.0);
  EXPECT_TRUE(near_all(stoch_fastk(flat, flat, flat, 3), V{NaN, NaN, 0, 0, 0}));
  EXPECT_TRUE(near_all(midprice(h, l, 2), V{NaN, 3, 3.5, 4}));
  EXPECT_TRUE(near_all(midpoint(c, 2), V{NaN, 3, 3.5, 4.5}));
  // hhv's period-10 scan and the deque agree, with and without a gap.
  for (std::size_t gap : {std::size_t{1000}, std::size_t{50}}) {
    const Bars d = random_bars(200, 59, 0, gap);
    EXPECT_TRUE(bitwise_equal(hhv(d.close, 10), rolling_max(View(d.close), 10)));
  }
}

// Indicators on a window's high and low join the minima into the maxima
// chunk by chunk; a missing low met after many chunks sends them back to the
// two separate kernels (fast %K also writes the maxima into its output
// first). Either way the values are the formulas applied to
// rolling_max and rolling_min, bit for bit.
TEST(Stochastic, TwoExtremeIndicatorsEqualTheirFormulas) {
  std::mt19937_64 rng(73);
  std::normal_distribution<double> step(0.0, 1.0);
  const std::size_t len = 5000;  // past the length where fast %K scans
  V c(len), h(len), l(len);
  double p = 100.0;
  for (std::size_t i = 0; i < len; ++i) {
    p += step(rng);
    c[i] = p;
    h[i] = p + std::fabs(step(rng));
    l[i] = p - std::fabs(step(rng));
  }
  const auto mid = [](double a, double b, double) { return (a + b) * 0.5; };
  const auto wr = [](double a, double b, double cl) {
    const double range = a - b;
    return range == 0.0 ? 0.0 : (-100.0 / range) * (a - cl);
  };
  const auto rv = [](double a, double b, double cl) {
    const double range = a - b;
    return !(std::fabs(range) > 1e-10) ? 0.0 : ((cl - b) / range) * 100.0;
  };
  const auto fk = [](double a, double b, double cl) {
    const double range = a - b;
    return std::isnan(a) ? NaN : range == 0.0 ? 0.0 : ((cl - b) * 100.0) / range;
  };
  for (std::size_t hole : {std::size_t{0}, std::size_t{4500}, len}) {
    V lo = l;
    if (hole < len) lo[hole] = NaN;
    for (std::size_t n : {std::size_t{1}, std::size_t{5}, std::size_t{14}, std::size_t{20}, std::size_t{1500}, len}) {
      const V hh = rolling_max(View(h), n), ll = rolling_min(View(lo), n);
      const auto expect = [&](auto f, bool nan_warmup) {
        V e(len);
        for (std::size_t i = 0; i < len; ++i) e[i] = nan_warmup && i + 1 < n ? NaN : f(hh[i], ll[i], c[i]);
        return e;
      };
      const std::string at = " n=" + std::to_string(n) + " hole=" + std::to_string(hole);
      EXPECT_TRUE(bitwise_equal(midprice(h, lo, n), expect(mid, true))) << "midprice" << at;
      EXPECT_TRUE(bitwise_equal(willr(h, lo, c, n), expect(wr, true))) << "willr" << at;
      EXPECT_TRUE(bitwise_equal(rsv(h, lo, c, n), expect(rv, false))) << "rsv" << at;
      EXPECT_TRUE(bitwise_equal(stoch_fastk(h, lo, c, n), expect(fk, true))) << "stoch_fastk" << at;
    }
  }
}

TEST(Stochastic, DefaultShortcutsEqualComposition) {
  for (std::size_t len : {5, 9, 30, 5000}) {
    SCOPED_TRACE(len);
    const Bars d = random_bars(len, 61);
    const Series fk = stoch_fastk(d.high, d.low, d.close, 5);
    const Series slow_k = sma(View(fk), 3);
    EXPECT_TRUE(bitwise_equal(*stoch_d_default_sma(d.high, d.low, d.close), sma(View(slow_k), 3)));
    EXPECT_TRUE(bitwise_equal(*stochf_d_default_sma(d.high, d.low, d.close), slow_k));
    EXPECT_TRUE(bitwise_equal(*stochrsi_d_default_sma(d.close), sma(View(stochrsi_fastk(d.close, 14, 5)), 3)));
  }
  // With a missing value the shortcuts decline.
  const Bars g = random_bars(100, 67, 0, 50);
  EXPECT_FALSE(stoch_d_default_sma(g.high, g.low, g.close).has_value());
  EXPECT_FALSE(stochf_d_default_sma(g.high, g.low, g.close).has_value());
  EXPECT_FALSE(stochrsi_d_default_sma(g.close).has_value());
  // Too short: none for the price stochastics, all NaN for the RSI one.
  const Bars s = random_bars(4, 71);
  EXPECT_FALSE(stoch_d_default_sma(s.high, s.low, s.close).has_value());
  const Bars s20 = random_bars(20, 71);
  EXPECT_TRUE(bitwise_equal(*stochrsi_d_default_sma(s20.close), V(20, NaN)));
}

TEST(Stochastic, ResumeDeclinesOnMissingRsi) {
  const Bars d = random_bars(80, 73, 0, 70);
  const auto st = stochrsi_final_state(std::span(d.close).first(60), 5, 4, true, 3);
  ASSERT_TRUE(st.has_value());
  EXPECT_FALSE(stochrsi_resume(d.close, 5, 4, true, 3, 60, *st).has_value());
  // A state of the wrong layout is refused rather than read out of bounds.
  EXPECT_FALSE(stochrsi_resume(d.close, 5, 4, false, 3, 60, *st).has_value());
}

}  // namespace
}  // namespace kadmo::compute
