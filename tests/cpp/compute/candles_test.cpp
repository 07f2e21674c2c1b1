// Candlestick patterns: the name table, warm-up, the threshold averages, a
// hand-built fixture per module (edges where <= and < differ), the hikkake
// confirmation window and the handling of non-finite bars. Agreement with
// TA-Lib over all 61 patterns is in tests/python/test_candles_talib.py.

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "kadmo/compute/indicators/candles/mod.hpp"
#include "kadmo/compute/indicators/candles/multi_bar.hpp"
#include "kadmo/compute/indicators/candles/one_bar.hpp"
#include "kadmo/compute/indicators/candles/three_bar.hpp"
#include "kadmo/compute/indicators/candles/two_bar.hpp"
#include "test_support.hpp"

namespace kadmo::compute {
namespace {

using namespace testing;
using V = std::vector<double>;

struct Ohlc {
  V o, h, l, c;
  void add(double open, double high, double low, double close) {
    o.push_back(open);
    h.push_back(high);
    l.push_back(low);
    c.push_back(close);
  }
  std::size_t size() const { return c.size(); }
};

// Ten quiet bars: body 1, range 2, so body_long = body_short = 1,
// body_doji = shadow_very_short = 0.2 and near = 0.4 at the next bar.
Ohlc background(std::size_t n = 10) {
  Ohlc b;
  for (std::size_t i = 0; i < n; ++i) b.add(100, 101.5, 99.5, 101);
  return b;
}

// Bars drawn from a few shapes (long, short, doji, gaps) so that most
// patterns occur; continuous prices keep threshold ties improbable.
Ohlc random_candles(std::size_t n, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  Ohlc b;
  double prev = 100.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double r = u(rng);
    const double open = prev + (r < 0.3 ? (u(rng) - 0.5) * 4 : (u(rng) - 0.5) * 0.2);
    const double body = u(rng) < 0.2 ? 0.0 : (u(rng) - 0.5) * (u(rng) < 0.5 ? 6 : 1);
    const double close = open + body;
    const double up = u(rng) < 0.3 ? 0.0 : u(rng) * 2, down = u(rng) < 0.3 ? 0.0 : u(rng) * 2;
    b.add(open, std::max(open, close) + up, std::min(open, close) - down, close);
    prev = close;
  }
  return b;
}

Series eval(const CandlePattern& p, const Ohlc& b) {
  return p.fn(b.o, b.h, b.l, b.c, p.penetration.value_or(0.0));
}

TEST(CandleTable, NamesAreExactAndComplete) {
  EXPECT_EQ(candle_patterns().size(), 61u);
  for (const char* bad : {"Doji", "DOJI", "doji ", "3BlackCrows", "threeblackcrows", "cdl_doji", "", "engulf"})
    EXPECT_EQ(candle_pattern(bad), nullptr) << bad;
  const CandlePattern* p = candle_pattern("3blackcrows");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->lookback, 13u);
  EXPECT_FALSE(p->penetration.has_value());
  ASSERT_NE(candle_pattern("mathold"), nullptr);
  EXPECT_EQ(candle_pattern("mathold")->penetration, 0.5);
}

// Every pattern's warm-up equals its table lookback, is all NaN when the
// series is no longer than the lookback, and every later value is a signal.
TEST(CandleTable, WarmUpEqualsLookbackForEveryPattern) {
  const Ohlc b = random_candles(400, 7);
  for (const CandlePattern& p : candle_patterns()) {
    SCOPED_TRACE(std::string(p.name));
    const Series s = eval(p, b);
    ASSERT_EQ(s.size(), b.size());
    EXPECT_EQ(leading_nan(s), p.lookback);
    for (std::size_t i = p.lookback; i < s.size(); ++i) {
      const double a = std::fabs(s[i]);
      EXPECT_TRUE(a == 0 || a == 80 || a == 100 || a == 200) << i << ": " << s[i];
    }
    for (std::size_t n : {std::size_t{0}, p.lookback}) {
      Ohlc shortb;
      for (std::size_t i = 0; i < n; ++i) shortb.add(b.o[i], b.h[i], b.l[i], b.c[i]);
      const Series t = eval(p, shortb);
      EXPECT_EQ(t.size(), n);
      EXPECT_EQ(leading_nan(t), n);
    }
  }
}

