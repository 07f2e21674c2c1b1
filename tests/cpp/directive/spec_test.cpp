#include <gtest/gtest.h>

#include <set>
#include <string>

#include "kadmo/directive/lookback.hpp"
#include "kadmo/directive/spec.hpp"
#include "kadmo/directive/stringify.hpp"

namespace kadmo::directive {
namespace {

using std::nullopt;
using std::optional;
using std::string_view;

// "period=R ma_type=U0 | close | float": argument kinds with default texts,
// default series and result kind.
std::string describe(const optional<CommandSpec>& s) {
  if (!s) return "none";
  std::string out;
  for (const ArgSpec& a : s->args) {
    static const char kinds[] = {'R', 'U', 'F', 'I', 'T'};
    out.append(a.name).append("=").append(1, kinds[static_cast<int>(a.kind)]).append(a.text).append(" ");
  }
  out += "|";
  for (string_view c : s->series) out.append(" ").append(c);
  out += s->result == ResultKind::Bool ? " | bool" : " | float";
  return out;
}

TEST(Registry, NinetyLowercaseNamesEachFound) {
  std::set<string_view> names;
  for (const CommandRow& r : command_rows()) {
    names.insert(r.name);
    EXPECT_EQ(find_command(r.name), &r);
    for (char c : r.name) EXPECT_FALSE(c >= 'A' && c <= 'Z') << r.name;
  }
  EXPECT_EQ(names.size(), 90u);
  EXPECT_EQ(find_command("cdl"), nullptr);
  EXPECT_EQ(find_command("MA"), nullptr);
  EXPECT_EQ(find_command(""), nullptr);
}

TEST(Registry, DefaultTextsMatchTheirValues) {
  // The canonical text of a default is the integer's digits, or the number
  // rule for floats (2.0 -> "2", 0.02 -> "0.02").
  auto check = [](const ArgSpec& a, string_view where) {
    switch (a.kind) {
      case ArgKind::Required: EXPECT_EQ(a.text, "") << where; break;
      case ArgKind::Usize: EXPECT_EQ(a.text, std::to_string(a.u)) << where << " " << a.name; break;
      case ArgKind::I64: EXPECT_EQ(a.text, std::to_string(a.i)) << where << " " << a.name; break;
      case ArgKind::F64: EXPECT_EQ(a.text, number_text(a.f)) << where << " " << a.name; break;
      case ArgKind::Text: EXPECT_FALSE(a.text.empty()) << where; break;
    }
  };
  for (const CommandRow& r : command_rows())
    for (const Variant& v : r.variants)
      for (const ArgSpec& a : v.args) check(a, r.name);
  for (const CandlePatternInfo& p : candle_patterns()) {
    auto s = command_spec("style", p.name);
    ASSERT_TRUE(s.has_value()) << p.name;
    ASSERT_EQ(s->args.size(), p.has_penetration ? 1u : 0u) << p.name;
    if (p.has_penetration) {
      check(s->args[0], p.name);
      EXPECT_EQ(s->args[0].f, p.penetration) << p.name;
    }
  }
}

TEST(CommandSpec, Rows) {
  struct Case {
    const char* name;
    optional<string_view> sub;
    const char* want;
  };
  const Case cases[] = {
      {"ma", nullopt, "period=R ma_type=U0 | close | float"},
      {"ema", nullopt, "period=R | close | float"},
      {"t3", nullopt, "period=U5 volume_factor=F0.7 | close | float"},
      {"mama", "fama", "fast_limit=F0.5 slow_limit=F0.05 | close | float"},
      {"mavp", nullopt, "min_period=U2 max_period=U30 ma_type=U0 | close | float"},
      {"macd", nullopt, "fast=U12 slow=U26 | close | float"},
      {"macd", "histogram", "fast=U12 slow=U26 signal=U9 | close | float"},
      {"macd", "dif", "none"},  // aliases are resolved by canon_sub first
      {"macdext", "signal",
       "fast=U12 fast_ma_type=U0 slow=U26 slow_ma_type=U0 signal=U9 signal_ma_type=U0 | close | float"},
      {"macdfix", nullopt, "| close | float"},
      {"macdfix", "signal", "signal=U9 | close | float"},
      {"boll", nullopt, "period=U20 | close | float"},
      {"boll", "upper", "period=U20 deviations=F2 | close | float"},
      {"accbands", nullopt, "period=U20 | close | float"},
      {"accbands", "lower", "period=U20 | high low | float"},
      {"donchian", nullopt, "period=R | high low | float"},
      {"donchian", "upper", "period=R | high | float"},
      {"hv", nullopt, "period=R bar_frame=T1d periods_per_year=I252 | close | float"},
      {"stddev", nullopt, "period=U5 deviations=F1 | close | float"},
      {"minmax", nullopt, "none"},
      {"minmax", "max", "period=U30 | close | float"},
      {"beta", nullopt, "period=U5 | close | float"},
      {"kdj", nullopt, "none"},
      {"kdj", "k", "period=U9 k_smoothing=U3 initial=F50 | high low close | float"},
      {"kdj", "j", "period=U9 k_smoothing=U3 d_smoothing=U3 initial=F50 | high low close | float"},
      {"kdj", "x", "none"},
      {"stoch", "d",
       "fastk_period=U5 slowk_period=U3 slowk_ma_type=U0 slowd_period=U3 slowd_ma_type=U0 | high low close | float"},
      {"stochrsi", "k", "rsi_period=U14 fastk_period=U5 fastd_period=U3 fastd_ma_type=U0 | close | float"},
      {"mfi", nullopt, "period=U14 | high low close volume | float"},
      {"imi", nullopt, "period=U14 | open close | float"},
      {"bop", nullopt, "| open high low close | float"},
      {"aroon", "down", "period=U14 | high low | float"},
      {"sar", nullopt, "acceleration=F0.02 maximum=F0.2 | high low | float"},
      {"sarext", nullopt,
       "start=F0 offset_on_reverse=F0 acceleration_init_long=F0.02 acceleration_long=F0.02 "
       "acceleration_max_long=F0.2 acceleration_init_short=F0.02 acceleration_short=F0.02 "
       "acceleration_max_short=F0.2 | high low | float"},
      {"obv", nullopt, "| close volume | float"},
      {"ht_phasor", "quadrature", "| close | float"},
      {"ht_sine", "leadsine", "| close | float"},
      {"increase", nullopt, "period=U1 direction=I1 | close | bool"},
      {"repeat", nullopt, "count=U1 | | bool"},
      {"style", nullopt, "side=R | open close | bool"},
      {"style", "bearish", "| open close | bool"},
      {"style", "doji", "| open high low close | float"},
      {"style", "morningstar", "penetration=F0.3 | open high low close | float"},
      {"style", "mathold", "penetration=F0.5 | open high low close | float"},
      {"style", "Doji", "none"},
      {"style", "", "none"},
      {"cdl", "doji", "none"},
      {"MA", nullopt, "none"},
      {"foo", nullopt, "none"},
      {"ema", "x", "none"},
      {"macd", "", "none"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(describe(command_spec(c.name, c.sub)), c.want) << c.name << "." << c.sub.value_or("<none>");
}

TEST(CanonSub, AliasTable) {
  struct Case {
    const char* name;
    optional<string_view> written;
    optional<string_view> canonical;
  };
  const Case cases[] = {
      {"macd", "dif", nullopt},        {"macdext", "dea", "signal"},    {"macdfix", "s", "signal"},
      {"macd", "macd", "histogram"},   {"macdext", "h", "histogram"},   {"macdfix", "dif", nullopt},
      {"boll", "u", "upper"},          {"accbands", "l", "lower"},      {"donchian", "m", nullopt},
      {"boll", "middle", nullopt},     {"donchian", "u", "upper"},      {"mama", "mama", nullopt},
      {"ht_sine", "sine", nullopt},    {"ht_sine", "lead", "leadsine"}, {"ht_phasor", "inphase", nullopt},
      {"ht_phasor", "i", nullopt},     {"ht_phasor", "quad", "quadrature"},
      {"ht_phasor", "q", "quadrature"}, {"stoch", "slowk", "k"},      {"stoch", "slowd", "d"},
      {"stochf", "fastk", "k"},        {"stochrsi", "fastd", "d"},      {"aroon", "u", "up"},
      {"aroon", "d", "down"},
      // not aliases
      {"macd", "Signal", "Signal"},    {"macd", "signal", "signal"},    {"stoch", "fastk", "fastk"},
      {"stochf", "slowd", "slowd"},    {"boll", "dif", "dif"},          {"foo", "u", "u"},
      {"macd", "", ""},                {"macd", nullopt, nullopt},      {"cdl", "u", "u"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(canon_sub(c.name, c.written), c.canonical) << c.name << "." << c.written.value_or("<none>");
}

TEST(Registry, FiniteWindow) {
  using Args = std::vector<optional<std::string>>;
  struct Case {
    const char* name;
    optional<string_view> sub;
    Args args;
    bool finite;
  };
  const Case cases[] = {
      {"ma", nullopt, {"5"}, true},          {"ma", nullopt, {"5", "2"}, true},
      {"ma", nullopt, {"5", "1"}, false},    {"ma", nullopt, {"5", "x"}, true},  // unreadable: default 0
      {"ema", nullopt, {"5"}, false},        {"wma", nullopt, {}, true},
      {"boll", "upper", {}, true},           {"rsi", nullopt, {"14"}, false},
      {"macd", nullopt, {}, false},          {"macdext", "signal", {"12", "0", "26", "0", "9", "1"}, false},
      {"macdext", nullopt, {"12", "5", "26", "2"}, true},
      {"stoch", "k", {}, true},              {"stoch", "d", {"5", "3", "0", "3", "8"}, false},
      {"stochrsi", "k", {}, false},          {"maxindex", nullopt, {}, false},
      {"style", "doji", {}, true},           {"cdl", "bullish", {}, true},
      {"add", nullopt, {}, false},           {"sar", nullopt, {}, false},
      {"hhv", nullopt, {"5"}, true},         {"typprice", nullopt, {}, true},
  };
  for (const Case& c : cases) EXPECT_EQ(finite_window(c.name, c.sub, c.args), c.finite) << c.name;
}

}  // namespace
}  // namespace kadmo::directive
