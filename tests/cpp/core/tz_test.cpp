// Expected instants come from Python's datetime/zoneinfo and pandas.Timestamp,
// or from hand arithmetic where noted.
#include "kadmo/core/tz.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kadmo::core {
namespace {

constexpr std::int64_t S = 1'000'000'000;
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
// 2021-01-04 09:30:00 UTC and 2021-01-04 00:00:00 UTC, in seconds.
constexpr std::int64_t T0 = 1609752600;
constexpr std::int64_t D0 = 1609718400;

Tz tz(std::string_view text) {
  auto r = Tz::parse(text);
  EXPECT_TRUE(r.has_value()) << text;
  return r.value_or(Tz::utc());
}

// ---------------------------------------------------------------- Tz::parse

TEST(TzParse, OffsetsAndUtcSpellings) {
  struct Case {
    std::string_view text;
    Tz expected;
    std::string_view name;
  };
  const Case cases[] = {
      {"", Tz::utc(), "UTC"},          {" \t Z \n", Tz::utc(), "UTC"},  {"utc", Tz::utc(), "UTC"},
      {"UtC", Tz::utc(), "UTC"},       {"+00:00", Tz::utc(), "UTC"},    {"-0000", Tz::utc(), "UTC"},
      {"-0", Tz::utc(), "UTC"},        {"+8", Tz::fixed(28800), "+08:00"},
      {"+08", Tz::fixed(28800), "+08:00"},        {"+08:00", Tz::fixed(28800), "+08:00"},
      {"+8:00", Tz::fixed(28800), "+08:00"},      {"+0800", Tz::fixed(28800), "+08:00"},
      {"+008:00", Tz::fixed(28800), "+08:00"},    {"-05:30", Tz::fixed(-19800), "-05:30"},
      {"-0530", Tz::fixed(-19800), "-05:30"},     {"+23:59", Tz::fixed(86340), "+23:59"},
      {"\xc2\xa0+01:00\xe3\x80\x80", Tz::fixed(3600), "+01:00"},  // NBSP and ideographic space
  };
  for (const auto& c : cases) {
    auto r = Tz::parse(c.text);
    ASSERT_TRUE(r.has_value()) << c.text;
    EXPECT_EQ(*r, c.expected) << c.text;
    EXPECT_EQ(r->name(), c.name) << c.text;
  }
  EXPECT_EQ(Tz::fixed(0).kind(), Tz::Kind::Utc);
}

TEST(TzParse, RejectsWithQuotedTrimmedText) {
  const std::string_view bad[] = {"z",      "+24:00",    "+08:60", "+123",      "+",        "-",
                                  "+08:",   "+:30",      "++8:00", "+08:00:00", "+8a",      "UTC+8",
                                  "utc8",   "Mars/Base", "GMT+25", "+0800x",    "+08:-1",   "+ 8"};
  for (auto text : bad) {
    auto r = Tz::parse(text);
    ASSERT_FALSE(r.has_value()) << text;
    EXPECT_EQ(r.error().kind, ErrorKind::Value);
    EXPECT_EQ(r.error().message, "unknown timezone " + quoted(text)) << text;
  }
  auto r = Tz::parse("  america/new_york \n");
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error().message, "unknown timezone \"america/new_york\"");
  r = Tz::parse("a\"b\\c");
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error().message, "unknown timezone \"a\\\"b\\\\c\"");
}

TEST(TzParse, NamedZonesShareIdsAndKeepNames) {
  const Tz ny = tz("America/New_York");
  EXPECT_EQ(ny.kind(), Tz::Kind::Named);
  EXPECT_EQ(ny.name(), "America/New_York");
  EXPECT_EQ(tz(" America/New_York "), ny);
  EXPECT_EQ(tz("America/New_York").zone_id(), ny.zone_id());
  const Tz london = tz("Europe/London");
  EXPECT_NE(london, ny);
  EXPECT_EQ(london.name(), "Europe/London");
  // A named UTC zone is its own value, not the UTC variant.
  const Tz etc = tz("Etc/UTC");
  EXPECT_EQ(etc.kind(), Tz::Kind::Named);
  EXPECT_NE(etc, Tz::utc());
  EXPECT_EQ(etc.name(), "Etc/UTC");
}

