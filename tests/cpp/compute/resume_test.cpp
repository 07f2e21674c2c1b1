// Every resumable indicator: final state over a prefix followed by a resume
// reproduces the batch tail bit for bit and ends in the full final state; and
// every family's warm-up on complete input equals its reported lookback.

#include <functional>
#include <string>

#include "kadmo/compute/indicators/oscillators.hpp"
#include "kadmo/compute/indicators/stochastic.hpp"
#include "kadmo/compute/indicators/trend.hpp"
#include "test_support.hpp"

namespace kadmo::compute {
namespace {

using namespace testing;
using Sp = std::span<const double>;

struct Resumable {
  std::string name;
  std::function<Series(const Bars&)> batch;
  // Final state over the first k rows.
  std::function<std::optional<State>(const Bars&, std::size_t)> final_state;
  // Resume over the first len rows from start.
  std::function<Resumed(const Bars&, std::size_t, std::size_t, const State&)> resume;
};

Sp pre(const std::vector<double>& v, std::size_t k) { return Sp(v).first(k); }

std::vector<Resumable> resumables() {
  std::vector<Resumable> r;
  auto single = [&](std::string name, std::function<Series(Sp)> b, std::function<std::optional<State>(Sp)> f,
                    std::function<Resumed(Sp, std::size_t, const State&)> res) {
    r.push_back({name, [b](const Bars& d) { return b(d.close); },
                 [f](const Bars& d, std::size_t k) { return f(pre(d.close, k)); },
                 [res](const Bars& d, std::size_t len, std::size_t s, const State& st) {
                   return res(pre(d.close, len), s, st);
                 }});
  };
  single("ema", [](Sp x) { return ema(x, 7); }, [](Sp x) { return ema_final_state(x, 7); },
         [](Sp x, std::size_t s, const State& st) { return ema_resume(x, 7, s, st); });
  single("smma", [](Sp x) { return smma(x, 6); }, [](Sp x) { return smma_final_state(x, 6); },
         [](Sp x, std::size_t s, const State& st) { return smma_resume(x, 6, s, st); });
  single("dema", [](Sp x) { return dema(x, 5); }, [](Sp x) { return dema_final_state(x, 5); },
         [](Sp x, std::size_t s, const State& st) { return dema_resume(x, 5, s, st); });
  single("tema", [](Sp x) { return tema(x, 4); }, [](Sp x) { return tema_final_state(x, 4); },
         [](Sp x, std::size_t s, const State& st) { return tema_resume(x, 4, s, st); });
  single("t3", [](Sp x) { return t3(x, 3, 0.7); }, [](Sp x) { return t3_final_state(x, 3); },
         [](Sp x, std::size_t s, const State& st) { return t3_resume(x, 3, 0.7, s, st); });
  single("kama", [](Sp x) { return kama(x, 6); }, [](Sp x) { return kama_final_state(x, 6); },
         [](Sp x, std::size_t s, const State& st) { return kama_resume(x, 6, s, st); });
  single("macd", [](Sp x) { return macd(x, 5, 9); }, [](Sp x) { return macd_final_state(x, 5, 9); },
         [](Sp x, std::size_t s, const State& st) { return macd_resume(x, 5, 9, s, st); });
  single("macd_fast_above_slow", [](Sp x) { return macd(x, 9, 5); }, [](Sp x) { return macd_final_state(x, 9, 5); },
         [](Sp x, std::size_t s, const State& st) { return macd_resume(x, 9, 5, s, st); });
  single("macd_signal", [](Sp x) { return macd_signal(x, 5, 9, 4); },
         [](Sp x) { return macd_signal_final_state(x, 5, 9, 4); },
         [](Sp x, std::size_t s, const State& st) { return macd_signal_resume(x, 5, 9, 4, false, s, st); });
  single("macd_histogram", [](Sp x) { return macd_histogram(x, 5, 9, 4); },
         [](Sp x) { return macd_signal_final_state(x, 5, 9, 4); },
         [](Sp x, std::size_t s, const State& st) { return macd_signal_resume(x, 5, 9, 4, true, s, st); });
  single("rsi", [](Sp x) { return rsi(x, 6); }, [](Sp x) { return rsi_final_state(x, 6); },
         [](Sp x, std::size_t s, const State& st) { return rsi_resume(x, 6, s, st); });
  single("cmo", [](Sp x) { return cmo(x, 6); }, [](Sp x) { return cmo_final_state(x, 6); },
         [](Sp x, std::size_t s, const State& st) { return cmo_resume(x, 6, s, st); });
  single("stochrsi_k", [](Sp x) { return stochrsi_fastk(x, 5, 4); },
         [](Sp x) { return stochrsi_final_state(x, 5, 4, false, 3); },
         [](Sp x, std::size_t s, const State& st) { return stochrsi_resume(x, 5, 4, false, 3, s, st); });
  // The D line as the evaluator composes it: a simple average of %K.
  single("stochrsi_d", [](Sp x) { return sma(View(stochrsi_fastk(x, 5, 4)), 3); },
         [](Sp x) { return stochrsi_final_state(x, 5, 4, true, 3); },
         [](Sp x, std::size_t s, const State& st) { return stochrsi_resume(x, 5, 4, true, 3, s, st); });

  auto hlc = [&](std::string name, std::function<Series(Sp, Sp, Sp)> b, std::function<std::optional<State>(Sp, Sp, Sp)> f,
                 std::function<Resumed(Sp, Sp, Sp, std::size_t, const State&)> res) {
    r.push_back({name, [b](const Bars& d) { return b(d.high, d.low, d.close); },
                 [f](const Bars& d, std::size_t k) { return f(pre(d.high, k), pre(d.low, k), pre(d.close, k)); },
                 [res](const Bars& d, std::size_t len, std::size_t s, const State& st) {
                   return res(pre(d.high, len), pre(d.low, len), pre(d.close, len), s, st);
                 }});
  };
  hlc("atr", [](Sp h, Sp l, Sp c) { return atr(h, l, c, 5); },
      [](Sp h, Sp l, Sp c) { return atr_final_state(h, l, c, 5); },
      [](Sp h, Sp l, Sp c, std::size_t s, const State& st) { return atr_resume(h, l, c, 5, s, st); });
  hlc("natr", [](Sp h, Sp l, Sp c) { return natr(h, l, c, 5); },
      [](Sp h, Sp l, Sp c) { return atr_final_state(h, l, c, 5); },
      [](Sp h, Sp l, Sp c, std::size_t s, const State& st) { return natr_resume(h, l, c, 5, s, st); });
  hlc("sar", [](Sp h, Sp l, Sp) { return sar(h, l, 0.02, 0.2); },
      [](Sp h, Sp l, Sp) { return sar_final_state(h, l, 0.02, 0.2); },
      [](Sp h, Sp l, Sp, std::size_t s, const State& st) { return sar_resume(h, l, s, 0.02, 0.2, st); });
  hlc("sarext", [](Sp h, Sp l, Sp) { return sarext(h, l, 0.0, 0.01, 0.02, 0.03, 0.25, 0.01, 0.02, 0.2); },
      [](Sp h, Sp l, Sp) { return sarext_final_state(h, l, 0.0, 0.01, 0.02, 0.03, 0.25, 0.01, 0.02, 0.2); },
      [](Sp h, Sp l, Sp, std::size_t s, const State& st) {
        return sarext_resume(h, l, s, 0.01, 0.02, 0.03, 0.25, 0.01, 0.02, 0.2, st);
      });
  for (int line = 0; line < 3; ++line) {
    hlc("kdj" + std::to_string(line),
        [line](Sp h, Sp l, Sp c) {
          return line == 0 ? kdj_k(h, l, c, 50.0, 9, 3) : line == 1 ? kdj_d(h, l, c, 50.0, 9, 3, 3)
                                                                    : kdj_j(h, l, c, 50.0, 9, 3, 3);
        },
        [line](Sp h, Sp l, Sp c) { return kdj_final_state(h, l, c, 50.0, 9, 3, 3, line != 0); },
        [line](Sp h, Sp l, Sp c, std::size_t s, const State& st) { return kdj_resume(h, l, c, 9, 3, 3, line, s, st); });
  }
  return r;
}

bool state_equal(const State& a, const State& b) { return bitwise_equal(a, b); }

// clean: every split with a final state must resume; with a gap the resume
// may decline (the stochastic RSI does when its buffer holds NaN).
void check_resume(const Bars& d, bool must_resume) {
  const std::size_t len = d.size();
  for (const auto& ind : resumables()) {
    SCOPED_TRACE(ind.name);
    const Series full = ind.batch(d);
    const auto end_state = ind.final_state(d, len);
    // A gap inside a chained warm-up leaves a stage unseeded: no state at all.
    if (must_resume) {
      ASSERT_TRUE(end_state.has_value());
    }
    std::size_t resumed = 0;
    for (std::size_t k = 0; k <= len; ++k) {
      const auto st = ind.final_state(d, k);
      if (!st) continue;
      SCOPED_TRACE("split " + std::to_string(k));
      // start = len: nothing new, state unchanged.
      const auto same = ind.resume(d, k, k, *st);
      ASSERT_TRUE(same.has_value());
      EXPECT_TRUE(same->first.empty());
      EXPECT_TRUE(state_equal(same->second, *st));
      const auto r = ind.resume(d, len, k, *st);
      if (!r) {
        ASSERT_FALSE(must_resume);
        continue;
      }
      ++resumed;
      ASSERT_TRUE(bitwise_equal(r->first, Sp(full).subspan(k)));
      ASSERT_TRUE(end_state.has_value());
      ASSERT_TRUE(state_equal(r->second, *end_state));
    }
    // Warm-ups of these parameters end well inside the 150 rows.
    if (must_resume) {
      EXPECT_GT(resumed, len / 2);
    }
  }
}

TEST(Resume, TailEqualsBatchOnRandomWalk) { check_resume(random_bars(150, 7), true); }
TEST(Resume, TailEqualsBatchWithLeadingNaN) { check_resume(random_bars(150, 11, 9), true); }
// Batch outputs are built in chunks of about a thousand rows; the row-by-row
// resume must agree across every chunk boundary.
TEST(Resume, TailEqualsBatchAcrossOutputChunks) { check_resume(random_bars(2600, 19), true); }
// A missing value inside the warm-ups (row 12) and the same on a later row.
TEST(Resume, TailEqualsBatchWithMissingValues) {
  check_resume(random_bars(150, 13, 3, 12), false);
  check_resume(random_bars(150, 17, 0, 90), false);
}

// ---- lookback ---------------------------------------------------------------

TEST(Lookback, WarmupEqualsReportedLookback) {
  const Bars d = random_bars(300, 3);
  const Sp h(d.high), l(d.low), c(d.close);
  struct Case {
    const char* name;
    Series values;
    std::size_t lookback;
  };
  const Case cases[] = {
      {"sma", sma(View(c), 9), 8},
      {"ema", ema(c, 9), ema_lookback(9)},
      {"smma", smma(c, 9), smma_lookback(9)},
      {"wma", wma(c, 9), wma_lookback(9)},
      {"dema", dema(c, 9), dema_lookback(9)},
      {"tema", tema(c, 9), tema_lookback(9)},
      {"trima4", trima(c, 4), trima_lookback(4)},
      {"trima9", trima(c, 9), trima_lookback(9)},
      {"kama", kama(c, 9), kama_lookback(9)},
      {"t3", t3(c, 5, 0.7), t3_lookback(5)},
      {"macd", macd(c, 12, 26), macd_lookback(12, 26)},
      {"macd_reversed", macd(c, 26, 12), macd_lookback(26, 12)},
      {"macd_signal", macd_signal(c, 12, 26, 9), macd_signal_lookback(12, 26, 9)},
      {"macd_histogram", macd_histogram(c, 12, 26, 9), macd_signal_lookback(12, 26, 9)},
      {"tr", tr(h, l, c), tr_lookback()},
      {"atr", atr(h, l, c, 14), atr_lookback(14)},
      {"natr", natr(h, l, c, 14), natr_lookback(14)},
      {"sar", sar(h, l, 0.02, 0.2), sar_lookback()},
      {"sarext", sarext(h, l, 0, 0, 0.02, 0.02, 0.2, 0.02, 0.02, 0.2), sarext_lookback()},
      {"bbi", bbi(c, 3, 6, 12, 24), bbi_lookback(3, 6, 12, 24)},
      {"rsi", rsi(c, 14), rsi_lookback(14)},
      {"cmo", cmo(c, 14), cmo_lookback(14)},
      {"rsv", rsv(h, l, c, 9), rsv_lookback(9)},
      {"kdj_j", kdj_j(h, l, c, 50, 9, 3, 3), kdj_lookback(9)},
      {"hhv10", hhv(c, 10), hhv_lookback(10)},
      {"hhv7", hhv(c, 7), hhv_lookback(7)},
      {"midpoint", midpoint(c, 7), midpoint_lookback(7)},
      {"midprice", midprice(h, l, 7), midprice_lookback(7)},
      {"stoch_fastk", stoch_fastk(h, l, c, 5), stoch_fastk_lookback(5)},
      {"stochrsi_fastk", stochrsi_fastk(c, 14, 5), stochrsi_fastk_lookback(14, 5)},
      {"stoch_d_default", *stoch_d_default_sma(h, l, c), stoch_d_default_lookback()},
      {"stochf_d_default", *stochf_d_default_sma(h, l, c), stochf_d_default_lookback()},
      {"stochrsi_d_default", *stochrsi_d_default_sma(c), stochrsi_d_default_lookback()},
  };
  for (const auto& cs : cases) {
    SCOPED_TRACE(cs.name);
    EXPECT_EQ(leading_nan(cs.values), cs.lookback);
    // After the warm-up every value is present.
    for (std::size_t i = cs.lookback; i < cs.values.size(); ++i) ASSERT_FALSE(std::isnan(cs.values[i])) << i;
  }
}

}  // namespace
}  // namespace kadmo::compute
