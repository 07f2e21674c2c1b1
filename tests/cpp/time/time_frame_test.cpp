// Expected keys: hand arithmetic on the civil date (YYYYMMDDhhmmss-shaped
// keys, day counts from 1970-01-01), or Python's zoneinfo for civil parts in
// a zone. Which instants share a bar comes from pandas: the wall clock
// tz_convert(zone).tz_localize(None) floored to the period, or to_period('W-SUN'
// / 'M' / 'Y') for weeks, months and years.
#include "kadmo/time/time_frame.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace kadmo::time {
namespace {

using core::Tz;

constexpr std::int64_t S = 1'000'000'000;
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

Tz tz(std::string_view text) {
  auto r = Tz::parse(text);
  EXPECT_TRUE(r.has_value()) << text;
  return r.value_or(Tz::utc());
}

TEST(TimeFrameTable, LabelsConstantsAndLengthsRoundTrip) {
  std::int64_t previous = 0;
  for (TimeFrame tf : kAllTimeFrames) {
    auto parsed = parse_time_frame(label(tf));
    ASSERT_TRUE(parsed.has_value()) << label(tf);
    EXPECT_EQ(*parsed, tf);
    // Fixed lengths strictly grow in table order; only the calendar periods
    // have none.
    const auto len = seconds(tf);
    if (tf == TimeFrame::M1 || tf == TimeFrame::Y1) {
      EXPECT_FALSE(len.has_value()) << label(tf);
    } else {
      ASSERT_TRUE(len.has_value()) << label(tf);
      EXPECT_GT(*len, previous) << label(tf);
      previous = *len;
    }
  }
  EXPECT_EQ(label(TimeFrame::M1), "1M");
  EXPECT_EQ(label(TimeFrame::H12), "12h");
  EXPECT_EQ(constant_name(TimeFrame::H12), "H12");
  EXPECT_EQ(constant_name(TimeFrame::m15), "m15");
  EXPECT_EQ(seconds(TimeFrame::D3), 259200);
  EXPECT_EQ(seconds(TimeFrame::W1), 604800);
}

TEST(TimeFrameParse, AcceptedSpellings) {
  const std::map<std::string_view, TimeFrame> accepted = {
      {"1s", TimeFrame::s1},   {"1S", TimeFrame::s1},   {"1m", TimeFrame::m1},   {"3m", TimeFrame::m3},
      {"5m", TimeFrame::m5},   {"15m", TimeFrame::m15}, {"30m", TimeFrame::m30}, {"1h", TimeFrame::H1},
      {"1H", TimeFrame::H1},   {"2H", TimeFrame::H2},   {"4H", TimeFrame::H4},   {"6h", TimeFrame::H6},
      {"8H", TimeFrame::H8},   {"12H", TimeFrame::H12}, {"1d", TimeFrame::D1},   {"1D", TimeFrame::D1},
      {"3D", TimeFrame::D3},   {"1w", TimeFrame::W1},   {"1W", TimeFrame::W1},   {"1M", TimeFrame::M1},
      {"1y", TimeFrame::Y1},   {"1Y", TimeFrame::Y1},
  };
  for (const auto& [text, tf] : accepted) {
    auto r = parse_time_frame(text);
    ASSERT_TRUE(r.has_value()) << text;
    EXPECT_EQ(*r, tf) << text;
  }
}

TEST(TimeFrameParse, RejectedSpellingsNameTheText) {
  const std::string_view rejected[] = {"1MIN", " 5m", "5M", "1H ", "7m", "", "15M", "3M", "1", "m5",
                                       "01d", "1d\n", "1mo", "2d", "1 h", "\xff"};
  for (std::string_view text : rejected) {
    auto r = parse_time_frame(text);
    ASSERT_FALSE(r.has_value()) << text;
    EXPECT_EQ(r.error().kind, core::ErrorKind::Value);
    EXPECT_EQ(r.error().message, core::quoted(text) + " is an invalid time frame");
  }
  EXPECT_EQ(parse_time_frame("7m").error().message, "\"7m\" is an invalid time frame");
  EXPECT_EQ(parse_time_frame("a\"b").error().message, "\"a\\\"b\" is an invalid time frame");
}

// 2021-01-04 09:37:42.999 UTC (a Monday), 18631 days after 1970-01-01.
TEST(UnifyTz, KeysOfOneInstantInUtcByHand) {
  const std::int64_t ns = 1609753062 * S + 999'000'000;
  const std::pair<TimeFrame, std::int64_t> cases[] = {
      {TimeFrame::s1, 20210104093742},  {TimeFrame::m1, 20210104093700},  {TimeFrame::m3, 20210104091200},
      {TimeFrame::m5, 20210104090700},  {TimeFrame::m15, 20210104090200}, {TimeFrame::m30, 20210104090100},
      {TimeFrame::H1, 20210104090000},  {TimeFrame::H2, 20210104040000},  {TimeFrame::H4, 20210104020000},
      {TimeFrame::H6, 20210104010000},  {TimeFrame::H8, 20210104010000},  {TimeFrame::H12, 20210104000000},
      {TimeFrame::D1, 20210104000000},  {TimeFrame::D3, 18631 / 3},       {TimeFrame::W1, (18631 + 3) / 7},
      {TimeFrame::M1, 20210100000000},  {TimeFrame::Y1, 20210000000000},
  };
  for (const auto& [tf, key] : cases) EXPECT_EQ(unify_tz(tf, ns, Tz::utc()), key) << label(tf);
}

// Civil parts from zoneinfo; the extremes of the int64 range must neither
// overflow nor wrap (keys of the int64 ends are exact, not saturated).
TEST(UnifyTz, KeysInZonesAndAtTheEndsOfTheRange) {
  struct Case {
    std::int64_t ns;
    std::string_view zone;
    TimeFrame tf;
    std::int64_t key;
  };
  const Case cases[] = {
      // 2021-01-04 23:00 UTC is already the 5th in Tokyo.
      {1609801200 * S, "UTC", TimeFrame::D1, 20210104000000},
      {1609801200 * S, "Asia/Tokyo", TimeFrame::D1, 20210105000000},
      {1609801200 * S, "+05:30", TimeFrame::m15, 20210105040200},
      {1609801200 * S, "-08:00", TimeFrame::H4, 20210104030000},
      // 2021-03-14 07:10 UTC is 03:10 EDT, just after the gap.
      {1615705800 * S, "America/New_York", TimeFrame::H1, 20210314030000},
      // -1 ns is the last second of 1969 (flooring, not truncation).
      {-1, "UTC", TimeFrame::s1, 19691231235959},
      {-1, "UTC", TimeFrame::D3, -1},
      {-1, "UTC", TimeFrame::W1, 0},
      {kMin, "UTC", TimeFrame::s1, 16770921001243},
      {kMin, "UTC", TimeFrame::D3, -35584},
      {kMin, "UTC", TimeFrame::W1, -15250},
      {kMax, "UTC", TimeFrame::s1, 22620411234716},
      {kMax, "UTC", TimeFrame::m15, 22620411230300},
      {kMax, "UTC", TimeFrame::D3, 35583},
      {kMin, "America/New_York", TimeFrame::s1, 16770920191641},
      {kMin, "America/New_York", TimeFrame::D3, -35585},
      {kMax, "Asia/Tokyo", TimeFrame::H4, 22620412020000},
      {kMax, "Asia/Tokyo", TimeFrame::D3, 35584},
      {kMin, "+23:59", TimeFrame::s1, 16770922001143},
      {kMax, "-23:59", TimeFrame::s1, 22620410234816},
      {kMax, "-23:59", TimeFrame::Y1, 22620000000000},
      {kMin, "Australia/Lord_Howe", TimeFrame::M1, 16770900000000},
  };
  for (const Case& c : cases)
    EXPECT_EQ(unify_tz(c.tf, c.ns, tz(c.zone)), c.key) << c.ns << " " << c.zone << " " << label(c.tf);
}

// Instants start, start+step, ...; `groups` gives each one a letter by the
// pandas bucket it falls in (first bucket 'a', next new one 'b', ...). Keys
// must be equal exactly when the letters are, for every pair, so a repeated
// hour in a fold shares keys with its first pass.
TEST(UnifyTz, BucketsMatchPandasAcrossTransitions) {
  struct Case {
    std::string_view zone;
    TimeFrame tf;
    std::int64_t start;  // UTC seconds
    std::int64_t step;   // seconds
    std::string_view groups;
  };
  const Case cases[] = {
      // Fall back: 01:00-01:59 local twice.
      {"America/New_York", TimeFrame::H1, 1636254000, 900, "aaaabbbbccccccccdddd"},
      {"America/New_York", TimeFrame::H4, 1636236000, 1800, "aaaabbbbbbbbccccccccccdd"},
      // A 25-hour and a 23-hour local day.
      {"America/New_York", TimeFrame::D1, 1636243200, 3600, "aaaabbbbbbbbbbbbbbbbbbbbbbbbbc"},
      {"America/New_York", TimeFrame::D1, 1615676400, 3600, "aaaaaabbbbbbbbbbbbbbbbbbbbbbbc"},
      // Spring forward: 02:00-02:59 local does not exist.
      {"America/New_York", TimeFrame::H2, 1615694400, 1800, "aabbbbccdddd"},
      {"America/New_York", TimeFrame::m30, 1615701600, 600, "aaabbbcccddd"},
      {"Europe/London", TimeFrame::W1, 1616716800, 21600, "aaaaaaaaaaaabbbb"},
      {"Europe/London", TimeFrame::M1, 1635638400, 43200, "aabbbbbb"},
      // Half-hour daylight saving shifts.
      {"Australia/Lord_Howe", TimeFrame::m30, 1617544800, 600, "aaabbbcccdddeeefff"},
      {"Australia/Lord_Howe", TimeFrame::m15, 1633186800, 300, "aaabbbcccdddeeefff"},
      // Offsets that are not whole hours.
      {"Asia/Kolkata", TimeFrame::H1, 1609718400, 900, "aabbbbccccdd"},
      {"Asia/Kathmandu", TimeFrame::m30, 1609718400, 300, "aaabbbbbbccccc"},
      // Samoa skipped 2011-12-30 entirely.
      {"Pacific/Apia", TimeFrame::D1, 1325116800, 10800, "aaaabbbbbbbbcccccccc"},
      {"Pacific/Auckland", TimeFrame::Y1, 1640937600, 1800, "aaaaaabbbbbb"},
      // Daylight saving began at local midnight.
      {"America/Sao_Paulo", TimeFrame::D3, 1541203200, 21600, "abbbbbbbbbbbbccc"},
      {"Europe/Berlin", TimeFrame::m5, -4800, 120, "aaabbcccddeeef"},
      {"+05:30", TimeFrame::H12, 1609718400 - 19800 - 3600, 1800, "aabbbbbb"},
      {"UTC", TimeFrame::D3, -172800, 43200, "aaaabbbbbbcccc"},
      {"UTC", TimeFrame::W1, 1609632000, 43200, "aabbbbbbbbbbbbbbcccc"},
      {"UTC", TimeFrame::s1, -2, 1, "abcd"},
  };
  for (const Case& c : cases) {
    const Tz zone = tz(c.zone);
    std::vector<std::int64_t> keys;
    for (std::size_t i = 0; i < c.groups.size(); ++i)
      keys.push_back(unify_tz(c.tf, (c.start + static_cast<std::int64_t>(i) * c.step) * S, zone));
    for (std::size_t i = 0; i < keys.size(); ++i)
      for (std::size_t j = 0; j < i; ++j)
        EXPECT_EQ(keys[i] == keys[j], c.groups[i] == c.groups[j])
            << c.zone << " " << label(c.tf) << " instants " << j << " and " << i;
  }
}

TEST(UnifyTz, SubSecondPartPlaysNoRole) {
  const Tz ny = tz("America/New_York");
  for (TimeFrame tf : kAllTimeFrames) {
    EXPECT_EQ(unify_tz(tf, 1609753062 * S, ny), unify_tz(tf, 1609753062 * S + 999'999'999, ny)) << label(tf);
    EXPECT_NE(unify_tz(TimeFrame::s1, 1609753062 * S - 1, ny), unify_tz(TimeFrame::s1, 1609753062 * S, ny));
  }
}

TEST(CheckCumulation, WholeMultipleRule) {
  struct Case {
    TimeFrame source, target;
    bool ok;
  };
  using T = TimeFrame;
  const Case cases[] = {
      {T::m5, T::m15, true},  {T::H1, T::H4, true},    {T::D1, T::W1, true},   {T::D1, T::M1, true},
      {T::M1, T::Y1, true},   {T::s1, T::s1, true},    {T::M1, T::M1, true},   {T::Y1, T::Y1, true},
      {T::W1, T::W1, true},   {T::m3, T::H1, true},    {T::H8, T::D1, true},   {T::H12, T::D3, true},
      {T::s1, T::D3, true},   {T::s1, T::Y1, true},    {T::H12, T::Y1, true},  {T::m30, T::M1, true},
      {T::m15, T::m5, false}, {T::H4, T::H6, false},   {T::D3, T::W1, false},  {T::W1, T::M1, false},
      {T::W1, T::Y1, false},  {T::m1, T::s1, false},   {T::D1, T::s1, false},  {T::m3, T::m5, false},
      {T::D3, T::M1, false},  {T::D3, T::Y1, false},   {T::Y1, T::M1, false},  {T::M1, T::W1, false},
      {T::M1, T::D3, false},  {T::W1, T::D3, false},   {T::H6, T::H8, false},  {T::m1, T::W1, true},
  };
  for (const Case& c : cases) {
    auto r = check_cumulation(c.source, c.target);
    EXPECT_EQ(r.has_value(), c.ok) << label(c.source) << " -> " << label(c.target);
    if (!r) {
      EXPECT_EQ(r.error().kind, core::ErrorKind::Value);
      EXPECT_EQ(r.error().message, "cannot cumulate " + std::string(label(c.source)) + " -> " +
                                       std::string(label(c.target)) +
                                       ": the target is not a whole multiple of the source frame");
    }
  }
  EXPECT_EQ(check_cumulation(TimeFrame::D3, TimeFrame::W1).error().message,
            "cannot cumulate 3d -> 1w: the target is not a whole multiple of the source frame");
}

}  // namespace
}  // namespace kadmo::time