TEST(CandleSettings, AveragesByHand) {
  // Upper shadow 1, lower 0.5, body 2, range 3.5 on each of ten bars.
  Ohlc b;
  for (int i = 0; i < 10; ++i) b.add(10, 13, 9.5, 12);
  b.add(20, 30, 10, 21);  // bar 10: body 1, range 20
  EXPECT_DOUBLE_EQ(candle_average(kShadowShort, b.o, b.h, b.l, b.c, 10), 0.75);  // mean 1.5, halved
  EXPECT_DOUBLE_EQ(candle_average(kBodyLong, b.o, b.h, b.l, b.c, 10), 2.0);
  EXPECT_DOUBLE_EQ(candle_average(kBodyDoji, b.o, b.h, b.l, b.c, 10), 0.35);
  EXPECT_DOUBLE_EQ(candle_average(kEqual, b.o, b.h, b.l, b.c, 10), 0.175);
  // Period 0: the tested bar's own body, times the factor.
  EXPECT_DOUBLE_EQ(candle_average(kShadowVeryLong, b.o, b.h, b.l, b.c, 10), 2.0);
  EXPECT_DOUBLE_EQ(candle_average(kShadowLong, b.o, b.h, b.l, b.c, 3), 2.0);
  // Too early for the window: nothing averaged yet.
  EXPECT_EQ(candle_average(kBodyLong, b.o, b.h, b.l, b.c, 9), 0.0);
  EXPECT_DOUBLE_EQ(range(RangeKind::Shadows, b.o, b.h, b.l, b.c, 10), 19.0);  // 9 + 10
  EXPECT_DOUBLE_EQ(uppershadow(b.o, b.h, b.c, 10), 9.0);
  EXPECT_DOUBLE_EQ(lowershadow(b.o, b.l, b.c, 10), 10.0);
}

TEST(CandleSettings, NearSeriesIsARunningMean) {
  const V high{1, 2, 3, 4, 5, 6, 7, 8};
  const V low(8, 0.0);
  const Series s = candle_average_series(high, low, 8);
  ASSERT_EQ(s.size(), 8u);
  for (int j = 0; j < 5; ++j) EXPECT_EQ(s[j], 0.0);
  EXPECT_DOUBLE_EQ(s[5], 0.2 * 3);  // bars 0..4
  EXPECT_DOUBLE_EQ(s[6], 0.2 * 4);
  EXPECT_DOUBLE_EQ(s[7], 0.2 * 5);
}

// doji: body <= 0.1 * mean range; the threshold itself counts.
TEST(OneBar, DojiThresholdIsInclusive) {
  struct Case {
    double close;
    double want;
  };
  for (auto [close, want] : {Case{100.25, 100}, Case{100.0, 100}, Case{99.75, 100}, Case{100.5, 0}}) {
    Ohlc b;
    for (int i = 0; i < 10; ++i) b.add(100, 102, 99.5, 101);  // range 2.5: threshold 0.25
    b.add(100, 101, 99, close);
    EXPECT_EQ(cdl_doji(b.o, b.h, b.l, b.c)[10], want) << close;
  }
}

TEST(OneBar, HammerNeedsItsBodyNearThePreviousLow) {
  // Bar 11: small body (0.5 < 1) at the top, lower shadow 3 > body, no
  // upper shadow; the previous low is 99.5 and near = 0.4.
  for (auto [bottom, want] : {std::pair{99.8, 100.0}, std::pair{100.2, 0.0}}) {
    Ohlc b = background(11);
    b.add(bottom, bottom + 0.5, bottom - 3, bottom + 0.5);
    EXPECT_EQ(cdl_hammer(b.o, b.h, b.l, b.c)[11], want) << bottom;
  }
}

// Engulfing: strict engulfing 100, one shared edge 80, both edges shared 0.
TEST(TwoBar, EngulfingStrengthByEdges) {
  struct Case {
    double o1, c1, o2, c2, want;
  };
  const Case cases[] = {
      {10, 9, 8.5, 10.5, 100}, {10, 9, 9, 10.5, 80},   {10, 9, 8.5, 10, 80},  {10, 9, 9, 10, 0},
      {9, 10, 10.5, 8.5, -100}, {9, 10, 10, 8.5, -80}, {9, 10, 10.5, 9, -80}, {9, 10, 8.5, 10.5, 0},
      {10, 9, 9.5, 9.2, 0},
  };
  for (const Case& k : cases) {
    Ohlc b;
    b.add(5, 6, 4, 5);
    b.add(k.o1, std::max(k.o1, k.c1), std::min(k.o1, k.c1), k.c1);
    b.add(k.o2, std::max(k.o2, k.c2), std::min(k.o2, k.c2), k.c2);
    const Series s = cdl_engulfing(b.o, b.h, b.l, b.c);
    EXPECT_TRUE(std::isnan(s[0]) && std::isnan(s[1]));
    EXPECT_EQ(s[2], k.want) << k.o1 << " " << k.c1 << " " << k.o2 << " " << k.c2;
  }
}

// Harami after a long body: strictly inside 100, touching an edge 80, the
// sign against the first bar's colour; a body over body_short is no harami.
TEST(TwoBar, HaramiInsideAndTouching) {
  struct Case {
    double o1, c1, o2, c2, want;
  };
  const Case cases[] = {
      {105, 100, 101, 102, 100},  {105, 100, 100, 101, 80},   {105, 100, 104, 105, 80},
      {105, 100, 99.5, 100.5, 0}, {100, 105, 102, 103, -100}, {100, 105, 105, 104, -80},
      {105, 100, 101, 102.5, 0},  // body 1.5 > body_short 1.4
  };
  for (const Case& k : cases) {
    Ohlc b = background();
    b.add(k.o1, std::max(k.o1, k.c1) + 0.5, std::min(k.o1, k.c1) - 0.5, k.c1);
    b.add(k.o2, std::max(k.o2, k.c2) + 0.2, std::min(k.o2, k.c2) - 0.2, k.c2);
    EXPECT_EQ(cdl_harami(b.o, b.h, b.l, b.c)[11], k.want) << k.o2 << " " << k.c2;
  }
}

