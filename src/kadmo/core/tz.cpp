#include "kadmo/core/tz.hpp"

#include "kadmo/core/calendar.hpp"

#include <cctz/civil_time.h>
#include <cctz/time_zone.h>

#include <array>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <unordered_map>

#include <sys/stat.h>

namespace kadmo::core {
namespace {

constexpr std::int64_t kNsPerSec = 1'000'000'000;
constexpr std::int64_t kSecPerDay = 86'400;
// Beyond this the int64 ns range is far away; the bound keeps the calendar
// arithmetic itself free of overflow for any int64 input.
constexpr std::int64_t kMaxAbsYear = 1'000'000;

using SecondsTp = cctz::time_point<cctz::seconds>;

// ---------------------------------------------------------------- calendar

CivilParts split_local_seconds(std::int64_t secs) {
  const std::int64_t days = floor_div(secs, kSecPerDay);
  const std::int64_t sod = secs - days * kSecPerDay;
  const Ymd ymd = civil_from_days(days);
  return {ymd.y, ymd.m, ymd.d, sod / 3600, sod / 60 % 60, sod % 60};
}

bool valid_fields(std::int64_t y, std::int64_t mo, std::int64_t d, std::int64_t h, std::int64_t mi,
                  std::int64_t s) {
  return y >= -kMaxAbsYear && y <= kMaxAbsYear && mo >= 1 && mo <= 12 && d >= 1 && d <= days_in_month(y, mo) &&
         h >= 0 && h <= 23 && mi >= 0 && mi <= 59 && s >= 0 && s <= 59;
}

// Wide arithmetic so an instant near INT64_MIN with a fraction (whose whole
// seconds alone would not fit) still converts.
std::optional<std::int64_t> seconds_to_ns(std::int64_t secs, std::int64_t sub_ns = 0) {
  const __int128 ns = static_cast<__int128>(secs) * kNsPerSec + sub_ns;
  if (ns < INT64_MIN || ns > INT64_MAX) return std::nullopt;
  return static_cast<std::int64_t>(ns);
}

// ---------------------------------------------------------------- zone table

// Named zones are loaded once per name and never unloaded; a Tz carries the
// 16-bit slot number. Slots live in fixed chunks so readers need no lock:
// a slot is written before its id is handed out and never changes after.
constexpr std::size_t kChunkSize = 256;
constexpr std::size_t kMaxZones = 65535;

struct ZoneEntry {
  std::string name;
  cctz::time_zone zone;
};

struct ZoneTable {
  std::mutex mu;
  std::unordered_map<std::string, std::uint16_t> ids;  // guarded by mu
  std::size_t count = 0;                               // guarded by mu
  std::array<std::atomic<ZoneEntry*>, (kMaxZones + kChunkSize) / kChunkSize> chunks{};
};

// Leaked on purpose: zones stay valid for instants formatted during
// interpreter shutdown.
ZoneTable& zone_table() {
  static ZoneTable* table = new ZoneTable();
  return *table;
}

const ZoneEntry* zone_entry(std::uint16_t id) {
  ZoneEntry* chunk = zone_table().chunks[id / kChunkSize].load(std::memory_order_acquire);
  return chunk ? &chunk[id % kChunkSize] : nullptr;
}

const cctz::time_zone& named_zone(std::uint16_t id) {
  static const cctz::time_zone utc = cctz::utc_time_zone();
  const ZoneEntry* e = zone_entry(id);
  return e ? e->zone : utc;
}

// cctz also loads "localtime", absolute paths, "file:" prefixes and fixed
// offsets spelled "Fixed/UTC+hh:mm:ss"; only plain database names may reach it.
bool plain_zone_name(std::string_view s) {
  if (s.empty() || s.size() > 255 || s == "localtime") return false;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= s.size(); ++i) {
    if (i == s.size() || s[i] == '/') {
      std::string_view part = s.substr(start, i - start);
      if (part.empty() || part == "." || part == "..") return false;
      start = i + 1;
      continue;
    }
    const char c = s[i];
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                    c == '-' || c == '+';
    if (!ok) return false;
  }
  return true;
}

enum class ZoneLoad { Ok, Unknown, Full };

ZoneLoad load_zone(std::string_view name, std::uint16_t& id) {
  ZoneTable& t = zone_table();
  std::lock_guard lock(t.mu);
  std::string key(name);
  if (auto it = t.ids.find(key); it != t.ids.end()) {
    id = it->second;
    return ZoneLoad::Ok;
  }
  // cctz remembers every name it was asked for, found or not; asking only
  // for files that exist keeps a stream of bogus names from growing memory.
  // A directory or a file that is not TZif fails in the loader.
  const char* root = std::getenv("TZDIR");  // where cctz itself looks
  const std::string path = std::string(root && *root ? root : "/usr/share/zoneinfo") + "/" + key;
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return ZoneLoad::Unknown;
  cctz::time_zone zone;
  if (!cctz::load_time_zone(key, &zone)) return ZoneLoad::Unknown;
  if (t.count >= kMaxZones) return ZoneLoad::Full;
  const std::size_t slot = t.count;
  ZoneEntry* chunk = t.chunks[slot / kChunkSize].load(std::memory_order_relaxed);
  if (!chunk) {
    chunk = new ZoneEntry[kChunkSize];
    t.chunks[slot / kChunkSize].store(chunk, std::memory_order_release);
  }
  chunk[slot % kChunkSize] = ZoneEntry{key, zone};
  id = static_cast<std::uint16_t>(slot);
  t.ids.emplace(std::move(key), id);
  ++t.count;
  return ZoneLoad::Ok;
}

// ---------------------------------------------------------------- text helpers

inline bool is_digit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

// Fixed-width unsigned decimal field; false on any non-digit.
template <int N>
inline bool read_digits(const char* p, int& out) {
  int v = 0;
  for (int i = 0; i < N; ++i) {
    if (!is_digit(p[i])) return false;
    v = v * 10 + (p[i] - '0');
  }
  out = v;
  return true;
}

// Unbounded digit run read with saturation, so a huge value fails a range
// check instead of wrapping.
bool read_uint_saturating(std::string_view s, std::int64_t& out) {
  if (s.empty()) return false;
  std::int64_t v = 0;
  for (char c : s) {
    if (!is_digit(c)) return false;
    v = v > 1'000'000 ? v : v * 10 + (c - '0');
  }
  out = v;
  return true;
}

std::size_t space_len_front(const unsigned char* p, std::size_t n) {
  if (n == 0) return 0;
  const unsigned char c = p[0];
  if (c == ' ' || (c >= 0x09 && c <= 0x0d)) return 1;
  if (c < 0x80) return 0;
  if (n >= 2 && c == 0xc2 && (p[1] == 0x85 || p[1] == 0xa0)) return 2;
  if (n >= 3) {
    if (c == 0xe1 && p[1] == 0x9a && p[2] == 0x80) return 3;  // U+1680
    if (c == 0xe2 && p[1] == 0x80 && (p[2] <= 0x8a || p[2] == 0xa8 || p[2] == 0xa9 || p[2] == 0xaf) &&
        p[2] >= 0x80)
      return 3;                                                  // U+2000..200A, 2028, 2029, 202F
    if (c == 0xe2 && p[1] == 0x81 && p[2] == 0x9f) return 3;  // U+205F
    if (c == 0xe3 && p[1] == 0x80 && p[2] == 0x80) return 3;  // U+3000
  }
  return 0;
}

std::size_t space_len_back(const unsigned char* p, std::size_t n) {
  if (n == 0) return 0;
  const unsigned char c = p[n - 1];
  if (c == ' ' || (c >= 0x09 && c <= 0x0d)) return 1;
  if (c < 0x80) return 0;
  if (n >= 2 && space_len_front(p + n - 2, 2) == 2) return 2;
  if (n >= 3 && space_len_front(p + n - 3, 3) == 3) return 3;
  return 0;
}

// Local (wall-clock) seconds since the epoch of valid fields.
inline std::int64_t local_seconds(std::int64_t y, std::int64_t mo, std::int64_t d, std::int64_t h, std::int64_t mi,
                                  std::int64_t s) {
  return days_from_civil(y, mo, d) * kSecPerDay + h * 3600 + mi * 60 + s;
}

// Wall clock in a zone to UTC seconds, fields already valid.
std::optional<std::int64_t> wall_seconds(const Tz& tz, std::int64_t y, std::int64_t mo, std::int64_t d,
                                         std::int64_t h, std::int64_t mi, std::int64_t s) {
  switch (tz.kind()) {
    case Tz::Kind::Utc: return local_seconds(y, mo, d, h, mi, s);
    case Tz::Kind::Fixed: return local_seconds(y, mo, d, h, mi, s) - tz.offset_seconds();
    case Tz::Kind::Named: break;
  }
  const cctz::time_zone::civil_lookup cl =
      named_zone(tz.zone_id()).lookup(cctz::civil_second(y, static_cast<int>(mo), static_cast<int>(d),
                                                         static_cast<int>(h), static_cast<int>(mi),
                                                         static_cast<int>(s)));
  if (cl.kind == cctz::time_zone::civil_lookup::SKIPPED) return std::nullopt;
  // UNIQUE has pre == post; REPEATED takes the reading before the transition.
  return static_cast<std::int64_t>(cl.pre.time_since_epoch().count());
}

inline void put2(char* p, std::int64_t v) {
  p[0] = static_cast<char>('0' + v / 10);
  p[1] = static_cast<char>('0' + v % 10);
}

std::size_t write_civil(const CivilParts& c, char* out) {
  char* p = out;
  std::int64_t y = c.year;
  if (y >= 0 && y <= 9999) {
    put2(p, y / 100);
    put2(p + 2, y % 100);
    p += 4;
  } else {
    // Outside four digits: sign for negatives, at least four digits.
    if (y < 0) *p++ = '-';
    std::uint64_t a = y < 0 ? static_cast<std::uint64_t>(-(y + 1)) + 1 : static_cast<std::uint64_t>(y);
    char tmp[24];
    auto r = std::to_chars(tmp, tmp + sizeof tmp, a);
    for (std::ptrdiff_t pad = 4 - (r.ptr - tmp); pad > 0; --pad) *p++ = '0';
    for (char* q = tmp; q != r.ptr; ++q) *p++ = *q;
  }
  *p++ = '-';
  put2(p, c.month);
  p[2] = '-';
  put2(p + 3, c.day);
  p[5] = ' ';
  put2(p + 6, c.hour);
  p[8] = ':';
  put2(p + 9, c.minute);
  p[11] = ':';
  put2(p + 12, c.second);
  return static_cast<std::size_t>(p + 14 - out);
}

cctz::time_zone cctz_zone(const Tz& tz) {
  switch (tz.kind()) {
    case Tz::Kind::Utc: return cctz::utc_time_zone();
    case Tz::Kind::Fixed: return cctz::fixed_time_zone(cctz::seconds(tz.offset_seconds()));
    case Tz::Kind::Named: break;
  }
  return named_zone(tz.zone_id());
}

}  // namespace

