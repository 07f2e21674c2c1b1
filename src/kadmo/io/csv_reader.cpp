#include "kadmo/io/csv_reader.hpp"

#include "kadmo/core/calendar.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <system_error>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif


#include "kadmo/core/memory.hpp"
#include "kadmo/io/decimal.hpp"

namespace kadmo::io {

using core::Column;
using core::DType;
using core::KadmoError;
using core::Result;
using core::Tz;
using core::fail;

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

std::string os_error(int e) { return std::system_category().message(e); }

inline std::string_view trim(std::string_view v) {
  if (v.empty()) return v;
  const auto f = static_cast<unsigned char>(v.front()), l = static_cast<unsigned char>(v.back());
  if (f > 0x20 && f < 0x80 && l > 0x20 && l < 0x80) return v;
  return core::trim_unicode_space(v);
}

inline bool eq_ascii_ci(std::string_view s, std::string_view lower) {
  if (s.size() != lower.size()) return false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lower[i]) return false;
  }
  return true;
}

inline bool parse_bool_cell(std::string_view t, std::uint8_t& out) {
  if (eq_ascii_ci(t, "true")) return out = 1, true;
  if (eq_ascii_ci(t, "false")) return out = 0, true;
  return false;
}

inline bool two_digits(const char* p, int& v) {
  const unsigned a = static_cast<unsigned char>(p[0]) - '0', b = static_cast<unsigned char>(p[1]) - '0';
  if (a > 9 || b > 9) return false;
  v = static_cast<int>(a * 10 + b);
  return true;
}

// The seconds since the epoch of the date "YYYY-MM-DD" at p (UTC midnight),
// or -1 when the text is not such a valid date.
inline std::int64_t date_seconds(const char* p) {
  int y1, y2, mo, d;
  if (p[4] != '-' || p[7] != '-' || !two_digits(p, y1) || !two_digits(p + 2, y2) || !two_digits(p + 5, mo) ||
      !two_digits(p + 8, d))
    return -1;
  const int y = y1 * 100 + y2;
  if (mo < 1 || mo > 12 || d < 1 || d > core::days_in_month(y, mo)) return -1;
  return core::days_from_civil_0_9999(static_cast<unsigned>(y), static_cast<unsigned>(mo), static_cast<unsigned>(d)) *
             86400 +
         86400LL * 1'000'000;  // shifted up so that -1 stays free as the failure mark
}

// Seconds of the clock "HH:MM:SS" at p, or -1; the eight bytes as one word.
inline int clock_seconds(const char* p) {
  std::uint64_t w;
  std::memcpy(&w, p, 8);
  constexpr std::uint64_t kColons = 0x0000FF0000FF0000ULL, kDigits = 0x8080008080008080ULL;
  const std::uint64_t x = w - 0x3030303030303030ULL;
  // With both colons in place, the first byte that is no digit is flagged
  // exactly (borrows and carries only reach later bytes).
  if ((w & kColons) != 0x00003A00003A0000ULL || ((x | (x + 0x7676767676767676ULL)) & kDigits)) return -1;
  const std::uint64_t v = x * 10 + (x >> 8);  // 10a + b at bytes 0, 3 and 6
  const int h = static_cast<int>(v & 0xFF), mi = static_cast<int>(v >> 24 & 0xFF), sec = static_cast<int>(v >> 48 & 0xFF);
  if (h > 23 || mi > 59 || sec > 59) return -1;
  return h * 3600 + mi * 60 + sec;
}

// Instants of "YYYY-MM-DD HH:MM:SS" in UTC or a fixed offset, the common
// shape of bar files; anything else (or a doubt) is left to parse_ns_in_tz.
// Bars come in date order, so the last date's seconds are kept.
struct DatetimeReader {
  std::int64_t offset = 0;  // zone offset, seconds east
  char date[10] = {};
  std::int64_t date_secs = -1;

  // The 19 bytes at p (more may follow: the caller checks the length).
  bool read(const char* p, std::int64_t& out) {
    if (std::memcmp(p, date, 10) != 0) {
      const std::int64_t s = date_seconds(p);
      if (s < 0) return false;
      std::memcpy(date, p, 10);
      date_secs = s;
    } else if (date_secs < 0) {
      return false;
    }
    const int c = clock_seconds(p + 11);
    if (p[10] != ' ' || c < 0) return false;
    const std::int64_t secs = date_secs - 86400LL * 1'000'000 + c - offset;
    // Well inside the int64 nanosecond range (1677..2262); the edges go the long way.
    if (secs < -9'000'000'000LL || secs > 9'000'000'000LL) return false;
    out = secs * 1'000'000'000LL;
    return true;
  }
};

inline bool fast_datetime(std::string_view s, const Tz& tz, std::int64_t& out) {
  if (s.size() != 19 || tz.kind() == Tz::Kind::Named) return false;
  DatetimeReader r;
  r.offset = tz.offset_seconds();
  return r.read(s.data(), out);
}

