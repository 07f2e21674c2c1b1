#include <gtest/gtest.h>

#include <cmath>

#include "kadmo/core/dataframe.hpp"

#include "frame_support.hpp"

using namespace kadmo::core;

namespace {

using test_support::frame;

// Everything a failed call must leave as it was.
struct Snapshot {
  std::vector<std::string> names;
  std::vector<DType> dtypes;
  std::vector<std::size_t> lens;
  std::size_t height;
  Index index;
  explicit Snapshot(const DataFrame& df) : names(df.names()), height(df.height()), index(df.index()) {
    for (const auto& c : df.columns()) {
      dtypes.push_back(c.dtype());
      lens.push_back(c.len());
    }
  }
  bool operator==(const Snapshot&) const = default;
};

}  // namespace

TEST(DataFrame, ConstructorChecks) {
  auto a = DataFrame::make({"a"}, {});
  EXPECT_EQ(a.error().message, "1 names but 0 columns");
  auto b = DataFrame::make({"a", "b"}, {Column::f64({1, 2}), Column::i64({1, 2, 3})});
  EXPECT_EQ(b.error().kind, ErrorKind::Shape);
  EXPECT_EQ(b.error().message, "column \"b\" has length 3 but frame height is 2");
  auto c = DataFrame::make({"a"}, {Column::f64({1, 2})}, Index::range(3));
  EXPECT_EQ(c.error().message, "index length 3 != frame height 2");
  auto empty = DataFrame::make({}, {});
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->height(), 0u);
  EXPECT_EQ(empty->index().kind(), Index::Kind::Range);
}

TEST(DataFrame, DuplicateNamesLastWinsAndAliasesResolveOneStep) {
  DataFrame df = frame({"x", "x"}, {Column::f64({1}), Column::f64({2})});
  EXPECT_EQ((*df.column("x")->f64_values())[0], 2.0);
  df.set_alias("y", "x");
  df.set_alias("z", "y");
  EXPECT_TRUE(df.has_column("y"));
  EXPECT_FALSE(df.has_column("z"));  // resolution is one step
  EXPECT_EQ(df.column("nope").error().kind, ErrorKind::ColumnNotFound);
}

TEST(DataFrame, CloneSharesStorageAndWritesCopy) {
  DataFrame a = frame({"c"}, {Column::f64({1, 2, 3})});
  DataFrame b = a;
  EXPECT_EQ(a.column_at(0).storage_id(), b.column_at(0).storage_id());
  EXPECT_EQ(a.index_ptr(), b.index_ptr());
  DataFrame bar = frame({"c"}, {Column::f64({4})});
  ASSERT_TRUE(b.append(bar));
  EXPECT_EQ(a.height(), 3u);
  EXPECT_EQ(a.column_at(0).len(), 3u);
  EXPECT_EQ(a.index().len(), 3u);
  EXPECT_EQ(b.height(), 4u);
  EXPECT_EQ((*b.column_at(0).f64_values())[3], 4.0);
}

TEST(DataFrame, AppendPaddingRules) {
  DataFrame df = frame({"close", "vol"}, {Column::f64({1, 2}), Column::i64({10, 20})});
  DataFrame bar = frame({"close"}, {Column::f64({3})});
  ASSERT_TRUE(df.append(bar));
  const Column& vol = *df.column_ptr("vol");
  ASSERT_EQ(vol.dtype(), DType::Float64);
  EXPECT_EQ((*vol.f64_values())[1], 20.0);
  EXPECT_TRUE(std::isnan((*vol.f64_values())[2]));
  EXPECT_EQ(df.index(), Index::range(3));
}

TEST(DataFrame, AppendFailuresLeaveFrameUnchanged) {
  DataFrame base = frame({"a", "s", "b"}, {Column::f64({1}), Column::str({"x"}), Column::boolean({1})});
  struct Case {
    DataFrame other;
    ErrorKind kind;
    std::string msg;
  };
  std::vector<Case> cases = {
      {frame({"a", "b"}, {Column::f64({2}), Column::boolean({0})}), ErrorKind::DType,
       "cannot append: column \"s\" (object) is missing from the appended frame and has no missing-value "
       "representation"},
      {frame({"a", "s"}, {Column::f64({2}), Column::str({"y"})}), ErrorKind::DType,
       "cannot append: column \"b\" (bool) is missing from the appended frame and has no missing-value "
       "representation"},
      {frame({"a", "s", "b"}, {Column::i64({2}), Column::str({"y"}), Column::boolean({0})}), ErrorKind::DType,
       "cannot append a int64 column onto a float64 column"},
      {frame({"a", "s", "b"}, {Column::f64({2}), Column::str({"y"}), Column::boolean({0})}, Index::strings({"r"})),
       ErrorKind::Shape, "cannot append a string index to a non-string index"},
  };
  for (auto& c : cases) {
    DataFrame df = base;
    Snapshot before(df);
    auto r = df.append(c.other);
    ASSERT_FALSE(r) << c.msg;
    EXPECT_EQ(r.error().kind, c.kind);
    EXPECT_EQ(r.error().message, c.msg);
    EXPECT_TRUE(Snapshot(df) == before) << c.msg;
  }
}

