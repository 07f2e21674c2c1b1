#include <gtest/gtest.h>

#include <charconv>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "dump.hpp"
#include "kadmo/directive/candle_names.hpp"
#include "kadmo/directive/parser.hpp"
#include "kadmo/directive/spec.hpp"
#include "kadmo/directive/stringify.hpp"

namespace kadmo::directive {
namespace {

std::string canon(const std::string& text) {
  auto r = parse_uncached(text);
  EXPECT_TRUE(r.has_value()) << text << ": " << (r ? "" : r.error().message);
  return r ? stringify(*r) : "<error>";
}

TEST(Stringify, CanonicalTexts) {
  const std::pair<const char*, const char*> cases[] = {
      // worked examples
      {"MACD:12,26", "macd"}, {"boll.upper:20,2.5", "boll.upper:,2.5"}, {"macd.dif:12", "macd"},
      {"macd.dea", "macd.signal"}, {"boll.m:20", "boll"}, {"ma:5,0@close", "ma:5"}, {"ma:5@high", "ma:5@high"},
      {"hv:7,1d,252", "hv:7"}, {"close > ma:20", "close>ma:20"},
      // defaults are dropped by text, keeping positions
      {"kdj.k:9,3,50", "kdj.k"}, {"macd:12,30", "macd:,30"}, {"ma:5,", "ma:5"}, {"ma:,5", "ma:,5"},
      {"boll.upper:20,2", "boll.upper"}, {"boll.upper:20,2.0", "boll.upper:,2.0"}, {"ma:5,00", "ma:5,00"},
      {"ma:5,+0", "ma:5,+0"}, {"sar:0.02,0.2", "sar"}, {"sarext:0,0,0.02", "sarext"},
      {"increase:1,1", "increase"}, {"increase:1,-1", "increase:,-1"}, {"t3:5,0.7", "t3"},
      {"macdfix.s:9", "macdfix.signal"}, {"stoch.slowd:5,3,0,3,0", "stoch.d"}, {"stochf.fastk:5", "stochf.k"},
      {"aroon.u:14", "aroon.up"}, {"ht_phasor.i", "ht_phasor"}, {"ht_sine.lead", "ht_sine.leadsine"},
      {"mama.mama:0.5", "mama"}, {"accbands.u@high,low", "accbands.upper"}, {"donchian.l:5@low", "donchian.lower:5"},
      {"beta:5@close,spy", "beta@,spy"}, {"stoch.k@high,low,close", "stoch.k"}, {"ma:5@Close", "ma:5@Close"},
      {"ma:5@,", "ma:5"}, {"ma:5@ , low", "ma:5@,low"}, {"repeat:3@(close>open)", "repeat:3@(close>open)"},
      {"style:bullish", "style:bullish"}, {"style.morningstar:0.3", "style.morningstar"},
      {"style.mathold:0.5", "style.mathold"}, {"style.mathold:0.3", "style.mathold:0.3"},
      {"cdl.morningstar:0.3", "cdl.morningstar:0.3"}, {"CDL.doji", "cdl.doji"}, {"style.Doji:1", "style.Doji:1"},
      {"macd.Signal:12", "macd.Signal:12"}, {"macd.:12", "macd.:12"}, {"kdj:9", "kdj:9"},
      // unknown commands keep their arguments
      {"foo.bar:1,,2,", "foo.bar:1,,2"}, {"foo:,", "foo"}, {"Close > Open", "Close>Open"},
      // series items other than identifiers are parenthesised
      {"ma:5@(ema:10)", "ma:5@(ema:10)"}, {"ma:5@(3)", "ma:5@(3)"}, {"ma:5@(high+low)", "ma:5@(high+low)"},
      {"ma:5@((high))", "ma:5@high"}, {"ma:5@(-high)", "ma:5@(-high)"},
      // operators and precedence
      {"a - (b - c)", "a-(b-c)"}, {"(a - b) - c", "a-b-c"}, {"a & (b | c)", "a&(b|c)"}, {"a < b + c", "a<b+c"},
      {"(a + b) * 2", "(a+b)*2"}, {"a * (b / c)", "a*(b/c)"}, {"(a < b) < c", "a<b<c"}, {"a \\ b", "a\\\\b"},
      {"a >< b", "a><b"}, {"-(a + b)", "-(a+b)"}, {"~(a & b)", "~(a&b)"}, {"- -a", "--a"}, {"~ - a", "~-a"},
      {"-a * b", "-a*b"},
      // numbers
      {"0.1", "0.1"}, {"-3", "-3"}, {"2.50", "2.5"}, {"5.", "5"}, {".5", "0.5"}, {"0.000001", "0.000001"},
      {"9223372036854775807", "9223372036854775808"} /* the double is 2^63 */, {"123.456", "123.456"}, {"--5", "--5"}, {"a - -5", "a--5"},
      // mended: text that reads back
      {"- 5", "-(5)"}, {"-(0.5)", "-(0.5)"}, {"-0", "-0"}, {"- -0", "--0"},
      {"100000000000000000000", "100000000000000000000"},
      {"ma:5 > close", "(ma:5)>close"}, {"close > ma:5 & x", "close>(ma:5)&x"}, {"-ma:5 + 1", "-(ma:5)+1"},
      {"~ma:5 | x", "~(ma:5)|x"}, {"(ma:5 > close) & x", "(ma:5)>close&x"}, {"x & (ma:5)", "x&ma:5"},
      {"(a & ma:5) | b", "a&(ma:5)|b"}, {"a * (b + ma:5)", "a*(b+ma:5)"}, {"ma:5@high > close", "ma:5@high>close"},
      {"macd:12,26 > 0", "macd>0"}, {"macd.signal > 0", "macd.signal>0"}, {"macd. > 0", "macd.>0"},
      {"x@(ma:5 > 1)", "x@((ma:5)>1)"}, {"-(ma:5)", "-ma:5"},
      // a command item left with a bare name is written as that name
      {"x@(mama:0.5)", "x@mama"}, {"ma:5@(close:)", "ma:5"}, {"ma:5@(macd.dif)", "ma:5@macd"},
  };
  for (const auto& [text, want] : cases) EXPECT_EQ(canon(text), want) << text;
}

TEST(Stringify, JoinWith) {
  using V = std::vector<std::string>;
  EXPECT_EQ(join_with(V{}, ':'), "");
  EXPECT_EQ(join_with(V{"", ""}, ':'), "");
  EXPECT_EQ(join_with(V{"5", "", ""}, ':'), ":5");
  EXPECT_EQ(join_with(V{"", "x"}, '@'), "@,x");
  EXPECT_EQ(join_with(V{"1", "", "2", ""}, ':'), ":1,,2");
}

TEST(Stringify, CommandAndNumberHelpers) {
  auto r = parse_uncached("BOLL.u:20,2@close");
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(stringify_command(*r->as<Command>()), "boll.upper");
  auto m = parse_uncached("ma:5");
  EXPECT_EQ(stringify_command(*m->as<Command>()), "ma:5");  // never wrapped on its own
  EXPECT_EQ(number_text(2.0), "2");
  EXPECT_EQ(number_text(0.02), "0.02");
  EXPECT_EQ(number_text(-3.0), "-3");
  EXPECT_EQ(number_text(1e-7), "0.0000001");
  EXPECT_EQ(number_text(1e22), "10000000000000000000000");
  EXPECT_EQ(number_text(-9223372036854775808.0), "-9223372036854775808");
}

// ---- read-back property ----
//
// For every directive t with c = stringify(parse(t)): parse(c) has the meaning
// of parse(t) and stringify(parse(c)) == c. "Meaning" is compared on a
// normal form built here from the registry alone: canonical sub-commands,
// default arguments and default series dropped, a command left with nothing
// written read as the bare name.

std::string normal(const Node& n);

std::string normal_command(const Command& c) {
  std::optional<std::string_view> sub;
  if (c.sub) sub = *c.sub;
  sub = canon_sub(c.name, sub);
  auto spec = command_spec(c.name, sub);
  std::vector<std::string> args;
  for (std::size_t i = 0; i < c.args.size(); ++i) {
    const auto& a = c.args[i];
    bool dflt = a && spec && i < spec->args.size() && spec->args[i].has_default() && *a == spec->args[i].text;
    args.push_back(!a || dflt ? "" : "=" + *a);
  }
  while (!args.empty() && args.back().empty()) args.pop_back();
  std::vector<std::string> series;
  for (std::size_t j = 0; j < c.series.size(); ++j) {
    std::string ns = normal(c.series[j]);
    bool dflt = ns == "I()" || (spec && j < spec->series.size() && ns == "I(" + std::string(spec->series[j]) + ")");
    series.push_back(dflt ? "" : ns);
  }
  while (!series.empty() && series.back().empty()) series.pop_back();
  if (!sub && args.empty() && series.empty()) return "I(" + c.name + ")";
  std::string out = "C(" + c.name + (sub ? "." + std::string(*sub) : "");
  for (auto& a : args) out += " a" + a;
  for (auto& s : series) out += " s" + s;
  return out + ")";
}

std::string normal(const Node& n) {
  if (auto c = n.as<Command>()) return normal_command(*c);
  if (auto u = n.as<Unary>()) return std::string(u->op == UnOp::Neg ? "Neg(" : "Not(") + normal(*u->operand) + ")";
  if (auto b = n.as<Binary>())
    return std::string(testing::op_name(b->op)) + "(" + normal(*b->left) + "," + normal(*b->right) + ")";
  if (auto x = n.as<Number>()) {
    std::uint64_t bits;
    std::memcpy(&bits, &x->value, sizeof bits);
    return "N" + std::to_string(bits);
  }
  return testing::dump(n);
}

class Gen {
 public:
  explicit Gen(std::uint64_t seed) : rng_(seed) {}

