// Expected values are hand-derived from the file texts written in each test.
#include "kadmo/io/csv_reader.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace kadmo::io {
namespace {

namespace fs = std::filesystem;
using core::Column;
using core::DType;

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/kadmo-io-test-XXXXXX";
    path_ = ::mkdtemp(tmpl);
  }
  ~TempDir() { fs::remove_all(path_); }
  std::string file(const std::string& name, const std::string& text) const {
    const std::string p = path_ + "/" + name;
    std::ofstream(p, std::ios::binary) << text;
    return p;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

core::DataFrame read_ok(const std::string& path, ReadCsvOptions o = {}) {
  auto r = read_csv(path, o);
  EXPECT_TRUE(r.has_value()) << (r ? "" : r.error().message);
  return r ? *r : core::DataFrame();
}

std::string read_err(const std::string& path, ReadCsvOptions o = {}) {
  auto r = read_csv(path, o);
  EXPECT_FALSE(r.has_value());
  if (r) return "";
  EXPECT_EQ(r.error().kind, core::ErrorKind::Value);
  return r.error().message;
}

// A file whose first column "c" holds the given cells (a second column keeps
// an empty cell from being a blank line).
std::string column_file(const TempDir& d, const std::vector<std::string>& cells) {
  std::string text = "c,k\n";
  for (const auto& c : cells) text += c + ",0\n";
  return d.file("col.csv", text);
}

std::vector<double> floats(const Column& c) { return c.f64_values() ? *c.f64_values() : std::vector<double>{}; }

// ---------------------------------------------------------------- inference

TEST(CsvInference, DtypeByCellTexts) {
  TempDir d;
  struct Case {
    std::vector<std::string> cells;
    DType dtype;
  } cases[] = {
      {{" 1", "2 ", "+3"}, DType::Int64},
      {{"1", "", "3"}, DType::Float64},
      {{"1", "x"}, DType::Object},
      {{"1.5", "NA", "nan"}, DType::Float64},
      {{"True", "FALSE", "true"}, DType::Bool},
      {{"true", ""}, DType::Object},  // a missing token does not fit a bool column
      {{"9223372036854775807", "-9223372036854775808"}, DType::Int64},
      {{"9223372036854775808"}, DType::Float64},  // one past the int64 range
      {{"", "NA"}, DType::Float64},               // all missing: float64, all NaN
      {{"inf", "-Infinity", "NaN", "1e5", ".5", "5.", "-0"}, DType::Float64},
      {{"1e", "2"}, DType::Object},
      {{"nan(1)"}, DType::Object},
      {{"++1"}, DType::Object},
      {{"0x10"}, DType::Object},
      {{"\xc2\xa0" "7\xe2\x80\x83"}, DType::Int64},  // no-break space and em space are trimmed
      {{"2021-01-04 09:30:00"}, DType::Object},
  };
  for (const auto& c : cases) {
    auto df = read_ok(column_file(d, c.cells));
    ASSERT_EQ(df.width(), 2u);
    EXPECT_EQ(df.column_at(0).dtype(), c.dtype) << c.cells[0];
  }
}

TEST(CsvInference, Values) {
  TempDir d;
  auto df = read_ok(column_file(d, {" 1", "2 ", "+3", "-4"}));
  EXPECT_EQ(*df.column_at(0).i64_values(), (std::vector<std::int64_t>{1, 2, 3, -4}));

  df = read_ok(column_file(d, {"1.5", "NA", "-2.25e2", "", "1e400", "-1e-400", "0.1"}));
  auto f = floats(df.column_at(0));
  ASSERT_EQ(f.size(), 7u);
  EXPECT_EQ(f[0], 1.5);
  EXPECT_TRUE(std::isnan(f[1]));
  EXPECT_EQ(f[2], -225.0);
  EXPECT_TRUE(std::isnan(f[3]));
  EXPECT_EQ(f[4], INFINITY);
  EXPECT_EQ(f[5], 0.0);
  EXPECT_TRUE(std::signbit(f[5]));
  EXPECT_EQ(f[6], 0.1);

  df = read_ok(column_file(d, {"True", "FALSE", "tRuE"}));
  EXPECT_EQ(*df.column_at(0).bool_values(), (std::vector<std::uint8_t>{1, 0, 1}));

  // Text columns keep cells untrimmed, missing tokens as their text.
  df = read_ok(column_file(d, {" a ", "NA", "b"}));
  EXPECT_EQ(*df.column_at(0).str_values(), (std::vector<std::string>{" a ", "NA", "b"}));
}

TEST(CsvInference, FloatDigitsMatchTheDecimalValue) {
  // Every text must give the double nearest to its decimal value, whatever
  // path reads it; strtod is the reference.
  TempDir d;
  std::vector<std::string> cells = {"100.06320", "0.000123456789", "123456789012345678", "1.7976931348623157e308",
                                    "4.9e-324", "2.2250738585072014e-308", "9007199254740993", "0.1e1",
                                    "-0.30000000000000004", "1234567890.123456789", "5e-22", "7e22", "3.0e+2",
                                    "0000001.5"};
  auto df = read_ok(column_file(d, cells));
  auto f = floats(df.column_at(0));
  ASSERT_EQ(f.size(), cells.size());
  for (std::size_t i = 0; i < cells.size(); ++i) EXPECT_EQ(f[i], std::strtod(cells[i].c_str(), nullptr)) << cells[i];
}

TEST(CsvInference, LateCellsChangeTheDtypeOfALongColumn) {
  // The switch happens far past the first read buffer, so the early cells
  // must be read again or widened exactly.
  TempDir d;
  const std::size_t n = 200000;
  struct Case {
    std::string late;
    DType dtype;
  } cases[] = {{"2.5", DType::Float64}, {"NA", DType::Float64}, {"abc", DType::Object}, {"true", DType::Object}};
  for (const auto& c : cases) {
    std::vector<std::string> cells;
    for (std::size_t i = 0; i < n; ++i) cells.push_back(std::to_string(i * 7919 % 100003));
    cells.push_back(c.late);
    cells.push_back("12");
    auto df = read_ok(column_file(d, cells));
    const Column& col = df.column_at(0);
    ASSERT_EQ(col.dtype(), c.dtype) << c.late;
    ASSERT_EQ(col.len(), n + 2);
    if (c.dtype == DType::Object) {
      for (std::size_t i = 0; i < cells.size(); ++i) ASSERT_EQ((*col.str_values())[i], cells[i]);
    } else {
      auto f = floats(col);
      EXPECT_EQ(f[n - 1], static_cast<double>((n - 1) * 7919 % 100003));
      EXPECT_EQ(f[n + 1], 12.0);
    }
  }
  // A bool column meeting a number, and a float column meeting text.
  std::vector<std::string> bools(n, "True");
  bools.push_back("1");
  auto df = read_ok(column_file(d, bools));
  EXPECT_EQ(df.column_at(0).dtype(), DType::Object);
  EXPECT_EQ((*df.column_at(0).str_values())[0], "True");
  std::vector<std::string> fl(n, "1.5");
  fl.push_back("x");
  df = read_ok(column_file(d, fl));
  EXPECT_EQ((*df.column_at(0).str_values())[n], "x");
}

// ---------------------------------------------------------------- tokens

TEST(CsvTokens, DefaultTokensAreMissing) {
  TempDir d;
  const std::vector<std::string> tokens = {"",     "#N/A", "#N/A N/A", "#NA",  "-1.#IND", "-1.#QNAN", "-NaN",
                                           "-nan", "1.#IND", "1.#QNAN", "<NA>", "N/A",     "NA",       "NULL",
                                           "NaN",  "None", "n/a",     "nan",  "null"};
  for (const auto& t : tokens) {
    auto df = read_ok(d.file("t.csv", "a,b\n1.5," + t + "\n2.5,3\n"));
    ASSERT_EQ(df.column_at(1).dtype(), DType::Float64) << t;
    EXPECT_TRUE(std::isnan(floats(df.column_at(1))[0])) << t;
  }
  // Case-sensitive: "na" is text.
  auto df = read_ok(d.file("t.csv", "b\nna\n3\n"));
  EXPECT_EQ(df.column_at(0).dtype(), DType::Object);
}

TEST(CsvTokens, KeepDefaultNaAndExtraValues) {
  TempDir d;
  const auto p = column_file(d, {"1.5", ""});
  ReadCsvOptions o;
  o.keep_default_na = false;
  EXPECT_EQ(read_ok(p, o).column_at(0).dtype(), DType::Object);

  // A numeric token is missing too, even on the number path.
  const auto q = column_file(d, {"1", "-999", "3"});
  o = {};
  o.na_values = {"-999"};
  auto f = floats(read_ok(q, o).column_at(0));
  ASSERT_EQ(f.size(), 3u);
  EXPECT_EQ(f[0], 1.0);
  EXPECT_TRUE(std::isnan(f[1]));
  o.keep_default_na = false;
  o.na_values = {"x"};
  auto df = read_ok(column_file(d, {"1", "x", "NA"}), o);
  EXPECT_EQ(df.column_at(0).dtype(), DType::Object);  // "NA" is text without the defaults
}

// ---------------------------------------------------------------- records

TEST(CsvRecords, QuotingAndLineEndings) {
  TempDir d;
  const std::string want_names[] = {"a", "b,c"};
  const std::vector<std::string> want_b = {"x,y", "say \"hi\"", "two\nlines", "", "ab", "k\"q\""};
  for (const std::string nl : {"\n", "\r\n", "\r"}) {
    std::string t = "a,\"b,c\"" + nl + "1,\"x,y\"" + nl + "2,\"say \"\"hi\"\"\"" + nl + "3,\"two\nlines\"" + nl +
                    "4,\"\"" + nl + "5,\"a\"b" + nl + "6,k\"q\"";  // no final line end
    auto df = read_ok(d.file("q.csv", t));
    ASSERT_EQ(df.width(), 2u) << nl.size();
    EXPECT_EQ(df.names()[1], want_names[1]);
    EXPECT_EQ(*df.column_at(0).i64_values(), (std::vector<std::int64_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(*df.column_at(1).str_values(), want_b);
  }
}

TEST(CsvRecords, BlankLinesBomAndTrailingDelimiter) {
  TempDir d;
  auto df = read_ok(d.file("b.csv", "\xEF\xBB\xBFtime,v\n\n2021,1\r\n\r\n\n2022,2\n\n"));
  ASSERT_EQ(df.names(), (std::vector<std::string>{"time", "v"}));
  EXPECT_EQ(*df.column_at(0).i64_values(), (std::vector<std::int64_t>{2021, 2022}));
  // A delimiter ending a record gives one more (empty) field.
  df = read_ok(d.file("e.csv", "a,b,c\n1,2,\n3,4,"));
  EXPECT_EQ(df.column_at(2).dtype(), DType::Float64);
  EXPECT_EQ(df.height(), 2u);
}

TEST(CsvRecords, HeaderlessEmptyAndHeaderOnly) {
  TempDir d;
  ReadCsvOptions o;
  o.has_headers = false;
  auto df = read_ok(d.file("h.csv", "x,1,2.5\ny,3,4\n"), o);
  EXPECT_EQ(df.names(), (std::vector<std::string>{"0", "1", "2"}));
  EXPECT_EQ(*df.column_at(0).str_values(), (std::vector<std::string>{"x", "y"}));

  df = read_ok(d.file("empty.csv", ""));
  EXPECT_EQ(df.width(), 0u);
  EXPECT_EQ(df.height(), 0u);

  df = read_ok(d.file("ho.csv", "a,b\n"));
  ASSERT_EQ(df.width(), 2u);
  EXPECT_EQ(df.height(), 0u);
  EXPECT_EQ(df.column_at(0).dtype(), DType::Object);  // no data rows: an empty string column
}

TEST(CsvRecords, DelimiterAndHugeField) {
  TempDir d;
  ReadCsvOptions o;
  o.delimiter = ';';
  auto df = read_ok(d.file("s.csv", "a;b\n1,5;2\n"), o);
  EXPECT_EQ(*df.column_at(0).str_values(), (std::vector<std::string>{"1,5"}));

  // One field of 5 MB, quoted and unquoted, across many read buffers.
  const std::string big(5 << 20, 'z');
  df = read_ok(d.file("big.csv", "a,b\n" + big + ",\"" + big + "\"\n1,2\n"));
  ASSERT_EQ(df.height(), 2u);
  EXPECT_EQ((*df.column_at(0).str_values())[0], big);
  EXPECT_EQ((*df.column_at(1).str_values())[0], big);

  o.delimiter = '"';
  EXPECT_FALSE(read_csv(d.file("x.csv", "a\n"), o).has_value());
}

TEST(CsvRecords, FastAndGeneralPathsAgree) {
  // The same records with "\n" (no quote: fast path) and quoted "\r\n"
  // (general path), across buffer boundaries.
  TempDir d;
  std::string plain = "t,i,f,s,b\n", quoted = "t,i,f,s,b\r\n";
  for (int i = 0; i < 30000; ++i) {
    const std::string t = "2021-01-" + std::string(i % 28 < 9 ? "0" : "") + std::to_string(i % 28 + 1) + " 10:00:00";
    const std::string row = std::to_string(i - 15000) + "," + std::to_string(i * 0.37) + ",s" + std::to_string(i) +
                            "," + (i % 3 ? "true" : "False");
    plain += t + "," + row + "\n";
    quoted += "\"" + t + "\"," + row + "\r\n";
  }
  ReadCsvOptions o;
  o.datetime_hints.push_back({std::string("t"), core::Tz::utc()});
  auto a = read_csv_table(d.file("plain.csv", plain), o);
  auto b = read_csv_table(d.file("quoted.csv", quoted), o);
  ASSERT_TRUE(a && b);
  for (std::size_t c = 0; c < 5; ++c) {
    auto x = c == 0 ? a->take_datetime_column(c, core::Tz::utc()) : a->take_column(c);
    auto y = c == 0 ? b->take_datetime_column(c, core::Tz::utc()) : b->take_column(c);
    ASSERT_TRUE(x && y);
    EXPECT_TRUE(x->equals(*y)) << c;
  }
}

TEST(CsvRecords, DelimiterThatAlsoOccursInNumbersAndDates) {
  // The delimiter splits the fields even where it could continue a number or
  // a datetime text.
  TempDir d;
  struct Case {
    char delim;
    std::string text;
    std::vector<std::int64_t> second;  // column 1, int64
  } cases[] = {
      {'.', "a.b\n1.5\n-2.07\n", {5, 7}},
      {'e', "aeb\n1e5\n2e-3\n", {5, -3}},
      {'-', "a-b\n1-5\n30-7\n", {5, 7}},
      {'0', "a0b\n105\n202\n", {5, 2}},
  };
  for (const auto& c : cases) {
    ReadCsvOptions o;
    o.delimiter = c.delim;
    auto df = read_ok(d.file("d.csv", c.text), o);
    ASSERT_EQ(df.width(), 2u) << c.delim;
    EXPECT_EQ(*df.column_at(1).i64_values(), c.second) << c.delim;
  }
  // A space delimiter cuts "date time" into two fields; the zoned column
  // holds dates only (midnight UTC).
  ReadCsvOptions o;
  o.delimiter = ' ';
  DatetimeHint hint;
  hint.column = std::string("d");
  o.datetime_hints.push_back(hint);
  auto t = read_csv_table(d.file("s.csv", "d t v\n2021-01-04 10:00:00 1.5\n2021-01-05 11:00:00 2\n"), o);
  ASSERT_TRUE(t.has_value()) << t.error().message;
  auto dt = t->take_datetime_column(0, core::Tz::utc());
  ASSERT_TRUE(dt.has_value());
  EXPECT_EQ(*dt->datetime_values(), (std::vector<std::int64_t>{1609718400'000000000LL, 1609804800'000000000LL}));
  EXPECT_EQ(*t->take_column(1)->str_values(), (std::vector<std::string>{"10:00:00", "11:00:00"}));
}

TEST(CsvInference, NegativeZeroKeepsItsSign) {
  // "-0" is the integer 0, but the float -0.0 once its column is float64,
  // whether the column starts as int64 and widens or starts as float64, and
  // however far the widening cell lies.
  TempDir d;
  for (std::size_t pad : {0u, 100000u}) {
    std::vector<std::string> cells(pad, "7");
    for (const char* c : {"-0", "1", "-00", "2.5", "-0", "+0"}) cells.push_back(c);
    auto f = floats(read_ok(column_file(d, cells)).column_at(0));
    ASSERT_EQ(f.size(), pad + 6);
    const bool want_neg[] = {true, false, true, false, true, false};
    for (std::size_t i = 0; i < 6; ++i) {
      EXPECT_EQ(f[pad + i], std::strtod(cells[pad + i].c_str(), nullptr)) << i;
      EXPECT_EQ(std::signbit(f[pad + i]), want_neg[i]) << pad << " " << i;
    }
  }
  auto df = read_ok(column_file(d, {"-0", "3"}));
  EXPECT_EQ(*df.column_at(0).i64_values(), (std::vector<std::int64_t>{0, 3}));
}

// ---------------------------------------------------------------- errors

TEST(CsvErrors, OpenFailures) {
  TempDir d;
  EXPECT_EQ(read_err(d.path() + "/nope.csv"), "cannot open CSV \"" + d.path() + "/nope.csv\": No such file or directory");
  EXPECT_EQ(read_err(d.path()), "cannot open CSV \"" + d.path() + "\": Is a directory");
  EXPECT_EQ(read_err(std::string("a\0b", 3)), "cannot open CSV \"a\\0b\": embedded null byte");
}

TEST(CsvErrors, RaggedRecordNamesItsPosition) {
  TempDir d;
  // The header is record 0 on line 1; the second data record is record 2, on
  // line 3, after 6 + 6 bytes.
  const std::string text = "a,b,c\n1,2,3\n4,5,6,7\n";
  EXPECT_EQ(read_err(d.file("r.csv", text)),
            "bad CSV record: CSV error: record 2 (line: 3, byte: 12): found record with 4 fields, but the previous "
            "record has 3 fields");
  // A short record after a two-line quoted field and a blank line: bytes
  // 0-3 header, 4-11 the quoted record, 12 the blank line.
  const std::string text2 = "a,b\n\"x\ny\",1\n\n2\n";
  EXPECT_EQ(read_err(d.file("r2.csv", text2)),
            "bad CSV record: CSV error: record 2 (line: 5, byte: 13): found record with 1 fields, but the previous "
            "record has 2 fields");
}

TEST(CsvErrors, RaggedRecordFarIntoTheFile) {
  // Past many read buffers and blank lines, a record with one field too many
  // and one with one too few: the position counts every earlier line.
  TempDir d;
  for (const std::string bad : {"1,2,3,4", "1,2"}) {
    std::string text = "a,b,c\n";
    std::size_t lines = 1, records = 1;
    for (int i = 0; i < 150000; ++i) {
      text += std::to_string(i) + ",2.5,x\n";
      ++lines, ++records;
      if (i % 1000 == 999) text += "\n", ++lines;
    }
    const std::size_t byte = text.size();
    text += bad + "\n5,6,7\n";
    const std::string fields = bad == "1,2" ? "2" : "4";
    EXPECT_EQ(read_err(d.file("r.csv", text)),
              "bad CSV record: CSV error: record " + std::to_string(records) + " (line: " + std::to_string(lines + 1) +
                  ", byte: " + std::to_string(byte) + "): found record with " + fields +
                  " fields, but the previous record has 3 fields");
  }
}

TEST(CsvErrors, InvalidUtf8NamesFieldAndByte) {
  TempDir d;
  EXPECT_EQ(read_err(d.file("u.csv", "a,b\n1,ok\n2,ab\xff\n")),
            "bad CSV record: CSV parse error: record 2 (line 3, field: 1, byte: 9): invalid utf-8: invalid UTF-8 in "
            "field 1 near byte index 2");
  EXPECT_EQ(read_err(d.file("h.csv", "a,\xc3(\n1,2\n")),
            "bad CSV header: CSV parse error: record 0 (line 1, field: 1, byte: 0): invalid utf-8: invalid UTF-8 in "
            "field 1 near byte index 0");
  // Overlong and surrogate encodings are invalid too; valid multi-byte text is fine.
  EXPECT_FALSE(read_csv(d.file("o.csv", "a\n\xc0\xaf\n"), {}).has_value());
  EXPECT_FALSE(read_csv(d.file("s.csv", "a\n\xed\xa0\x80\n"), {}).has_value());
  EXPECT_EQ((*read_ok(d.file("ok.csv", "a\n\xe2\x82\xac\xf0\x9f\x98\x80\n")).column_at(0).str_values())[0],
            "\xe2\x82\xac\xf0\x9f\x98\x80");
}

TEST(CsvErrors, UnclosedQuote) {
  TempDir d;
  EXPECT_EQ(read_err(d.file("q.csv", "a,b\n1,\"open\n2,3\n")),
            "bad CSV record: CSV parse error: record 1 (line: 2, byte: 4): the quoted field 1 that opens at byte 6 "
            "never closes");
}

TEST(CsvErrors, FailedReadLeavesNoDescriptorOpen) {
  TempDir d;
  auto count_fds = [] {
    std::size_t n = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator("/proc/self/fd")) ++n;
    return n;
  };
  const auto bad = d.file("r.csv", "a,b\n1,2,3\n");
  const auto good = d.file("g.csv", "a\n1\n");
  const std::size_t before = count_fds();
  for (int i = 0; i < 20; ++i) {
    (void)read_csv(bad, {});
    (void)read_csv(good, {});
    (void)read_csv(d.path(), {});
  }
  EXPECT_EQ(count_fds(), before);
}

// ---------------------------------------------------------------- hints

TEST(CsvDatetimeHints, SameResultAsConvertingTheInferredColumn) {
  TempDir d;
  const auto tz = core::Tz::parse("America/New_York").value();
  const std::string files[] = {
      "t,v\n2021-01-04 09:30:00,1\n2021/01/05,2\n2021-11-07 01:30:00,3\n",  // parses
      "t,v\n2021-01-04 09:30:00,1\nlater,2\n",                               // text that does not parse
      "t,v\n2021-01-04 09:30:00,1\n,2\n",                                    // a missing cell
      "t,v\n20210104,1\n20210105,2\n",                                       // an int column
      "t,v\nNA,1\n,2\n",                                                     // all missing: float64
      "t,v\n",                                                               // no rows
  };
  for (const auto& text : files) {
    const auto p = d.file("h.csv", text);
    ReadCsvOptions hinted;
    hinted.datetime_hints.push_back({std::int64_t{-2}, tz});
    auto a = read_csv_table(p, hinted);
    auto b = read_csv_table(p, {});
    ASSERT_TRUE(a && b);
    auto x = a->take_datetime_column(0, tz);
    auto plain = b->take_column(0);
    ASSERT_TRUE(plain);
    auto y = plain->to_datetime_tz(tz);
    ASSERT_EQ(x.has_value(), y.has_value()) << text;
    if (x) EXPECT_TRUE(x->equals(*y)) << text;
    else EXPECT_EQ(x.error(), y.error()) << text;
    // The hinted column still reads as its inferred dtype when asked.
    auto again = a->take_column(0);
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->equals(*plain)) << text;
  }
}

TEST(CsvDatetimeHints, ClockTextsInUtcMatchTheGeneralParser) {
  // The UTC reader takes "YYYY-MM-DD HH:MM:SS" in place; every near miss of
  // that shape must end as the general conversion of the text ends.
  TempDir d;
  const std::string clocks[] = {"09:30:00", "23:59:59", "00:00:00", "24:00:00", "23:60:00", "23:59:60",
                                "09/30/00", "0a:30:00", "09:3a:00", "09:30:0a", "9:30:00 ", "09:30:00",
                                "/9:30:00", "09:30:/0", "19:39:09", ":9:30:00"};
  for (const auto& clock : clocks) {
    const auto p = d.file("c.csv", "t,v\n2021-01-04 00:00:00,1\n2021-01-04 " + clock + ",2\n");
    ReadCsvOptions hinted;
    hinted.datetime_hints.push_back({std::string("t"), core::Tz::utc()});
    auto a = read_csv_table(p, hinted);
    auto b = read_csv_table(p, {});
    ASSERT_TRUE(a && b);
    auto x = a->take_datetime_column(0, core::Tz::utc());
    auto plain = b->take_column(0);
    ASSERT_TRUE(plain);
    auto y = plain->to_datetime_tz(core::Tz::utc());
    ASSERT_EQ(x.has_value(), y.has_value()) << clock;
    if (x) {
      EXPECT_TRUE(x->equals(*y)) << clock;
    }
  }
  // The instant itself, by hand: 2021-01-04 is day 18631 of the epoch.
  const auto p = d.file("c.csv", "t\n2021-01-04 19:39:09\n");
  ReadCsvOptions hinted;
  hinted.datetime_hints.push_back({std::string("t"), core::Tz::utc()});
  auto a = read_csv_table(p, hinted);
  ASSERT_TRUE(a);
  auto x = a->take_datetime_column(0, core::Tz::utc());
  ASSERT_TRUE(x);
  const auto* ns = x->datetime_values();
  ASSERT_NE(ns, nullptr);
  EXPECT_EQ((*ns)[0], (18631LL * 86400 + 19 * 3600 + 39 * 60 + 9) * 1'000'000'000LL);
}

}  // namespace
}  // namespace kadmo::io
