#pragma once
// Decimal number text read straight from a padded buffer, eight digits per
// step, and the double it denotes when that double needs no rounding beyond
// one correctly rounded operation. Anything else is left to std::from_chars,
// so every value equals what from_chars gives, bit for bit.

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kadmo::io {

// [+-]digits[.digits][(e|E)[+-]digits] with at most 19 significant digits.
struct Decimal {
  std::uint64_t mantissa = 0;  // the significant digits as an integer
  int exp10 = 0;               // value = mantissa * 10^exp10
  bool negative = false;
  bool integer = true;  // no '.' and no exponent
};

namespace detail {

inline constexpr std::uint64_t kPow10u[9] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

// Number of leading ASCII digits among the 8 bytes of w (first byte lowest).
// A byte below '0' wraps to >= 0xD0 and one above '9' carries past 0x7F, so
// either sets its high bit; borrows and carries only run towards later
// bytes, which leaves the first flagged byte exact.
inline int leading_digits(std::uint64_t w) {
  const std::uint64_t x = w - 0x3030303030303030ULL;
  const std::uint64_t flag = (x | (x + 0x7676767676767676ULL)) & 0x8080808080808080ULL;
  return flag ? __builtin_ctzll(flag) >> 3 : 8;
}

// The value of the first n (1..8) bytes of w, all ASCII digits.
inline std::uint64_t digits_value(std::uint64_t w, int n) {
  std::uint64_t v = (w - 0x3030303030303030ULL) << (8 * (8 - n));  // leading zero digits fill the front
  v = v * 10 + (v >> 8);                                            // byte pairs: 10a + b
  v = (((v & 0x000000FF000000FFULL) * (100 + (1000000ULL << 32))) +
       (((v >> 16) & 0x000000FF000000FFULL) * (1 + (10000ULL << 32)))) >>
      32;
  return v;
}

// Appends the digit run at q to m; count gets the run's length. False when
// m would pass 19 digits (sig is the digit count m holds so far; a run
// never starts with a zero while m is still zero).
inline bool digit_run(const char*& q, std::uint64_t& m, int& sig, int& count) {
  count = 0;
  for (;;) {
    std::uint64_t w;
    std::memcpy(&w, q, 8);
    const int n = leading_digits(w);
    if (n == 0) return true;
    if (sig + n > 19) return false;
    m = m * kPow10u[n] + digits_value(w, n);
    sig += n;
    q += n;
    count += n;
    if (n < 8) return true;
  }
}

}  // namespace detail

// Reads the number at p; returns the byte after it, or null when the text
// has no digit or too many significant digits. The caller guarantees that
// 8 bytes can be read past any byte up to the number's end.
inline const char* scan_decimal(const char* p, Decimal& d) {
  const char* q = p;
  d = Decimal{};
  d.negative = *q == '-';
  if (*q == '-' || *q == '+') ++q;
  std::uint64_t m = 0;
  int sig = 0, n_int = 0, n_frac = 0;
  while (*q == '0') ++q, ++n_int;  // leading zeros are not significant
  int run;
  if (!detail::digit_run(q, m, sig, run)) return nullptr;
  n_int += run;
  if (*q == '.') {
    d.integer = false;
    ++q;
    if (m == 0)
      while (*q == '0') ++q, ++n_frac;
    if (!detail::digit_run(q, m, sig, run)) return nullptr;
    n_frac += run;
  }
  if (n_int + n_frac == 0) return nullptr;
  int e = 0;
  if (*q == 'e' || *q == 'E') {
    d.integer = false;
    ++q;
    const bool eneg = *q == '-';
    if (*q == '-' || *q == '+') ++q;
    int ed = 0;
    for (unsigned v; ed < 4 && (v = static_cast<unsigned char>(*q) - '0') <= 9; ++q, ++ed)
      e = e * 10 + static_cast<int>(v);
    if (ed == 0 || ed == 4) return nullptr;
    if (eneg) e = -e;
  }
  d.mantissa = m;
  d.exp10 = e - n_frac;
  return q;
}

// The double of d when mantissa and power of ten are both exact doubles, so
// that one multiplication or division rounds correctly; false otherwise.
inline bool decimal_exact(const Decimal& d, double& out) {
  static constexpr double kPow10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                        1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  if (d.mantissa > (std::uint64_t{1} << 53) || d.exp10 < -22 || d.exp10 > 22) {
    if (d.mantissa != 0) return false;
    out = d.negative ? -0.0 : 0.0;  // zero digits: any exponent
    return true;
  }
  const double m = static_cast<double>(d.mantissa);
  double x = d.exp10 < 0 ? m / kPow10[-d.exp10] : m * kPow10[d.exp10];
  out = d.negative ? -x : x;
  return true;
}

namespace detail {

// The unsigned part of scan_fixed_point.
inline const char* fixed_point_digits(const char* p, double& out) {
#if defined(__SSE2__)
  static constexpr double kPow10[9] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i digit =
      _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8('0' - 1)), _mm_cmplt_epi8(v, _mm_set1_epi8('9' + 1)));
  const unsigned other = ~static_cast<unsigned>(_mm_movemask_epi8(digit)) & 0xFFFFu;
  const unsigned point = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('.'))));
  const unsigned k = static_cast<unsigned>(__builtin_ctz(other | 0x10000u));               // first non-digit
  const unsigned end = static_cast<unsigned>(__builtin_ctz((other & (other - 1)) | 0x10000u));  // the next one
  const unsigned frac = end - k - 1;
  if (k - 1 > 7 || frac - 1 > 7 || !(point >> k & 1)) return nullptr;
  std::uint64_t a, b;
  std::memcpy(&a, p, 8);
  std::memcpy(&b, p + k + 1, 8);
  // The point and at most 15 digits fit the 16 bytes, so m < 10^15 < 2^53:
  // m and 10^frac are exact doubles and one division rounds correctly.
  const std::uint64_t m = digits_value(a, static_cast<int>(k)) * kPow10u[frac] + digits_value(b, static_cast<int>(frac));
  if (m > (std::uint64_t{1} << 53)) return nullptr;
  out = static_cast<double>(m) / kPow10[frac];
  return p + end;
#else
  (void)p;
  (void)out;
  return nullptr;
#endif
}

}  // namespace detail

// The common shape of price columns, "[-]ddd.ddddd" with 1..8 digits on each
// side of the point, in fewer steps than scan_decimal: one 16-byte compare
// finds the point and the end, and the two digit runs convert side by side.
// Returns the byte after the number (the caller checks what follows: a
// digit beyond the 16 bytes looked at, or an exponent, must refuse it) or
// null for any other text. The caller guarantees 24 readable bytes at p.
inline const char* scan_fixed_point(const char* p, double& out) {
  // The sign as a branch, not an offset: the digits' load then does not
  // wait on the sign's, which shortens the chain from field to field.
  if (*p == '-') [[unlikely]] {
    const char* q = detail::fixed_point_digits(p + 1, out);
    if (q) out = -out;
    return q;
  }
  return detail::fixed_point_digits(p, out);
}

}  // namespace kadmo::io