// ---------------------------------------------------------------- Tz

std::string_view trim_unicode_space(std::string_view text) {
  auto* p = reinterpret_cast<const unsigned char*>(text.data());
  std::size_t b = 0, e = text.size();
  while (std::size_t k = space_len_front(p + b, e - b)) b += k;
  while (std::size_t k = space_len_back(p + b, e - b)) e -= k;
  return text.substr(b, e - b);
}

Result<Tz> Tz::parse(std::string_view text) {
  const std::string_view s = trim_unicode_space(text);
  if (s.empty() || s == "Z") return Tz::utc();
  if (s.size() == 3 && (s[0] | 0x20) == 'u' && (s[1] | 0x20) == 't' && (s[2] | 0x20) == 'c') return Tz::utc();

  if (s[0] == '+' || s[0] == '-') {
    const std::string_view r = s.substr(1);
    std::int64_t h = -1, m = -1;
    bool read = false;
    if (const auto colon = r.find(':'); colon != std::string_view::npos) {
      read = read_uint_saturating(r.substr(0, colon), h) && read_uint_saturating(r.substr(colon + 1), m);
    } else if (s.size() > 3) {
      int hh, mm;
      read = r.size() == 4 && read_digits<2>(r.data(), hh) && read_digits<2>(r.data() + 2, mm);
      h = hh;
      m = mm;
      if (!read) h = m = -1;
    } else {
      read = read_uint_saturating(r, h);
      m = 0;
    }
    if (read && h >= 0 && h <= 23 && m >= 0 && m <= 59) {
      const std::int32_t secs = static_cast<std::int32_t>((s[0] == '-' ? -1 : 1) * (h * 3600 + m * 60));
      return Tz::fixed(secs);
    }
  }

  const auto unknown = [&] { return fail(KadmoError::value("unknown timezone " + quoted(s))); };
  if (!plain_zone_name(s)) return unknown();
  std::uint16_t id = 0;
  switch (load_zone(s, id)) {
    case ZoneLoad::Ok: break;
    case ZoneLoad::Unknown: return unknown();
    case ZoneLoad::Full:
      return fail(KadmoError::value("cannot load timezone " + quoted(s) + ": too many zones in use"));
  }
  Tz t;
  t.kind_ = Kind::Named;
  t.payload_ = id;
  return t;
}

