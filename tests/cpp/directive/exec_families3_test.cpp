// The Hilbert-transform family, MAMA and the candlestick patterns reached
// through directives: which function runs on which inputs with which
// arguments, their failures, warm-ups that match the reported lookback, the
// window rule of the patterns and the incremental evaluation of the Hilbert
// family.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "kadmo/compute/indicators/candles/mod.hpp"
#include "kadmo/compute/indicators/hilbert.hpp"
#include "kadmo/compute/indicators/stochastic.hpp"
#include "kadmo/compute/kernels.hpp"
#include "kadmo/directive/lookback.hpp"

#include "family_test_support.hpp"

namespace kadmo::directive {
namespace {

using namespace family_test;
namespace cp = compute;

struct Bars {
  V o, h, l, c;
};

// Bars from a palette of shapes (doji, short and long bodies, shaven and
// long shadows, gaps) on a quarter-point grid, so that the patterns do fire
// and ties with their thresholds happen.
Bars candles(std::size_t n, std::uint64_t seed, std::size_t lead = 0) {
  std::mt19937_64 rng(seed);
  std::uniform_int_distribution<int> pick(0, 5);
  std::uniform_int_distribution<int> quarters(0, 12);
  auto q = [&] { return 0.25 * quarters(rng); };
  Bars b;
  double x = 100.0;
  for (std::size_t i = 0; i < n; ++i) {
    const int gap = pick(rng);
    const double open = x + (gap == 0 ? 2.0 : gap == 1 ? -2.0 : 0.0) + 0.25 * (pick(rng) - 2);
    const int shape = pick(rng);
    const double body = shape == 0 ? 0.0 : shape < 3 ? 0.25 * (1 + pick(rng) % 2) : 1.0 + q();
    const double close = pick(rng) % 2 ? open + body : open - body;
    const double top = std::max(open, close), bottom = std::min(open, close);
    b.o.push_back(open);
    b.c.push_back(close);
    b.h.push_back(top + (pick(rng) < 2 ? 0.0 : q()));
    b.l.push_back(bottom - (pick(rng) < 2 ? 0.0 : q()));
    x = close;
  }
  blank_lead(lead, {&b.o, &b.h, &b.l, &b.c});
  return b;
}

DataFrame frame(const Bars& b) {
  return frame_of({"open", "high", "low", "close"}, {&b.o, &b.h, &b.l, &b.c});
}

V pattern(std::string_view name, const V& o, const V& h, const V& l, const V& c, double penetration = 0.0) {
  const cp::CandlePattern* p = cp::candle_pattern(name);
  EXPECT_NE(p, nullptr) << name;
  return p ? p->fn(o, h, l, c, penetration) : V{};
}

// Each directive runs its function on the right inputs, line and arguments
// (defaults included); a swapped input, line or argument changes the values.
TEST(Families3, DirectivesReachTheirFunctions) {
  const Bars b = candles(400, 3);
  const DataFrame f = frame(b);
  const auto &o = b.o, &h = b.h, &l = b.l, &c = b.c;
  const auto [sine, lead] = cp::ht_sine(c);
  const auto [sine_h, lead_h] = cp::ht_sine(h);
  const std::pair<const char*, V> cases[] = {
      {"mama", cp::mama_line(c, false, 0.5, 0.05)},
      {"mama.mama", cp::mama_line(c, false, 0.5, 0.05)},
      {"mama.fama", cp::mama_line(c, true, 0.5, 0.05)},
      {"mama:0.3,0.02", cp::mama_line(c, false, 0.3, 0.02)},
      {"mama.fama:,0.1", cp::mama_line(c, true, 0.5, 0.1)},
      {"mama:0.25@high", cp::mama_line(h, false, 0.25, 0.05)},
      {"ht_dcperiod", cp::ht_dcperiod(c)},
      {"ht_dcperiod@low", cp::ht_dcperiod(l)},
      {"ht_dcphase", cp::ht_dcphase(c)},
      {"ht_phasor", cp::ht_phasor_line(c, false)},
      {"ht_phasor.inphase", cp::ht_phasor_line(c, false)},
      {"ht_phasor.i", cp::ht_phasor_line(c, false)},
      {"ht_phasor.quadrature", cp::ht_phasor_line(c, true)},
      {"ht_phasor.quad", cp::ht_phasor_line(c, true)},
      {"ht_phasor.q@open", cp::ht_phasor_line(o, true)},
      {"ht_sine", sine},
      {"ht_sine.sine", sine},
      {"ht_sine.leadsine", lead},
      {"ht_sine.lead", lead},
      {"ht_sine.lead@high", lead_h},
      {"ht_trendline", cp::ht_trendline(c)},
      {"HT_TRENDMODE", cp::ht_trendmode(c)},
      // ma_type 7 is the MAMA line with the fixed limits; its period is unused.
      {"ma:10,7", cp::mama_line(c, false, 0.5, 0.05)},
      {"ma:0,7", cp::mama_line(c, false, 0.5, 0.05)},
      {"ma:18446744073709551615,7", cp::mama_line(c, false, 0.5, 0.05)},
      {"stoch.k:5,3,7", cp::mama_line(cp::stoch_fastk(h, l, c, 5), false, 0.5, 0.05)},
      {"stochf.d:5,3,7", cp::mama_line(cp::stoch_fastk(h, l, c, 5), false, 0.5, 0.05)},
      {"mavp:2,30,7@,low", cp::mama_line(c, false, 0.5, 0.05)},
      // Patterns: open, high, low, close; penetration default or as written.
      {"style.doji", pattern("doji", o, h, l, c)},
      {"cdl.doji", pattern("doji", o, h, l, c)},
      {"CDL.engulfing", pattern("engulfing", o, h, l, c)},
      {"style.hammer", pattern("hammer", o, h, l, c)},
      {"style.3outside", pattern("3outside", o, h, l, c)},
      {"style.hikkake", pattern("hikkake", o, h, l, c)},
      {"style.doji@close,high,low,open", pattern("doji", c, h, l, o)},
      {"style.hammer@,,open", pattern("hammer", o, h, o, c)},
      {"style.morningstar", pattern("morningstar", o, h, l, c, 0.3)},
      {"style.morningstar:0", pattern("morningstar", o, h, l, c, 0.0)},
      {"cdl.morningstar:0.5", pattern("morningstar", o, h, l, c, 0.5)},
      {"style.eveningstar", pattern("eveningstar", o, h, l, c, 0.3)},
      {"style.darkcloudcover", pattern("darkcloudcover", o, h, l, c, 0.5)},
      {"style.darkcloudcover:0.1", pattern("darkcloudcover", o, h, l, c, 0.1)},
      {"style.mathold", pattern("mathold", o, h, l, c, 0.5)},
      {"style.abandonedbaby:2", pattern("abandonedbaby", o, h, l, c, 2.0)},
  };
  for (const auto& [text, want] : cases) {
    EXPECT_TRUE(same_all(floats(f, text), want)) << text;
    EXPECT_FALSE(std::isnan(want.back())) << text;
  }
  // The cases above are not vacuous: the lines and limits differ.
  EXPECT_FALSE(same_all(floats(f, "mama"), floats(f, "mama.fama")));
  EXPECT_FALSE(same_all(floats(f, "mama"), floats(f, "mama:0.3")));
  EXPECT_FALSE(same_all(floats(f, "mama:0.5,0.05"), floats(f, "mama:0.5,0.2")));
  EXPECT_FALSE(same_all(floats(f, "ht_sine"), floats(f, "ht_sine.lead")));
  EXPECT_FALSE(same_all(floats(f, "ht_phasor"), floats(f, "ht_phasor.q")));
  EXPECT_FALSE(same_all(floats(f, "style.morningstar"), floats(f, "style.morningstar:0")));
  EXPECT_FALSE(same_all(floats(f, "style.darkcloudcover"), floats(f, "style.darkcloudcover:0.1")));
}

TEST(Families3, Failures) {
  const DataFrame f = frame(candles(80, 4));
  const std::pair<const char*, const char*> cases[] = {
      {"style.hammer:0.5", "command \"style\" accepts at most 0 argument(s), got 1"},
      {"cdl.doji:1", "command \"style\" accepts at most 0 argument(s), got 1"},
      {"style.morningstar:0.3,1", "command \"style\" accepts at most 1 argument(s), got 2"},
      {"style.morningstar:x", "expected a number, got 'x'"},
      {"style.morningstar:0.3x", "expected a number, got '0.3x'"},
      {"style.Hammer", "command \"style\" has no sub-command \"Hammer\""},
      {"cdl.nosuch", "command \"style\" has no sub-command \"nosuch\""},
      // A penetration that is no fraction of a body: refused, not read as
      // "no pattern anywhere".
      {"style.morningstar:-0.1", "penetration must be a finite number >= 0, got '-0.1'"},
      {"style.mathold:nan", "penetration must be a finite number >= 0, got 'nan'"},
      {"style.abandonedbaby:inf", "penetration must be a finite number >= 0, got 'inf'"},
      {"mama.x", "command \"mama\" has no sub-command \"x\""},
      {"mama.Fama", "command \"mama\" has no sub-command \"Fama\""},
      {"mama:0.5,0.05,1", "command \"mama\" accepts at most 2 argument(s), got 3"},
      {"mama:x", "expected a number, got 'x'"},
      {"mama:,0.05x", "expected a number, got '0.05x'"},
      // Limits are smoothing factors: above 1 overshoots, 0 freezes the line.
      {"mama:1.5", "mama fast_limit must be greater than 0 and at most 1, got '1.5'"},
      {"mama:0", "mama fast_limit must be greater than 0 and at most 1, got '0'"},
      {"mama:nan", "mama fast_limit must be greater than 0 and at most 1, got 'nan'"},
      {"mama.fama:0.5,-0.05", "mama slow_limit must be greater than 0 and at most 1, got '-0.05'"},
      {"mama:,inf", "mama slow_limit must be greater than 0 and at most 1, got 'inf'"},
      {"ht_dcperiod:1", "command \"ht_dcperiod\" accepts at most 0 argument(s), got 1"},
      {"ht_trendmode.x", "command \"ht_trendmode\" has no sub-command \"x\""},
      {"ht_sine.Lead", "command \"ht_sine\" has no sub-command \"Lead\""},
      {"ht_phasor.quadrature:,", "command \"ht_phasor\" accepts at most 0 argument(s), got 2"},
      {"ht_sine@(nosuch)", "unknown command \"nosuch\""},
      {"ma:10,9", "unknown ma type 9"},
  };
  for (const auto& [text, message] : cases) {
    auto r = run(f, text);
    ASSERT_FALSE(r.has_value()) << text;
    EXPECT_EQ(r.error().message, message) << text;
    EXPECT_EQ(r.error().kind, core::ErrorKind::Value) << text;
  }
  // A frame of closes only: the patterns name their first missing input.
  auto only = DataFrame::make({"close"}, {Column::f64(V(80, 1.0))});
  ASSERT_TRUE(only.has_value());
  for (const char* text : {"style.doji", "cdl.morningstar:0.2"}) {
    auto r = run(*only, text);
    ASSERT_FALSE(r.has_value()) << text;
    EXPECT_EQ(r.error().kind, core::ErrorKind::ColumnNotFound) << text;
    EXPECT_EQ(r.error().message.find("open") != std::string::npos, true) << r.error().message;
  }
  EXPECT_TRUE(run(*only, "ht_trendmode").has_value());
}

// The warm-up of every new directive is exactly its reported lookback, on a
// long frame and after leading missing values; frames too short for it are
// all NaN (and never fail).
TEST(Families3, WarmUpIsTheReportedLookback) {
  std::vector<std::string> texts = {"mama",           "mama.fama",         "ht_dcperiod",  "ht_dcphase",
                                    "ht_phasor",      "ht_phasor.q",       "ht_sine",      "ht_sine.lead",
                                    "ht_trendline",   "ht_trendmode",      "ma:10,7",      "style.morningstar:0.1"};
  for (const CandlePatternInfo& p : candle_patterns()) texts.push_back("cdl." + std::string(p.name));
  for (std::size_t lead : {0u, 9u}) {
    const DataFrame f = frame(candles(300, 5, lead));
    for (const std::string& text : texts) {
      const V v = floats(f, text);
      const std::uint64_t lb = lookback(tree(text));
      ASSERT_EQ(v.size(), 300u) << text;
      std::size_t nan = 0;
      while (nan < v.size() && std::isnan(v[nan])) ++nan;
      EXPECT_EQ(nan, lb + lead) << text;
      for (std::size_t i = nan; i < v.size(); ++i) ASSERT_FALSE(std::isnan(v[i])) << text << " row " << i;
    }
  }
  for (std::size_t n : {0u, 1u, 12u, 13u, 32u, 33u, 63u}) {
    const DataFrame f = frame(candles(n, 6));
    for (const std::string& text : texts) {
      const V v = floats(f, text);
      ASSERT_EQ(v.size(), n) << text;
      const std::uint64_t lb = lookback(tree(text));
      for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(std::isnan(v[i]), i < lb) << text << " row " << i << " of " << n;
    }
  }
}

// Patterns are marked as windowed: each value must come out the same from
// the last lookback + 1 rows alone. The Hilbert family and MAMA are not.
TEST(Families3, PatternsDependOnTheirLookbackOnly) {
  const Bars b = candles(260, 7);
  const DataFrame f = frame(b);
  std::size_t fired = 0;
  for (const CandlePatternInfo& p : candle_patterns()) {
    const std::string text = "style." + std::string(p.name);
    EXPECT_TRUE(finite_window("style", p.name, {})) << text;
    EXPECT_TRUE(finite_window("cdl", p.name, {})) << text;
    const V all = floats(f, text);
    const std::size_t lb = static_cast<std::size_t>(p.lookback);
    for (std::size_t i = lb; i < all.size(); ++i) {
      fired += all[i] != 0.0;
      const V part = floats(f.slice(i - lb, i + 1), text);
      ASSERT_FALSE(part.empty());
      ASSERT_TRUE(same(part.back(), all[i])) << text << " row " << i << ": " << part.back() << " vs " << all[i];
    }
  }
  EXPECT_GT(fired, 200u);  // the bars make the patterns fire, so the check bites
  for (const char* name : {"mama", "ht_dcperiod", "ht_dcphase", "ht_phasor", "ht_sine", "ht_trendline", "ht_trendmode"})
    EXPECT_FALSE(finite_window(name, std::nullopt, {})) << name;
  const std::optional<std::string> ma7[] = {std::string("10"), std::string("7")};
  EXPECT_FALSE(finite_window("ma", std::nullopt, ma7));
}

// ---- incremental evaluation ------------------------------------------------

const char* const kResumable[] = {"mama",          "mama.fama",        "mama:0.3,0.02", "ht_dcperiod",
                                  "ht_dcphase",    "ht_phasor",        "ht_phasor.quadrature",
                                  "ht_sine",       "ht_sine.leadsine", "ht_trendline",  "ht_trendmode",
                                  "ht_trendline@(high+low)", "mama.fama@open"};

TEST(Families3Resume, EqualsFullEvaluationAtEverySplit) {
  for (std::size_t lead : {0u, 7u}) {
    const DataFrame f = frame(candles(180, 42 + lead, lead));
    for (const char* text : kResumable) {
      std::size_t used = 0;
      for (std::size_t k = 1; k <= 180; ++k) {
        const bool u = check_split(f, text, k, {.must_resume = false});
        used += u;
        // Once the core has its 13 rows (the trend line its 50 inputs), a
        // state is there and resumes.
        if (k >= 50 + lead) {
          EXPECT_TRUE(u) << text << " lead " << lead << " split at " << k;
        }
      }
      EXPECT_GE(used, 131u - lead) << text;
    }
  }
}

TEST(Families3Resume, FirstEvaluationWithState) {
  const DataFrame f = frame(candles(250, 9));
  expect_first_evaluation_with_state(f, kResumable);
}

TEST(Families3Resume, FormsWithoutState) {
  const Bars b = candles(120, 5);
  const DataFrame f = frame(b);
  // Aliases keep no state (their columns refresh by re-evaluation), nor do
  // patterns, ma type 7, operators, bad limits, or a gap inside the prices.
  for (const char* text : {"mama.mama", "ht_sine.lead", "ht_sine.sine", "ht_phasor.q", "ht_phasor.inphase",
                           "style.hammer", "cdl.engulfing", "style.morningstar:0.5", "ma:10,7", "mama > 0",
                           "-ht_dcperiod", "mama:2", "mama:nan", "ht_dcperiod@nosuch"}) {
    EXPECT_FALSE(initial_state(f, tree(text)).has_value()) << text;
  }
  V holed = b.c;
  holed[60] = N;
  auto g = DataFrame::make({"close"}, {Column::f64(holed)});
  ASSERT_TRUE(g.has_value());
  EXPECT_FALSE(initial_state(*g, tree("ht_dcperiod")).has_value());
  // Too few rows for the core: no state yet.
  EXPECT_FALSE(initial_state(f.slice(0, 12), tree("mama")).has_value());
  EXPECT_TRUE(initial_state(f.slice(0, 13), tree("mama")).has_value());
}

}  // namespace
}  // namespace kadmo::directive