TEST(DataFrame, AppendComputedColumnsGoStale) {
  DataFrame df = frame({"close", "sig"}, {Column::f64({1, 2}), Column::boolean({1, 0})});
  df.set_computed("sig", "close>1", 0);
  DataFrame bar = frame({"close"}, {Column::f64({3})});
  ASSERT_TRUE(df.append(bar));
  EXPECT_EQ(df.computed_meta("sig")->rows, 2u);
  EXPECT_TRUE(df.has_stale_computed());
  EXPECT_EQ(*df.column_ptr("sig")->bool_values(), (std::vector<std::uint8_t>{1, 0, 0}));
  ASSERT_TRUE(df.update_computed_tail("sig", 2, Column::boolean({1})));
  EXPECT_FALSE(df.has_stale_computed());
  auto bad = df.update_computed_tail("sig", 0, Column::f64({1}));
  EXPECT_EQ(bad.error().message, "computed tail dtype float64 does not match column \"sig\" dtype bool");
}

TEST(DataFrame, AppendIndexKinds) {
  DataFrame a = frame({"x"}, {Column::f64({1, 2})});
  DataFrame b = frame({"x"}, {Column::f64({3})}, Index::datetime({1000}));
  ASSERT_TRUE(a.append(b));
  EXPECT_EQ(a.index(), Index::integer({0, 1, 1000}));
  DataFrame c = frame({"x"}, {Column::f64({1})}, Index::datetime({5}, Tz::fixed(3600)));
  DataFrame d = frame({"x"}, {Column::f64({2})}, Index::datetime({6}, Tz::fixed(-3600)));
  ASSERT_TRUE(c.append(d));
  EXPECT_EQ(c.index(), Index::datetime({5, 6}, Tz::fixed(3600)));
}

TEST(DataFrame, SelfAppendDoublesRows) {
  DataFrame a = frame({"x"}, {Column::f64({1, 2})});
  ASSERT_TRUE(a.append(a));
  EXPECT_EQ(*a.column_at(0).f64_values(), (std::vector<double>{1, 2, 1, 2}));
  EXPECT_EQ(a.index(), Index::range(4));
}

TEST(DataFrame, SliceKeepsComputedMetadataThatFits) {
  DataFrame df = frame({"c", "m"}, {Column::f64(std::vector<double>(10, 1.0)), Column::f64(std::vector<double>(10, 1.0))});
  df.set_computed("m", "ma:3", 3);
  df.set_computed_state("m", std::vector<double>{1.0});
  DataFrame s = df.slice(2, 5);
  const ComputedMeta* m = s.computed_meta("m");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->rows, 3u);
  EXPECT_EQ(m->origin, 2u);
  EXPECT_FALSE(m->state);  // the state describes rows up to 10
  EXPECT_EQ(df.slice(2, 4).computed_meta("m"), nullptr);
  DataFrame tail = df.slice(4, 100);
  EXPECT_EQ(tail.height(), 6u);
  ASSERT_NE(tail.computed_meta("m"), nullptr);
  EXPECT_TRUE(tail.computed_meta("m")->state);
  EXPECT_EQ(df.slice(7, 3).height(), 0u);
}