struct FdCloser {
  int fd = -1;
  ~FdCloser() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

// ---------------------------------------------------------------- tokens

TokenSet::TokenSet(const ReadCsvOptions& opts) {
  std::vector<std::string> tokens;
  if (opts.keep_default_na)
    for (auto t : kDefaultNaTokens) tokens.emplace_back(t);
  for (const auto& t : opts.na_values) tokens.push_back(t);
  for (const auto& t : tokens) {
    set_.emplace(t, 0);
    if (!t.empty() && t.find_first_not_of("0123456789+-.eE: ") == std::string::npos) numeric_like_ = true;
    if (t.empty()) {
      has_empty_ = true;
    } else if (t.size() < kShort) {
      const auto f = static_cast<unsigned char>(t.front()), l = static_cast<unsigned char>(t.back());
      first_[t.size()][f >> 6] |= std::uint64_t{1} << (f & 63);
      last_[t.size()][l >> 6] |= std::uint64_t{1} << (l & 63);
    } else {
      has_long_ = true;
    }
  }
}

// ---------------------------------------------------------------- cells

bool parse_int_cell(std::string_view s, std::int64_t& out) {
  std::size_t i = 0;
  bool neg = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    neg = s[0] == '-';
    i = 1;
  }
  if (i == s.size()) return false;
  const std::uint64_t limit = neg ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1;
  std::uint64_t acc = 0;
  for (; i < s.size(); ++i) {
    const unsigned d = static_cast<unsigned char>(s[i]) - '0';
    if (d > 9) return false;
    if (acc > (limit - d) / 10) return false;
    acc = acc * 10 + d;
  }
  out = neg ? static_cast<std::int64_t>(~acc + 1) : static_cast<std::int64_t>(acc);
  return true;
}

bool parse_float_cell(std::string_view s, double& out) {
  if (!s.empty() && s[0] == '+') {
    s.remove_prefix(1);
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) return false;
  }
  // from_chars also takes "nan(chars)", which is not a number's text here.
  if (s.empty() || s.back() == ')') return false;
  const char* end = s.data() + s.size();
  auto [p, ec] = std::from_chars(s.data(), end, out, std::chars_format::general);
  if (p != end) return false;
  if (ec == std::errc::result_out_of_range) {
    // Overflow is an infinity and underflow a zero, as strtod rounds them.
    const std::string copy(s);
    out = std::strtod(copy.c_str(), nullptr);
    return true;
  }
  return ec == std::errc{};
}

std::size_t utf8_valid_up_to(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    if (i + 16 <= n) {
      std::uint64_t a, b;
      std::memcpy(&a, p + i, 8);
      std::memcpy(&b, p + i + 8, 8);
      if (((a | b) & 0x8080808080808080ULL) == 0) {
        i += 16;
        continue;
      }
    }
    const unsigned c = p[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    const auto cont = [&](std::size_t k, unsigned lo = 0x80, unsigned hi = 0xBF) {
      return i + k < n && p[i + k] >= lo && p[i + k] <= hi;
    };
    std::size_t len;
    if (c >= 0xC2 && c <= 0xDF) len = cont(1) ? 2 : 0;
    else if (c == 0xE0) len = cont(1, 0xA0) && cont(2) ? 3 : 0;
    else if (c == 0xED) len = cont(1, 0x80, 0x9F) && cont(2) ? 3 : 0;
    else if (c >= 0xE1 && c <= 0xEF) len = cont(1) && cont(2) ? 3 : 0;
    else if (c == 0xF0) len = cont(1, 0x90) && cont(2) && cont(3) ? 4 : 0;
    else if (c >= 0xF1 && c <= 0xF3) len = cont(1) && cont(2) && cont(3) ? 4 : 0;
    else if (c == 0xF4) len = cont(1, 0x80, 0x8F) && cont(2) && cont(3) ? 4 : 0;
    else len = 0;
    if (len == 0) return i;
    i += len;
  }
  return n;
}


// ---------------------------------------------------------------- columns

namespace {

// One column while the file is read.
struct Col {
  enum Kind : std::uint8_t {
    Start,   // no cell yet
    Int,     // every cell an int64
    Float,   // every cell a float or missing
    Bool,    // every cell true / false
    Str,     // the first cell rules out every other dtype: kept as text
    Dt,      // read straight into instants (a hint)
    Text,    // kept as text, dtype inferred at the end
    Skip,    // the kept values no longer fit: read again as text
    Ignore,  // not wanted in this pass
  };
  Kind kind = Start;
  std::vector<std::int64_t> ints;  // Int and Dt
  std::vector<double> floats;
  std::vector<std::uint8_t> bools;
  std::vector<std::string> strs;  // Str and Text
  // Rows of an Int column that read "-0": the sign returns when it widens.
  std::vector<std::size_t> neg_zeros;
  Tz zone;
  DatetimeReader dt;  // Dt in UTC or a fixed offset
  std::size_t dt_missing = 0;

