#include <gtest/gtest.h>

#include <random>
#include <string>

#include "dump.hpp"
#include "kadmo/directive/lookback.hpp"
#include "kadmo/directive/parser.hpp"
#include "kadmo/directive/stringify.hpp"

namespace kadmo::directive {
namespace {

using testing::dump;

struct TreeCase {
  std::string text;
  std::string tree;
};

TEST(Parse, Trees) {
  const TreeCase cases[] = {
      {"close", "I(close)"},
      {"Close", "I(Close)"},
      {"  close\t\r\n", "I(close)"},
      {"MACD:12,26", "C(macd :12,26)"},
      {"macd.Signal", "C(macd .Signal)"},
      {"macd.", "C(macd .)"},
      {"macd . signal", "C(macd .signal)"},
      {"foo.bar:x,y", "C(foo .bar :x,y)"},
      {"a_1.2b", "C(a_1 .2b)"},
      // numbers and the minus sign
      {"-5", "N(-5)"},
      {"- 5", "Neg(N(5))"},
      {"-close", "Neg(I(close))"},
      {"--5", "Neg(N(-5))"},
      {"~~a", "Not(Not(I(a)))"},
      {"a-5", "Sub(I(a),N(5))"},
      {"a - -5", "Sub(I(a),N(-5))"},
      {"5.", "N(5)"},
      {".5", "N(0.5)"},
      {"-.5", "N(-0.5)"},
      {"0.1", "N(0.1)"},
      // precedence and associativity
      {"a > b & c < d", "And(Gt(I(a),I(b)),Lt(I(c),I(d)))"},
      {"a + b * c", "Add(I(a),Mul(I(b),I(c)))"},
      {"~a & b", "And(Not(I(a)),I(b))"},
      {"a - b - c", "Sub(Sub(I(a),I(b)),I(c))"},
      {"a < b < c", "Lt(Lt(I(a),I(b)),I(c))"},
      {"a|b^c&d", "And(Xor(Or(I(a),I(b)),I(c)),I(d))"},
      {"(a + b) * 2", "Mul(Add(I(a),I(b)),N(2))"},
      {"-a*b", "Mul(Neg(I(a)),I(b))"},
      {"-(a*b)", "Neg(Mul(I(a),I(b)))"},
      // every operator, two-byte forms first
      {"a<b", "Lt(I(a),I(b))"},
      {"a<=b", "Le(I(a),I(b))"},
      {"a==b", "Eq(I(a),I(b))"},
      {"a!=b", "Ne(I(a),I(b))"},
      {"a>=b", "Ge(I(a),I(b))"},
      {"a>b", "Gt(I(a),I(b))"},
      {"a//b", "CrossUp(I(a),I(b))"},
      {"a\\\\b", "CrossDown(I(a),I(b))"},
      {"a\\b", "CrossDown(I(a),I(b))"},
      {"a >< b", "Cross(I(a),I(b))"},
      {"a/b", "Div(I(a),I(b))"},
      {"a|b", "Or(I(a),I(b))"},
      {"a^b", "Xor(I(a),I(b))"},
      // arguments
      {"boll:20,,x", "C(boll :20,<>,x)"},
      {"boll:,2.5", "C(boll :<>,2.5)"},
      {"ma:", "C(ma :<>)"},
      {"ma:5,", "C(ma :5,<>)"},
      {"ma: 5 , 10", "C(ma :5,10)"},
      {"ma:5>close", "C(ma :5>close)"},
      {"ma:5 > close", "Gt(C(ma :5),I(close))"},
      {"ma:(5", "C(ma :(5)"},
      // series
      {"ma:5@,low", "C(ma :5 @I(),I(low))"},
      {"ma:5@", "C(ma :5 @I())"},
      {"ma:5@low,", "C(ma :5 @I(low),I())"},
      {"ma:5@(close+open)/2", "Div(C(ma :5 @Add(I(close),I(open))),N(2))"},
      {"ma:5@(ema:10)", "C(ma :5 @C(ema :10))"},
      {"ma:5@( 3 )", "C(ma :5 @N(3))"},
  };
  for (const auto& c : cases) {
    auto r = parse_uncached(c.text);
    ASSERT_TRUE(r.has_value()) << c.text << ": " << r.error().message;
    EXPECT_EQ(dump(*r), c.tree) << c.text;
  }
}

struct ErrCase {
  std::string text;
  std::string message;
};

TEST(Parse, SyntaxErrorsWithPosition) {
  const ErrCase cases[] = {
      {"", "empty directive (line 1, column 1)"},
      {"  ", "empty directive (line 1, column 3)"},
      {"close\n> ", "unexpected end of directive (line 2, column 3)"},
      {"(close", "expected ')' (line 1, column 7)"},
      {"(close x", "expected ')' (line 1, column 8)"},
      {"ma@(close", "expected ')' (line 1, column 10)"},
      {"1.2.3", "invalid number '1.2.3' (line 1, column 6)"},
      {"-.", "invalid number '-.' (line 1, column 3)"},
      {"5..", "invalid number '5..' (line 1, column 4)"},
      {"a > < b", "unexpected token '<' (line 1, column 5)"},
      {"a = b", "expected end of directive (line 1, column 3)"},
      {"a ! b", "expected end of directive (line 1, column 3)"},
      {")", "unexpected token ')' (line 1, column 1)"},
      {".x", "unexpected token '.' (line 1, column 1)"},
      {"a +", "unexpected end of directive (line 1, column 4)"},
      {"-", "unexpected end of directive (line 1, column 2)"},
      {"~ ", "unexpected end of directive (line 1, column 3)"},
      {"(", "unexpected end of directive (line 1, column 2)"},
      {"ma:5@ema:10", "expected end of directive (line 1, column 9)"},
      {"2*1e5", "expected end of directive (line 1, column 4)"},  // no exponent form
      {"x@5", "expected end of directive (line 1, column 3)"},
      {"a\n\n b", "expected end of directive (line 3, column 2)"},
      {"a\r\n+ =", "unexpected token '=' (line 2, column 3)"},
      {"a\f", "expected end of directive (line 1, column 2)"},  // form feed is not whitespace
      {"a\v", "expected end of directive (line 1, column 2)"},
      {std::string("a+\0", 3), std::string("unexpected token '\0' (line 1, column 3)", 39)},
      {"a+\xe9", "unexpected token '\xc3\xa9' (line 1, column 3)"},  // byte 0xE9 shown as U+00E9
  };
  for (const auto& c : cases) {
    auto r = parse_uncached(c.text);
    ASSERT_FALSE(r.has_value()) << "parsed: " << c.text;
    EXPECT_EQ(r.error().kind, core::ErrorKind::Value);
    EXPECT_EQ(r.error().message, c.message) << c.text;
  }
}

TEST(Parse, NumberOverflowAndUnderflow) {
  // A literal too large for a double has no text to be written back as.
  std::string huge(401, '0');
  huge[0] = '1';
  auto r = parse_uncached(huge);
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error().message, "invalid number '" + huge + "' (line 1, column 402)");
  auto tiny = parse_uncached(std::string("0.").append(400, '0').append("1"));
  ASSERT_TRUE(tiny.has_value());
  EXPECT_EQ(dump(*tiny), "N(0)");
  auto big = parse_uncached(std::string("1").append(300, '0'));
  ASSERT_TRUE(big.has_value());
  EXPECT_EQ(big->as<Number>()->value, 1e300);
}

TEST(Parse, NestingLimit) {
  // 200 levels of parentheses and prefix operators together are accepted.
  EXPECT_TRUE(parse_uncached(std::string(200, '(') + "x" + std::string(200, ')')).has_value());
  for (const char* open : {"-(", "~("}) {
    std::string ok;
    for (int i = 0; i < 100; ++i) ok += open;
    ok += "x";
    for (int i = 0; i < 100; ++i) ok += ")";
    EXPECT_TRUE(parse_uncached(ok).has_value()) << open;
  }
  EXPECT_TRUE(parse_uncached(std::string(199, '-') + "~x").has_value());
  // The 201st opener is reported where it stands.
  for (const char* open : {"(", "-", "~"}) {
    std::string deep(100000, open[0]);
    auto r = parse_uncached(deep + "x");
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error().message, "too deeply nested (line 1, column 201)") << open;
  }
  std::string mixed;
  for (int i = 0; i < 100; ++i) mixed += "-(";
  mixed += "~x";
  auto r = parse_uncached(mixed);
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error().message, "too deeply nested (line 1, column 201)");
  // Series parentheses count too.
  std::string series;
  for (int i = 0; i < 250; ++i) series += "ma@(";
  r = parse_uncached(series + "x");
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error().message, "too deeply nested (line 1, column " + std::to_string(200 * 4 + 4) + ")");
}