std::string Tz::name() const {
  switch (kind_) {
    case Kind::Utc: return "UTC";
    case Kind::Fixed: {
      const std::int64_t a = payload_ < 0 ? -static_cast<std::int64_t>(payload_) : payload_;
      std::string out(1, payload_ < 0 ? '-' : '+');
      const std::int64_t h = a / 3600, m = a / 60 % 60;
      if (h < 10) out.push_back('0');
      out += std::to_string(h);
      out.push_back(':');
      out.push_back(static_cast<char>('0' + m / 10));
      out.push_back(static_cast<char>('0' + m % 10));
      return out;
    }
    case Kind::Named: break;
  }
  const ZoneEntry* e = zone_entry(zone_id());
  return e ? e->name : "UTC";
}

std::int64_t Tz::offset_at(std::int64_t ns) const {
  switch (kind_) {
    case Kind::Utc: return 0;
    case Kind::Fixed: return payload_;
    case Kind::Named: break;
  }
  return named_zone(zone_id()).lookup(SecondsTp(cctz::seconds(floor_div(ns, kNsPerSec)))).offset;
}

CivilParts Tz::civil_parts(std::int64_t ns) const { return civil_parts_tz(ns, *this); }

std::int64_t local_days(std::int64_t ns, const Tz& tz) {
  // Whole seconds first so adding the offset cannot overflow at the ends of
  // the int64 range.
  const std::int64_t secs = floor_div(ns, kNsPerSec);
  return floor_div(tz.is_utc() ? secs : secs + tz.offset_at(ns), kSecPerDay);
}