  void skip() {
    kind = Skip;
    std::vector<std::int64_t>().swap(ints);
    std::vector<double>().swap(floats);
    std::vector<std::uint8_t>().swap(bools);
    std::vector<std::string>().swap(strs);
  }
  void push_int(std::int64_t v, bool negative) {
    if (v == 0 && negative) neg_zeros.push_back(ints.size());
    ints.push_back(v);
  }
  void widen() {
    std::vector<double> f = core::vector_with_capacity<double>(std::max(ints.capacity(), ints.size() + 1));
    for (std::int64_t x : ints) f.push_back(static_cast<double>(x));
    for (std::size_t r : neg_zeros) f[r] = -0.0;
    floats = std::move(f);
    std::vector<std::int64_t>().swap(ints);
    std::vector<std::size_t>().swap(neg_zeros);
    kind = Float;
  }
  template <class T>
  static void grow(std::vector<T>& v, std::size_t n) {
    if (n <= v.capacity()) return;
    std::vector<T> w = core::vector_with_capacity<T>(n);
    w.insert(w.end(), std::make_move_iterator(v.begin()), std::make_move_iterator(v.end()));
    v = std::move(w);
  }
  void reserve(std::size_t n) {
    switch (kind) {
      case Int: case Dt: grow(ints, n); break;
      case Float: grow(floats, n); break;
      case Bool: bools.reserve(n); break;
      case Str: case Text: strs.reserve(n); break;
      default: break;
    }
  }
};

// The generic path for one cell's text.
[[gnu::noinline]] void feed(Col& c, std::string_view raw, const TokenSet& na) {
  switch (c.kind) {
    case Col::Str:
    case Col::Text: c.strs.emplace_back(raw); return;
    case Col::Skip:
    case Col::Ignore: return;
    case Col::Dt: {
      std::int64_t ns;
      if (!fast_datetime(raw, c.zone, ns)) {
        const auto r = core::parse_ns_in_tz(raw, c.zone);
        if (!r) return c.skip();
        ns = *r;
      }
      if (na.contains(trim(raw))) ++c.dt_missing;
      c.ints.push_back(ns);
      return;
    }
    default: break;
  }
  const std::string_view t = trim(raw);
  const bool missing = na.contains(t);
  std::int64_t i;
  double d;
  std::uint8_t b;
  switch (c.kind) {
    case Col::Start:
      if (!missing && parse_int_cell(t, i)) c.kind = Col::Int, c.push_int(i, t[0] == '-');
      else if (missing) c.kind = Col::Float, c.floats.push_back(core::kNaN);
      else if (parse_float_cell(t, d)) c.kind = Col::Float, c.floats.push_back(d);
      else if (parse_bool_cell(t, b)) c.kind = Col::Bool, c.bools.push_back(b);
      else c.kind = Col::Str, c.strs.emplace_back(raw);
      return;
    case Col::Int:
      if (!missing && parse_int_cell(t, i)) return c.push_int(i, t[0] == '-');
      if (missing || parse_float_cell(t, d)) {
        c.widen();
        return c.floats.push_back(missing ? core::kNaN : d);
      }
      return c.skip();
    case Col::Float:
      if (missing) return c.floats.push_back(core::kNaN);
      if (parse_float_cell(t, d)) return c.floats.push_back(d);
      return c.skip();
    case Col::Bool:
      if (parse_bool_cell(t, b)) return c.bools.push_back(b);
      return c.skip();
    default: return;
  }
}

// Kept out of line: string cells are rare in bar files, and the reader's
// loop stays small enough for its numeric paths to be inlined whole.
[[gnu::noinline]] void push_text(Col& c, const char* p, const char* e) {
  c.strs.emplace_back(p, static_cast<std::size_t>(e - p));
}

// The end of the number at p when it is followed by a stop byte (delimiter
// or '\n'), else null; dec gets its digits.
inline const char* number_at(const char* p, char delim, Decimal& dec) {
  const char* q = scan_decimal(p, dec);
  return q && (*q == delim || *q == '\n') ? q : nullptr;
}

// A number cell straight from the buffer: an int64 in a column with only
// ints so far, else a float (widening the column); returns its end, or null
// to take the generic path.
inline const char* fast_number(Col& c, const char* p, char delim, bool na_check, const TokenSet& na) {
  Decimal dec;
  const char* q = number_at(p, delim, dec);
  if (!q) return nullptr;
  const std::string_view text(p, static_cast<std::size_t>(q - p));
  if (na_check && na.contains(text)) return nullptr;
  if (dec.integer && dec.mantissa <= (std::uint64_t{1} << 63) - !dec.negative) {
    const std::int64_t v = dec.negative ? static_cast<std::int64_t>(~dec.mantissa + 1)
                                        : static_cast<std::int64_t>(dec.mantissa);
    if (c.kind == Col::Float) {
      // int64 to double rounds as the decimal text would; "-0" keeps its sign.
      const double x = static_cast<double>(v);
      c.floats.push_back(v == 0 && dec.negative ? -0.0 : x);
    } else {
      c.kind = Col::Int;
      c.push_int(v, dec.negative);
    }
    return q;
  }
  double x;
  if (!decimal_exact(dec, x) && !parse_float_cell(text, x)) return nullptr;
  if (c.kind == Col::Int) c.widen();
  c.kind = Col::Float;
  c.floats.push_back(x);
  return q;
}

// Length of the leading whole 64-byte blocks of [p, p + n) that hold no
// quote, no carriage return and no byte above 0x7F.
inline std::size_t plain_ascii_prefix(const char* p, std::size_t n) {
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i quote = _mm_set1_epi8('"'), cr = _mm_set1_epi8('\r');
  for (; i + 64 <= n; i += 64) {
    __m128i acc = _mm_setzero_si128();
    for (int k = 0; k < 4; ++k) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 16 * k));
      acc = _mm_or_si128(acc, _mm_or_si128(v, _mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, cr))));
    }
    if (_mm_movemask_epi8(acc) != 0) break;
  }