TEST(Parse, LongOperatorChainsAreBounded) {
  // A left-nested chain of 999 operators is a tree of height 1000: accepted.
  std::string ok = "a";
  for (int i = 0; i < 999; ++i) ok += "+a";
  auto tall = parse(ok);  // cached: stringified as well
  ASSERT_TRUE(tall.has_value());
  EXPECT_EQ(stringify(*tall), ok);
  EXPECT_EQ(lookback(*tall), 0u);
  EXPECT_TRUE(clone(*tall) == *tall);
  // One megabyte of them fails cleanly at the 1000th operator.
  std::string chain = "a";
  while (chain.size() < (1u << 20)) chain += "+a";
  auto r = parse_uncached(chain);
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error().message, "too deeply nested (line 1, column " + std::to_string(999 * 2 + 2) + ")");
}

TEST(Parse, HostileBytesNeverCrash) {
  std::mt19937_64 rng(12345);
  const std::string alphabet = std::string("()-~+*/\\<>=!&|^@:,._ \t\n\r\f0123456789abcXYZ") + '\0' + "\xff\xc3";
  for (int n = 0; n < 20000; ++n) {
    std::string s(rng() % 40, ' ');
    for (char& c : s) c = (rng() % 8 == 0) ? static_cast<char>(rng()) : alphabet[rng() % alphabet.size()];
    auto r = parse_uncached(s);
    if (!r) {
      EXPECT_EQ(r.error().kind, core::ErrorKind::Value);
      EXPECT_NE(r.error().message.find(" (line "), std::string::npos) << s;
    }
  }
  // Megabyte texts of a single kind.
  for (char c : {'(', '-', '~', 'a', '1', '.', ',', '@', ':', '\0', '\xff', ' '}) {
    std::string big(1u << 20, c);
    (void)parse_uncached(big);
    (void)parse_uncached(std::string("x:").append(big));
    (void)parse_uncached(std::string("x@").append(big));
  }
  std::string args = "f:";
  for (int i = 0; i < 200000; ++i) args += "1,";
  EXPECT_TRUE(parse_uncached(args).has_value());
}

