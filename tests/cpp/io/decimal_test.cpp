// The fast number reader against std::from_chars (the correctly rounded
// reference) and plain digit loops, bit for bit, on generated texts.
#include "kadmo/io/decimal.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "kadmo/io/csv_reader.hpp"

namespace kadmo::io {
namespace {

std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

// The reference value of a float text: from_chars, with strtod's infinity or
// zero where from_chars reports the range error.
double reference(const std::string& s) {
  const char* b = s.data() + (s[0] == '+');
  double x = 0;
  auto [p, ec] = std::from_chars(b, s.data() + s.size(), x);
  EXPECT_EQ(p, s.data() + s.size()) << s;
  if (ec == std::errc::result_out_of_range) return std::strtod(s.c_str(), nullptr);
  EXPECT_EQ(ec, std::errc{}) << s;
  return x;
}

// The text followed by a stop byte and the readable padding the scanner needs.
struct Padded {
  explicit Padded(const std::string& s) : text(s + ",") { text.append(32, '\n'); }
  std::string text;
};

std::string random_digits(std::mt19937_64& rng, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += static_cast<char>('0' + rng() % 10);
  return s;
}

// Decimal texts of every shape the scanner takes or refuses: signs, leading
// zeros, 0..25 digits on either side of the point, exponents.
std::vector<std::string> generated_texts(std::size_t count) {
  std::mt19937_64 rng(20240611);
  std::vector<std::string> out;
  while (out.size() < count) {
    std::string s;
    switch (rng() % 3) {
      case 0: s += '-'; break;
      case 1: if (rng() % 4 == 0) s += '+'; break;
      default: break;
    }
    if (rng() % 5 == 0) s += std::string(rng() % 4, '0');
    const int int_digits = static_cast<int>(rng() % 12 == 0 ? rng() % 26 : rng() % 9);
    const int frac_digits = static_cast<int>(rng() % 12 == 0 ? rng() % 26 : rng() % 9);
    s += random_digits(rng, int_digits);
    if (rng() % 4 != 0) {
      s += '.';
      if (rng() % 5 == 0) s += std::string(rng() % 6, '0');
      s += random_digits(rng, frac_digits);
    }
    if (rng() % 6 == 0) {
      s += (rng() % 2) ? 'e' : 'E';
      if (rng() % 2) s += (rng() % 2) ? '-' : '+';
      s += std::to_string(rng() % 340);
    }
    out.push_back(s);
  }
  return out;
}

// Texts where a shortcut would most likely go wrong: the edges of the exact
// range (2^53, 10^22), ties, the ends of the double range, zeros.
const std::vector<std::string> kBoundaries = {
    "9007199254740992",       "9007199254740993",         "9007199254740993.0",   "9007199254740995",
    "18014398509481985",      "1e22",                     "1e23",                 "9999999999999999e22",
    "1.7976931348623157e308", "1.7976931348623159e308",   "4.9e-324",             "2.4703282292062327e-324",
    "2.2250738585072014e-308", "0.1",                     "0.3",                  "123456789012345678",
    "1234567890123456789",    "9223372036854775807",      "9223372036854775808",  "-9223372036854775808",
    "-9223372036854775809",   "0",                        "-0",                   "-0.0",
    "0e999",                  "-0.000e-5",                "00000000000000000001", "0.0000000000000000000000001",
    "1.",                     ".5",                       "-.5",                  "1e-22",
    "4503599627370497.5",     "8.98846567431158e307",     "1e-400",               "5e-324",
    "100.00070",              "99.99999999999999999999",  "1e308",                "2e308",
    "12345678.12345678",      "99999999.99999999",        "90071992.54740993",    "1.123456789",
    "123456789.5",            "1.5e3",                    "-0.00000",             "00000001.00000001",
};

TEST(FastDecimal, AgreesWithFromCharsBitForBit) {
  std::vector<std::string> texts = generated_texts(200000);
  texts.insert(texts.end(), kBoundaries.begin(), kBoundaries.end());
  std::size_t fast = 0, fixed = 0;
  for (const auto& s : texts) {
    const bool has_digit = s.find_first_of("0123456789") < s.find_first_of("eE");
    Padded buf(s);
    Decimal d;
    const char* end = scan_decimal(buf.text.data(), d);
    if (!has_digit) {
      EXPECT_EQ(end, nullptr) << s;
      continue;
    }
    const double want = reference(s);
    if (end != nullptr) {
      ASSERT_EQ(end, buf.text.data() + s.size()) << s;
      double x;
      if (decimal_exact(d, x)) {
        ++fast;
        ASSERT_EQ(bits(x), bits(want)) << s;
      }
      if (d.integer) {
        // The integer reading agrees with a checked conversion.
        std::int64_t v;
        const auto [p, ec] = std::from_chars(s.data() + (s[0] == '+'), s.data() + s.size(), v);
        if (ec == std::errc{}) {
          ASSERT_EQ(d.mantissa, static_cast<std::uint64_t>(v < 0 ? -static_cast<__int128>(v) : v)) << s;
          ASSERT_EQ(d.exp10, 0) << s;
        }
      }
    }
    // The fixed-point reader either gives the reference value, or refuses,
    // or stops where no stop byte follows (the caller then refuses it).
    double z;
    const char* fe = scan_fixed_point(buf.text.data(), z);
    if (fe == buf.text.data() + s.size()) {
      ++fixed;
      ASSERT_EQ(bits(z), bits(want)) << s;
    } else if (fe != nullptr) {
      ASSERT_TRUE(*fe != ',' && *fe != '\n') << s;
    }
    // The cell reader (fast path or not) gives the reference value.
    double y;
    ASSERT_TRUE(parse_float_cell(s, y)) << s;
    ASSERT_EQ(bits(y), bits(want)) << s;
  }
  // Most generated texts are short enough for the exact shortcut, and the
  // plain "digits.digits" ones (about a third) for the fixed-point reader.
  EXPECT_GT(fast, texts.size() / 2);
  EXPECT_GT(fixed, texts.size() / 5);
}

TEST(FastDecimal, ReaderColumnsAgreeWithFromChars) {
  // The same texts as cells of a file: every path of the reader (the first
  // cells set the dtype, later ones widen it) gives the reference value.
  std::vector<std::string> texts = generated_texts(60000);
  texts.insert(texts.begin() + 30000, kBoundaries.begin(), kBoundaries.end());
  std::erase_if(texts, [](const std::string& s) { return s.find_first_of("0123456789") >= s.find_first_of("eE"); });
  char dir[] = "/tmp/kadmo-decimal-test-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/n.csv";
  {
    std::string body = "x,y\n";
    // The second column holds the texts in reverse order.
    for (std::size_t i = 0; i < texts.size(); ++i) body += texts[i] + "," + texts[texts.size() - 1 - i] + "\n";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(body.data(), 1, body.size(), f);
    std::fclose(f);
  }
  auto df = read_csv(path, {});
  std::remove(path.c_str());
  ::rmdir(dir);
  ASSERT_TRUE(df.has_value()) << df.error().message;
  for (std::size_t c = 0; c < 2; ++c) {
    const auto* v = df->column_at(c).f64_values();
    ASSERT_NE(v, nullptr);
    ASSERT_EQ(v->size(), texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
      const std::string& t = c == 0 ? texts[i] : texts[texts.size() - 1 - i];
      ASSERT_EQ(bits((*v)[i]), bits(reference(t))) << t;
    }
  }
}

TEST(FastDecimal, TokensAndMalformedTexts) {
  struct Case {
    std::string text;
    bool parses;  // by parse_float_cell
  } cases[] = {
      {"inf", true},   {"-Infinity", true}, {"nan", true},  {"+NaN", true}, {"1e", false},  {"1e+", false},
      {".", false},    {"-", false},        {"+-1", false}, {"1..2", false}, {"0x10", false}, {"nan(1)", false},
      {"1e5.", false}, {"", false},
  };
  for (const auto& c : cases) {
    double x;
    EXPECT_EQ(parse_float_cell(c.text, x), c.parses) << c.text;
    if (c.parses) {
      EXPECT_EQ(bits(x), bits(std::strtod(c.text.c_str(), nullptr))) << c.text;
    }
    // The scanner never claims a token or a malformed text as a whole number.
    Padded buf(c.text);
    Decimal d;
    const char* end = scan_decimal(buf.text.data(), d);
    EXPECT_TRUE(end == nullptr || end != buf.text.data() + c.text.size() || c.parses) << c.text;
  }
}

TEST(FastDecimal, EightDigitStepsMatchDigitLoops) {
  // Every run length 0..8 of a word against a digit loop (the value for 1..8).
  std::mt19937_64 rng(7);
  for (int trial = 0; trial < 2000; ++trial) {
    std::string s = random_digits(rng, 8);
    const int n = static_cast<int>(rng() % 9);
    if (n < 8) s[static_cast<std::size_t>(n)] = "., \n:e-/"[rng() % 8];
    std::uint64_t w;
    std::memcpy(&w, s.data(), 8);
    ASSERT_EQ(detail::leading_digits(w), n) << s;
    std::uint64_t want = 0;
    for (int i = 0; i < n; ++i) want = want * 10 + static_cast<std::uint64_t>(s[static_cast<std::size_t>(i)] - '0');
    if (n > 0) {
      ASSERT_EQ(detail::digits_value(w, n), want) << s;
    }
  }
}

}  // namespace
}  // namespace kadmo::io
