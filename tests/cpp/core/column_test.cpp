#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "kadmo/core/column.hpp"
#include "kadmo/core/index.hpp"

using namespace kadmo::core;

namespace {
const double kNan = std::numeric_limits<double>::quiet_NaN();
}

TEST(Column, EqualityTreatsNaNAsEqualAndDTypesAsDistinct) {
  EXPECT_TRUE(Column::f64({kNan, 1.0}).equals(Column::f64({kNan, 1.0})));
  EXPECT_FALSE(Column::f64({kNan, 1.0}).equals(Column::f64({0.0, 1.0})));
  EXPECT_FALSE(Column::i64({1, 2}).equals(Column::f64({1.0, 2.0})));
  EXPECT_TRUE(Column::str({"a", "b"}).equals(Column::str({"a", "b"})));
  EXPECT_FALSE(Column::i64({1, 2}).equals(Column::i64({1, 2, 3})));
}

TEST(Column, CopyOnWriteLeavesSnapshotsUnchanged) {
  Column a = Column::f64({1.0, 2.0});
  Column snapshot = a;
  EXPECT_EQ(a.storage_id(), snapshot.storage_id());
  (*a.f64_mut())[0] = 9.0;
  EXPECT_NE(a.storage_id(), snapshot.storage_id());
  EXPECT_EQ((*snapshot.f64_values())[0], 1.0);
  // An unshared column is written in place.
  const void* before = a.storage_id();
  (*a.f64_mut())[1] = 7.0;
  EXPECT_EQ(a.storage_id(), before);
}

TEST(Column, TakeAndSliceOwnTheirStorage) {
  Column a = Column::i64({10, 20, 30});
  std::size_t pos[] = {2, 0};
  Column t = a.take(pos);
  EXPECT_EQ(*t.i64_values(), (std::vector<std::int64_t>{30, 10}));
  Column s = a.slice(1, 3);
  EXPECT_EQ(*s.i64_values(), (std::vector<std::int64_t>{20, 30}));
  EXPECT_NE(s.storage_id(), a.storage_id());
}

TEST(Column, AppendMissing) {
  Column f = Column::f64({1.0});
  ASSERT_TRUE(f.append_missing(2));
  EXPECT_EQ(f.len(), 3u);
  EXPECT_TRUE(std::isnan((*f.f64_values())[2]));
  Column b = Column::boolean({1});
  ASSERT_TRUE(b.append_missing(1));
  EXPECT_EQ(*b.bool_values(), (std::vector<std::uint8_t>{1, 0}));
  Column i = Column::i64({1});
  auto r = i.append_missing(3);
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().message, "column type int64 has no missing-value placeholder");
  EXPECT_EQ(i.len(), 1u);
}

TEST(Column, CastTable) {
  auto ints = Column::f64({1.9, -1.9, kNan, 1e300, -1e300}).cast(DType::Int64);
  ASSERT_TRUE(ints);
  EXPECT_EQ(*ints->i64_values(),
            (std::vector<std::int64_t>{1, -1, 0, INT64_MAX, INT64_MIN}));
  auto bools = Column::f64({0.0, kNan, -2.0}).cast(DType::Bool);
  EXPECT_EQ(*bools->bool_values(), (std::vector<std::uint8_t>{0, 1, 1}));
  auto text = Column::boolean({1, 0}).cast(DType::Object);
  EXPECT_EQ(*text->str_values(), (std::vector<std::string>{"True", "False"}));
  auto ftext = Column::f64({1.0, 2.5, 1e21, kNan, INFINITY, -INFINITY, -0.0, 0.1}).cast(DType::Object);
  EXPECT_EQ(*ftext->str_values(), (std::vector<std::string>{"1", "2.5", "1000000000000000000000", "NaN", "inf",
                                                            "-inf", "-0", "0.1"}));
  auto itext = Column::i64({-5, 0, 12}).cast(DType::Object);
  EXPECT_EQ(*itext->str_values(), (std::vector<std::string>{"-5", "0", "12"}));
  auto dt = Column::str({"2021-01-04"}).cast(DType::Datetime);
  ASSERT_TRUE(dt);
  EXPECT_EQ((*dt->datetime_values())[0], 1609718400000000000LL);
  auto dtext = Column::datetime({-1}).cast(DType::Object);
  EXPECT_EQ((*dtext->str_values())[0], "1969-12-31 23:59:59");
  auto sf = Column::str({"1", "x"}).cast(DType::Float64);
  EXPECT_TRUE(std::isnan((*sf->f64_values())[0]) && std::isnan((*sf->f64_values())[1]));
  auto same = Column::f64({1.0});
  EXPECT_EQ(same.cast(DType::Float64)->storage_id(), same.storage_id());
}

TEST(Column, CastFailures) {
  struct Case {
    Column c;
    DType to;
    ErrorKind kind;
    const char* msg;
  };
  Case cases[] = {
      {Column::i64({1}), DType::Datetime, ErrorKind::DType, "cannot parse a int64 column as datetime"},
      {Column::f64({1}), DType::Datetime, ErrorKind::DType, "cannot parse a float64 column as datetime"},
      {Column::boolean({1}), DType::Datetime, ErrorKind::DType, "cannot parse a bool column as datetime"},
      {Column::datetime({1}), DType::Bool, ErrorKind::DType, "cannot cast a datetime64[ns] column to bool"},
      {Column::str({"a"}), DType::Bool, ErrorKind::DType, "cannot cast a object column to bool"},
      {Column::str({"a"}), DType::Int64, ErrorKind::DType, "cannot cast a object column to int64"},
      {Column::str({"2021-01-04", "nope"}), DType::Datetime, ErrorKind::Value, "could not parse datetime \"nope\""},
  };
  for (auto& c : cases) {
    auto r = c.c.cast(c.to);
    ASSERT_FALSE(r) << c.msg;
    EXPECT_EQ(r.error().kind, c.kind);
    EXPECT_EQ(r.error().message, c.msg);
  }
}

