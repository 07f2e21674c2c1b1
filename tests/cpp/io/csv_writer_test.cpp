// Expected texts are hand-derived; float texts match Python's repr / printf
// where the two agree and the rule below where they differ (exponents carry
// no "+" and no zero padding: Python's '%e' % 1500.0 is '1.500000e+03').
#include "kadmo/io/csv_writer.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "kadmo/io/csv_reader.hpp"

namespace kadmo::io {
namespace {

namespace fs = std::filesystem;
using core::Column;
using core::DataFrame;

FloatFormat fmt(std::string_view s) {
  auto f = parse_float_format(s);
  EXPECT_TRUE(f.has_value()) << s;
  return f.value_or(FloatFormat{});
}

TEST(CsvFloatFormat, Texts) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* format;  // "" for none
    double x;
    const char* text;
  } cases[] = {
      {"", 1.0, "1.0"},          {"", 0.1, "0.1"},           {"", 2.5, "2.5"},
      {"", 123456.0, "123456.0"}, {"", 1e16, "1e16"},          {"", 1.5e16, "1.5e16"},
      {"", 9999999999999998.0, "9999999999999998.0"},          {"", 1e-5, "1e-5"},
      {"", 1e-4, "0.0001"},       {"", -2.5e-7, "-2.5e-7"},    {"", 0.0, "0.0"},
      {"", -0.0, "-0.0"},         {"", inf, "inf"},            {"", -inf, "-inf"},
      {"%g", 1e16, "1e16"},       {"%g", 0.5, "0.5"},          {"%e", 1234.5, "1.2345e3"},
      {"%e", 0.001, "1e-3"},      {"%e", 1500.0, "1.5e3"},     {"%e", 1.0, "1e0"},
      {"%.2e", 1234.5, "1.23e3"}, {"%.0e", 1500.0, "2e3"},     {"%.3e", -0.00012345, "-1.234e-4"},
      {"%f", 1.5, "1.500000"},    {"%.2f", 1.005, "1.00"},     {"%.2f", 2.675, "2.67"},
      {"%.0f", 2.5, "2"},         {"%.1f", -0.04, "-0.0"},     {"%.3g", 3.14159, "3.142"},
      {"%.007f", 0.5, "0.5000000"}, {"%f", inf, "inf"},        {"%.2e", -inf, "-inf"},
  };
  for (const auto& c : cases) {
    const FloatFormat f = *c.format ? fmt(c.format) : FloatFormat{};
    EXPECT_EQ(float_text(c.x, f), c.text) << c.format << " " << c.x;
  }
  // The widest text fits the room the writer sets aside.
  const FloatFormat wide = fmt("%.65535f");
  EXPECT_EQ(float_text(-1.7976931348623157e308, wide).size(), 1 + 309 + 1 + 65535u);
}

TEST(CsvFloatFormat, Unsupported) {
  for (std::string_view s : {"%d", "{:.2f}", "%.e", "%5.2f", "%", "%.65536f", "%E", "%.2F", "e", "%ee", "%+f", "%.-1f",
                             "%.99999999999999999999f", ""}) {
    auto f = parse_float_format(s);
    ASSERT_FALSE(f.has_value()) << s;
    EXPECT_EQ(f.error().message, "unsupported float_format " + core::quoted(s));
  }
}

DataFrame frame(std::vector<std::string> names, std::vector<Column> cols, std::optional<core::Index> idx = {}) {
  auto r = DataFrame::make(std::move(names), std::move(cols), std::move(idx));
  EXPECT_TRUE(r.has_value());
  return *r;
}

std::string text(const DataFrame& df, WriteCsvOptions o = {}) {
  auto r = to_csv_text(df, o);
  EXPECT_TRUE(r.has_value()) << (r ? "" : r.error().message);
  return r ? std::string(r->view()) : "";
}

TEST(CsvWriter, CellsByDtypeAndHeader) {
  const double nan = core::kNaN;
  // 2021-01-04 09:30:00 UTC in ns.
  const std::int64_t t = 1609752600LL * 1'000'000'000LL;
  auto df = frame({"open", "flag", "n", "s", "t"},
                  {Column::f64({1.0, nan}), Column::boolean({1, 0}), Column::i64({-3, 7}), Column::str({"x", ""}),
                   Column::datetime({t, t + 999'999'999})});
  EXPECT_EQ(text(df), "index,open,flag,n,s,t\n0,1.0,True,-3,x,2021-01-04 09:30:00\n1,,False,7,,2021-01-04 09:30:00\n");

  WriteCsvOptions o;
  o.index = false;
  o.header = false;
  o.na_rep = "NA";
  o.sep = "; ";
  EXPECT_EQ(text(df, o), "1.0; True; -3; x; 2021-01-04 09:30:00\nNA; False; 7; ; 2021-01-04 09:30:00\n");

  // An empty frame with a header is the header line alone.
  EXPECT_EQ(text(frame({"a"}, {Column::f64({})})), "index,a\n");
}