  std::string expr(int depth) {
    switch (depth <= 0 ? pick(3) : pick(8)) {
      case 0: return ident();
      case 1: return num();
      case 2: return command(depth);
      case 3: return command(depth);
      case 4: return std::string(pick(2) ? "-" : "~") + ws() + expr(depth - 1);
      case 5: return "(" + ws() + expr(depth - 1) + ws() + ")";
      default: {
        static const char* ops[] = {"<", "<=", "==", "!=", ">=", ">", "//", "\\\\", "\\", "><",
                                    "+", "-", "*", "/", "&", "|", "^"};
        // A space before the operator keeps it out of a preceding argument
        // text most of the time; without one the text still parses.
        return expr(depth - 1) + (pick(5) ? " " : "") + ops[pick(17)] + ws() + expr(depth - 1);
      }
    }
  }

 private:
  std::size_t pick(std::size_t n) { return rng_() % n; }
  std::string ws() { return pick(3) == 0 ? std::string(" \t\n\r").substr(pick(4), 1) : ""; }

  std::string ident() {
    static const char* names[] = {"close", "Close", "open", "high", "low", "volume", "x", "_a1", "spy", "macd", "rsi"};
    return names[pick(11)];
  }

  std::string num() {
    static const char* nums[] = {"5", "0", "5.", ".5", "0.1", "2.50", "-3", "-0", "-.25", "007",
                                 "123456789012345678901234567890", "9223372036854775808", "0.000001"};
    return nums[pick(13)];
  }