CivilParts civil_parts_tz(std::int64_t ns, const Tz& tz) {
  // Whole seconds first, then the offset: no ns-scale addition can overflow.
  const std::int64_t secs = floor_div(ns, kNsPerSec);
  if (tz.is_utc()) return split_local_seconds(secs);
  return split_local_seconds(secs + tz.offset_at(ns));
}

std::optional<std::int64_t> Tz::wall_to_utc_ns(std::int64_t year, std::int64_t month, std::int64_t day,
                                               std::int64_t hour, std::int64_t minute, std::int64_t second) const {
  if (!valid_fields(year, month, day, hour, minute, second)) return std::nullopt;
  const auto secs = wall_seconds(*this, year, month, day, hour, minute, second);
  if (!secs) return std::nullopt;
  return seconds_to_ns(*secs);
}

// ---------------------------------------------------------------- parsing

// Hand-rolled reader of the accepted forms: date, date-time (wall clock in
// tz) and date-time with an offset (absolute). Leniency: the year is exactly four
// digits (no sign), every other field exactly two, the pattern's space is one
// ASCII space, offsets are +HH:MM / +HHMM with hours <= 23 and minutes <= 59.
// A fraction (only with an explicit offset) may have any number of digits;
// digits past the ninth are dropped, i.e. truncated to the nanosecond.
// Second 60 is only read by the RFC 3339 form, as 59 plus one second.
std::optional<std::int64_t> parse_ns_in_tz(std::string_view text, const Tz& tz) {
  const std::string_view s = trim_unicode_space(text);
  const char* p = s.data();
  const std::size_t n = s.size();
  if (n < 10) return std::nullopt;

  int y, mo, d;
  const char ds = p[4];
  if ((ds != '-' && ds != '/') || p[7] != ds) return std::nullopt;
  if (!read_digits<4>(p, y) || !read_digits<2>(p + 5, mo) || !read_digits<2>(p + 8, d)) return std::nullopt;
  if (mo < 1 || mo > 12 || d < 1 || d > days_in_month(y, mo)) return std::nullopt;

  const auto wall = [&](int h, int mi, int sec) -> std::optional<std::int64_t> {
    const auto secs = wall_seconds(tz, y, mo, d, h, mi, sec);
    return secs ? seconds_to_ns(*secs) : std::nullopt;
  };
  if (n == 10) return wall(0, 0, 0);  // date only: midnight
  if (n < 19) return std::nullopt;

  const char sep = p[10];
  int h, mi, sec;
  if (p[13] != ':' || p[16] != ':') return std::nullopt;
  if (!read_digits<2>(p + 11, h) || !read_digits<2>(p + 14, mi) || !read_digits<2>(p + 17, sec)) return std::nullopt;
  if (h > 23 || mi > 59 || sec > 60) return std::nullopt;

  if (ds == '/') {  // slashed dates take only "YYYY/MM/DD HH:MM:SS"
    if (n != 19 || sep != ' ' || sec == 60) return std::nullopt;
    return wall(h, mi, sec);
  }
  if (sep != ' ' && sep != 'T' && sep != 't') return std::nullopt;
  if (n == 19) {  // wall clock
    if (sep == 't' || sec == 60) return std::nullopt;
    return wall(h, mi, sec);
  }

  // Explicit offset: RFC 3339 (fraction, Z, +HH:MM) or strptime %z (+HHMM).
  std::size_t i = 19;
  std::int64_t frac = 0;
  bool has_frac = false;
  if (p[i] == '.') {
    const std::size_t start = ++i;
    while (i < n && is_digit(p[i])) {
      if (i - start < 9) frac = frac * 10 + (p[i] - '0');
      ++i;
    }
    const std::size_t digits = i - start;
    if (digits == 0) return std::nullopt;
    for (std::size_t k = digits; k < 9; ++k) frac *= 10;
    has_frac = true;
  }
  const std::size_t rest = n - i;
  std::int64_t offset = 0;
  bool rfc3339;
  if (rest == 1 && (p[i] == 'Z' || p[i] == 'z')) {
    rfc3339 = true;
  } else if (rest >= 5 && (p[i] == '+' || p[i] == '-')) {
    int oh, om;
    if (rest == 6 && p[i + 3] == ':') {
      rfc3339 = true;
      if (!read_digits<2>(p + i + 1, oh) || !read_digits<2>(p + i + 4, om)) return std::nullopt;
    } else if (rest == 5 && !has_frac && sep != 't') {  // %z: no fraction, separator ' ' or 'T'
      rfc3339 = false;
      if (!read_digits<2>(p + i + 1, oh) || !read_digits<2>(p + i + 3, om)) return std::nullopt;
    } else {
      return std::nullopt;
    }
    if (oh > 23 || om > 59) return std::nullopt;
    offset = (p[i] == '-' ? -1 : 1) * (oh * 3600 + om * 60);
  } else {
    return std::nullopt;
  }
  if (sec == 60 && !rfc3339) return std::nullopt;

  const bool leap = sec == 60;
  const std::int64_t secs = local_seconds(y, mo, d, h, mi, leap ? 59 : sec) + (leap ? 1 : 0) - offset;
  return seconds_to_ns(secs, frac);
}