TEST(DataFrame, AssignPositions) {
  DataFrame df = frame({"i", "f", "s"}, {Column::i64({1, 2}), Column::f64({1, 2}), Column::str({"a", "b"})});
  df.set_computed("f", "x", 0);
  df.set_computed("other", "y", 0);
  std::size_t pos0[] = {0};
  ASSERT_TRUE(df.assign_positions(0, pos0, Column::f64({2.0})));
  EXPECT_EQ(df.column_at(0).dtype(), DType::Int64);
  EXPECT_EQ((*df.column_at(0).i64_values())[0], 2);
  // A whole float beyond the int64 range is not saturated into the int column.
  {
    DataFrame big = df;
    ASSERT_TRUE(big.assign_positions(0, pos0, Column::f64({1e300})));
    EXPECT_EQ(big.column_at(0).dtype(), DType::Float64);
    EXPECT_EQ((*big.column_at(0).f64_values())[0], 1e300);
  }
  ASSERT_TRUE(df.assign_positions(0, pos0, Column::f64({1.5})));
  EXPECT_EQ(df.column_at(0).dtype(), DType::Float64);
  EXPECT_EQ(*df.column_at(0).f64_values(), (std::vector<double>{1.5, 2.0}));
  // Writing drops the written column's entry and resets the others.
  std::size_t both[] = {0, 1};
  ASSERT_TRUE(df.assign_positions(1, both, Column::i64({7})));
  EXPECT_EQ(df.computed_meta("f"), nullptr);
  EXPECT_EQ(df.computed_meta("other")->rows, 0u);

  struct Case {
    std::size_t col;
    std::vector<std::size_t> pos;
    Column values;
    const char* msg;
  };
  std::vector<Case> cases = {
      {3, {0}, Column::f64({1}), "column position 3 is out of range (width 3)"},
      {1, {0, 1}, Column::f64({1, 2, 3}), "cannot assign 3 values to 2 selected rows"},
      {1, {0, 2}, Column::f64({1}), "row position 2 is out of range (height 2)"},
      {2, {0}, Column::f64({1}), "cannot assign float64 values into a object column"},
      {1, {0}, Column::str({"x"}), "cannot assign object values into a float64 column"},
  };
  for (auto& c : cases) {
    DataFrame before = df;
    auto r = df.assign_positions(c.col, c.pos, c.values);
    ASSERT_FALSE(r) << c.msg;
    EXPECT_EQ(r.error().message, c.msg);
    EXPECT_TRUE(df.column_at(1).equals(before.column_at(1)));
  }
}

TEST(DataFrame, Transforms) {
  DataFrame df = frame({"t", "v", "f"}, {Column::datetime({1, 2, 3}), Column::i64({5, 6, 7}), Column::f64({1, 2, 3})});
  auto idx = df.set_index("t");
  ASSERT_TRUE(idx);
  EXPECT_EQ(idx->names(), (std::vector<std::string>{"v", "f"}));
  EXPECT_EQ(idx->index(), Index::datetime({1, 2, 3}));
  EXPECT_EQ(df.set_index("f").error().message, "cannot use a float64 column as an index (only datetime / int64 / string)");
  EXPECT_EQ(df.tz_convert(Tz::fixed(60)).error().message, "tz_convert requires a DatetimeIndex");
  auto conv = idx->tz_convert(Tz::fixed(3600));
  EXPECT_EQ(conv->index().tz(), Tz::fixed(3600));

  std::uint8_t mask[] = {1, 0, 1};
  auto f = df.filter_mask(mask);
  EXPECT_EQ(*f->column("v")->i64_values(), (std::vector<std::int64_t>{5, 7}));
  EXPECT_EQ(f->index(), Index::integer({0, 2}));
  std::uint8_t short_mask[] = {1};
  EXPECT_EQ(df.filter_mask(short_mask).error().message, "boolean mask length 1 != frame height 3");

  std::string names[] = {"f", "v"};
  auto sel = df.select(names);
  EXPECT_EQ(sel->column_at(0).storage_id(), df.column_at(2).storage_id());
  std::string missing[] = {"q"};
  EXPECT_EQ(df.select(missing).error().kind, ErrorKind::ColumnNotFound);

  std::pair<std::string, DType> m[] = {{"v", DType::Float64}};
  auto cast = df.astype(m);
  EXPECT_EQ(cast->column("v")->dtype(), DType::Float64);
  std::pair<std::string, DType> bad[] = {{"t", DType::Bool}};
  EXPECT_EQ(df.astype(bad).error().message, "cannot cast a datetime64[ns] column to bool");

  EXPECT_EQ(df.to_row_major_f64(), (std::vector<double>{1, 5, 1, 2, 6, 2, 3, 7, 3}));
}

TEST(DataFrame, SetColumn) {
  DataFrame df;
  ASSERT_TRUE(df.set_column("a", Column::f64({1, 2})));
  EXPECT_EQ(df.height(), 2u);
  EXPECT_EQ(df.index().len(), 2u);
  auto r = df.set_column("b", Column::f64({1}));
  EXPECT_EQ(r.error().message, "new column \"b\" has length 1 but frame height is 2");
  df.set_alias("x", "a");
  ASSERT_TRUE(df.set_column("x", Column::f64({5, 6})));
  EXPECT_EQ(df.width(), 1u);
  EXPECT_EQ((*df.column_at(0).f64_values())[0], 5.0);
}
