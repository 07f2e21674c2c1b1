#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "family_test_support.hpp"

namespace kadmo::directive {
namespace {

using namespace family_test;

// Seeded random-walk bars.
DataFrame bars(std::size_t n, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::normal_distribution<double> step(0.0, 1.0);
  std::uniform_real_distribution<double> wick(0.0, 1.5);
  std::vector<double> o(n), h(n), l(n), c(n), v(n);
  double x = 100.0;
  for (std::size_t i = 0; i < n; ++i) {
    o[i] = x;
    x += step(rng);
    c[i] = x;
    h[i] = std::max(o[i], c[i]) + wick(rng);
    l[i] = std::min(o[i], c[i]) - wick(rng);
    v[i] = 1000.0 + 100.0 * wick(rng);
  }
  auto f = DataFrame::make({"open", "high", "low", "close", "volume"},
                           {Column::f64(o), Column::f64(h), Column::f64(l), Column::f64(c), Column::f64(v)});
  EXPECT_TRUE(f.has_value());
  return std::move(*f);
}

// The same bars with the first rows missing in every column and single
// missing values further on.
DataFrame bars_with_gaps(std::size_t n, std::uint64_t seed, std::size_t lead, std::vector<std::size_t> holes) {
  DataFrame f = bars(n, seed);
  std::vector<std::string> names = f.names();
  std::vector<Column> cols;
  for (const std::string& name : names) {
    std::vector<double> v = *f.column_ptr(name)->f64_values();
    for (std::size_t i = 0; i < lead; ++i) v[i] = N;
    for (std::size_t i : holes) v[i] = N;
    cols.push_back(Column::f64(std::move(v)));
  }
  auto g = DataFrame::make(names, std::move(cols));
  EXPECT_TRUE(g.has_value());
  return std::move(*g);
}

const char* const kResumable[] = {
    "ema:10", "ema:10@(high+low)", "ema:5@(ma:3)", "smma:7", "dema", "dema:5", "tema:4", "kama", "kama:5",
    "t3", "t3:3,0.5", "macd", "macd:5,9", "macd.signal", "macd.histogram:5,9,4", "MACD.signal:9,5,3",
    "macdfix", "macdfix.signal", "macdfix.histogram:5", "sar", "sar:0.03,0.3", "sarext", "sarext:0.5,0.01",
    "sarext:-2,0.1,0.01,0.03,0.3", "atr", "atr:5", "natr", "natr:3@,,open", "rsi:14", "rsi:5", "cmo", "cmo:5",
    "kdj.k", "kdj.d:5,2,4,40", "kdj.j", "kdj.j:7,1,1", "stochrsi.k", "stochrsi.d", "stochrsi.k:7,3",
    "stochrsi.d:7,3,2,0", "stochrsi.d:5,1,1", "mama", "mama.fama", "mama:0.3,0.02", "ht_dcperiod",
    "ht_dcphase", "ht_phasor", "ht_phasor.quadrature", "ht_sine", "ht_sine.leadsine", "ht_trendline",
    "ht_trendmode", "ht_sine.leadsine@(high+low)"};

// Splits a frame at k: the state over the first k rows, resumed over all
// rows, must give exactly the full evaluation's tail and the full state.
// Returns whether the state was usable (taken and resumed).
bool check_split(const DataFrame& full, const std::string& text, std::size_t k) {
  const Node node = tree(text);
  const DataFrame head = full.slice(0, k);
  auto st = initial_state(head, node);
  if (!st) return false;
  auto res = execute_resume(full, node, *st, k, 0);
  if (!res) return false;
  auto want = execute(full, node);
  EXPECT_TRUE(want.has_value()) << text;
  if (!want) return false;
  const std::vector<double>& all = *want->f64_values();
  const std::vector<double> tail(all.begin() + static_cast<std::ptrdiff_t>(k), all.end());
  EXPECT_TRUE(same_all(*res->first.f64_values(), tail)) << text << " split at " << k;
  auto full_state = initial_state(full, node);
  EXPECT_TRUE(full_state.has_value()) << text << " split at " << k;
  if (full_state) {
    EXPECT_TRUE(same_all(res->second, *full_state)) << text << " split at " << k;
  }
  return true;
}

TEST(Resume, EqualsFullEvaluationOnCleanBars) {
  const DataFrame f = bars(160, 42);
  for (const char* text : kResumable) {
    for (std::size_t k : {1u, 5u, 40u, 100u, 159u, 160u}) {
      const bool used = check_split(f, text, k);
      // Past every warm-up the state must be there and resume.
      if (k >= 100) {
        EXPECT_TRUE(used) << text << " split at " << k;
      }
    }
  }
}

TEST(Resume, EqualsFullEvaluationAroundMissingValues) {
  // Leading gaps (as an average of an average has) and holes inside.
  const DataFrame f = bars_with_gaps(150, 7, 4, {20, 120});
  int used = 0;
  for (const char* text : kResumable)
    for (std::size_t k : {3u, 10u, 25u, 60u, 119u, 121u, 140u, 150u}) used += check_split(f, text, k);
  const DataFrame lead_only = bars_with_gaps(150, 8, 6, {});
  for (const char* text : kResumable)
    for (std::size_t k : {30u, 100u, 149u}) used += check_split(lead_only, text, k);
  // Most commands continue over leading gaps; the check above is not vacuous.
  EXPECT_GT(used, 80);
}

TEST(Resume, StateCarriesAcrossSuccessiveAppends) {
  const DataFrame f = bars(200, 3);
  for (const char* text : kResumable) {
    const Node node = tree(text);
    auto st = initial_state(f.slice(0, 120), node);
    ASSERT_TRUE(st.has_value()) << text;
    std::vector<double> got;
    for (std::size_t k = 120; k < 200; k += 20) {
      auto r = execute_resume(f.slice(0, k + 20), node, *st, k, 0);
      ASSERT_TRUE(r.has_value()) << text << " at " << k;
      got.insert(got.end(), r->first.f64_values()->begin(), r->first.f64_values()->end());
      st = std::move(r->second);
    }
    auto want = execute(f, node);
    ASSERT_TRUE(want.has_value());
    EXPECT_TRUE(same_all(got, std::vector<double>(want->f64_values()->begin() + 120, want->f64_values()->end())))
        << text;
  }
}

TEST(Resume, FormsWithoutState) {
  const DataFrame f = bars(120, 5);
  for (const char* text : {"macd.dea", "macd.dif", "macd.s", "stochrsi.fastd", "stochrsi.fastk",
                           "stochrsi.d:14,5,3,1", "close > ema:10", "-ema:10", "ma:10", "wma", "macdext",
                           "stoch.k", "trix:41", "ema", "ema:x", "ema:10,1", "ema:10@nosuch", "close",
                           "2", "kdj.K", "ema:0", "ema:121", "kdj.k:0", "kdj.k:9,0", "mama.mama", "ht_sine.lead",
                           "ht_phasor.q", "style.hammer", "ma:10,7"}) {
    EXPECT_FALSE(initial_state(f, tree(text)).has_value()) << text;
  }
  // The same lines under their own names do have one.
  for (const char* text : {"macd.signal", "stochrsi.d", "stochrsi.d:14,5,3,0", "ema:10", "ema:120", "Ema:10", "adx", "trix",
                           "mama.fama", "ht_sine.leadsine", "ht_phasor.quadrature", "HT_TRENDMODE"})
    EXPECT_TRUE(initial_state(f, tree(text)).has_value()) << text;
}

TEST(Resume, DeclinesWhatItCannotContinue) {
  const DataFrame f = bars(120, 5);
  const Node node = tree("ema:10");
  auto st = initial_state(f.slice(0, 100), node);
  ASSERT_TRUE(st.has_value());
  // A missing value among the new rows, a start beyond the frame or at 0, a
  // state that is not one.
  const DataFrame holed = bars_with_gaps(120, 5, 0, {110});
  EXPECT_FALSE(execute_resume(holed, node, *st, 100, 0).has_value());
  EXPECT_FALSE(execute_resume(f, node, *st, 121, 0).has_value());
  EXPECT_FALSE(execute_resume(f, node, *st, 0, 0).has_value());
  EXPECT_FALSE(execute_resume(f, node, ResumeState{N}, 100, 0).has_value());
  EXPECT_FALSE(execute_resume(f, tree("close > ema:10"), *st, 100, 0).has_value());
  EXPECT_FALSE(execute_resume(f, tree("macd.dea"), *st, 100, 0).has_value());
  // Resuming at the end gives no rows and the same state.
  auto end = execute_resume(f.slice(0, 100), node, *st, 100, 0);
  ASSERT_TRUE(end.has_value());
  EXPECT_EQ(end->first.len(), 0u);
  EXPECT_TRUE(same_all(end->second, *st));
}

TEST(Resume, CommandView) {
  auto v = as_command(tree("CDL"));
  ASSERT_TRUE(v.has_value());
  EXPECT_EQ(v->name, "style");
  EXPECT_FALSE(v->sub.has_value());
  const Node m = tree("macd.dea:5,9@high");
  v = as_command(m);
  ASSERT_TRUE(v.has_value());
  EXPECT_EQ(v->name, "macd");
  EXPECT_EQ(v->sub, std::optional<std::string_view>("dea"));
  EXPECT_EQ(v->args.size(), 2u);
  EXPECT_EQ(v->series.size(), 1u);
  EXPECT_FALSE(as_command(tree("close > open")).has_value());
  EXPECT_FALSE(as_command(tree("-close")).has_value());
  EXPECT_FALSE(as_command(tree("3")).has_value());
  EXPECT_FALSE(as_command(ident("")).has_value());
}

TEST(Resume, DefaultPeriod) {
  const std::tuple<const char*, const char*, std::optional<std::uint64_t>> cases[] = {
      {"mom", "mom", 10},          {"mom:5", "mom", 5},       {"mom:+7", "mom", 7},
      {"mom:x", "mom", std::nullopt}, {"momentum", "mom", std::nullopt}, {"mom:", "mom", std::nullopt},
      {"mom:5,1", "mom", std::nullopt}, {"roc:18446744073709551615", "roc", 18446744073709551615ULL},
      {"roc:18446744073709551616", "roc", std::nullopt}, {"MOM", "mom", std::nullopt},
  };
  for (const auto& [text, name, want] : cases) EXPECT_EQ(default_period(text, name), want) << text;
}

}  // namespace
}  // namespace kadmo::directive