std::optional<std::int64_t> parse_with_format(std::string_view text, std::string_view format) {
  // cctz fills fields the format does not name from 1970-01-01 00:00:00, so
  // a date-only format reads as midnight UTC; an offset in the text is applied.
  // Its %Y is greedy, which would swallow the month of "%Y%m%d": a year
  // directly followed by another field reads exactly four characters.
  std::string fmt;
  fmt.reserve(format.size() + 8);
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%' || i + 1 >= format.size()) {
      fmt.push_back(format[i]);
      continue;
    }
    const std::string_view item = format.substr(i, 3);
    if (item.starts_with("%Y") && item.size() == 3 && item[2] == '%' && format.substr(i + 2, 2) != "%%") {
      fmt += "%E4Y";
    } else if (item == "%:z") {
      fmt += "%Ez";
      ++i;
    } else {
      fmt += format.substr(i, 2);
    }
    ++i;
  }
  SecondsTp secs;
  cctz::detail::femtoseconds fs;
  if (!cctz::detail::parse(fmt, std::string(text), cctz::utc_time_zone(), &secs, &fs))
    return std::nullopt;
  return seconds_to_ns(secs.time_since_epoch().count(), fs.count() / 1'000'000);
}

// ---------------------------------------------------------------- formatting

std::size_t format_ns_into(std::int64_t ns, const Tz& tz, char* out) {
  return write_civil(civil_parts_tz(ns, tz), out);
}

