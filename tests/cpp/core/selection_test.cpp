#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "kadmo/core/selection.hpp"

#include "frame_support.hpp"

using namespace kadmo::core;

using test_support::frame;

TEST(Selection, NormalizePosition) {
  struct Case {
    std::int64_t i;
    std::size_t n;
    std::optional<std::size_t> want;
  };
  const Case cases[] = {
      {0, 3, 0},
      {2, 3, 2},
      {3, 3, std::nullopt},
      {-1, 3, 2},
      {-3, 3, 0},
      {-4, 3, std::nullopt},
      {0, 0, std::nullopt},
      {-1, 0, std::nullopt},
      {std::numeric_limits<std::int64_t>::min(), 3, std::nullopt},
      {std::numeric_limits<std::int64_t>::max(), 3, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(normalize_position(c.i, c.n), c.want) << c.i << " of " << c.n;
}

TEST(Selection, MaskPositions) {
  using V = std::vector<std::size_t>;
  EXPECT_EQ(mask_positions(std::vector<std::uint8_t>{1, 0, 0, 1, 1}), (V{0, 3, 4}));
  EXPECT_EQ(mask_positions(std::vector<std::uint8_t>{0, 0}), V{});
  EXPECT_EQ(mask_positions(std::vector<std::uint8_t>{}), V{});
}

TEST(Selection, InclusivePositions) {
  using V = std::vector<std::size_t>;
  EXPECT_EQ(inclusive_positions(1, 2, 4), (V{1, 2}));
  EXPECT_EQ(inclusive_positions(std::nullopt, 1, 4), (V{0, 1}));
  EXPECT_EQ(inclusive_positions(2, std::nullopt, 4), (V{2, 3}));
  EXPECT_EQ(inclusive_positions(3, 1, 4), V{});
  // No columns: an absent stop has no last column to mean.
  EXPECT_EQ(inclusive_positions(std::nullopt, std::nullopt, 0), V{});
}

TEST(Selection, AllRowsShareStorageAndIndexOthersCopy) {
  auto df = frame({"a"}, {Column::f64({1, 2, 3})});
  const std::vector<std::size_t> all{0, 1, 2}, some{2, 0};
  EXPECT_EQ(take_rows(df.column_at(0), all).storage_id(), df.column_at(0).storage_id());
  EXPECT_EQ(take_index(df.index_ptr(), all), df.index_ptr());

  Column c = take_rows(df.column_at(0), some);
  EXPECT_NE(c.storage_id(), df.column_at(0).storage_id());
  EXPECT_EQ(*c.f64_values(), (std::vector<double>{3, 1}));
  auto idx = take_index(df.index_ptr(), some);
  EXPECT_EQ(*idx, Index::integer({2, 0}));
  // Same positions in another order are not "all rows".
  EXPECT_FALSE(is_all_rows(std::vector<std::size_t>{1, 0, 2}, 3));
}

TEST(Selection, ProjectGathersColumnsThenRows) {
  auto df = frame({"a", "b", "c"}, {Column::f64({1, 2, 3}), Column::i64({4, 5, 6}), Column::str({"x", "y", "z"})},
                  Index::strings({"p", "q", "r"}));
  df.set_alias("bee", "b");
  const std::vector<std::size_t> cols{2, 0}, rows{1, 2};
  const std::vector<std::string> names{"c", "a"};
  auto out = project(df, cols, names, rows);
  ASSERT_TRUE(out);
  EXPECT_EQ(out->names(), names);
  EXPECT_EQ(*out->column_at(0).str_values(), (std::vector<std::string>{"y", "z"}));
  EXPECT_EQ(*out->column_at(1).f64_values(), (std::vector<double>{2, 3}));
  EXPECT_EQ(out->index(), Index::strings({"q", "r"}));
  EXPECT_EQ(out->height(), 2u);
  EXPECT_TRUE(out->computed().empty());

  // No columns still keeps the selected row count.
  auto none = project(df, {}, {}, rows);
  ASSERT_TRUE(none);
  EXPECT_EQ(none->height(), 2u);
  EXPECT_EQ(none->width(), 0u);
}

TEST(Selection, ProjectReachesEveryDuplicateByPosition) {
  // Name lookup would find the last "x" for both; positions must win.
  auto df = frame({"x", "x"}, {Column::i64({1, 2}), Column::i64({10, 20})});
  df.set_alias("y", "x");
  const std::vector<std::size_t> cols{0, 1}, rows{1};
  const std::vector<std::string> names{"x", "x"};
  auto out = project(df, cols, names, rows);
  ASSERT_TRUE(out);
  EXPECT_EQ(*out->column_at(0).i64_values(), (std::vector<std::int64_t>{2}));
  EXPECT_EQ(*out->column_at(1).i64_values(), (std::vector<std::int64_t>{20}));
  EXPECT_EQ(out->index(), Index::integer({1}));
  EXPECT_EQ(out->resolve("y"), "x");
}

TEST(Selection, ProjectedRowsAreSnapshots) {
  auto df = frame({"a"}, {Column::f64({1, 2})});
  const std::vector<std::size_t> cols{0}, all{0, 1};
  const std::vector<std::string> names{"a"};
  auto out = project(df, cols, names, all);
  ASSERT_TRUE(out);
  const std::vector<std::size_t> at{0};
  ASSERT_TRUE(df.assign_positions(0, at, Column::f64({9})));
  EXPECT_EQ(*out->column_at(0).f64_values(), (std::vector<double>{1, 2}));
  EXPECT_EQ(*df.column_at(0).f64_values(), (std::vector<double>{9, 2}));
}