TEST(TzParse, HostileNamesNeverReachTheDatabase) {
  const std::string long_name(10000, 'A');
  const std::string with_nul("UTC\0x", 5);
  const std::string_view bad[] = {
      "localtime",        "/etc/passwd",        "../x",       "America/../etc", "America/./New_York",
      "./UTC",            "America//New_York",  "America/New_York/", "/",       "file:/etc/localtime",
      "Fixed/UTC+08:00:00", "America",  // a directory
      "leapseconds",                      // a zoneinfo file that is not TZif
      "right/America/New_York",           // leap-second encoded, refused by the loader
      "zone1970.tab",     long_name,            with_nul,     "Asia/Tokyo;rm",  "Europe\\London",
  };
  for (auto text : bad) {
    auto r = Tz::parse(text);
    ASSERT_FALSE(r.has_value()) << text.substr(0, 40);
    EXPECT_EQ(r.error().message, "unknown timezone " + quoted(text));
  }
}

TEST(TzParse, ConcurrentLoadsAgreeOnIds) {
  const std::vector<std::string> names = {"Asia/Tokyo", "Australia/Sydney", "America/Chicago", "Africa/Cairo",
                                          "Europe/Berlin", "Asia/Kolkata"};
  std::vector<std::vector<std::uint16_t>> ids(4);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int rep = 0; rep < 50; ++rep)
        for (std::size_t i = 0; i < names.size(); ++i) {
          const std::string& n = names[(i + t) % names.size()];
          auto r = Tz::parse(n);
          if (rep == 0) ids[t].push_back(r ? r->zone_id() : 0xffff);
        }
    });
  for (auto& th : threads) th.join();
  for (int t = 0; t < 4; ++t) {
    for (std::size_t i = 0; i < names.size(); ++i) {
      const std::string& n = names[(i + t) % names.size()];
      const Tz z = tz(n);
      EXPECT_EQ(ids[t][i], z.zone_id()) << n;
      EXPECT_EQ(z.name(), n);
    }
  }
}

// ---------------------------------------------------------------- zones at instants