TEST(Column, EpochConversion) {
  auto r = Column::f64({1.9, -1.9, -0.5}).epoch_to_datetime("s");
  ASSERT_TRUE(r);
  EXPECT_EQ(*r->datetime_values(), (std::vector<std::int64_t>{1'000'000'000, -1'000'000'000, 0}));
  // A missing float is not 1970-01-01, and a float beyond the 64-bit range
  // is not clamped to the range's end: both are refused.
  auto missing = Column::f64({1.0, kNan}).epoch_to_datetime("s");
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().message, "cannot read NaN as an epoch timestamp");
  for (double huge : {1e19, -1e19, std::numeric_limits<double>::infinity()}) {
    auto beyond = Column::f64({huge}).epoch_to_datetime("ns");
    ASSERT_FALSE(beyond) << huge;
    EXPECT_EQ(beyond.error().message, "invalid epoch unit \"ns\" or overflow");
  }
  auto over = Column::i64({9'223'372'037}).epoch_to_datetime("s");
  ASSERT_FALSE(over);
  EXPECT_EQ(over.error().message, "invalid epoch unit \"s\" or overflow");
  auto unit = Column::i64({1}).epoch_to_datetime("h");
  EXPECT_EQ(unit.error().message, "invalid epoch unit \"h\" or overflow");
  auto wrong = Column::boolean({1}).epoch_to_datetime("s");
  EXPECT_EQ(wrong.error().message, "cannot read a bool column as an epoch timestamp (need int64 / float64)");
  auto rounded = Column::f64({1.5}).epoch_to_datetime_rounded("s");
  EXPECT_EQ(*rounded->datetime_values(), (std::vector<std::int64_t>{1'500'000'000}));
  // Halves round away from zero.
  auto halves = Column::f64({2.5, -2.5}).epoch_to_datetime_rounded("ns");
  EXPECT_EQ(*halves->datetime_values(), (std::vector<std::int64_t>{3, -3}));
  EXPECT_FALSE(Column::f64({kNan}).epoch_to_datetime_rounded("ns"));
  EXPECT_FALSE(Column::f64({9.3e18}).epoch_to_datetime_rounded("ns"));
}

TEST(Index, PositionOf) {
  Index r = Index::range(3);
  EXPECT_EQ(r.position_of(Label{std::int64_t{2}}), 2u);
  EXPECT_FALSE(r.position_of(Label{std::int64_t{3}}));
  EXPECT_FALSE(r.position_of(Label{std::int64_t{-1}}));
  EXPECT_FALSE(r.position_of(Label{std::string("0")}));
  Index s = Index::strings({"a", "b", "a"});
  EXPECT_EQ(s.position_of(Label{std::string("a")}), 0u);
  EXPECT_FALSE(s.position_of(Label{std::int64_t{0}}));
}

TEST(Index, LabelSlice) {
  using P = std::pair<std::size_t, std::size_t>;
  Index i = Index::integer({1, 2, 3, 5});
  auto L = [](std::int64_t v) { return std::optional<Label>(Label{v}); };
  EXPECT_EQ(i.label_slice(L(2), L(4)), P(1, 3));
  EXPECT_EQ(i.label_slice(L(2), L(0)), P(1, 1));
  EXPECT_EQ(i.label_slice(std::nullopt, L(3)), P(0, 3));
  EXPECT_EQ(i.label_slice(L(6), std::nullopt), P(4, 4));
  Index s = Index::strings({"a", "b", "c"});
  auto S = [](const char* v) { return std::optional<Label>(Label{std::string(v)}); };
  EXPECT_EQ(s.label_slice(S("b"), std::nullopt), P(1, 3));
  EXPECT_EQ(s.label_slice(S("aa"), S("b")), P(1, 2));
  // Unsorted labels: the front and back scans still run as written.
  Index u = Index::integer({5, 1, 7, 2});
  EXPECT_EQ(u.label_slice(L(3), L(6)), P(0, 4));
}

TEST(Index, TakeOfRangeBecomesInteger) {
  std::size_t pos[] = {2, 0};
  Index t = Index::range(3).take(pos);
  ASSERT_EQ(t.kind(), Index::Kind::Integer);
  EXPECT_EQ(t.to_i64_labels(), (std::vector<std::int64_t>{2, 0}));
  Index d = Index::datetime({5, 6, 7}, Tz::fixed(3600)).take(pos);
  EXPECT_EQ(d.tz(), Tz::fixed(3600));
}

TEST(KadmoError, TextAndDebugForms) {
  EXPECT_EQ(KadmoError::column_not_found("x").text(), "column \"x\" not found");
  EXPECT_EQ(KadmoError::dtype("m").text(), "dtype error: m");
  EXPECT_EQ(KadmoError::shape("m").text(), "shape error: m");
  EXPECT_EQ(KadmoError::index("m").text(), "index error: m");
  EXPECT_EQ(KadmoError::value("m").text(), "value error: m");
  EXPECT_EQ(KadmoError::shape("a\"b").debug(), "Shape(\"a\\\"b\")");
}
