#pragma once
// Time zones and datetime text. Instants are int64 nanoseconds since
// 1970-01-01 00:00:00 UTC everywhere in the library.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "kadmo/core/error.hpp"

namespace kadmo::core {

struct CivilParts {
  std::int64_t year, month, day, hour, minute, second;
  bool operator==(const CivilParts&) const = default;
};

class Tz {
 public:
  enum class Kind : std::uint8_t { Utc, Fixed, Named };

  constexpr Tz() = default;
  static constexpr Tz utc() { return Tz{}; }
  // Zero seconds gives the UTC variant, never a fixed offset of 0.
  static constexpr Tz fixed(std::int32_t seconds_east) {
    Tz t;
    if (seconds_east != 0) {
      t.kind_ = Kind::Fixed;
      t.payload_ = seconds_east;
    }
    return t;
  }
  static Result<Tz> parse(std::string_view text);

  Kind kind() const { return kind_; }
  bool is_utc() const { return kind_ == Kind::Utc; }
  std::int32_t offset_seconds() const { return kind_ == Kind::Fixed ? payload_ : 0; }
  std::uint16_t zone_id() const { return kind_ == Kind::Named ? static_cast<std::uint16_t>(payload_) : 0; }

  std::string name() const;
  CivilParts civil_parts(std::int64_t ns) const;
  // The instant of a wall clock in this zone: the earlier one in a fold,
  // nothing in a gap, for invalid fields or outside the int64 ns range.
  std::optional<std::int64_t> wall_to_utc_ns(std::int64_t year, std::int64_t month, std::int64_t day,
                                             std::int64_t hour, std::int64_t minute, std::int64_t second) const;
  // Total UTC offset in seconds in force at an instant.
  std::int64_t offset_at(std::int64_t ns) const;

  bool operator==(const Tz&) const = default;

 private:
  Kind kind_ = Kind::Utc;
  std::int32_t payload_ = 0;  // seconds east (Fixed) or zone id (Named)
};

CivilParts civil_parts_tz(std::int64_t ns, const Tz& tz);

// Days since 1970-01-01 of the local calendar date of an instant in a zone.
std::int64_t local_days(std::int64_t ns, const Tz& tz);

// The nine accepted datetime text forms, tried in order; nothing when none
// reads the whole (trimmed) text.
std::optional<std::int64_t> parse_ns_in_tz(std::string_view text, const Tz& tz);

// "YYYY-MM-DD HH:MM:SS" in UTC / in the zone; sub-second parts floored away.
std::string format_ns(std::int64_t ns);
std::string format_ns_tz(std::int64_t ns, const Tz& tz);

// strftime-style user format (to_datetime(format=...)): the text as a naive
// date-time read as UTC, else as a date only (midnight UTC), else nothing.
std::optional<std::int64_t> parse_with_format(std::string_view text, std::string_view format);

// strftime-style formatting of an instant's wall clock in a zone.
std::string strftime_ns(std::int64_t ns, const Tz& tz, std::string_view format);

// True when every % item of the pattern is a specifier strftime_ns knows;
// callers check before formatting so a typo is an error, not literal text.
bool strftime_format_valid(std::string_view format);

// format_ns_tz without the allocation, for writers that format many
// instants: writes the text to out (at least kFormatNsMax bytes) and returns
// its length.
inline constexpr std::size_t kFormatNsMax = 32;
std::size_t format_ns_into(std::int64_t ns, const Tz& tz, char* out);

// Strips Unicode white space (the White_Space property) from both ends of
// UTF-8 text.
std::string_view trim_unicode_space(std::string_view text);

}  // namespace kadmo::core