#else
  (void)p;
  (void)n;
#endif
  return i;
}

// The first byte that is the delimiter or '\n' (one must follow before the
// end of the padded buffer).
inline const char* find_stop(const char* p, std::uint64_t dmask) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL, kHigh = 0x8080808080808080ULL;
  constexpr std::uint64_t kNl = kOnes * '\n';
  for (;;) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    const std::uint64_t x = w ^ dmask, y = w ^ kNl;
    const std::uint64_t hit = ((x - kOnes) & ~x & kHigh) | ((y - kOnes) & ~y & kHigh);
    if (hit) return p + (__builtin_ctzll(hit) >> 3);
    p += 8;
  }
}

}  // namespace

// ---------------------------------------------------------------- reader

class Reader {
 public:
  Reader(const ReadCsvOptions& o, const TokenSet& na) : o_(o), na_(na) {
    dmask_ = 0x0101010101010101ULL * static_cast<unsigned char>(o.delimiter);
    // A delimiter that can occur inside a number or datetime text turns off
    // the readers that find the end of such a field by its form.
    const std::string_view number_bytes = "0123456789+-.eE", datetime_bytes = "0123456789-: ";
    fast_num_ = number_bytes.find(o.delimiter) == std::string_view::npos;
    fast_dt_ = datetime_bytes.find(o.delimiter) == std::string_view::npos;
  }

  // Pass one: names, columns, row count.
  Result<void> first_pass(const std::string& path, CsvTable& t) {
    if (auto r = open(path); !r) return r;
    text_mode_ = !regular_;
    if (auto r = run(); !r) return r;
    t.names_ = std::move(names_);
    t.rows_ = rows_;
    t.end_offset_ = consumed_;
    std::vector<std::size_t> again;
    for (std::size_t i = 0; i < cols_.size(); ++i)
      if (cols_[i].kind == Col::Skip) again.push_back(i);
    std::vector<std::vector<std::string>> texts;
    if (!again.empty()) {
      auto r = reread(path, t.names_.size(), rows_, consumed_, o_, na_, again);
      if (!r) return fail(std::move(r.error()));
      texts = std::move(*r);
    }
    t.columns_.resize(cols_.size());
    t.zoned_.resize(cols_.size());
    std::size_t k = 0;
    for (std::size_t i = 0; i < cols_.size(); ++i) {
      Col& c = cols_[i];
      switch (c.kind) {
        case Col::Start: t.columns_[i] = Column::str({}); break;
        case Col::Int: t.columns_[i] = Column::i64(std::move(c.ints)); break;
        case Col::Float: t.columns_[i] = Column::f64(std::move(c.floats)); break;
        case Col::Bool: t.columns_[i] = Column::boolean(std::move(c.bools)); break;
        case Col::Str: t.columns_[i] = Column::str(std::move(c.strs)); break;
        case Col::Text: t.columns_[i] = infer_column(std::move(c.strs), na_); break;
        case Col::Skip: t.columns_[i] = infer_column(std::move(texts[k++]), na_); break;
        case Col::Dt:
          if (rows_ == 0) {
            t.columns_[i] = Column::str({});
          } else if (c.dt_missing == rows_) {
            // Every cell a missing token: the column is float64, all NaN.
            t.columns_[i] = Column::f64(std::vector<double>(rows_, core::kNaN));
          } else {
            t.columns_[i] = Column::datetime(std::move(c.ints));
            t.zoned_[i] = c.zone;
          }
          break;
        case Col::Ignore: break;
      }
    }
    return {};
  }

  // Pass two: the texts of some columns, from the same bytes.
  static Result<std::vector<std::vector<std::string>>> reread(const std::string& path, std::size_t width,
                                                              std::size_t rows, std::uint64_t end,
                                                              const ReadCsvOptions& o, const TokenSet& na,
                                                              const std::vector<std::size_t>& want) {
    Reader r(o, na);
    if (auto e = r.open(path); !e) return fail(std::move(e.error()));
    r.limit_ = end;
    r.want_ = &want;
    if (auto e = r.run(); !e) return fail(std::move(e.error()));
    if (r.rows_ != rows || r.cols_.size() != width)
      return fail(KadmoError::value("bad CSV record: the file changed while it was read"));
    std::vector<std::vector<std::string>> out;
    for (std::size_t i : want) out.push_back(std::move(r.cols_[i].strs));
    return out;
  }

 private:
  Result<void> open(const std::string& path) {
    const auto cannot_open = [&](const std::string& why) {
      return fail(KadmoError::value("cannot open CSV " + core::quoted(path) + ": " + why));
    };
    if (path.find('\0') != std::string::npos) return cannot_open("embedded null byte");
    do fd_.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    while (fd_.fd < 0 && errno == EINTR);
    if (fd_.fd < 0) return cannot_open(os_error(errno));
    struct stat st {};
    if (::fstat(fd_.fd, &st) != 0) return cannot_open(os_error(errno));
    if (S_ISDIR(st.st_mode)) return cannot_open(os_error(EISDIR));
    regular_ = S_ISREG(st.st_mode);
    if (regular_) size_hint_ = static_cast<std::uint64_t>(st.st_size);
    return {};
  }

