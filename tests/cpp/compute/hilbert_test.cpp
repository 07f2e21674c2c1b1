// Hilbert-transform family: warm-up, hand-derived values on a flat series,
// hostile input, and the resume contract for every split of a random walk.
// Agreement with TA-Lib's values is checked in tests/python.

#include <cmath>
#include <functional>
#include <string>

#include "kadmo/compute/indicators/hilbert.hpp"
#include "test_support.hpp"

namespace kadmo::compute {
namespace {

using namespace testing;
using Sp = std::span<const double>;

struct Family {
  std::string name;
  std::size_t lookback;
  std::size_t state_slots;
  std::size_t min_start;  // resumes below this start decline
  std::function<Series(Sp)> batch;
  std::function<std::optional<State>(Sp)> final_state;
  std::function<Resumed(Sp, std::size_t, const State&)> resume;
};

std::vector<Family> family() {
  std::vector<Family> f;
  f.push_back({"dcperiod", 32, 54, 13, [](Sp x) { return ht_dcperiod(x); }, [](Sp x) { return ht_core_state(x); },
               [](Sp x, std::size_t s, const State& st) { return ht_dcperiod_resume(x, s, st); }});
  for (bool q : {false, true})
    f.push_back({q ? "phasor.quadrature" : "phasor", 32, 54, 13, [q](Sp x) { return ht_phasor_line(x, q); },
                 [](Sp x) { return ht_core_state(x); },
                 [q](Sp x, std::size_t s, const State& st) { return ht_phasor_resume(x, q, s, st); }});
  f.push_back({"dcphase", 63, 106, 13, [](Sp x) { return ht_dcphase(x); },
               [](Sp x) { return ht_dcphase_final_state(x); },
               [](Sp x, std::size_t s, const State& st) { return ht_dcphase_resume(x, s, st); }});
  for (bool lead : {false, true})
    f.push_back({lead ? "sine.lead" : "sine", 63, 106, 13,
                 [lead](Sp x) {
                   auto [s, l] = ht_sine(x);
                   return lead ? l : s;
                 },
                 [](Sp x) { return ht_dcphase_final_state(x); },
                 [lead](Sp x, std::size_t s, const State& st) { return ht_sine_resume(x, lead, s, st); }});
  f.push_back({"trendline", 63, 57, 50, [](Sp x) { return ht_trendline(x); },
               [](Sp x) { return ht_trendline_state(x); },
               [](Sp x, std::size_t s, const State& st) { return ht_trendline_resume(x, s, st); }});
  f.push_back({"trendmode", 63, 111, 50, [](Sp x) { return ht_trendmode(x); },
               [](Sp x) { return ht_trendmode_state(x); },
               [](Sp x, std::size_t s, const State& st) { return ht_trendmode_resume(x, s, st); }});
  for (bool fama : {false, true})
    f.push_back({fama ? "mama.fama" : "mama", 32, 57, 13, [fama](Sp x) { return mama_line(x, fama, 0.5, 0.05); },
                 [](Sp x) { return mama_state(x, 0.5, 0.05); },
                 [fama](Sp x, std::size_t s, const State& st) { return mama_resume(x, fama, s, st, 0.5, 0.05); }});
  return f;
}

TEST(HilbertWarmup, LeadingNanEqualsLookbackAfterFirstPresentValue) {
  for (std::size_t lead : {0u, 9u}) {
    const Bars b = random_bars(400, 11, lead);
    for (const Family& f : family()) {
      SCOPED_TRACE(f.name + " lead " + std::to_string(lead));
      const Series out = f.batch(b.close);
      ASSERT_EQ(out.size(), b.size());
      EXPECT_EQ(leading_nan(out), lead + f.lookback);
      for (std::size_t i = lead + f.lookback; i < out.size(); ++i) ASSERT_FALSE(std::isnan(out[i])) << i;
    }
  }
}

TEST(HilbertWarmup, SeriesNoLongerThanTheLookbackGiveOnlyNan) {
  const Bars b = random_bars(80, 3);
  for (const Family& f : family()) {
    SCOPED_TRACE(f.name);
    for (std::size_t len : {std::size_t{0}, std::size_t{1}, f.lookback}) {
      const Series out = f.batch(Sp(b.close).first(len));
      ASSERT_EQ(out.size(), len);
      EXPECT_EQ(leading_nan(out), len);
    }
    EXPECT_EQ(leading_nan(f.batch(Sp(b.close).first(f.lookback + 1))), f.lookback);
    EXPECT_EQ(leading_nan(f.batch(std::vector<double>(100, NaN))), 100u);
  }
}

// On a zero series every filter output, Re and Im are exactly 0, so the raw
// period stays at its floor of 6: period_k = 6(1 - 0.8^k) and the smooth
// period follows in closed form (k = bars since the core started at bar 12).
TEST(HilbertFlat, ZeroSeriesFollowsTheClosedFormPeriod) {
  const std::vector<double> x(200, 0.0);
  const Series dcp = ht_dcperiod(x);
  std::vector<double> want(x.size(), NaN);
  for (std::size_t t = 32; t < x.size(); ++t) {
    const double k = static_cast<double>(t - 11);
    const double a = std::pow(0.67, k), p = std::pow(0.8, k);
    want[t] = 6.0 * (1.0 - a) - 6.0 * 0.33 * (0.8 / 0.13) * (p - a);
  }
  EXPECT_TRUE(near_all(dcp, want, 1e-12));
  EXPECT_NEAR(dcp.back(), 6.0, 1e-12);

  for (bool q : {false, true}) {
    const Series ph = ht_phasor_line(x, q);
    for (std::size_t t = 32; t < x.size(); ++t) ASSERT_EQ(ph[t], 0.0);
  }
  const Series tl = ht_trendline(x), mm = mama_line(x, false, 0.5, 0.05), fm = mama_line(x, true, 0.5, 0.05);
  for (std::size_t t = 63; t < x.size(); ++t) ASSERT_EQ(tl[t], 0.0);
  for (std::size_t t = 32; t < x.size(); ++t) ASSERT_TRUE(mm[t] == 0.0 && fm[t] == 0.0);
}

// With real = imag = 0 the phase only advances by 90 + 360/period per bar
// and wraps by 360 above 315; it never stays above 315.
TEST(HilbertFlat, ZeroSeriesPhaseAdvancesAndWraps) {
  const std::vector<double> x(200, 0.0);
  const Series dcp = ht_dcperiod(x), ph = ht_dcphase(x);
  auto [sine, lead] = ht_sine(x);
  std::size_t wraps = 0;
  for (std::size_t t = 64; t < x.size(); ++t) {
    const double step = ph[t - 1] + 90.0 + 360.0 / dcp[t];
    const bool wrapped = step > 315.0;
    wraps += wrapped;
    ASSERT_EQ(ph[t], wrapped ? step - 360.0 : step) << t;
    ASSERT_LE(ph[t], 315.0);
    ASSERT_NEAR(sine[t], std::sin(ph[t] * M_PI / 180.0), 1e-15);
    ASSERT_NEAR(lead[t], std::sin((ph[t] + 45.0) * M_PI / 180.0), 1e-15);
  }
  EXPECT_GT(wraps, 20u);
}

// A price that leaves its trend line by 1.5% or more is a trend whatever the
// cycle says; a flat zero series has no trend line to leave (line 0).
TEST(HilbertTrendMode, StepAwayFromTheTrendLineIsATrend) {
  std::vector<double> x(150, 100.0);
  for (std::size_t t = 120; t < x.size(); ++t) x[t] = 110.0;
  const Series tm = ht_trendmode(x), tl = ht_trendline(x);
  const std::size_t t = 124;  // smoothed price 110, trend line still near 100
  ASSERT_GT(std::fabs(110.0 - tl[t]) / tl[t], 0.015);
  EXPECT_EQ(tm[t], 1.0);
  for (double v : Sp(tm).subspan(63)) ASSERT_TRUE(v == 0.0 || v == 1.0);
}

TEST(HilbertHostile, NonFiniteAndHugeInputNeverCrashAndPoisonForward) {
  Bars b = random_bars(300, 5);
  std::vector<std::vector<double>> inputs;
  auto with = [&](std::size_t at, double v) {
    std::vector<double> x = b.close;
    x[at] = v;
    inputs.push_back(x);
  };
  with(150, NaN);
  with(150, Inf);
  with(150, -Inf);
  std::vector<double> huge(300);
  for (std::size_t i = 0; i < huge.size(); ++i) huge[i] = (i % 2 ? 1.0 : -1.0) * 1e308;
  inputs.push_back(huge);
  for (const auto& x : inputs) {
    for (const Family& f : family()) {
      SCOPED_TRACE(f.name);
      const Series out = f.batch(x);
      ASSERT_EQ(out.size(), x.size());
      if (std::isnan(x[150]) || std::isinf(x[150])) {
        // The running price sums hold the bad value from here on (MAMA keeps
        // an infinity); the trend flag alone is still 0/1 by construction.
        if (f.name != "trendmode") {
          for (std::size_t t = 160; t < out.size(); ++t) ASSERT_FALSE(std::isfinite(out[t])) << t;
        }
      }
      // The state path must be just as safe.
      if (auto st = f.final_state(x)) {
        auto r = f.resume(x, x.size(), *st);
        ASSERT_TRUE(r);
        EXPECT_TRUE(r->first.empty());
      }
    }
  }
  // Limits out of range (NaN, negative, fast below slow) only change values.
  const Series m = mama_line(b.close, false, NaN, -1.0);
  EXPECT_EQ(m.size(), b.size());
}

// Slow limit above the fast limit: alpha is raised to the slow limit in
// every branch, so MAMA becomes an exponential average with that alpha.
TEST(HilbertMama, SlowLimitIsAFloorOnAlpha) {
  const Bars b = random_bars(120, 8);
  const Series m = mama_line(b.close, false, 0.1, 0.3);
  double want = 0.0;
  for (std::size_t t = 12; t < b.size(); ++t) {
    want = 0.3 * b.close[t] + 0.7 * want;
    if (t >= 32) {
      ASSERT_NEAR(m[t], want, 1e-9 * std::fabs(want)) << t;
    }
  }
}

// State after rows 0..k-1, resumed from k, equals the batch from k on bit
// for bit and ends in the final state of the whole series; for every k.
TEST(HilbertResume, EverySplitReproducesTheBatch) {
  struct Case {
    std::size_t lead, gap;
  };
  for (const Case c : {Case{0, 1000}, Case{7, 1000}, Case{0, 180}}) {
    const Bars b = random_bars(240, 21 + c.lead, c.lead, c.gap);
    const Sp x = b.close;
    for (const Family& f : family()) {
      SCOPED_TRACE(f.name + " lead " + std::to_string(c.lead) + " gap " + std::to_string(c.gap));
      const Series full = f.batch(x);
      const std::optional<State> whole = f.final_state(x);
      ASSERT_TRUE(whole);
      ASSERT_EQ(whole->size(), f.state_slots);
      for (std::size_t k = 0; k <= x.size(); ++k) {
        const std::optional<State> st = f.final_state(x.first(k));
        // A state needs 13 rows after the first present value.
        ASSERT_EQ(st.has_value(), k >= c.lead + 13) << k;
        if (!st) continue;
        const Resumed r = f.resume(x, k, *st);
        ASSERT_EQ(r.has_value(), k >= f.min_start) << k;
        if (!r) continue;
        ASSERT_TRUE(bitwise_equal(r->first, Sp(full).subspan(k))) << "split " << k;
        ASSERT_TRUE(bitwise_equal(r->second, *whole)) << "state after split " << k;
      }
    }
  }
}

TEST(HilbertResume, ChainedResumesAndEmptyTail) {
  const Bars b = random_bars(300, 4);
  const Sp x = b.close;
  for (const Family& f : family()) {
    SCOPED_TRACE(f.name);
    const Series full = f.batch(x);
    State st = *f.final_state(x.first(70));
    Series got;
    for (std::size_t end : {71u, 90u, 91u, 200u, 300u}) {
      const std::size_t start = 70 + got.size();
      const Resumed r = f.resume(x.first(end), start, st);
      ASSERT_TRUE(r);
      got.insert(got.end(), r->first.begin(), r->first.end());
      st = r->second;
    }
    EXPECT_TRUE(bitwise_equal(got, Sp(full).subspan(70)));
    // start = len: nothing new, the same state.
    const Resumed same = f.resume(x, x.size(), st);
    ASSERT_TRUE(same);
    EXPECT_TRUE(same->first.empty());
    EXPECT_TRUE(bitwise_equal(same->second, st));
  }
}

TEST(HilbertResume, DeclinesWhatItCannotContinue) {
  const Bars b = random_bars(120, 6);
  const Sp x = b.close;
  for (const Family& f : family()) {
    SCOPED_TRACE(f.name);
    const State st = *f.final_state(x.first(60));
    EXPECT_TRUE(f.resume(x, 60, st));
    // Core restores need start > 12; the trend line needs start >= 50.
    EXPECT_FALSE(f.resume(x, 12, st));
    EXPECT_FALSE(f.resume(x, f.min_start - 1, st));
    EXPECT_FALSE(f.resume(x, x.size() + 1, st));
    State shorter(st.begin(), st.end() - 1);
    EXPECT_FALSE(f.resume(x, 60, shorter));
    EXPECT_FALSE(f.resume(x, 60, State(53, 0.0)));
    // Integer slots that could not have been saved are refused, not used.
    for (double bad : {NaN, -1.0, 12.0, 1e300, 20.5}) {
      State s = st;
      s[3] = bad;  // rows fed to the core
      EXPECT_FALSE(f.resume(x, 60, s)) << bad;
    }
    State ring = st;
    ring[47] = 3.0;  // filter ring position
    EXPECT_FALSE(f.resume(x, 60, ring));
  }
  // The phase ring position of the phase-based states.
  State ph = *ht_dcphase_final_state(x.first(60));
  ph[55] = 50.0;
  EXPECT_FALSE(ht_dcphase_resume(x, 60, ph));
  EXPECT_FALSE(ht_core_resume_setup(*ht_core_state(x.first(60)), 12));
  EXPECT_TRUE(ht_core_resume_setup(*ht_core_state(x.first(60)), 13));
}

TEST(HilbertCore, RecordsMatchTheOutputs) {
  const Bars b = random_bars(200, 9, 4);
  const std::vector<HtRecord> rec = ht_core(b.close);
  ASSERT_EQ(rec.size(), b.size());
  for (std::size_t t = 0; t < 4 + 12; ++t) ASSERT_TRUE(rec[t].smooth_period == 0.0 && rec[t].smoothed == 0.0);
  const Series dcp = ht_dcperiod(b.close), i1 = ht_phasor_line(b.close, false), q1 = ht_phasor_line(b.close, true);
  for (std::size_t t = 4 + 32; t < b.size(); ++t) {
    ASSERT_EQ(rec[t].smooth_period, dcp[t]);
    ASSERT_EQ(rec[t].i1, i1[t]);
    ASSERT_EQ(rec[t].q1, q1[t]);
    // The smoothed price is the 4-3-2-1 weighted average of the last four.
    const double* c = &b.close[t];
    ASSERT_NEAR(rec[t].smoothed, (4 * c[0] + 3 * c[-1] + 2 * c[-2] + c[-3]) / 10.0, 1e-9);
  }
}

}  // namespace
}  // namespace kadmo::compute
