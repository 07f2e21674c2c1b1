// Momentum, volume, window positions and signal tools reached through
// directives: which indicator runs on which inputs with which arguments,
// their failures, and the incremental evaluation of the resumable ones.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "kadmo/compute/indicators/math_ops.hpp"
#include "kadmo/compute/indicators/momentum.hpp"
#include "kadmo/compute/indicators/tools.hpp"
#include "kadmo/compute/indicators/volume.hpp"

#include "family_test_support.hpp"

namespace kadmo::directive {
namespace {

using namespace family_test;
namespace cp = compute;

struct Bars {
  V o, h, l, c, v;
};

Bars walk(std::size_t n, std::uint64_t seed, std::size_t lead = 0) {
  std::mt19937_64 rng(seed);
  std::normal_distribution<double> step(0.0, 1.0);
  std::uniform_real_distribution<double> wick(0.0, 1.5), vol(100.0, 1000.0);
  Bars b;
  double x = 100.0;
  for (std::size_t i = 0; i < n; ++i) {
    b.o.push_back(x);
    // Rounded closes tie now and then, so equal extremes and flat bars occur.
    x = std::round((x + step(rng)) * 4.0) / 4.0;
    b.c.push_back(x);
    b.h.push_back(std::max(b.o.back(), x) + wick(rng));
    b.l.push_back(std::min(b.o.back(), x) - wick(rng));
    b.v.push_back(std::round(vol(rng)));
  }
  blank_lead(lead, {&b.o, &b.h, &b.l, &b.c});
  return b;
}

DataFrame frame(const Bars& b) {
  return frame_of({"open", "high", "low", "close", "volume"}, {&b.o, &b.h, &b.l, &b.c, &b.v});
}

// Each directive runs its indicator on the right inputs with its arguments in
// order (defaults included); a swapped input or argument changes the values.
TEST(Families2, DirectivesReachTheirIndicators) {
  const Bars b = walk(120, 3);
  const DataFrame f = frame(b);
  const auto &o = b.o, &h = b.h, &l = b.l, &c = b.c, &v = b.v;
  const std::pair<const char*, V> cases[] = {
      {"aroon.up", cp::aroon_up(h, 14)},
      {"aroon.u:5", cp::aroon_up(h, 5)},
      {"aroon.down:6", cp::aroon_down(l, 6)},
      {"aroon.d@close,open", cp::aroon_down(o, 14)},
      {"aroonosc:9", cp::aroonosc(h, l, 9)},
      {"bop", cp::bop(o, h, l, c)},
      {"cci", cp::cci(h, l, c, 14)},
      {"cci:5@close,close,close", cp::cci(c, c, c, 5)},
      {"imi:7", cp::imi(o, c, 7)},
      {"mfi", cp::mfi(h, l, c, v, 14)},
      {"mfi:4", cp::mfi(h, l, c, v, 4)},
      {"mom", cp::mom(c, 10)},
      {"mom:3@high", cp::mom(h, 3)},
      {"roc:4", cp::roc(c, 4)},
      {"rocp", cp::rocp(c, 10)},
      {"rocr:2", cp::rocr(c, 2)},
      {"rocr100:5", cp::rocr100(c, 5)},
      {"trix", cp::trix(c, 30)},
      {"trix:5", cp::trix(c, 5)},
      {"willr", cp::willr(h, l, c, 14)},
      {"willr:6", cp::willr(h, l, c, 6)},
      {"ultosc", cp::ultosc(h, l, c, 7, 14, 28)},
      {"ultosc:3,9,5", cp::ultosc(h, l, c, 3, 9, 5)},
      {"obv", cp::obv(c, v)},
      {"ad", cp::ad(h, l, c, v)},
      {"adosc", cp::adosc(h, l, c, v, 3, 10)},
      {"adosc:5,2", cp::adosc(h, l, c, v, 5, 2)},
      {"sum", cp::sum(c, 30)},
      {"sum:4@volume", cp::sum(v, 4)},
      {"maxindex", cp::maxindex(c, 30)},
      {"maxindex:5", cp::maxindex(c, 5)},
      {"minindex:7", cp::minindex(c, 7)},
      {"minmaxindex.max:6", cp::maxindex(c, 6)},
      {"minmaxindex.min", cp::minindex(c, 30)},
      {"change", cp::change(c, 2)},
      {"change:5", cp::change(c, 5)},
  };
  for (const auto& [text, want] : cases) {
    EXPECT_TRUE(same_all(floats(f, text), want)) << text;
    EXPECT_FALSE(std::isnan(want.back())) << text;
  }
  const std::pair<const char*, B> bools[] = {
      {"style:bullish", cp::style(true, c, o)},
      {"style.bullish", cp::style(true, c, o)},
      {"cdl.bullish", cp::style(true, c, o)},
      {"style:bearish", cp::style(false, c, o)},
      {"CDL:bearish", cp::style(false, c, o)},
      {"style:bullish@high,low", cp::style(true, l, h)},
      {"increase", cp::increase(c, 1, 1)},
      {"increase:2,-1", cp::increase(c, 2, -1)},
      {"repeat:2@(close>open)", cp::repeat(cp::style(true, c, o), 2)},
      {"repeat@(close>open)", cp::style(true, c, o)},
  };
  for (const auto& [text, want] : bools) EXPECT_EQ(flags(f, text), want) << text;
  // A float series as the condition of repeat: non-zero (NaN included) is true.
  const V x{0, 1, N, 2, 0};
  auto g = DataFrame::make({"x"}, {Column::f64(x)});
  ASSERT_TRUE(g.has_value());
  EXPECT_EQ(flags(*g, "repeat:2@x"), (B{0, 0, 1, 1, 0}));
}

TEST(Families2, Failures) {
  const DataFrame f = frame(walk(30, 4));
  const std::pair<const char*, const char*> cases[] = {
      {"style", "style should be 'bullish' or 'bearish', got ''"},
      {"style:", "style should be 'bullish' or 'bearish', got ''"},
      {"style:Bullish", "style should be 'bullish' or 'bearish', got 'Bullish'"},
      {"cdl:up", "style should be 'bullish' or 'bearish', got 'up'"},
      {"style:bullish,1", "command \"style\" accepts at most 1 argument(s), got 2"},
      {"style.bullish:1", "command \"style\" accepts at most 0 argument(s), got 1"},
      {"repeat:3", "a boolean series argument is required"},
      {"repeat:3@", "empty column / command name"},
      {"repeat:x@(close>open)", "expected an integer, got 'x'"},
      {"increase:1,1.5", "expected an integer, got '1.5'"},
      {"increase:1,99999999999999999999", "expected an integer, got '99999999999999999999'"},
      {"aroon", "command \"aroon\" requires a sub-command"},
      {"aroon.x", "command \"aroon\" has no sub-command \"x\""},
      {"minmaxindex", "command \"minmaxindex\" requires a sub-command"},
      {"ultosc:1,2,3,4", "command \"ultosc\" accepts at most 3 argument(s), got 4"},
      {"adosc:3,x", "expected an integer, got 'x'"},
      {"obv:1", "command \"obv\" accepts at most 0 argument(s), got 1"},
      {"mom:-1", "expected an integer, got '-1'"},
      {"sum:5@nosuch", "unknown command \"nosuch\""},
  };
  for (const auto& [text, message] : cases) {
    auto r = run(f, text);
    ASSERT_FALSE(r.has_value()) << text;
    EXPECT_EQ(r.error().message, message) << text;
  }
  // A frame without volume: the volume commands name the missing column.
  auto nf = DataFrame::make({"high", "low", "close"}, {Column::f64(V(10, 2.0)), Column::f64(V(10, 1.0)),
                                                        Column::f64(V(10, 1.5))});
  ASSERT_TRUE(nf.has_value());
  for (const char* text : {"obv", "ad", "adosc", "mfi", "bop", "imi", "style:bullish"}) {
    auto r = run(*nf, text);
    ASSERT_FALSE(r.has_value()) << text;
    EXPECT_EQ(r.error().kind, core::ErrorKind::ColumnNotFound) << text;
  }
}

// Zero, huge and overflowing periods: all NaN of the frame's length (all
// false for the bool tools), never a crash or a huge allocation.
TEST(Families2, AbsurdPeriods) {
  const DataFrame f = frame(walk(40, 5));
  const std::string big = "18446744073709551615", half = "9223372036854775808";
  for (const char* name : {"aroon.up", "aroon.down", "aroonosc", "cci", "imi", "mfi", "mom", "roc", "rocp", "rocr",
                           "rocr100", "trix", "willr", "sum", "maxindex", "minindex", "minmaxindex.max", "change"}) {
    for (const std::string& p : {std::string("0"), big, half, std::string("41")}) {
      const std::string text = std::string(name) + ":" + p;
      ASSERT_TRUE(all_nan(floats(f, text), 40)) << text;
    }
  }
  for (const std::string& p : std::vector<std::string>{"0,7,7", "7,7,0", big + ",2,3", "1,2," + half, "40,1,1"}) {
    ASSERT_TRUE(all_nan(floats(f, "ultosc:" + p), 40)) << p;
  }
  for (const std::string& p : std::vector<std::string>{big + ",3", "3," + big, "41,1"}) {
    ASSERT_TRUE(all_nan(floats(f, "adosc:" + p), 40)) << p;
  }
  for (const std::string& t : std::vector<std::string>{"increase:" + big, "increase:" + half + ",-1", "repeat:" + big + "@(close>open)",
                               "repeat:0@(close>open)", "increase:40"}) {
    const B b = flags(f, t);
    EXPECT_EQ(b, B(40, 0)) << t;
  }
}

// ---- incremental evaluation ------------------------------------------------

const char* const kResumable[] = {"trix",        "trix:4",          "obv",         "ad",          "adosc",
                                  "adosc:5,2",   "adosc:1,1",       "maxindex:5",  "minindex",    "maxindex:1",
                                  "minmaxindex.max:7", "minmaxindex.min:3", "obv@high,volume", "trix:3@(high+low)"};

TEST(Families2Resume, EqualsFullEvaluationAtEverySplit) {
  for (std::size_t lead : {0u, 6u}) {
    const DataFrame f = frame(walk(130, 42 + lead, lead));
    for (const char* text : kResumable) {
      std::size_t used = 0;
      for (std::size_t k = 1; k <= 130; ++k) used += check_split(f, text, k, {.declined_before = lead});
      // Past every warm-up (trix at 30: 88 rows after the lead) a state is there.
      EXPECT_GE(used, 130u - 88u - lead) << text << " lead " << lead;
    }
  }
}

TEST(Families2Resume, FirstEvaluationWithState) {
  const DataFrame f = frame(walk(200, 9));
  expect_first_evaluation_with_state(f, kResumable);
}

// A cached position column cut from the front (origin rows gone) and then
// extended keeps counting rows of the uncut data.
TEST(Families2Resume, PositionsAfterACutKeepTheirNumbering) {
  const DataFrame f = frame(walk(150, 12));
  for (const char* text : {"maxindex:5", "minindex:8", "minmaxindex.max", "minmaxindex.min:4"}) {
    const Node node = tree(text);
    const V all = floats(f, text);
    auto st = initial_state(f.slice(0, 100), node);
    ASSERT_TRUE(st.has_value()) << text;
    for (std::size_t cut : {1u, 20u, 60u}) {
      auto res = execute_resume(f.slice(cut, 150), node, *st, 100 - cut, cut);
      ASSERT_TRUE(res.has_value()) << text << " cut " << cut;
      EXPECT_TRUE(same_all(*res->first.f64_values(), V(all.begin() + 100, all.end()))) << text << " cut " << cut;
      // The new state continues in the same numbering.
      auto more = execute_resume(f.slice(cut, 150), node, res->second, 150 - cut, cut);
      ASSERT_TRUE(more.has_value());
      EXPECT_TRUE(more->first.f64_values()->empty());
    }
  }
}

TEST(Families2Resume, FormsWithoutState) {
  const DataFrame f = frame(walk(60, 5));
  for (const char* text : {"mom", "roc:3", "cci", "willr", "aroon.up", "sum:5", "bop", "mfi", "ultosc", "change",
                           "style:bullish", "increase", "trix:0", "trix:21", "maxindex:0", "maxindex:61", "obv > 0",
                           "-ad", "minmaxindex.MAX"}) {
    EXPECT_FALSE(initial_state(f, tree(text)).has_value()) << text;
  }
  for (const char* text : {"trix:20", "maxindex:60", "minindex:60", "OBV", "ad", "adosc:3,100"})
    EXPECT_TRUE(initial_state(f, tree(text)).has_value()) << text;
}

}  // namespace
}  // namespace kadmo::directive