  KadmoError error(std::string reader_text) const {
    const bool header = record_ == 0 && o_.has_headers;
    return KadmoError::value((header ? "bad CSV header: " : "bad CSV record: ") + reader_text);
  }
  std::string where(std::size_t line, std::uint64_t byte) const {
    return "record " + std::to_string(record_) + " (line: " + std::to_string(line) + ", byte: " +
           std::to_string(byte) + ")";
  }
  std::uint64_t offset_of(const char* p) const { return base_ + static_cast<std::uint64_t>(p - buf_.get()); }

  // ---- buffer

  // Readable bytes past the data: fast readers look up to 20 bytes ahead.
  static constexpr std::size_t kPad = 64;

  // Keeps [p_, len_) and reads more after it; false at the end of input.
  Result<bool> refill() {
    if (eof_) return false;
    const std::size_t keep = len_ - p_;
    if (!buf_ || (p_ == 0 && len_ == cap_)) {
      std::size_t ncap = cap_ ? cap_ * 2 : std::size_t{1} << 18;
      std::unique_ptr<char[]> nb(new (std::nothrow) char[ncap + kPad]);
      if (!nb) return fail(error(os_error(ENOMEM)));
      if (keep) std::memcpy(nb.get(), buf_.get() + p_, keep);
      buf_ = std::move(nb);
      cap_ = ncap;
    } else if (p_ > 0) {
      std::memmove(buf_.get(), buf_.get() + p_, keep);
    }
    base_ += p_;
    p_ = 0;
    len_ = keep;
    std::size_t want = cap_ - len_;
    if (limit_ != kNoLimit) want = static_cast<std::size_t>(std::min<std::uint64_t>(want, limit_ - consumed_));
    ssize_t k = 0;
    if (want > 0) {
      do k = ::read(fd_.fd, buf_.get() + len_, want);
      while (k < 0 && errno == EINTR);
      if (k < 0) return fail(error(os_error(errno)));
    }
    consumed_ += static_cast<std::uint64_t>(k);
    len_ += static_cast<std::size_t>(k);
    if (k == 0) {
      eof_ = true;
      // A missing final line break would be the only record end not followed
      // by a newline; add one unless a quote makes the end significant.
      if (len_ > 0 && buf_[len_ - 1] != '\n' && !std::memchr(buf_.get(), '"', len_)) buf_[len_++] = '\n';
    }
    std::memset(buf_.get() + len_, '\n', kPad);
    plan_region();
    return true;
  }

  // The stretch of whole records from p_ that holds no quote, no carriage
  // return and no bad UTF-8: read by the fast path.
  void plan_region() {
    const char* b = buf_.get();
    const char* from = b + p_;
    const char* end = b + len_;
    if (!eof_) {
      const void* nl = ::memrchr(from, '\n', len_ - p_);
      end = nl ? static_cast<const char*>(nl) + 1 : from;
    }
    // One pass clears the plain ASCII stretch; the rest is searched byte-exact.
    const std::size_t clean = plain_ascii_prefix(from, static_cast<std::size_t>(end - from));
    const char* const rest = from + clean;
    const char* x = end;
    if (const void* q = std::memchr(rest, '"', end - rest)) x = static_cast<const char*>(q);
    if (const void* r = std::memchr(rest, '\r', x - rest)) x = static_cast<const char*>(r);
    const std::size_t bad = clean + utf8_valid_up_to(std::string_view(rest, len_ - p_ - clean));
    bad_ = p_ + bad;
    if (b + bad_ < x) x = b + bad_;
    if (x != end) {
      const void* nl = x > from ? ::memrchr(from, '\n', x - from) : nullptr;
      end = nl ? static_cast<const char*>(nl) + 1 : from;
    }
    fast_end_ = static_cast<std::size_t>(end - b);
  }

  // ---- records

  Result<void> run() {
    for (;;) {
      if (p_ >= len_) {
        auto r = refill();
        if (!r) return fail(std::move(r.error()));
        if (!*r) break;
        continue;
      }
      if (!bom_checked_) {
        // A UTF-8 byte-order mark is not part of the first name.
        bom_checked_ = true;
        if (len_ - p_ >= 3 && std::memcmp(buf_.get() + p_, "\xEF\xBB\xBF", 3) == 0) p_ += 3;
        continue;
      }
      if (ncols_ != kNone && p_ < fast_end_) {
        if (auto r = fast_records(); !r) return r;
        continue;
      }
      auto r = slow_record();
      if (!r) return fail(std::move(r.error()));
      if (!*r) {  // incomplete: needs more input
        auto more = refill();
        if (!more) return fail(std::move(more.error()));
        if (!*more) return fail(error("CSV parse error: unexpected end of input"));
      }
    }
    if (ncols_ == kNone) ncols_ = 0;
    cols_.resize(ncols_);
    return {};
  }

  [[gnu::noinline]] Result<void> ragged(std::size_t nfields, std::size_t line, std::uint64_t byte) const {
    return fail(error("CSV error: " + where(line, byte) + ": found record with " + std::to_string(nfields) +
                      " fields, but the previous record has " + std::to_string(ncols_) + " fields"));
  }