  std::string command(int depth) {
    auto rows = command_rows();
    const CommandRow& row = rows[pick(rows.size())];
    std::string name(row.name);
    if (pick(6) == 0) name = pick(2) ? "cdl" : "foo";
    if (pick(8) == 0) name[0] = static_cast<char>(name[0] - 'a' + 'A');
    std::string out = name;
    std::vector<std::string_view> subs{"", "Signal", "x1"};
    for (const Variant& v : row.variants)
      if (v.sub) subs.push_back(*v.sub);
    for (const Alias& a : row.aliases) subs.push_back(a.written);
    if (row.pattern_subs || name == "cdl") {
      auto pats = candle_patterns();
      subs.push_back(pats[pick(pats.size())].name);
      subs.push_back(pats[pick(pats.size())].name);
    }
    bool any = false;
    if (pick(2)) {
      out += ws() + "." + ws() + std::string(subs[pick(subs.size())]);
      any = true;
    }
    if (pick(2)) {
      std::vector<std::string> pool{"", "5", "0", "20", "2", "2.0", "x", "+3", "00", "0.7", "1d", "bullish", "(5"};
      for (const Variant& v : row.variants)
        for (const ArgSpec& a : v.args) pool.push_back(std::string(a.text));
      out += ws() + ":";
      std::size_t n = pick(6);
      for (std::size_t i = 0; i <= n; ++i) out += (i ? ws() + "," : "") + ws() + pool[pick(pool.size())];
      any = true;
    }
    if (pick(3) == 0 || !any) {
      std::vector<std::string> pool{"", "close", "high", "low", "open", "volume", "spy", "High"};
      out += ws() + "@";
      std::size_t n = pick(4);
      for (std::size_t i = 0; i <= n; ++i) {
        out += (i ? ws() + "," : "") + ws();
        out += depth > 0 && pick(3) == 0 ? "(" + expr(depth - 1) + ")" : pool[pick(pool.size())];
      }
    }
    return out;
  }

  std::mt19937_64 rng_;
};

TEST(Stringify, CanonicalTextReadsBack) {
  Gen gen(20240611);
  int parsed = 0;
  for (int n = 0; n < 30000; ++n) {
    std::string t = gen.expr(1 + n % 5);
    auto r = parse_uncached(t);
    if (!r) continue;
    ++parsed;
    std::string c = stringify(*r);
    auto back = parse_uncached(c);
    ASSERT_TRUE(back.has_value()) << "t=" << t << "\nc=" << c << "\n" << back.error().message;
    ASSERT_EQ(normal(*back), normal(*r)) << "t=" << t << "\nc=" << c;
    ASSERT_EQ(stringify(*back), c) << "t=" << t;
  }
  EXPECT_GT(parsed, 15000);  // the generator mostly writes valid directives
}

}  // namespace
}  // namespace kadmo::directive