TEST(TzCivil, PartsAndOffsetsInEachVariant) {
  const Tz ny = tz("America/New_York");
  struct Case {
    std::int64_t ns;
    Tz zone;
    CivilParts parts;
    std::int64_t offset;
  };
  const Case cases[] = {
      {0, Tz::utc(), {1970, 1, 1, 0, 0, 0}, 0},
      {-1, Tz::utc(), {1969, 12, 31, 23, 59, 59}, 0},
      {951825600 * S + 999'999'999, Tz::utc(), {2000, 2, 29, 12, 0, 0}, 0},
      {0, Tz::fixed(28800), {1970, 1, 1, 8, 0, 0}, 28800},
      {0, Tz::fixed(-3600), {1969, 12, 31, 23, 0, 0}, -3600},
      {0, ny, {1969, 12, 31, 19, 0, 0}, -18000},
      {1625144400 * S, ny, {2021, 7, 1, 9, 0, 0}, -14400},
      {-1'000'000'000 * S, ny, {1938, 4, 24, 18, 13, 20}, -14400},
      {-3'000'000'000 * S, ny, {1874, 12, 7, 13, 43, 58}, -17762},  // local mean time
      {1636263000 * S, ny, {2021, 11, 7, 1, 30, 0}, -14400},         // fold, first pass
      {1636266600 * S, ny, {2021, 11, 7, 1, 30, 0}, -18000},         // fold, second pass
      {kMin, Tz::utc(), {1677, 9, 21, 0, 12, 43}, 0},
      {kMax, Tz::utc(), {2262, 4, 11, 23, 47, 16}, 0},
      {kMin, ny, {1677, 9, 20, 19, 16, 41}, -17762},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(civil_parts_tz(c.ns, c.zone), c.parts) << c.ns << " " << c.zone.name();
    EXPECT_EQ(c.zone.civil_parts(c.ns), c.parts) << c.ns;
    EXPECT_EQ(c.zone.offset_at(c.ns), c.offset) << c.ns << " " << c.zone.name();
  }
}

TEST(TzWall, GapFoldAndInvalidFields) {
  const Tz ny = tz("America/New_York");
  const Tz london = tz("Europe/London");
  EXPECT_EQ(ny.wall_to_utc_ns(2021, 3, 14, 2, 30, 0), std::nullopt);        // gap
  EXPECT_EQ(ny.wall_to_utc_ns(2021, 3, 14, 3, 0, 0), 1615705200 * S);       // first instant after it
  EXPECT_EQ(ny.wall_to_utc_ns(2021, 11, 7, 1, 30, 0), 1636263000 * S);      // fold: daylight reading
  EXPECT_EQ(london.wall_to_utc_ns(2021, 10, 31, 1, 30, 0), 1635640200 * S);  // fold: BST reading
  EXPECT_EQ(Tz::utc().wall_to_utc_ns(2000, 2, 29, 12, 0, 0), 951825600 * S);
  EXPECT_EQ(Tz::fixed(-19800).wall_to_utc_ns(2021, 1, 4, 9, 30, 0), (T0 + 19800) * S);
  // Edges of the int64 range, by hand from INT64_MIN/MAX = -/+9223372036.85... s.
  EXPECT_EQ(Tz::utc().wall_to_utc_ns(2262, 4, 11, 23, 47, 16), 9223372036 * S);
  EXPECT_EQ(Tz::utc().wall_to_utc_ns(2262, 4, 11, 23, 47, 17), std::nullopt);
  EXPECT_EQ(Tz::utc().wall_to_utc_ns(1677, 9, 21, 0, 12, 44), -9223372036 * S);
  EXPECT_EQ(Tz::utc().wall_to_utc_ns(1677, 9, 21, 0, 12, 43), std::nullopt);

  struct Fields {
    std::int64_t y, mo, d, h, mi, s;
  };
  const Fields invalid[] = {
      {2021, 0, 1, 0, 0, 0},  {2021, 13, 1, 0, 0, 0},  {2021, 1, 0, 0, 0, 0},   {2021, 2, 29, 0, 0, 0},
      {1900, 2, 29, 0, 0, 0}, {2021, 4, 31, 0, 0, 0},  {2021, 1, 1, 24, 0, 0},  {2021, 1, 1, 0, 60, 0},
      {2021, 1, 1, 0, 0, 60}, {2021, 1, 1, -1, 0, 0},  {kMax, 1, 1, 0, 0, 0},   {kMin, 1, 1, 0, 0, 0},
      {99999, 1, 1, 0, 0, 0}, {-99999, 1, 1, 0, 0, 0}, {2021, kMax, 1, 0, 0, 0}, {2021, 1, kMin, 0, 0, 0},
  };
  for (const Tz& z : {Tz::utc(), Tz::fixed(3600), ny})
    for (const auto& f : invalid)
      EXPECT_EQ(z.wall_to_utc_ns(f.y, f.mo, f.d, f.h, f.mi, f.s), std::nullopt)
          << z.name() << " " << f.y << "-" << f.mo << "-" << f.d << " " << f.h << ":" << f.mi << ":" << f.s;
}

// ---------------------------------------------------------------- parse_ns_in_tz

TEST(TzText, EveryAcceptedFormInEachZoneKind) {
  const Tz ny = tz("America/New_York");
  const Tz east8 = Tz::fixed(28800);
  struct Case {
    std::string_view text;
    std::int64_t utc, plus8, new_york;  // expected ns when read in each zone
  };
  const std::int64_t a = T0 * S;
  const Case cases[] = {
      // Absolute forms ignore the zone argument.
      {"2021-01-04T09:30:00Z", a, a, a},
      {"2021-01-04t09:30:00z", a, a, a},
      {"2021-01-04 09:30:00Z", a, a, a},
      {"2021-01-04 09:30:00.250+00:00", a + 250'000'000, a + 250'000'000, a + 250'000'000},
      {"2021-01-04T09:30:00.5Z", a + 500'000'000, a + 500'000'000, a + 500'000'000},
      // Tenth digit and beyond are truncated.
      {"2021-01-04T09:30:00.1234567899-05:30", a + 19800 * S + 123'456'789, a + 19800 * S + 123'456'789,
       a + 19800 * S + 123'456'789},
      {"2021-01-04 09:30:00+08:00", a - 28800 * S, a - 28800 * S, a - 28800 * S},
      {"2021-01-04 09:30:00+0800", a - 28800 * S, a - 28800 * S, a - 28800 * S},
      {"2021-01-04T09:30:00-0530", a + 19800 * S, a + 19800 * S, a + 19800 * S},
      {"2021-11-07T01:30:00-05:00", 1636266600 * S, 1636266600 * S, 1636266600 * S},
      {"2016-12-31T23:59:60Z", 1483228800 * S, 1483228800 * S, 1483228800 * S},  // leap second
      {"2016-12-31 23:59:60.5+00:00", 1483228800 * S + 500'000'000, 1483228800 * S + 500'000'000,
       1483228800 * S + 500'000'000},
      // Wall-clock forms; January is EST (-5 h) in New York.
      {"2021-01-04 09:30:00", a, a - 28800 * S, a + 18000 * S},
      {"2021-01-04T09:30:00", a, a - 28800 * S, a + 18000 * S},
      {"2021/01/04 09:30:00", a, a - 28800 * S, a + 18000 * S},
      {"2021-01-04", D0 * S, (D0 - 28800) * S, (D0 + 18000) * S},
      {"2021/01/04", D0 * S, (D0 - 28800) * S, (D0 + 18000) * S},
      {"  2021-01-04 09:30:00\t\n", a, a - 28800 * S, a + 18000 * S},
      {"\xc2\xa0" "2021-01-04\xe3\x80\x80", D0 * S, (D0 - 28800) * S, (D0 + 18000) * S},
      {"2000-02-29", 951782400 * S, (951782400 - 28800) * S, (951782400 + 18000) * S},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(parse_ns_in_tz(c.text, Tz::utc()), c.utc) << c.text;
    EXPECT_EQ(parse_ns_in_tz(c.text, east8), c.plus8) << c.text;
    EXPECT_EQ(parse_ns_in_tz(c.text, ny), c.new_york) << c.text;
  }
}

TEST(TzText, GapAndFoldThroughText) {
  const Tz ny = tz("America/New_York");
  EXPECT_EQ(parse_ns_in_tz("2021-03-14 02:30:00", ny), std::nullopt);
  EXPECT_EQ(parse_ns_in_tz("2021-03-14T02:00:00", ny), std::nullopt);
  EXPECT_EQ(parse_ns_in_tz("2021-11-07 01:30:00", ny), 1636263000 * S);
  EXPECT_EQ(parse_ns_in_tz("2021-03-14 02:30:00", Tz::utc()), 1615689000 * S);
}

TEST(TzText, RejectsEverythingElse) {
  const Tz ny = tz("America/New_York");
  const std::string_view bad[] = {
      "",
      "   ",
      "abc",
      "2021-01-04 09:30",
      "2021-01-04 09:30:00.5",
      "2021-01-04t09:30:00",
      "2021-1-4",
      "21-01-04",
      "+2021-01-04",
      "-2021-01-04",
      "2021-01/04",
      "2021/01-04",
      "2021-02-30",
      "2019-02-29",
      "1900-02-29",
      "2021-13-01",
      "2021-00-10",
      "2021-01-00",
      "2021-01-04 24:00:00",
      "2021-01-04 09:60:00",
      "2021-01-04 09:30:61Z",
      "2021-01-04 09:30:60",
      "2021-01-04 09:30:60+0000",
      "2021/01/04T09:30:00",
      "2021/01/04 09:30:00Z",
      "2021-01-04  09:30:00",
      "2021-01-04x09:30:00",
      "2021-01-04 09:30:00 +08:00",
      "2021-01-04 09:30:00+24:00",
      "2021-01-04 09:30:00+08:60",
      "2021-01-04 09:30:00+08",
      "2021-01-04 09:30:00+8:00",
      "2021-01-04 09:30:00.Z",
      "2021-01-04 09:30:00.250+0000",
      "2021-01-04t09:30:00+0000",
      "2021-01-04 09:30:00UTC",
      "2021-01-04 09:30:00+08:00x",
      "2021-01-04 09:30:00ZZ",
      "2021-01-04 9:30:00",
      "2021-01-04 09:3a:00",
      "2021-01-04 09:30:00.1.2Z",
      "20210104",
      "2021-01-04\n09:30:00",
  };
  for (auto text : bad)
    for (const Tz& z : {Tz::utc(), Tz::fixed(-3600), ny}) EXPECT_EQ(parse_ns_in_tz(text, z), std::nullopt) << text;
}

TEST(TzText, OutOfRangeInstantsAreNothing) {
  struct Case {
    std::string_view text;
    std::optional<std::int64_t> expected;
  };
  const Case cases[] = {
      {"1677-09-21 00:12:43.145224192Z", kMin},
      {"1677-09-21 00:12:43.145224191Z", std::nullopt},
      {"1677-09-21 00:12:43Z", std::nullopt},
      {"2262-04-11 23:47:16.854775807Z", kMax},
      {"2262-04-11 23:47:16.854775808Z", std::nullopt},
      {"2262-04-11 23:47:17", std::nullopt},
      {"2262-04-11 23:47:16+00:01", 9223372036 * S - 60 * S},
      {"2262-04-12 00:50:00+01:00", std::nullopt},
      {"9999-12-31 23:59:59", std::nullopt},
      {"9999-12-31T23:59:59.999999999Z", std::nullopt},
      {"0000-01-01", std::nullopt},
      {"0001-01-01T00:00:00-23:59", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(parse_ns_in_tz(c.text, Tz::utc()), c.expected) << c.text;
  EXPECT_EQ(parse_ns_in_tz("9999-12-31", tz("America/New_York")), std::nullopt);
}

// ---------------------------------------------------------------- formatting

TEST(TzFormat, FloorsAndHandlesExtremes) {
  struct Case {
    std::int64_t ns;
    Tz zone;
    std::string_view text;
  };
  const Case cases[] = {
      {0, Tz::utc(), "1970-01-01 00:00:00"},
      {-1, Tz::utc(), "1969-12-31 23:59:59"},
      {-S, Tz::utc(), "1969-12-31 23:59:59"},
      {-S - 1, Tz::utc(), "1969-12-31 23:59:58"},
      {T0 * S + 999'999'999, Tz::utc(), "2021-01-04 09:30:00"},
      {0, Tz::fixed(28800), "1970-01-01 08:00:00"},
      {951825600 * S, Tz::fixed(-19800), "2000-02-29 06:30:00"},
      {kMin, Tz::utc(), "1677-09-21 00:12:43"},
      {kMax, Tz::utc(), "2262-04-11 23:47:16"},
      {kMin, Tz::fixed(-86340), "1677-09-20 00:13:43"},
      {kMax, Tz::fixed(86340), "2262-04-12 23:46:16"},
      {1636266600 * S, tz("America/New_York"), "2021-11-07 01:30:00"},
      {1625144400 * S, tz("America/New_York"), "2021-07-01 09:00:00"},
      {kMin, tz("America/New_York"), "1677-09-20 19:16:41"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(format_ns_tz(c.ns, c.zone), c.text) << c.ns << " " << c.zone.name();
    char buf[kFormatNsMax];
    EXPECT_EQ(std::string_view(buf, format_ns_into(c.ns, c.zone, buf)), c.text);
    if (c.zone.is_utc()) {
      EXPECT_EQ(format_ns(c.ns), c.text);
    }
  }
  // Offsets beyond what parse produces still format without overflow.
  EXPECT_EQ(format_ns_tz(0, Tz::fixed(std::numeric_limits<std::int32_t>::min())).size(), 19u);
  EXPECT_FALSE(Tz::fixed(std::numeric_limits<std::int32_t>::min()).name().empty());
}

TEST(TzFormat, RoundTripThroughWallClockText) {
  const Tz zones[] = {Tz::utc(), Tz::fixed(19800), Tz::fixed(-36000), tz("America/New_York"),
                      tz("Europe/London"), tz("Australia/Lord_Howe")};
  // Instants spread over 1700..2260 by a fixed LCG.
  std::uint64_t state = 0x9e3779b97f4a7c15ull;
  const std::int64_t lo = -8'520'000'000, span = 17'700'000'000;  // seconds
  int folds = 0;
  for (int i = 0; i < 20000; ++i) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    const std::int64_t x = (lo + static_cast<std::int64_t>((state >> 11) % static_cast<std::uint64_t>(span))) * S +
                           static_cast<std::int64_t>(state % S);
    const std::int64_t whole = x - ((x % S) + S) % S;
    for (const Tz& z : zones) {
      const std::string text = format_ns_tz(x, z);
      const auto back = parse_ns_in_tz(text, z);
      ASSERT_TRUE(back.has_value()) << text << " " << z.name();
      if (*back != whole) {
        // Only a repeated wall clock may read back differently: as the
        // earlier instant with the same text.
        ASSERT_LT(*back, whole) << text << " " << z.name();
        ASSERT_EQ(format_ns_tz(*back, z), text);
        ASSERT_GT(z.offset_at(*back), z.offset_at(x));
        ++folds;
      }
    }
  }
  EXPECT_GT(folds, 0);  // the sample does cross repeated hours
  EXPECT_LT(folds, 100);
}

TEST(TzFormat, StrftimeInZone) {
  const Tz ny = tz("America/New_York");
  const std::int64_t a = (T0 + 18000) * S + 123'456'789;  // 2021-01-04 09:30:00.123 in New York, a Monday
  EXPECT_EQ(strftime_ns(a, ny, "%Y-%m-%d %H:%M"), "2021-01-04 09:30");
  EXPECT_EQ(strftime_ns(a, ny, "%A %a %B %b %j %I%p %y %F %T %%"),
            "Monday Mon January Jan 004 09AM 21 2021-01-04 09:30:00 %");
  EXPECT_EQ(strftime_ns(a, ny, "%z|%:z"), "-0500|-05:00");
  EXPECT_EQ(strftime_ns(a, Tz::fixed(19800), "%H:%M %:z"), "20:00 +05:30");
  EXPECT_EQ(strftime_ns(a, Tz::utc(), "%S.%f"), "00.000000000");  // whole seconds only
  EXPECT_EQ(strftime_ns(-1, Tz::utc(), "%Y-%m-%d %H:%M:%S"), "1969-12-31 23:59:59");
  EXPECT_EQ(strftime_ns(a, ny, "%%:z"), "%:z");
  EXPECT_EQ(strftime_ns(kMin, Tz::utc(), "%Y"), "1677");
}

TEST(TzFormat, StrftimeValidation) {
  for (std::string_view ok : {"", "plain", "%Y-%m-%d %H:%M:%S", "%%Q", "%:z %z %Z", "%E*S %E3f %Ez %E4Y", "%f"})
    EXPECT_TRUE(strftime_format_valid(ok)) << ok;
  for (std::string_view bad : {"%Q", "%", "abc%", "%E", "%Ex", "%:", "%:y", "%Y %q", "%E*"})
    EXPECT_FALSE(strftime_format_valid(bad)) << bad;
}

TEST(TzFormat, ParseWithUserFormat) {
  struct Case {
    std::string_view text, format;
    std::optional<std::int64_t> expected;
  };
  const Case cases[] = {
      {"04/01/2021 09:30", "%d/%m/%Y %H:%M", T0 * S},
      {"2021-01-04", "%Y-%m-%d", D0 * S},
      {"20210104", "%Y%m%d", D0 * S},
      {"202101040930", "%Y%m%d%H%M", T0 * S},
      {"2021%01", "%Y%%%m", (D0 - 3 * 86400) * S},
      {"2021-01-04T09:30:00+01:00", "%Y-%m-%dT%H:%M:%S%:z", (T0 - 3600) * S},
      {"2021-01-04 09:30:00 +0100", "%Y-%m-%d %H:%M:%S %z", (T0 - 3600) * S},
      {"2021-01-04 09:30:00.5", "%Y-%m-%d %H:%M:%E*S", T0 * S + 500'000'000},
      {"2021-02-30", "%Y-%m-%d", std::nullopt},
      {"junk", "%Y-%m-%d", std::nullopt},
      {"2021-01-04 09:30", "%Y-%m-%d %H:%M:%S", std::nullopt},
      {"99999999999-01-01", "%Y-%m-%d", std::nullopt},
      {"9999-12-31", "%Y-%m-%d", std::nullopt},
      {"-99999-01-01", "%Y-%m-%d", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(parse_with_format(c.text, c.format), c.expected) << c.text;
}

}  // namespace
}  // namespace kadmo::core