  // The records of the clean region (no quote, no carriage return, valid
  // UTF-8, whole lines), each cell read straight from the buffer. Flattened:
  // the unit is past the inliner's growth limit, which left the column
  // appends as calls in the hot loop.
  [[gnu::flatten]] Result<void> fast_records() {
    const char* p = buf_.get() + p_;
    const char* const end = buf_.get() + fast_end_;
    const char d = o_.delimiter;
    const std::size_t n = ncols_;
    Col* cols = cols_.data();
    const bool na_num = na_.may_hold_number(), num_ok = fast_num_, dt_ok = fast_dt_ && !na_num;
    const bool fixed_ok = num_ok && !na_num;
    while (p < end) {
      if (*p == '\n') {
        ++p, ++line_;
        continue;
      }
      const char* rec = p;
      std::size_t f = 0;
      for (;;) {
        const char* e = nullptr;
        if (f < n) {
          Col& c = cols[f];
          switch (c.kind) {
            case Col::Float:
              if (fixed_ok) {
                double x;
                const char* q = scan_fixed_point(p, x);
                if (q && (*q == d || *q == '\n')) {
                  c.floats.push_back(x);
                  e = q;
                  break;
                }
              }
              [[fallthrough]];
            case Col::Start:
            case Col::Int:
              if (num_ok) e = fast_number(c, p, d, na_num, na_);
              break;
            case Col::Str:
            case Col::Text:
              e = find_stop(p, dmask_);
              push_text(c, p, e);
              break;
            case Col::Dt: {
              // The fixed-width text in place: its 19 bytes hold no stop byte
              // when the delimiter is none of its characters.
              std::int64_t ns;
              if (dt_ok && c.zone.kind() != Tz::Kind::Named && (p[19] == d || p[19] == '\n') &&
                  c.dt.read(p, ns)) {
                c.ints.push_back(ns);
                e = p + 19;
              }
              break;
            }
            case Col::Skip:
            case Col::Ignore: e = find_stop(p, dmask_); break;
            default: break;
          }
          if (!e) {
            e = find_stop(p, dmask_);
            feed(c, std::string_view(p, static_cast<std::size_t>(e - p)), na_);
          }
        } else {
          e = find_stop(p, dmask_);
        }
        ++f;
        p = e + 1;
        if (*e != d) break;
      }
      if (f != n) {
        p_ = static_cast<std::size_t>(rec - buf_.get());
        return ragged(f, line_, offset_of(rec));
      }
      ++record_, ++line_, ++rows_;
      if (rows_ == reserve_at_) reserve(static_cast<std::size_t>(p - rec));
    }
    p_ = static_cast<std::size_t>(p - buf_.get());
    return {};
  }

  struct Field {
    std::size_t off;  // in the buffer, or in scratch_ when scratch
    std::size_t len;
    bool scratch;
  };

