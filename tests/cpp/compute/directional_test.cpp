// Directional movement: a hand-worked fixture, the edge cases of the family,
// the resume property at every split and the warm-up length.

#include <functional>
#include <string>

#include "kadmo/compute/indicators/directional.hpp"
#include "test_support.hpp"

namespace kadmo::compute {
namespace {

using namespace testing;
using Sp = std::span<const double>;

// Five bars worked by hand with n = 2 (weight 1 - 1/2 = 0.5):
//   row  +DM1  -DM1  TR1   +DM sum  -DM sum  TR sum
//   1    1     0     1.5   1        0        1.5      (seed)
//   2    0     0.5   1.5   0.5      0.5      2.25
//   3    1.5   0     2     1.75     0.25     3.125
//   4    0     0     1     0.875    0.125    2.5625
const std::vector<double> kH{10, 11, 10.5, 12, 11}, kL{9, 9.5, 9, 10, 10.5}, kC{9.5, 10.5, 10, 11.5, 10.8};

TEST(Directional, HandWorkedBars) {
  const Sp h(kH), l(kL), c(kC);
  struct Case {
    const char* name;
    Series got;
    std::vector<double> want;
  };
  const Case cases[] = {
      {"plus_dm", plus_dm(h, l, 2), {NaN, 1, 0.5, 1.75, 0.875}},
      {"minus_dm", minus_dm(h, l, 2), {NaN, 0, 0.5, 0.25, 0.125}},
      {"plus_di", plus_di(h, l, c, 2), {NaN, NaN, 50.0 / 2.25, 56, 87.5 / 2.5625}},
      {"minus_di", minus_di(h, l, c, 2), {NaN, NaN, 50.0 / 2.25, 8, 12.5 / 2.5625}},
      // |-DI - +DI| / (+DI + -DI) = |M - P| / (M + P)
      {"dx", dx(h, l, c, 2), {NaN, NaN, 0, 75, 75}},
      // seed (0 + 75) / 2, then 0.5 * 37.5 + 0.5 * 75
      {"adx", adx(h, l, c, 2), {NaN, NaN, NaN, 37.5, 56.25}},
      {"adxr", adxr(h, l, c, 2), {NaN, NaN, NaN, NaN, (56.25 + 37.5) * 0.5}},
      // n = 1: seed 0 at row 0, then the one-row values themselves.
      {"plus_dm n=1", plus_dm(h, l, 1), {0, 1, 0, 1.5, 0}},
      {"minus_dm n=1", minus_dm(h, l, 1), {0, 0, 0.5, 0, 0}},
      {"plus_di n=1", plus_di(h, l, c, 1), {NaN, 100.0 / 1.5, 0, 75, 0}},
  };
  for (const auto& cs : cases) {
    SCOPED_TRACE(cs.name);
    EXPECT_TRUE(near_all(cs.got, cs.want, 1e-13));
  }
  // di from the sums: the DI lines are that step over the smoothed sums.
  const Series pd = plus_dm(h, l, 2);
  const std::vector<double> tr_sum{NaN, 1.5, 2.25, 3.125, 2.5625};
  EXPECT_TRUE(bitwise_equal(di(pd, tr_sum, 2), plus_di(h, l, c, 2)));
}

TEST(Directional, EdgeCases) {
  // Flat prices: TR sums are 0, so DI and DX are 0, not NaN.
  const std::vector<double> flat(12, 5.0);
  const Sp f(flat);
  for (const Series& s : {plus_di(f, f, f, 3), minus_di(f, f, f, 3), dx(f, f, f, 3), adx(f, f, f, 3)}) {
    ASSERT_EQ(s.size(), 12u);
    for (std::size_t i = 6; i < s.size(); ++i) EXPECT_EQ(s[i], 0.0) << i;
  }
  // Unchanged bars and an outside bar with equal up and down moves: no movement.
  const std::vector<double> oh{10, 10, 11}, ol{9, 9, 8};
  EXPECT_TRUE(bitwise_equal(plus_dm(oh, ol, 1), std::vector<double>{0, 0, 0}));
  EXPECT_TRUE(bitwise_equal(minus_dm(oh, ol, 1), std::vector<double>{0, 0, 0}));
  // A missing high or low is no movement.
  const std::vector<double> mh{10, NaN, 12}, ml{9, 8, 7};
  EXPECT_TRUE(bitwise_equal(plus_dm(mh, ml, 1), std::vector<double>{0, 0, 0}));

  const Sp h(kH), l(kL), c(kC);
  const std::vector<double> all_nan(5, NaN);
  struct Case {
    const char* name;
    Series got;
  };
  const Case nan_cases[] = {
      {"plus_dm n=0", plus_dm(h, l, 0)},     {"plus_dm n>len", plus_dm(h, l, 6)},
      {"plus_di n=len", plus_di(h, l, c, 5)}, {"dx n=0", dx(h, l, c, 0)},
      {"dx n=len", dx(h, l, c, 5)},           {"adx 2n-1=len", adx(h, l, c, 3)},
      {"adxr 3n-2=len", adxr(h, l, c, 3)},    {"adxr huge n", adxr(h, l, c, std::size_t{1} << 62)},
      {"adx huge n", adx(h, l, c, ~std::size_t{0})},
  };
  for (const auto& cs : nan_cases) {
    SCOPED_TRACE(cs.name);
    EXPECT_TRUE(bitwise_equal(cs.got, all_nan));
  }
  // The DM lines have their first value at row n-1, so n = len gives one:
  // the plain sum of rows 1..4. Its final state is that sum.
  EXPECT_TRUE(bitwise_equal(plus_dm(h, l, 5), std::vector<double>{NaN, NaN, NaN, NaN, 2.5}));
  EXPECT_TRUE(bitwise_equal(*minus_dm_final_state(h, l, 5), State{0.5}));
  EXPECT_TRUE(plus_dm(Sp{}, Sp{}, 3).empty());
  EXPECT_TRUE(adxr(Sp{}, Sp{}, Sp{}, 3).empty());
  // No state where the batch has no value at the last row.
  EXPECT_FALSE(dx_final_state(h, l, c, 5).has_value());
  EXPECT_FALSE(adx_final_state(h, l, c, 3).has_value());
  EXPECT_FALSE(adxr_final_state(h, l, c, 3).has_value());
  EXPECT_FALSE(plus_dm_final_state(h, l, 0).has_value());
  EXPECT_FALSE(dm_tr_sums_final(h, l, c, 5).has_value());
  auto sums = dm_tr_sums_final(h, l, c, 2);
  ASSERT_TRUE(sums.has_value());
  EXPECT_EQ((*sums)[0], 0.875);
  EXPECT_EQ((*sums)[1], 0.125);
  EXPECT_EQ((*sums)[2], 2.5625);
}

// Leading missing bars are skipped: the values equal those of the bars that
// follow them, shifted.
TEST(Directional, LeadingMissingBarsAreSkipped) {
  const Bars full = random_bars(80, 21, 6);
  std::vector<double> h(full.high.begin() + 6, full.high.end()), l(full.low.begin() + 6, full.low.end()),
      c(full.close.begin() + 6, full.close.end());
  using Fn = std::function<Series(Sp, Sp, Sp)>;
  const std::pair<const char*, Fn> fns[] = {
      {"plus_dm", [](Sp a, Sp b, Sp) { return plus_dm(a, b, 5); }},
      {"minus_di", [](Sp a, Sp b, Sp x) { return minus_di(a, b, x, 5); }},
      {"dx", [](Sp a, Sp b, Sp x) { return dx(a, b, x, 5); }},
      {"adx", [](Sp a, Sp b, Sp x) { return adx(a, b, x, 5); }},
      {"adxr", [](Sp a, Sp b, Sp x) { return adxr(a, b, x, 5); }},
  };
  for (const auto& [name, fn] : fns) {
    SCOPED_TRACE(name);
    const Series got = fn(full.high, full.low, full.close);
    const Series want = fn(h, l, c);
    for (std::size_t i = 0; i < 6; ++i) EXPECT_TRUE(std::isnan(got[i]));
    EXPECT_TRUE(bitwise_equal(Sp(got).subspan(6), want));
    // and the walk is not all NaN
    EXPECT_FALSE(std::isnan(got.back()));
  }
}

// ---- resume ----------------------------------------------------------------

struct Resumable {
  std::string name;
  std::function<Series(Sp, Sp, Sp)> batch;
  std::function<std::optional<State>(Sp, Sp, Sp)> final_state;
  std::function<Resumed(Sp, Sp, Sp, std::size_t, const State&)> resume;
};

std::vector<Resumable> resumables(std::size_t n) {
  std::vector<Resumable> r;
  r.push_back({"plus_dm", [n](Sp h, Sp l, Sp) { return plus_dm(h, l, n); },
               [n](Sp h, Sp l, Sp) { return plus_dm_final_state(h, l, n); },
               [n](Sp h, Sp l, Sp, std::size_t s, const State& st) { return plus_dm_resume(h, l, n, s, st); }});
  r.push_back({"minus_dm", [n](Sp h, Sp l, Sp) { return minus_dm(h, l, n); },
               [n](Sp h, Sp l, Sp) { return minus_dm_final_state(h, l, n); },
               [n](Sp h, Sp l, Sp, std::size_t s, const State& st) { return minus_dm_resume(h, l, n, s, st); }});
#define HLC(fn)                                                                                       \
  r.push_back({#fn, [n](Sp h, Sp l, Sp c) { return fn(h, l, c, n); },                                 \
               [n](Sp h, Sp l, Sp c) { return fn##_final_state(h, l, c, n); },                        \
               [n](Sp h, Sp l, Sp c, std::size_t s, const State& st) { return fn##_resume(h, l, c, n, s, st); }});
  HLC(plus_di)
  HLC(minus_di)
  HLC(dx)
  HLC(adx)
  HLC(adxr)
#undef HLC
  return r;
}

Sp pre(const std::vector<double>& v, std::size_t k) { return Sp(v).first(k); }

void check_resume(const Bars& d, std::size_t n) {
  const std::size_t len = d.size();
  for (const auto& ind : resumables(n)) {
    SCOPED_TRACE(ind.name + " n=" + std::to_string(n));
    const Series full = ind.batch(d.high, d.low, d.close);
    const auto end_state = ind.final_state(d.high, d.low, d.close);
    ASSERT_TRUE(end_state.has_value());
    std::size_t resumed = 0;
    for (std::size_t k = 0; k <= len; ++k) {
      SCOPED_TRACE("split " + std::to_string(k));
      const Sp h = pre(d.high, k), l = pre(d.low, k), c = pre(d.close, k);
      const auto st = ind.final_state(h, l, c);
      // A state exists exactly where the batch over the prefix has a last value.
      const Series head = ind.batch(h, l, c);
      ASSERT_EQ(st.has_value(), k > 0 && !std::isnan(head.back()));
      if (!st) continue;
      EXPECT_FALSE(ind.resume(d.high, d.low, d.close, 0, *st).has_value());
      const auto same = ind.resume(h, l, c, k, *st);
      ASSERT_TRUE(same.has_value());
      EXPECT_TRUE(same->first.empty());
      EXPECT_TRUE(bitwise_equal(same->second, *st));
      const auto r = ind.resume(d.high, d.low, d.close, k, *st);
      ASSERT_TRUE(r.has_value());
      ++resumed;
      ASSERT_TRUE(bitwise_equal(r->first, Sp(full).subspan(k)));
      ASSERT_TRUE(bitwise_equal(r->second, *end_state));
    }
    EXPECT_GT(resumed, len / 2);
  }
}

TEST(DirectionalResume, TailEqualsBatchAtEverySplit) {
  for (std::size_t n : {1u, 2u, 5u, 14u}) {
    check_resume(random_bars(120, 5 + n), n);
    check_resume(random_bars(120, 9 + n, 7), n);  // leading missing bars
  }
}

TEST(DirectionalResume, RefusesShortStates) {
  const Bars d = random_bars(60, 3);
  auto st = adxr_final_state(d.high, d.low, d.close, 5);
  ASSERT_TRUE(st.has_value());
  ASSERT_EQ(st->size(), 3u + 5u);
  // The ADX window must hold n values.
  const State short_state(st->begin(), st->end() - 1);
  EXPECT_FALSE(adxr_resume(d.high, d.low, d.close, 5, 50, short_state).has_value());
  EXPECT_FALSE(adx_resume(d.high, d.low, d.close, 5, 50, State{1.0, 2.0, 3.0}).has_value());
  EXPECT_FALSE(dx_resume(d.high, d.low, d.close, 5, 61, State{1.0, 2.0, 3.0}).has_value());
  EXPECT_FALSE(plus_dm_resume(d.high, d.low, 5, 10, State{}).has_value());
}

TEST(DirectionalLookback, WarmupEqualsReportedLookback) {
  const Bars d = random_bars(200, 8);
  const Sp h(d.high), l(d.low), c(d.close);
  for (std::size_t n : {1u, 2u, 14u, 30u}) {
    SCOPED_TRACE(n);
    const std::pair<Series, std::size_t> cases[] = {
        {plus_dm(h, l, n), plus_dm_lookback(n)},      {minus_dm(h, l, n), minus_dm_lookback(n)},
        {plus_di(h, l, c, n), plus_di_lookback(n)},   {minus_di(h, l, c, n), minus_di_lookback(n)},
        {dx(h, l, c, n), dx_lookback(n)},             {adx(h, l, c, n), adx_lookback(n)},
        {adxr(h, l, c, n), adxr_lookback(n)},
    };
    for (const auto& [s, lb] : cases) EXPECT_TRUE(warmup_is(s, lb));
  }
  // The documented values with the default period.
  EXPECT_EQ(adx_lookback(14), 27u);
  EXPECT_EQ(adxr_lookback(14), 40u);
}

}  // namespace
}  // namespace kadmo::compute