std::string format_ns(std::int64_t ns) { return format_ns_tz(ns, Tz::utc()); }

std::string format_ns_tz(std::int64_t ns, const Tz& tz) {
  char buf[kFormatNsMax];
  return std::string(buf, format_ns_into(ns, tz, buf));
}

namespace {

// Walks the % items of a strftime pattern, passing plain text and each
// specifier (translated to its cctz spelling) to emit; false at an unknown one.
template <class Emit>
bool walk_strftime(std::string_view f, Emit&& emit) {
  constexpr std::string_view kSimple = "aAbBcCdDeFgGhHIjklmMnpPrRsStTuUVwWxXyYzZ%";
  std::size_t i = 0;
  while (i < f.size()) {
    const std::size_t pct = f.find('%', i);
    if (pct == std::string_view::npos) {
      emit(f.substr(i));
      break;
    }
    if (pct > i) emit(f.substr(i, pct - i));
    const std::string_view rest = f.substr(pct + 1);
    if (rest.empty()) return false;
    if (kSimple.find(rest[0]) != std::string_view::npos) {
      emit(f.substr(pct, 2));
      i = pct + 2;
    } else if (rest.starts_with(":z")) {
      emit("%Ez");  // +HH:MM
      i = pct + 3;
    } else if (rest[0] == 'f') {
      emit("%E9f");  // nanoseconds, always zero here: whole seconds only
      i = pct + 2;
    } else if (rest.starts_with("Ez") || rest.starts_with("E4Y")) {
      const std::size_t len = rest[1] == 'z' ? 3 : 4;
      emit(f.substr(pct, len));
      i = pct + len;
    } else if (rest.size() >= 3 && rest[0] == 'E' && (rest[1] == '*' || is_digit(rest[1])) &&
               (rest[2] == 'S' || rest[2] == 'f' || (rest[1] == '*' && rest[2] == 'z'))) {
      emit(f.substr(pct, 4));
      i = pct + 4;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

bool strftime_format_valid(std::string_view format) {
  return walk_strftime(format, [](std::string_view) {});
}

std::string strftime_ns(std::int64_t ns, const Tz& tz, std::string_view format) {
  std::string pattern;
  pattern.reserve(format.size() + 8);
  // Unknown items are passed through as text; callers validate first.
  if (!walk_strftime(format, [&](std::string_view piece) { pattern += piece; })) pattern.assign(format);
  return cctz::format(pattern, SecondsTp(cctz::seconds(floor_div(ns, kNsPerSec))), cctz_zone(tz));
}

}  // namespace kadmo::core
