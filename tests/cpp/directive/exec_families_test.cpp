// Directional movement, bands, statistics and price transforms reached
// through directives: which indicator runs on which inputs with which
// arguments, their failures, and the incremental evaluation of the
// directional commands.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "kadmo/compute/indicators/bands.hpp"
#include "kadmo/compute/indicators/directional.hpp"
#include "kadmo/compute/indicators/statistic.hpp"
#include "kadmo/compute/indicators/transform.hpp"

#include "family_test_support.hpp"

namespace kadmo::directive {
namespace {

using namespace family_test;
namespace cp = compute;

struct Bars {
  V o, h, l, c, spy;
};

Bars walk(std::size_t n, std::uint64_t seed, std::size_t lead = 0) {
  std::mt19937_64 rng(seed);
  std::normal_distribution<double> step(0.0, 1.0);
  std::uniform_real_distribution<double> wick(0.0, 1.5);
  Bars b;
  double x = 100.0, y = 50.0;
  for (std::size_t i = 0; i < n; ++i) {
    b.o.push_back(x);
    x += step(rng);
    y += step(rng);
    b.c.push_back(x);
    b.h.push_back(std::max(b.o.back(), x) + wick(rng));
    b.l.push_back(std::min(b.o.back(), x) - wick(rng));
    b.spy.push_back(y);
  }
  blank_lead(lead, {&b.o, &b.h, &b.l, &b.c});
  return b;
}

DataFrame frame(const Bars& b) {
  return frame_of({"open", "high", "low", "close", "spy"}, {&b.o, &b.h, &b.l, &b.c, &b.spy});
}

// Each directive runs its indicator on the right inputs with its arguments in
// order (defaults included); a swapped input or argument changes the values.
TEST(Families, DirectivesReachTheirIndicators) {
  const Bars b = walk(90, 3);
  const DataFrame f = frame(b);
  const auto &o = b.o, &h = b.h, &l = b.l, &c = b.c, &s = b.spy;
  const std::pair<const char*, V> cases[] = {
      {"plus_dm", cp::plus_dm(h, l, 14)},
      {"minus_dm:5", cp::minus_dm(h, l, 5)},
      {"plus_di:6", cp::plus_di(h, l, c, 6)},
      {"minus_di", cp::minus_di(h, l, c, 14)},
      {"dx:7", cp::dx(h, l, c, 7)},
      {"adx", cp::adx(h, l, c, 14)},
      {"adxr:9", cp::adxr(h, l, c, 9)},
      {"adx:5@spy,low,close", cp::adx(s, l, c, 5)},
      {"boll", cp::accbands_middle(c, 20)},
      {"boll.m:7", cp::accbands_middle(c, 7)},
      {"boll.upper", cp::boll_upper(c, 20, 2.0)},
      {"boll.u:10,1.5", cp::boll_upper(c, 10, 1.5)},
      {"boll.lower:10,2.5", cp::boll_lower(c, 10, 2.5)},
      {"bbw:12", cp::bbw(c, 12)},
      {"accbands", cp::accbands_middle(c, 20)},
      {"accbands.upper:8", cp::accbands_upper(h, l, 8)},
      {"accbands.l", cp::accbands_lower(h, l, 20)},
      {"hv:10", cp::hv(c, 10, 1440, 252)},
      {"hv:10,4h,365", cp::hv(c, 10, 240, 365)},
      {"hv:10,90s", cp::hv(c, 10, 1, 252)},
      {"hv:10,120s", cp::hv(c, 10, 2, 252)},
      {"stddev", cp::stddev(c, 5, 1.0)},
      {"stddev:9,2.5", cp::stddev(c, 9, 2.5)},
      {"var:6", cp::rolling_var(c, 6)},
      {"linearreg", cp::linearreg(c, 14)},
      {"linearreg_slope:9", cp::linearreg_slope(c, 9)},
      {"linearreg_angle:9", cp::linearreg_angle(c, 9)},
      {"linearreg_intercept:9", cp::linearreg_intercept(c, 9)},
      {"tsf:9", cp::tsf(c, 9)},
      {"beta@,spy", cp::beta(c, s, 5)},
      {"beta:8@high,spy", cp::beta(h, s, 8)},
      {"correl@,spy", cp::correl(c, s, 30)},
      {"correl:10@spy,high", cp::correl(s, h, 10)},
      {"avgprice", cp::avgprice(o, h, l, c)},
      {"medprice", cp::medprice(h, l)},
      {"typprice", cp::typprice(h, l, c)},
      {"wclprice", cp::wclprice(h, l, c)},
  };
  for (const auto& [text, want] : cases) {
    EXPECT_TRUE(same_all(floats(f, text), want)) << text;
    // and the indicator is not all NaN here
    EXPECT_FALSE(std::isnan(want.back())) << text;
  }
}

TEST(Families, Failures) {
  const DataFrame f = frame(walk(30, 4));
  const std::pair<const char*, const char*> cases[] = {
      {"beta:5", "series argument #1 is required"},
      {"correl", "series argument #1 is required"},
      {"beta:5@,nosuch", "unknown command \"nosuch\""},
      {"hv", "missing required argument #0"},
      {"hv:20,1w", "invalid time frame unit in '1w'"},
      {"hv:20,1D", "invalid time frame unit in '1D'"},
      {"hv:20,x", "invalid time frame 'x'"},
      {"hv:20,1d,0", "periods_per_year must be positive, got 0"},
      {"hv:20,1d,-252", "periods_per_year must be positive, got -252"},
      {"hv:20,1d,2.5", "expected an integer, got '2.5'"},
      {"boll.upper:20,x", "expected a number, got 'x'"},
      {"boll:20,2", "command \"boll\" accepts at most 1 argument(s), got 2"},
      {"boll.x", "command \"boll\" has no sub-command \"x\""},
      {"stddev:5,1,1", "command \"stddev\" accepts at most 2 argument(s), got 3"},
      {"adx:-1", "expected an integer, got '-1'"},
      {"avgprice:1", "command \"avgprice\" accepts at most 0 argument(s), got 1"},
  };
  for (const auto& [text, message] : cases) {
    auto r = run(f, text);
    ASSERT_FALSE(r.has_value()) << text;
    EXPECT_EQ(r.error().message, message) << text;
  }
  // A missing default column.
  auto nf = DataFrame::make({"close"}, {Column::f64(V(10, 1.0))});
  ASSERT_TRUE(nf.has_value());
  auto r = run(*nf, "adx");
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error().kind, core::ErrorKind::ColumnNotFound);
}

// Zero, huge and overflowing periods: all NaN of the frame's length.
TEST(Families, AbsurdPeriods) {
  const DataFrame f = frame(walk(40, 5));
  const std::string big = "18446744073709551615", half = "9223372036854775808";
  for (const char* name : {"plus_dm", "minus_dm", "plus_di", "minus_di", "dx", "adx", "adxr", "boll", "boll.upper",
                           "boll.lower", "bbw", "accbands", "accbands.upper", "accbands.lower", "hv", "stddev",
                           "var", "linearreg", "linearreg_slope", "linearreg_angle", "linearreg_intercept", "tsf",
                           "beta", "correl"}) {
    const std::string series = std::string(name) == "beta" || std::string(name) == "correl" ? "@,spy" : "";
    for (const std::string& p : {std::string("0"), big, half, std::string("41")}) {
      const std::string text = std::string(name) + ":" + p + series;
      ASSERT_TRUE(all_nan(floats(f, text), 40)) << text;
    }
  }
}

// ---- incremental evaluation ------------------------------------------------

const char* const kResumable[] = {"dx",        "dx:5",       "adx",        "adx:3",          "adxr",
                                  "adxr:4",    "adxr:1",     "plus_di",    "minus_di:6",     "plus_dm",
                                  "minus_dm:2", "plus_dm:1", "dx:5@spy,low,close", "adx:4@(high+1),low"};

TEST(FamiliesResume, EqualsFullEvaluationAtEverySplit) {
  for (std::size_t lead : {0u, 6u}) {
    const DataFrame f = frame(walk(130, 42 + lead, lead));
    for (const char* text : kResumable) {
      std::size_t used = 0;
      for (std::size_t k = 1; k <= 130; ++k) used += check_split(f, text, k);
      // Past every warm-up (adxr at 14: 40 rows after the lead) a state is there.
      EXPECT_GE(used, 130u - 41u - lead) << text << " lead " << lead;
    }
  }
}

TEST(FamiliesResume, FirstEvaluationWithState) {
  const DataFrame f = frame(walk(200, 9));
  expect_first_evaluation_with_state(f, kResumable);
}

TEST(FamiliesResume, FormsWithoutState) {
  const DataFrame f = frame(walk(60, 5));
  // Window statistics and transforms keep no state; periods that do not fit
  // the data (or 0) have none either.
  for (const char* text : {"boll", "boll.upper", "bbw", "hv:5", "stddev", "var", "linearreg", "tsf", "beta@,spy",
                           "correl@,spy", "avgprice", "typprice", "accbands.upper", "adx:0", "adx:61", "adx:31",
                           "adxr:21", "dx:60", "plus_dm:61", "adx > 20", "-dx"}) {
    EXPECT_FALSE(initial_state(f, tree(text)).has_value()) << text;
  }
  for (const char* text : {"adx:30", "adxr:20", "dx:59", "plus_dm:60", "ADX"})
    EXPECT_TRUE(initial_state(f, tree(text)).has_value()) << text;
}

}  // namespace
}  // namespace kadmo::directive