// Morning star: close3 must pass close1 + body1 * penetration = 105 + 5p.
TEST(ThreeBar, MorningStarPenetration) {
  Ohlc b = background();
  b.add(110, 110.5, 104.5, 105);  // long black
  b.add(104, 104.2, 103.3, 103.5);  // small star below the body
  b.add(104, 107.2, 103.9, 107);  // white, closing at 105 + 2
  struct Case {
    double penetration, want;
  };
  for (auto [pen, want] : {Case{0.3, 100}, Case{0.0, 100}, Case{0.39, 100}, Case{0.41, 0}, Case{0.5, 0}}) {
    const Series s = cdl_morningstar(b.o, b.h, b.l, b.c, pen);
    EXPECT_EQ(s[12], want) << pen;
    EXPECT_EQ(leading_nan(s), 12u);
  }
  // The mirror is not an evening star.
  EXPECT_EQ(cdl_eveningstar(b.o, b.h, b.l, b.c, 0.3)[12], 0);
}

// Hikkake: an inside bar, a breakout, then a confirming close beyond the
// inside bar's extreme counts only within three bars of the breakout.
TEST(MultiBar, HikkakeConfirmationWindow) {
  for (int sign : {1, -1}) {
    for (int delay = 1; delay <= 4; ++delay) {
      Ohlc b;
      auto bar = [&](double hi, double lo, double close) {
        // Mirror prices around 10 for the bearish case.
        if (sign > 0)
          b.add(close, hi, lo, close);
        else
          b.add(20 - close, 20 - lo, 20 - hi, 20 - close);
      };
      for (int i = 0; i < 4; ++i) bar(10, 0, 5);  // 3: the mother bar
      bar(9, 1, 5);                               // 4: inside bar
      bar(8, 0.5, 1);                             // 5: breakout downwards
      for (int k = 1; k < delay; ++k) bar(8.5, 0.4, 5);
      bar(10, 0.4, 9.5);  // close above the inside bar's high
      bar(10, 0.4, 9.5);
      const Series s = cdl_hikkake(b.o, b.h, b.l, b.c);
      SCOPED_TRACE(::testing::Message() << "sign " << sign << " delay " << delay);
      EXPECT_EQ(leading_nan(s), 5u);
      EXPECT_EQ(s[5], 100 * sign);
      for (int k = 1; k < delay; ++k) EXPECT_EQ(s[5 + k], 0);
      EXPECT_EQ(s[5 + delay], delay <= 3 ? 200 * sign : 0);
      EXPECT_EQ(s[6 + delay], 0);  // confirmed once only
    }
  }
}

// A non-finite bar: outputs whose window touches it are NaN, earlier ones
// unchanged, and later ones equal a fresh start after it (the averages
// recover instead of staying NaN for the rest of the series).
TEST(CandleMissing, BadBarBlanksItsWindowOnly) {
  const Ohlc clean = random_candles(300, 11);
  const std::size_t k = 120;
  for (double poison : {NaN, Inf, -Inf, 1e308}) {
    Ohlc b = clean;
    b.c[k] = poison;
    if (poison == 1e308) {
      b.h[k] = 1e308;
      b.l[k] = -1e308;  // range overflows to infinity
    }
    Ohlc tail;
    for (std::size_t i = k + 1; i < clean.size(); ++i) tail.add(clean.o[i], clean.h[i], clean.l[i], clean.c[i]);
    for (const CandlePattern& p : candle_patterns()) {
      SCOPED_TRACE(::testing::Message() << p.name << " poison " << poison);
      const Series got = eval(p, b), full = eval(p, clean), fresh = eval(p, tail);
      for (std::size_t i = 0; i < k; ++i) ASSERT_TRUE(same_bits(got[i], full[i])) << i;
      for (std::size_t i = k; i <= k + p.lookback; ++i) ASSERT_TRUE(std::isnan(got[i])) << i;
      for (std::size_t i = k + p.lookback + 1; i < b.size(); ++i)
        ASSERT_TRUE(same_bits(got[i], fresh[i - k - 1])) << i;
    }
  }
}

TEST(CandleMissing, UnequalLengthsReadOnlyTheCommonPrefix) {
  const Ohlc b = random_candles(50, 3);
  const V shorter(b.h.begin(), b.h.begin() + 30);
  for (const CandlePattern& p : candle_patterns()) {
    const Series s = p.fn(b.o, shorter, b.l, b.c, p.penetration.value_or(0.0));
    ASSERT_EQ(s.size(), b.size());
    for (std::size_t i = 30; i < s.size(); ++i) EXPECT_TRUE(std::isnan(s[i])) << p.name << " " << i;
  }
}

}  // namespace
}  // namespace kadmo::compute