TEST(ParseCache, HitsCloneAndCacheOnlySuccesses) {
  parse_cache_clear();
  auto a = parse("ma:5 > close");
  auto b = parse("ma:5 > close");
  ASSERT_TRUE(a && b);
  EXPECT_TRUE(*a == *b);
  EXPECT_EQ(parse_cache_size(), 1u);
  // Exact text is the key: untrimmed spelling is a separate entry.
  ASSERT_TRUE(parse(" ma:5 > close").has_value());
  EXPECT_EQ(parse_cache_size(), 2u);
  EXPECT_FALSE(parse("(close").has_value());
  EXPECT_FALSE(parse_cache_contains("(close"));
  EXPECT_EQ(parse_cache_size(), 2u);
  auto shared = parse_shared("MACD:12,26");
  ASSERT_TRUE(shared.has_value());
  EXPECT_EQ((*shared)->canonical, "macd");
  EXPECT_EQ(parse_shared("MACD:12,26")->get(), shared->get());  // served from the cache
}

TEST(ParseCache, EmptiedWholesaleAt512) {
  parse_cache_clear();
  for (int i = 0; i < 512; ++i) ASSERT_TRUE(parse("ma:" + std::to_string(i)).has_value());
  EXPECT_EQ(parse_cache_size(), 512u);
  ASSERT_TRUE(parse("ma:0").has_value());  // a hit inserts nothing
  EXPECT_EQ(parse_cache_size(), 512u);
  ASSERT_TRUE(parse("ema:1").has_value());
  EXPECT_EQ(parse_cache_size(), 1u);
  EXPECT_TRUE(parse_cache_contains("ema:1"));
  EXPECT_FALSE(parse_cache_contains("ma:0"));
}

TEST(ParseCache, LongTextsAreParsedButNotKept) {
  parse_cache_clear();
  std::string longer = "a";
  while (longer.size() <= kMaxCachedText) longer += "&a";
  longer.resize(0);
  for (int i = 0; i < 500; ++i) longer += "abcdefghij+";
  longer += "x";
  ASSERT_TRUE(parse(longer).has_value());
  EXPECT_EQ(parse_cache_size(), 0u);
}

}  // namespace
}  // namespace kadmo::directive