  // One record (or blank line) from p_ with quotes and any line end; false
  // when the buffer ends inside it.
  Result<bool> slow_record() {
    const char* b = buf_.get();
    std::size_t p = p_;
    const std::size_t n = len_;
    const char d = o_.delimiter;
    const auto at_stop = [&](std::size_t i) { return b[i] == d || b[i] == '\n' || b[i] == '\r'; };
    const auto line_end = [&](std::size_t& i) -> bool {  // consumes a terminator; false when undecided
      if (b[i] == '\r') {
        if (i + 1 >= n && !eof_) return false;
        i += (i + 1 < n && b[i + 1] == '\n') ? 2 : 1;
      } else {
        ++i;
      }
      return true;
    };

    if (b[p] == '\n' || b[p] == '\r') {  // blank line
      if (!line_end(p)) return false;
      p_ = p;
      ++line_;
      return true;
    }
    const std::size_t rec = p;
    std::size_t lines = 0;
    scratch_.clear();
    fields_.clear();
    for (;;) {
      if (b[p] == '"' && p < n) {
        const std::size_t open = p;
        std::size_t seg = p + 1, scan = seg, close;
        std::size_t sc = kNone;
        for (;;) {
          const void* q = scan < n ? std::memchr(b + scan, '"', n - scan) : nullptr;
          if (!q) {
            if (!eof_) return false;
            return fail(error("CSV parse error: " + where(line_, offset_of(b + rec)) + ": the quoted field " +
                              std::to_string(fields_.size()) + " that opens at byte " +
                              std::to_string(offset_of(b + open)) + " never closes"));
          }
          const std::size_t k = static_cast<const char*>(q) - b;
          if (k + 1 >= n && !eof_) return false;
          if (k + 1 < n && b[k + 1] == '"') {  // a doubled quote stands for one
            if (sc == kNone) sc = scratch_.size();
            scratch_.append(b + seg, k + 1 - seg);
            seg = scan = k + 2;
            continue;
          }
          close = k;
          break;
        }
        for (std::size_t i = open + 1; i < close; ++i)
          if (b[i] == '\n' || (b[i] == '\r' && b[i + 1] != '\n')) ++lines;
        p = close + 1;
        // Text after the closing quote is kept as written.
        const std::size_t tail = p;
        while (p < n && !at_stop(p)) ++p;
        if (p >= n && !eof_) return false;
        if (sc == kNone && p == tail) {
          fields_.push_back({seg, close - seg, false});
        } else {
          if (sc == kNone) sc = scratch_.size();
          scratch_.append(b + seg, close - seg);
          scratch_.append(b + tail, p - tail);
          fields_.push_back({sc, scratch_.size() - sc, true});
        }
      } else {
        const std::size_t s = p;
        while (p < n && !at_stop(p)) ++p;
        if (p >= n && !eof_) return false;
        fields_.push_back({s, p - s, false});
      }
      if (p < n && b[p] == d) {
        ++p;
        if (p < n) continue;
        if (!eof_) return false;
        fields_.push_back({p, 0, false});  // a delimiter ends the input: one empty field
      }
      break;
    }
    if (p < n && !line_end(p)) return false;

    const std::size_t rec_line = line_;
    line_ += lines + 1;
    p_ = p;
    const std::uint64_t rec_byte = offset_of(b + rec);
    const auto view = [&](const Field& f) {
      return f.scratch ? std::string_view(scratch_.data() + f.off, f.len) : std::string_view(b + f.off, f.len);
    };

    if (ncols_ != kNone && fields_.size() != ncols_) return fail(ragged(fields_.size(), rec_line, rec_byte).error());
    if (bad_ < p) {
      for (std::size_t f = 0; f < fields_.size(); ++f) {
        const std::string_view v = view(fields_[f]);
        const std::size_t ok = utf8_valid_up_to(v);
        if (ok < v.size()) {
          return fail(error("CSV parse error: record " + std::to_string(record_) + " (line " +
                            std::to_string(rec_line) + ", field: " + std::to_string(f) + ", byte: " +
                            std::to_string(rec_byte) + "): invalid utf-8: invalid UTF-8 in field " +
                            std::to_string(f) + " near byte index " + std::to_string(ok)));
        }
      }
      // The fields read clean (a quote split the bad bytes): look further on.
      bad_ = p + utf8_valid_up_to(std::string_view(b + p, n - p));
    }
    if (ncols_ == kNone) {
      ncols_ = fields_.size();
      if (o_.has_headers)
        for (const Field& f : fields_) names_.emplace_back(view(f));
      start_columns();
      if (o_.has_headers) {
        ++record_;
        reserve_at_ = 1;
        return true;
      }
    }
    for (std::size_t f = 0; f < ncols_; ++f) {
      Col& c = cols_[f];
      const std::string_view v = view(fields_[f]);
      // Kept text columns take the text as is; the others see it through feed.
      feed(c, v, na_);
    }
    ++record_, ++rows_;
    if (rows_ == reserve_at_) reserve(static_cast<std::size_t>(p - rec));
    return true;
  }

  void start_columns() {
    cols_.resize(ncols_);
    if (!o_.has_headers)
      for (std::size_t i = 0; i < ncols_; ++i) names_.push_back(std::to_string(i));
    for (std::size_t i = 0; i < ncols_; ++i) {
      Col& c = cols_[i];
      if (want_) {
        c.kind = std::find(want_->begin(), want_->end(), i) != want_->end() ? Col::Text : Col::Ignore;
      } else if (text_mode_) {
        c.kind = Col::Text;
      } else if (auto z = hint_for(i)) {
        c.kind = Col::Dt;
        c.zone = *z;
        c.dt.offset = z->offset_seconds();
      }
    }
    reserve_at_ = 1;
  }

  // Room for the rows the rest of the input holds if its records are about
  // as long as the first one; a poor guess only costs growth.
  [[gnu::noinline]] void reserve(std::size_t record_bytes) {
    const std::uint64_t at = offset_of(buf_.get() + p_);
    if (!regular_ || size_hint_ <= at) return;
    const std::uint64_t left = size_hint_ - at;
    const std::size_t est = static_cast<std::size_t>(left / (record_bytes ? record_bytes : 1) * 9 / 8 + 16);
    for (auto& c : cols_) c.reserve(rows_ + est);
  }

  std::optional<Tz> hint_for(std::size_t i) const {
    std::optional<Tz> z;
    for (const auto& h : o_.datetime_hints) {
      if (auto* name = std::get_if<std::string>(&h.column)) {
        std::optional<std::size_t> last;
        for (std::size_t k = 0; k < names_.size(); ++k)
          if (names_[k] == *name) last = k;
        if (last == i) z = h.zone;
      } else {
        std::int64_t pos = std::get<std::int64_t>(h.column);
        if (pos < 0) pos += static_cast<std::int64_t>(ncols_);
        if (pos == static_cast<std::int64_t>(i)) z = h.zone;
      }
    }
    return z;
  }

  static constexpr std::uint64_t kNoLimit = static_cast<std::uint64_t>(-1);

  const ReadCsvOptions& o_;
  const TokenSet& na_;
  std::uint64_t dmask_ = 0;
  bool fast_num_ = true, fast_dt_ = true;
  FdCloser fd_;
  bool regular_ = false;
  bool text_mode_ = false;
  std::uint64_t size_hint_ = 0;
  std::uint64_t limit_ = kNoLimit;
  const std::vector<std::size_t>* want_ = nullptr;

  std::unique_ptr<char[]> buf_;
  std::size_t cap_ = 0, len_ = 0, p_ = 0, fast_end_ = 0, bad_ = 0;
  std::uint64_t base_ = 0, consumed_ = 0;
  bool eof_ = false;
  bool bom_checked_ = false;

