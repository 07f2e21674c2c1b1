// Momentum, volume and window-position indicators: hand-worked fixtures,
// edge cases, the warm-up length and the resume property at every split.

#include <functional>
#include <string>

#include "kadmo/compute/indicators/math_ops.hpp"
#include "kadmo/compute/indicators/momentum.hpp"
#include "kadmo/compute/indicators/trend.hpp"
#include "kadmo/compute/indicators/volume.hpp"
#include "test_support.hpp"

namespace kadmo::compute {
namespace {

using namespace testing;
using Sp = std::span<const double>;
using V = std::vector<double>;

// Worked by hand; the comment of each row gives the arithmetic.
TEST(MomentumVolume, HandWorked) {
  // Aroon, n = 2 (windows of 3 rows): highs 1 3 2 3 1, lows 5 4 4 6 2.
  const V ah{1, 3, 2, 3, 1}, al{5, 4, 4, 6, 2};
  // Equal typical prices: h = l = c, so tp is the value itself.
  const V cx{1, 2, 3, 3, 2}, flat{5, 5, 5};
  const V io{1, 2, 3, 4}, ic{2, 1, 3, 5};
  const V mt{10, 11, 10, 10, 12}, mv{1, 2, 3, 4, 5};
  const V rx{2, 0, 4, 5};
  const V tx{1, 2, 3, 4, 5, 6};
  const V wh{3, 4, 5}, wl{1, 2, 2}, wc{2, 3, 5};
  const V uh{11, 12, 11, 13}, ul{9, 10, 9, 11}, uc{10, 11, 10, 12};
  const V dh{2, 2, 3}, dl{0, 2, 1}, dc{1.5, 2, 1}, dv{4, 5, 6};
  // ultosc rows 1..3: (bp, tr) = (1, 2), (1, 2), (2, 3).
  const double u123 = (4.0 / 7 + (2.0 / 3 * 4 + 0.6 * 2)) / 7 * 100;
  const double u321 = (2.0 / 3 + (4.0 / 7 * 4 + 0.6 * 2)) / 7 * 100;
  const ValueCase cases[] = {
      // highest high at rows 1, 3 (tie: the later 3), 3
      {"aroon_up", aroon_up(ah, 2), {NaN, NaN, 50, 100, 50}},
      // lowest low at rows 2 (tie: the later 4), 2, 4
      {"aroon_down", aroon_down(al, 2), {NaN, NaN, 100, 50, 100}},
      {"aroonosc", aroonosc(ah, al, 2), {NaN, NaN, -50, 50, -50}},
      // (c - o) / (h - l); a bar without range is 0
      {"bop", bop(V{1, 2, 3}, V{2, 4, 3}, V{0, 1, 3}, V{1.5, 1, 3}), {0.25, -1.0 / 3, 0}},
      // windows [1 2 3]: mean 2, dev 2, d 1 -> 1 / (2/3 * 0.015) = 100;
      // [2 3 3]: mean 8/3, dev 4/3, d 1/3 -> 50; [3 3 2]: d -2/3 -> -100
      {"cci", cci(cx, cx, cx, 3), {NaN, NaN, 100, 50, -100}},
      {"cci flat", cci(flat, flat, flat, 3), {NaN, NaN, 0}},
      // moves: up 1, down 1, none, up 1
      {"imi", imi(io, ic, 2), {NaN, 50, 0, 100}},
      {"imi no movement", imi(V{1, 1, 1}, V{1, 1, 1}, 2), {NaN, NaN, NaN}},
      // flows: +22, -30, none, +60
      {"mfi", mfi(mt, mt, mt, mv, 2), {NaN, NaN, 2200.0 / 52, 0, 100}},
      {"mfi totals under 1", mfi(mt, mt, mt, V(5, 0.01), 2), {NaN, NaN, 0, 0, 0}},
      {"mom", mom(rx, 1), {NaN, -2, 4, 1}},
      {"roc", roc(rx, 1), {NaN, -100, 0, 25}},
      {"rocp", rocp(rx, 1), {NaN, -1, 0, 0.25}},
      {"rocr", rocr(rx, 1), {NaN, 0, 0, 1.25}},
      {"rocr100", rocr100(rx, 1), {NaN, 0, 0, 125}},
      {"roc of a missing base", roc(V{NaN, 1, 2}, 1), {NaN, NaN, 100}},
      {"mom n=2", mom(rx, 2), {NaN, NaN, 2, 5}},
      // alpha 2/3; e1 seeds 1.5 at row 1, e2 seeds 2 at row 2, e3 seeds 2.5 at
      // row 3; each stage then gains 1 per row: e3 3.5, 4.5
      {"trix", trix(tx, 2), {NaN, NaN, NaN, NaN, 40, (4.5 / 3.5 - 1) * 100}},
      // HH 4, LL 1, close 3 -> -100/3; then the close at the high -> 0
      {"willr", willr(wh, wl, wc, 2), {NaN, -100.0 / 3, 0}},
      {"willr flat", willr(flat, flat, flat, 2), {NaN, 0, 0}},
      {"ultosc 1,2,3", ultosc(uh, ul, uc, 1, 2, 3), {NaN, NaN, NaN, u123}},
      // the weights follow the argument order, not the period lengths
      {"ultosc 3,2,1", ultosc(uh, ul, uc, 3, 2, 1), {NaN, NaN, NaN, u321}},
      // unchanged close adds nothing
      {"obv", obv(V{1, 2, 2, 1}, V{10, 20, 30, 40}), {10, 30, 30, -10}},
      // clv*v: (1.5 - 0.5)/2*4 = 2; no range -> 0; (0 - 2)/2*6 = -6
      {"ad", ad(dh, dl, dc, dv), {2, 2, -4}},
      // fast alpha 2/3, slow 1/2 from ad[0] = 2: fast -2, slow -1 at row 2
      {"adosc", adosc(dh, dl, dc, dv, 2, 3), {NaN, NaN, -1}},
      {"adosc max<2", adosc(dh, dl, dc, dv, 1, 1), {0, 0, 0}},
      {"sum", sum(V{1, 2, 3, 4}, 2), {NaN, 3, 5, 7}},
      // a missing value counts only while it is inside the window
      {"sum with a gap", sum(V{1, NaN, 3, 4, 5}, 2), {NaN, NaN, NaN, 7, 9}},
      {"maxindex arriving tie", maxindex(V{1, 3, 2, 3}, 3), {NaN, NaN, 1, 3}},
      {"maxindex scan keeps older", maxindex(V{3, 1, 3}, 3), {NaN, NaN, 0}},
      {"minindex", minindex(V{2, 1, 3, 1}, 3), {NaN, NaN, 1, 3}},
      {"minindex scan keeps older", minindex(V{1, 2, 1, 5}, 3), {NaN, NaN, 0, 2}},
      {"maxindex skips missing", maxindex(V{NaN, 2, NaN, NaN, NaN}, 2), {NaN, 1, 1, NaN, NaN}},
  };
  check_values(cases);
  // aroonosc equals up - down on any data.
  const Bars b = random_bars(300, 7);
  const Series up = aroon_up(b.high, 9), down = aroon_down(b.low, 9), osc = aroonosc(b.high, b.low, 9);
  for (std::size_t i = 9; i < 300; ++i) ASSERT_NEAR(osc[i], up[i] - down[i], 1e-9) << i;
}

// Zero or too-long periods: all NaN of the input's length; empty input:
// empty output.
TEST(MomentumVolume, PeriodsThatLeaveNothing) {
  const V x{1, 2, 3, 4};
  const std::size_t huge = static_cast<std::size_t>(-1);
  const std::pair<const char*, Series> cases[] = {
      {"aroon_up n=len", aroon_up(x, 4)},      {"aroonosc n=0", aroonosc(x, x, 0)},
      {"cci n=len+1", cci(x, x, x, 5)},        {"imi n=0", imi(x, x, 0)},
      {"mfi n=len", mfi(x, x, x, x, 4)},       {"mom n=len", mom(x, 4)},
      {"roc n=0", roc(x, 0)},                  {"trix 3(n-1) >= len", trix(x, 3)},
      {"trix huge", trix(x, huge)},            {"willr n=0", willr(x, x, x, 0)},
      {"willr huge", willr(x, x, x, huge)},    {"ultosc p=len", ultosc(x, x, x, 1, 4, 2)},
      {"ultosc p=0", ultosc(x, x, x, 0, 1, 2)}, {"ultosc huge", ultosc(x, x, x, 1, 2, huge)},
      {"adosc huge", adosc(x, x, x, x, huge, 3)}, {"sum n=5", sum(x, 5)},
      {"sum n=0", sum(x, 0)},                  {"maxindex n=0", maxindex(x, 0)},
      {"minindex huge", minindex(x, huge)},    {"mfi huge", mfi(x, x, x, x, huge)},
  };
  for (const auto& [name, s] : cases) {
    ASSERT_EQ(s.size(), 4u) << name;
    for (double v : s) EXPECT_TRUE(std::isnan(v)) << name;
  }
  const V e;
  for (const Series& s : {aroon_up(e, 2), bop(e, e, e, e), cci(e, e, e, 2), mom(e, 1), trix(e, 2), obv(e, e),
                          ad(e, e, e, e), adosc(e, e, e, e, 3, 10), sum(e, 1), maxindex(e, 1), ultosc(e, e, e, 1, 2, 3)})
    EXPECT_TRUE(s.empty());
  EXPECT_FALSE(obv_final_state(e, e).has_value());
  EXPECT_FALSE(ad_final_state(e, e, e, e).has_value());
  EXPECT_FALSE(adosc_final_state(e, e, e, e, 3, 10).has_value());
  EXPECT_FALSE(maxindex_final_state(x, 5).has_value());
  EXPECT_FALSE(minindex_final_state(x, 0).has_value());
}

// A missing value inside a window makes only the windows that hold it NaN.
TEST(MomentumVolume, GapsStayInTheirWindows) {
  Bars b = random_bars(80, 11, 0, 30);
  const V vol(80, 1000.0);
  const std::pair<const char*, Series> cases[] = {
      {"cci", cci(b.high, b.low, b.close, 5)},
      {"imi", imi(b.low, b.close, 5)},
      {"sum", sum(b.close, 5)},
      {"ultosc", ultosc(b.high, b.low, b.close, 2, 3, 5)},
  };
  for (const auto& [name, s] : cases) {
    EXPECT_TRUE(std::isnan(s[30])) << name;
    for (std::size_t i = 40; i < 80; ++i) EXPECT_FALSE(std::isnan(s[i])) << name << " row " << i;
  }
  // MFI counts a bar without a typical price as no flow; a missing volume on
  // a moving bar is a missing flow, NaN only while it is in the window.
  V vgap = vol;
  vgap[50] = NaN;
  const Series m = mfi(b.high, b.low, b.close, vgap, 5);
  EXPECT_FALSE(std::isnan(m[30]));
  EXPECT_TRUE(std::isnan(m[50]) && std::isnan(m[54]));
  EXPECT_FALSE(std::isnan(m[55]));
}

TEST(MomentumVolume, WarmUpEqualsLookback) {
  const Bars b = random_bars(400, 3);
  V vol(400);
  for (std::size_t i = 0; i < 400; ++i) vol[i] = 1000.0 + static_cast<double>((i * 37) % 101);
  const V& h = b.high;
  const V& l = b.low;
  const V& c = b.close;
  for (std::size_t n : {1u, 2u, 5u, 14u, 30u}) {
    SCOPED_TRACE(n);
    EXPECT_EQ(leading_nan(aroon_up(h, n)), aroon_lookback(n));
    EXPECT_EQ(leading_nan(aroon_down(l, n)), aroon_lookback(n));
    EXPECT_EQ(leading_nan(aroonosc(h, l, n)), aroonosc_lookback(n));
    EXPECT_EQ(leading_nan(cci(h, l, c, n)), cci_lookback(n));
    EXPECT_EQ(leading_nan(imi(l, c, n)), imi_lookback(n));
    EXPECT_EQ(leading_nan(mfi(h, l, c, vol, n)), mfi_lookback(n));
    EXPECT_EQ(leading_nan(mom(c, n)), mom_lookback(n));
    EXPECT_EQ(leading_nan(rocr100(c, n)), roc_lookback(n));
    EXPECT_EQ(leading_nan(trix(c, n)), trix_lookback(n));
    EXPECT_EQ(leading_nan(willr(h, l, c, n)), willr_lookback(n));
    EXPECT_EQ(leading_nan(ultosc(h, l, c, n, 2 * n, 1)), ultosc_lookback(n, 2 * n, 1));
    EXPECT_EQ(leading_nan(adosc(h, l, c, vol, n, 3)), adosc_lookback(n, 3));
    EXPECT_EQ(leading_nan(sum(c, n)), sum_lookback(n));
    EXPECT_EQ(leading_nan(maxindex(c, n)), maxindex_lookback(n));
    EXPECT_EQ(leading_nan(minindex(c, n)), minindex_lookback(n));
  }
  EXPECT_EQ(leading_nan(bop(l, h, l, c)), bop_lookback());
  EXPECT_EQ(leading_nan(obv(c, vol)), obv_lookback());
  EXPECT_EQ(leading_nan(ad(h, l, c, vol)), ad_lookback());
}

// ---- resume ------------------------------------------------------------------

struct Resumable {
  const char* name;
  std::function<std::optional<State>(std::size_t k)> state;  // over rows 0..k-1
  std::function<Resumed(std::size_t start, const State&)> resume;  // over all rows
  std::function<Series()> batch;
};

// final_state(0..k-1) + resume(k) gives the batch tail and the full state bit
// for bit at every split where a state exists; start = len gives nothing new
// and the same state.
void check_resume(const Resumable& r, std::size_t len, std::size_t must_from) {
  SCOPED_TRACE(r.name);
  const Series all = r.batch();
  const auto full = r.state(len);
  ASSERT_TRUE(full.has_value());
  std::size_t used = 0;
  for (std::size_t k = 1; k <= len; ++k) {
    const auto st = r.state(k);
    if (!st) {
      EXPECT_LT(k, must_from) << "no state at " << k;
      continue;
    }
    const auto res = r.resume(k, *st);
    ASSERT_TRUE(res.has_value()) << "split " << k;
    EXPECT_TRUE(bitwise_equal(res->first, Sp(all).subspan(k))) << "split " << k;
    EXPECT_TRUE(bitwise_equal(res->second, *full)) << "split " << k;
    ++used;
  }
  EXPECT_GE(used, len - must_from + 1);
  const auto same = r.resume(len, *full);
  ASSERT_TRUE(same.has_value());
  EXPECT_TRUE(same->first.empty());
  EXPECT_TRUE(bitwise_equal(same->second, *full));
}

TEST(MomentumVolume, ResumeEqualsBatchAtEverySplit) {
  for (std::size_t lead : {0u, 5u}) {
    SCOPED_TRACE(lead);
    const std::size_t len = 150;
    const Bars b = random_bars(len, 90 + lead, lead);
    V vol(len);
    for (std::size_t i = 0; i < len; ++i) vol[i] = 500.0 + static_cast<double>((i * 53) % 97);
    // Volume stays present in the leading rows; the prices are missing there.
    const Sp h(b.high), l(b.low), c(b.close), v(vol);
    auto pre = [](Sp s, std::size_t k) { return s.subspan(0, k); };
    const std::size_t n = 4;
    // Close rises on a few rows in a row, so the maxima arrive, tie and leave.
    V stepped(len);
    for (std::size_t i = 0; i < len; ++i) stepped[i] = std::floor(c[i] / 2.0);
    const Sp s(stepped);
    const Resumable cases[] = {
        {"trix", [&](std::size_t k) { return tema_final_state(pre(c, k), n); },
         [&](std::size_t k, const State& st) { return trix_resume(c, n, k, st); }, [&] { return trix(c, n); }},
        {"obv", [&](std::size_t k) { return obv_final_state(pre(c, k), pre(v, k)); },
         [&](std::size_t k, const State& st) { return obv_resume(c, v, k, st); }, [&] { return obv(c, v); }},
        {"ad", [&](std::size_t k) { return ad_final_state(pre(h, k), pre(l, k), pre(c, k), pre(v, k)); },
         [&](std::size_t k, const State& st) { return ad_resume(h, l, c, v, k, st); },
         [&] { return ad(h, l, c, v); }},
        {"adosc", [&](std::size_t k) { return adosc_final_state(pre(h, k), pre(l, k), pre(c, k), pre(v, k), 3, 10); },
         [&](std::size_t k, const State& st) { return adosc_resume(h, l, c, v, 3, 10, k, st); },
         [&] { return adosc(h, l, c, v, 3, 10); }},
        {"maxindex", [&](std::size_t k) { return maxindex_final_state(pre(s, k), n); },
         [&](std::size_t k, const State& st) { return maxindex_resume(s, n, k, st); },
         [&] { return maxindex(s, n); }},
        {"minindex", [&](std::size_t k) { return minindex_final_state(pre(s, k), n); },
         [&](std::size_t k, const State& st) { return minindex_resume(s, n, k, st); },
         [&] { return minindex(s, n); }},
    };
    // Past every warm-up (trix: 3n - 2 rows after the lead) a state exists.
    for (const Resumable& r : cases) check_resume(r, len, lead + 3 * n - 2);
  }
}

// A frame cut from the front keeps the positions of its cached column: the
// state counts rows from the uncut data, origin says how many were cut, and
// the resumed positions continue that numbering.
TEST(MomentumVolume, IndexResumeAfterRowsWereCut) {
  const Bars b = random_bars(120, 5);
  V x(120);
  for (std::size_t i = 0; i < 120; ++i) x[i] = std::floor(b.close[i]);
  const Sp all(x);
  const std::size_t n = 6;
  const Series want_max = maxindex(all, n), want_min = minindex(all, n);
  for (std::size_t k : {10u, 40u, 77u}) {
    // Cuts that keep the rows of the last window (cut <= k - n).
    for (std::size_t cut : {1u, 3u, 4u}) {
      SCOPED_TRACE(std::to_string(k) + " cut " + std::to_string(cut));
      const auto smax = maxindex_final_state(all.subspan(0, k), n);
      const auto smin = minindex_final_state(all.subspan(0, k), n);
      ASSERT_TRUE(smax && smin);
      const Sp rest = all.subspan(cut);
      const auto rmax = maxindex_resume(rest, n, k - cut, *smax, cut);
      const auto rmin = minindex_resume(rest, n, k - cut, *smin, cut);
      ASSERT_TRUE(rmax && rmin);
      EXPECT_TRUE(bitwise_equal(rmax->first, Sp(want_max).subspan(k)));
      EXPECT_TRUE(bitwise_equal(rmin->first, Sp(want_min).subspan(k)));
      EXPECT_TRUE(bitwise_equal(rmax->second, *maxindex_final_state(all, n)));
    }
  }
  // Positions before the cut are refused: over a falling series the maximum
  // of rows 44..49 is row 44, which a cut of 49 rows removed.
  V desc(60);
  for (std::size_t i = 0; i < 60; ++i) desc[i] = 100.0 - static_cast<double>(i);
  const auto fall = maxindex_final_state(Sp(desc).subspan(0, 50), n);
  ASSERT_TRUE(fall.has_value());
  EXPECT_EQ((*fall)[0], 44.0);
  EXPECT_FALSE(maxindex_resume(Sp(desc).subspan(49), n, 1, *fall, 49).has_value());
  EXPECT_TRUE(maxindex_resume(Sp(desc).subspan(44), n, 6, *fall, 44).has_value());
  // Not told about the cut, the saved position lies past the rows: refused
  // rather than read from the wrong row.
  EXPECT_FALSE(maxindex_resume(Sp(desc).subspan(44), n, 6, *fall, 0).has_value());
  // A state of another series is refused, as are starts that are not rows.
  const auto st = maxindex_final_state(all.subspan(0, 50), n);
  ASSERT_TRUE(st.has_value());
  State other{(*st)[0], (*st)[1] + 1000.0};
  EXPECT_FALSE(maxindex_resume(all, n, 50, other).has_value());
  EXPECT_FALSE(maxindex_resume(all, n, 0, *st).has_value());
  EXPECT_FALSE(maxindex_resume(all, n, 121, *st).has_value());
}

}  // namespace
}  // namespace kadmo::compute
