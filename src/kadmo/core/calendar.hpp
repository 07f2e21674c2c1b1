#pragma once
// Proleptic Gregorian calendar arithmetic on day counts since 1970-01-01,
// shared by the zone code, the CSV reader's fast datetime path and the time
// frames.

#include <cstdint>

namespace kadmo::core {

constexpr std::int64_t floor_div(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

constexpr bool is_leap(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

constexpr int days_in_month(std::int64_t y, std::int64_t m) {
  constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && is_leap(y) ? 29 : kDays[m - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date (Hinnant's algorithm).
constexpr std::int64_t days_from_civil(std::int64_t y, std::int64_t m, std::int64_t d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// The same for years 0..9999 only: unsigned arithmetic keeps the divisions
// cheap on hot parsing paths.
constexpr std::int64_t days_from_civil_0_9999(unsigned y, unsigned m, unsigned d) {
  y += 400 - (m <= 2);  // one era up keeps y non-negative for year 0
  const unsigned era = y / 400;
  const unsigned yoe = y - era * 400;
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return static_cast<std::int64_t>(era) * 146097 + static_cast<std::int64_t>(doe) - 719468 - 146097;
}

struct Ymd {
  std::int64_t y, m, d;
};

constexpr Ymd civil_from_days(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
  return {yoe + era * 400 + (m <= 2), m, d};
}

// Monday 0 ... Sunday 6; 1970-01-01 was a Thursday.
constexpr std::int64_t weekday_from_days(std::int64_t days) {
  const std::int64_t w = (days + 3) % 7;
  return w < 0 ? w + 7 : w;
}

}  // namespace kadmo::core