  std::size_t line_ = 1, record_ = 0, rows_ = 0, reserve_at_ = 0;
  std::size_t ncols_ = kNone;
  std::vector<std::string> names_;
  std::vector<Col> cols_;
  std::string scratch_;
  std::vector<Field> fields_;
};

// ---------------------------------------------------------------- table

Column infer_column(std::vector<std::string>&& cells, const TokenSet& na) {
  const std::size_t n = cells.size();
  if (n == 0) return Column::str({});
  {
    std::vector<std::int64_t> v(n);
    std::size_t i = 0;
    for (; i < n; ++i) {
      const auto t = trim(cells[i]);
      if (na.contains(t) || !parse_int_cell(t, v[i])) break;
    }
    if (i == n) return Column::i64(std::move(v));
  }
  {
    std::vector<double> v(n, core::kNaN);
    std::size_t i = 0;
    for (; i < n; ++i) {
      const auto t = trim(cells[i]);
      if (!na.contains(t) && !parse_float_cell(t, v[i])) break;
    }
    if (i == n) return Column::f64(std::move(v));
  }
  {
    std::vector<std::uint8_t> v(n);
    std::size_t i = 0;
    for (; i < n && parse_bool_cell(trim(cells[i]), v[i]); ++i) {
    }
    if (i == n) return Column::boolean(std::move(v));
  }
  return Column::str(std::move(cells));
}

Result<core::Column> CsvTable::take_column(std::size_t i) {
  if (zoned_[i]) {
    // Read straight into instants; the inferred column needs its text again.
    zoned_[i].reset();
    if (rows_ == 0) return columns_[i] = Column::str({});
    ReadCsvOptions plain = options_;
    plain.datetime_hints.clear();
    const TokenSet na(plain);
    auto texts = Reader::reread(path_, width(), rows_, end_offset_, plain, na, {i});
    if (!texts) return fail(std::move(texts.error()));
    columns_[i] = infer_column(std::move((*texts)[0]), na);
  }
  return columns_[i];
}

Result<core::Column> CsvTable::take_datetime_column(std::size_t i, const Tz& zone) {
  if (zoned_[i] == zone) return columns_[i];
  auto c = take_column(i);
  if (!c) return c;
  return c->to_datetime_tz(zone);
}

Result<core::DataFrame> CsvTable::take_frame(std::vector<std::optional<core::Column>> done) {
  done.resize(width());
  std::vector<Column> cols;
  cols.reserve(width());
  for (std::size_t i = 0; i < width(); ++i) {
    if (done[i]) {
      cols.push_back(std::move(*done[i]));
      continue;
    }
    auto c = take_column(i);
    if (!c) return fail(std::move(c.error()));
    cols.push_back(std::move(*c));
  }
  return core::DataFrame::make(names_, std::move(cols));
}

Result<core::DataFrame> CsvTable::take_frame_indexed(std::vector<std::optional<core::Column>> done,
                                                     std::size_t index_pos) {
  done.resize(width());
  std::vector<std::string> names;
  std::vector<Column> cols;
  std::optional<Column> index_col;
  for (std::size_t i = 0; i < width(); ++i) {
    std::optional<Column> c = std::move(done[i]);
    if (!c) {
      auto t = take_column(i);
      if (!t) return fail(std::move(t.error()));
      c = std::move(*t);
    }
    if (i == index_pos) {
      index_col = std::move(c);
    } else {
      names.push_back(names_[i]);
      cols.push_back(std::move(*c));
    }
  }
  // The column is this reader's alone: its values move into the index
  // without a copy.
  Column& ic = *index_col;
  core::Index index;
  if (auto* d = ic.datetime_mut()) index = core::Index::datetime(std::move(*d), core::Tz::utc());
  else if (auto* v = ic.i64_mut()) index = core::Index::integer(std::move(*v));
  else if (auto* t = ic.str_mut()) index = core::Index::strings(std::move(*t));
  else
    return fail(KadmoError::dtype("cannot use a " + std::string(core::dtype_name(ic.dtype())) +
                                  " column as an index (only datetime / int64 / string)"));
  return core::DataFrame::make(std::move(names), std::move(cols), std::move(index));
}

std::optional<std::size_t> CsvTable::position_of(std::string_view name) const {
  for (std::size_t i = names_.size(); i-- > 0;)
    if (names_[i] == name) return i;
  return std::nullopt;
}

Result<CsvTable> read_csv_table(const std::string& path, const ReadCsvOptions& options) {
  const char d = options.delimiter;
  if (d == '"' || d == '\n' || d == '\r')
    return fail(KadmoError::value("a CSV delimiter cannot be a double quote or a line break"));
  CsvTable t;
  t.path_ = path;
  t.options_ = options;
  const TokenSet na(options);
  Reader r(t.options_, na);
  if (auto e = r.first_pass(path, t); !e) return fail(std::move(e.error()));
  return t;
}

Result<core::DataFrame> read_csv(const std::string& path, const ReadCsvOptions& options) {
  auto t = read_csv_table(path, options);
  if (!t) return fail(std::move(t.error()));
  return t->take_frame();
}

}  // namespace kadmo::io
