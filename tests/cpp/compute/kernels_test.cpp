// Kernels: window, skipping-window and seeded-recursion handling of missing
// values, infinities, and the equality of the fast and general paths.

#include "kadmo/compute/kernels.hpp"
#include "kadmo/compute/indicators/trend.hpp"
#include "test_support.hpp"

namespace kadmo::compute {
namespace {

using namespace testing;
using V = std::vector<double>;

// The one-pass output builder: NaN before start, then one call per row in
// row order (a kernel's running state depends on that order).
TEST(SeriesFrom, CallsOncePerRowInOrder) {
  int calls = 0;
  const Series s = series_from(6, 2, [&calls, k = 0.0]() mutable {
    ++calls;
    return k += 1.0;
  });
  EXPECT_TRUE(bitwise_equal(s, V{NaN, NaN, 1, 2, 3, 4}));
  EXPECT_EQ(calls, 4);
  EXPECT_TRUE(bitwise_equal(series_from(3, 3, [] { return 1.0; }), V{NaN, NaN, NaN}));
  EXPECT_TRUE(series_from(0, 0, [] { return 1.0; }).empty());
}

struct WindowCase {
  const char* name;
  V x;
  std::size_t n;
  V want;
};

TEST(Sma, WindowHandlingTable) {
  const WindowCase cases[] = {
      {"gap", {1, 2, NaN, 4, 5, 6}, 2, {NaN, 1.5, NaN, NaN, 4.5, 5.5}},
      {"leading", {NaN, NaN, 3, 5, 7}, 2, {NaN, NaN, NaN, 4, 6}},
      {"period_zero", {1, 2, 3}, 0, {NaN, NaN, NaN}},
      {"period_above_len", {1, 2, 3}, 4, {NaN, NaN, NaN}},
      {"empty", {}, 3, {}},
      // An infinity gives +/-inf while inside the window and leaves the
      // finite means intact after it has left.
      {"pos_inf", {1, Inf, 3, 5, 7}, 2, {NaN, Inf, Inf, 4, 6}},
      {"neg_inf", {1, -Inf, 3, 5, 7}, 2, {NaN, -Inf, -Inf, 4, 6}},
      {"both_inf", {1, Inf, -Inf, 5, 7, 9}, 2, {NaN, Inf, NaN, -Inf, 6, 8}},
      {"inf_at_end", {1, 3, Inf}, 2, {NaN, 2, Inf}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(near_all(sma(View(c.x), c.n), c.want));
  }
}

TEST(Sma, StridedViewEqualsContiguous) {
  const Bars d = random_bars(200, 5, 4, 60);
  V interleaved;
  for (double v : d.close) {
    interleaved.push_back(v);
    interleaved.push_back(-1e300);  // never read
  }
  const View strided(interleaved.data(), d.close.size(), 2);
  EXPECT_TRUE(bitwise_equal(sma(strided, 7), sma(View(d.close), 7)));
  EXPECT_TRUE(bitwise_equal(rolling_max(strided, 7), rolling_max(View(d.close), 7)));
  EXPECT_TRUE(bitwise_equal(rolling_mean_std(strided, 7).second, rolling_mean_std(View(d.close), 7).second));
}

TEST(SmaSeeded, SeedSkipsMissingThenMissingPoisons) {
  const V x{1, NaN, 2, 3};
  EXPECT_TRUE(near_all(sma_seeded(View(x), 3, StepRule::exponential_period(3)), V{NaN, NaN, NaN, 2}));
  // After the seed a missing input ends the series, for both rules.
  const V y{2, 4, 6, NaN, 8, 10};
  const V e = sma_seeded(View(y), 2, StepRule::exponential(0.5));
  EXPECT_TRUE(near_all(e, V{NaN, 3, 4.5, NaN, NaN, NaN}));  // 3 + 0.5*(6-3)
  const V w = sma_seeded(View(y), 2, StepRule::wilder(2));
  EXPECT_TRUE(near_all(w, V{NaN, 3, 4.5, NaN, NaN, NaN}));  // 0.5*3 + 0.5*6
  EXPECT_TRUE(near_all(sma_seeded(View(x), 5, StepRule::wilder(5)), V{NaN, NaN, NaN, NaN}));
}

TEST(SmaSeeded, ExponentialStepIsFused) {
  // 0.1 + 0.1*(0.7 - 0.1) rounds differently with and without the fused form.
  const double a = 0.1, p = 0.1, x = 0.7;
  const double fused = std::fma(a, x - p, p);
  const V in{p, x};
  EXPECT_TRUE(same_bits(sma_seeded(View(in), 1, StepRule::exponential(a))[1], fused));
}

TEST(RollingExtremes, SkippingWindowTable) {
  struct Case {
    const char* name;
    V x;
    std::size_t n;
    V max, min;
  };
  const Case cases[] = {
      {"gaps", {1, NaN, 3, NaN, NaN}, 2, {NaN, 1, 3, 3, NaN}, {NaN, 1, 3, 3, NaN}},
      {"ties", {2, 2, 1, 2}, 2, {NaN, 2, 2, 2}, {NaN, 2, 1, 1}},
      {"complete", {3, 1, 4, 1, 5, 9, 2, 6}, 3, {NaN, NaN, 4, 4, 5, 9, 9, 9}, {NaN, NaN, 1, 1, 1, 1, 2, 2}},
      {"period_zero", {1, 2}, 0, {NaN, NaN}, {NaN, NaN}},
      {"period_above_len", {1, 2}, 3, {NaN, NaN}, {NaN, NaN}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(bitwise_equal(rolling_max(View(c.x), c.n), c.max));
    EXPECT_TRUE(bitwise_equal(rolling_min(View(c.x), c.n), c.min));
  }
}

// Block method (complete input), deque (with a gap) and a brute-force window
// agree for many periods, including ones that do not divide the length.
// Complete input is scanned several blocks at a time (fewer for periods above
// a thousand), then single blocks, the last one short; a gap met late must
// discard the block work done so far. Infinities are ordinary values there.
TEST(RollingExtremes, BlockAndDequeMatchBruteForce) {
  constexpr std::size_t none = static_cast<std::size_t>(-1);
  struct Case {
    const char* name;
    std::size_t len, gap;
    bool inf;
  };
  const Case cases[] = {
      {"short", 97, none, false},     {"short_gap", 97, 40, false}, {"long", 2600, none, false},
      {"early_gap", 2600, 40, false}, {"late_gap", 2600, 2590, false}, {"infinities", 2600, none, true},
  };
  for (const Case& c : cases) {
    Bars d = random_bars(c.len, 23, 0, c.gap);
    V& x = d.close;
    if (c.inf) {
      x[5] = Inf;
      x[700] = -Inf;
      x[1900] = Inf;
    }
    for (std::size_t n : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{5}, std::size_t{7},
                          std::size_t{10}, std::size_t{31}, std::size_t{96}, std::size_t{97}, std::size_t{433},
                          std::size_t{601}, std::size_t{1100}}) {
      if (n > c.len) continue;
      SCOPED_TRACE(std::string(c.name) + " " + std::to_string(n));
      V want_max(x.size(), NaN), want_min(x.size(), NaN);
      for (std::size_t i = n - 1; i < x.size(); ++i)
        for (std::size_t j = i + 1 - n; j <= i; ++j) {
          want_max[i] = nan_max(want_max[i], x[j]);
          want_min[i] = nan_min(want_min[i], x[j]);
        }
      EXPECT_TRUE(bitwise_equal(rolling_max(View(x), n), want_max));
      EXPECT_TRUE(bitwise_equal(rolling_min(View(x), n), want_min));
      V scanned(x.size(), NaN);
      if (scan_max(View(x), n, scanned.data())) EXPECT_TRUE(bitwise_equal(scanned, want_max));
      else EXPECT_NE(c.gap, none);
    }
  }
}

TEST(RollingMeanStd, PopulationStatistics) {
  const V x{2, 4, 4, 4, 5, 5, 7, 9};
  const auto [mean, sd] = rolling_mean_std(View(x), 8);
  EXPECT_DOUBLE_EQ(mean[7], 5.0);  // the textbook population example: sd 2
  EXPECT_DOUBLE_EQ(sd[7], 2.0);
  // A constant window never yields NaN from a rounding-negative variance
  // (its rounding error is clamped to 0 or stays a tiny positive value).
  bool clamped = false;
  for (double level : {0.1, 0.3, 1.1, 7.7, 1e6 + 0.1}) {
    const V c(40, level);
    const auto [m2, s2] = rolling_mean_std(View(c), 7);
    for (std::size_t i = 6; i < c.size(); ++i) {
      ASSERT_FALSE(std::isnan(s2[i])) << level;
      EXPECT_LT(s2[i], 1e-6 * level) << level;
      clamped |= s2[i] == 0.0;
    }
  }
  EXPECT_TRUE(clamped);
  // Missing and infinite values: NaN while in the window, finite after.
  const V g{1, 3, NaN, 5, 7, Inf, 1, 3};
  const auto [m3, s3] = rolling_mean_std(View(g), 2);
  EXPECT_TRUE(near_all(m3, V{NaN, 2, NaN, NaN, 6, Inf, Inf, 2}));
  EXPECT_TRUE(near_all(s3, V{NaN, 1, NaN, NaN, 1, NaN, NaN, 1}));
}

TEST(EmaCascade, FinalTripleMatchesTemaStages) {
  const Bars d = random_bars(80, 31, 5);
  const auto e = ema_cascade_final(View(d.close), 6);
  ASSERT_TRUE(e.has_value());
  // Hand-chained stages from the single-stage smoother.
  const Series e1 = ema(d.close, 6);
  const Series e2 = sma_seeded(View(e1), 6, StepRule::exponential_period(6));
  const Series e3 = sma_seeded(View(e2), 6, StepRule::exponential_period(6));
  EXPECT_TRUE(bitwise_equal(*e, V{e1.back(), e2.back(), e3.back()}));
  // 3n-2 rows after the first present value are needed.
  EXPECT_TRUE(ema_cascade_final(std::span(d.close).first(5 + 15), 6).has_value() == false);
  EXPECT_TRUE(ema_cascade_final(std::span(d.close).first(5 + 16), 6).has_value());
  EXPECT_FALSE(ema_cascade_final(View(d.close), 0).has_value());
}

}  // namespace
}  // namespace kadmo::compute
