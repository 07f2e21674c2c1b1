#include "kadmo/time/time_frame.hpp"

#include "kadmo/core/calendar.hpp"

#include <string>

namespace kadmo::time {

namespace {

using core::KadmoError;

struct Entry {
  std::string_view label;
  std::string_view constant;
  std::int64_t seconds;  // 0 for the calendar periods
};

constexpr std::array<Entry, kTimeFrameCount> kTable = {{
    {"1s", "s1", 1},
    {"1m", "m1", 60},
    {"3m", "m3", 180},
    {"5m", "m5", 300},
    {"15m", "m15", 900},
    {"30m", "m30", 1800},
    {"1h", "H1", 3600},
    {"2h", "H2", 7200},
    {"4h", "H4", 14400},
    {"6h", "H6", 21600},
    {"8h", "H8", 28800},
    {"12h", "H12", 43200},
    {"1d", "D1", 86400},
    {"3d", "D3", 259200},
    {"1w", "W1", 604800},
    {"1M", "M1", 0},
    {"1y", "Y1", 0},
}};

using core::floor_div;
using core::local_days;

}  // namespace

std::string_view label(TimeFrame tf) { return kTable[position(tf)].label; }

std::string_view constant_name(TimeFrame tf) { return kTable[position(tf)].constant; }

std::optional<std::int64_t> seconds(TimeFrame tf) {
  const std::int64_t s = kTable[position(tf)].seconds;
  if (s == 0) return std::nullopt;
  return s;
}

core::Result<TimeFrame> parse_time_frame(std::string_view text) {
  // Upper-case aliases exist for every unit except minutes, where "M" is
  // the month.
  struct Alias {
    std::string_view text;
    TimeFrame tf;
  };
  static constexpr Alias kAliases[] = {
      {"1S", TimeFrame::s1},   {"1H", TimeFrame::H1},  {"2H", TimeFrame::H2}, {"4H", TimeFrame::H4},
      {"6H", TimeFrame::H6},   {"8H", TimeFrame::H8},  {"12H", TimeFrame::H12}, {"1D", TimeFrame::D1},
      {"3D", TimeFrame::D3},   {"1W", TimeFrame::W1},  {"1Y", TimeFrame::Y1},
  };
  for (TimeFrame tf : kAllTimeFrames)
    if (label(tf) == text) return tf;
  for (const Alias& a : kAliases)
    if (a.text == text) return a.tf;
  return core::fail(KadmoError::value(core::quoted(text) + " is an invalid time frame"));
}

std::int64_t unify_tz(TimeFrame tf, std::int64_t ns, const core::Tz& tz) {
  constexpr std::int64_t e10 = 10'000'000'000, e8 = 100'000'000, e6 = 1'000'000, e4 = 10'000;
  // Day counts need no calendar split: 1970-01-01 was a Thursday, so +3
  // makes weeks run Monday to Sunday.
  switch (tf) {
    case TimeFrame::D3: return floor_div(local_days(ns, tz), 3);
    case TimeFrame::W1: return floor_div(local_days(ns, tz) + 3, 7);
    default: break;
  }
  const core::CivilParts p = core::civil_parts_tz(ns, tz);
  const std::int64_t base = p.year * e10 + p.month * e8;
  const std::int64_t day = base + p.day * e6;
  const auto minutes = [&](std::int64_t n) { return day + p.hour * e4 + p.minute / n * 100; };
  const auto hours = [&](std::int64_t n) { return day + p.hour / n * e4; };
  switch (tf) {
    case TimeFrame::s1: return day + p.hour * e4 + p.minute * 100 + p.second;
    case TimeFrame::m1: return minutes(1);
    case TimeFrame::m3: return minutes(3);
    case TimeFrame::m5: return minutes(5);
    case TimeFrame::m15: return minutes(15);
    case TimeFrame::m30: return minutes(30);
    case TimeFrame::H1: return hours(1);
    case TimeFrame::H2: return hours(2);
    case TimeFrame::H4: return hours(4);
    case TimeFrame::H6: return hours(6);
    case TimeFrame::H8: return hours(8);
    case TimeFrame::H12: return hours(12);
    case TimeFrame::D1: return day;
    case TimeFrame::M1: return base;
    case TimeFrame::Y1: return p.year * e10;
    case TimeFrame::D3:
    case TimeFrame::W1: break;  // handled above
  }
  return day;
}

core::Result<void> check_cumulation(TimeFrame source, TimeFrame target) {
  const std::size_t s = position(source);
  bool ok = false;
  if (source == target) {
    ok = true;
  } else if (target == TimeFrame::W1 || target == TimeFrame::M1) {
    ok = s <= position(TimeFrame::D1);
  } else if (target == TimeFrame::Y1) {
    ok = s <= position(TimeFrame::D1) || source == TimeFrame::M1;
  } else if (target >= TimeFrame::m1 && target <= TimeFrame::D3 && s <= position(TimeFrame::W1)) {
    const std::int64_t ls = kTable[s].seconds, lt = kTable[position(target)].seconds;
    ok = lt > ls && lt % ls == 0;
  }
  if (ok) return {};
  return core::fail(KadmoError::value("cannot cumulate " + std::string(label(source)) + " -> " +
                                      std::string(label(target)) +
                                      ": the target is not a whole multiple of the source frame"));
}

}  // namespace kadmo::time