TEST(CsvWriter, RowLabelsByIndexKind) {
  const std::int64_t t = 1609752600LL * 1'000'000'000LL;  // 09:30 UTC is 04:30 in New York
  const auto ny = core::Tz::parse("America/New_York").value();
  const auto col = Column::i64({5});
  EXPECT_EQ(text(frame({"v"}, {col}, core::Index::integer({-42}))), "index,v\n-42,5\n");
  EXPECT_EQ(text(frame({"v"}, {col}, core::Index::datetime({t}, ny))), "index,v\n2021-01-04 04:30:00,5\n");
  EXPECT_EQ(text(frame({"v"}, {col}, core::Index::datetime({t}))), "index,v\n2021-01-04 09:30:00,5\n");
  EXPECT_EQ(text(frame({"v"}, {col}, core::Index::strings({"AAPL"}))), "index,v\nAAPL,5\n");
}

TEST(CsvWriter, ColumnsSelectionAndFormat) {
  auto df = frame({"a", "b"}, {Column::f64({1500.0}), Column::i64({2})});
  df.set_alias("price", "a");
  WriteCsvOptions o;
  o.columns = std::vector<std::string>{"b", "price"};
  o.float_format = "%e";
  EXPECT_EQ(text(df, o), "index,b,a\n0,2,1.5e3\n");  // the frame's own name, not the alias

  o.columns = std::vector<std::string>{"a", "zz"};
  auto r = to_csv_text(df, o);
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error(), core::KadmoError::column_not_found("zz"));

  // The format is checked before the columns.
  o.float_format = "%d";
  r = to_csv_text(df, o);
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error().message, "unsupported float_format \"%d\"");
}

TEST(CsvWriter, TextFieldsNeedingQuotesAreQuoted) {
  auto df = frame({"name, full", "v"}, {Column::str({"a,b", "say \"hi\"", "two\nlines", "cr\r", "plain"}),
                                       Column::i64({1, 2, 3, 4, 5})},
                  core::Index::strings({"x", "y,z", "w", "v", "u"}));
  EXPECT_EQ(text(df),
            "index,\"name, full\",v\n"
            "x,\"a,b\",1\n"
            "\"y,z\",\"say \"\"hi\"\"\",2\n"
            "w,\"two\nlines\",3\n"
            "v,\"cr\r\",4\n"
            "u,plain,5\n");
  // Only the separator in use matters.
  WriteCsvOptions o;
  o.sep = ";";
  o.index = false;
  EXPECT_EQ(text(frame({"s"}, {Column::str({"a,b", "c;d"})}), o), "s\na,b\n\"c;d\"\n");
}

TEST(CsvWriter, RoundTripThroughTheReader) {
  char tmpl[] = "/tmp/kadmo-io-test-XXXXXX";
  const std::string dir = ::mkdtemp(tmpl);
  const std::string path = dir + "/rt.csv";
  const std::vector<std::string> names = {"a,b", "q\"", "line\nbreak", " pad ", "NA"};
  auto df = frame({"s", "f"}, {Column::str(names), Column::f64({0.1, 1e-7, 1e300, -0.0, 123456789.125})});
  WriteCsvOptions o;
  o.index = false;
  auto t = to_csv_text(df, o);
  ASSERT_TRUE(t);
  ASSERT_TRUE(write_file_replacing(path, t->view()));
  auto back = read_csv(path, {});
  ASSERT_TRUE(back);
  EXPECT_EQ(back->names(), (std::vector<std::string>{"s", "f"}));
  EXPECT_TRUE(back->column_at(0).equals(df.column_at(0)));
  EXPECT_TRUE(back->column_at(1).equals(df.column_at(1)));  // shortest text reads back bit for bit
  fs::remove_all(dir);
}

TEST(CsvWriter, FileReplacedWholeOrNotAtAll) {
  char tmpl[] = "/tmp/kadmo-io-test-XXXXXX";
  const std::string dir = ::mkdtemp(tmpl);
  const std::string path = dir + "/out.csv";
  auto slurp = [](const std::string& p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
  };
  ASSERT_TRUE(write_file_replacing(path, "a longer first text\n"));
  ::chmod(path.c_str(), 0640);
  ASSERT_TRUE(write_file_replacing(path, "short\n"));
  EXPECT_EQ(slurp(path), "short\n");  // truncated, not overwritten in part
  struct stat st {};
  ::stat(path.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u);  // the file's mode survives the replacement

  auto r = write_file_replacing(dir + "/missing/out.csv", "x");
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().message, "No such file or directory");
  r = write_file_replacing(dir, "x");
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().message, "Is a directory");
  // Nothing but the one file is left behind.
  std::size_t n = 0;
  for ([[maybe_unused]] auto& e : fs::directory_iterator(dir)) ++n;
  EXPECT_EQ(n, 1u);
  // Devices are written in place.
  EXPECT_TRUE(write_file_replacing("/dev/null", "x"));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace kadmo::io
