// What Python cannot observe: which results share storage with their input
// instead of copying it.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "kadmo/core/series_ops.hpp"

using namespace kadmo::core;

namespace {
const double kNan = std::numeric_limits<double>::quiet_NaN();
}

TEST(SeriesOps, FloatViewReadsAFloatColumnInPlace) {
  Column c = Column::f64({1.0, kNan, 3.0});
  FloatView v(c);
  EXPECT_EQ(v.span().data(), c.f64_values()->data());
  EXPECT_FALSE(c.is_shared());

  Column b = Column::boolean({1, 0});
  BoolView bv(b);
  EXPECT_EQ(bv.span().data(), b.bool_values()->data());

  // Other dtypes get a converted copy of their own.
  Column i = Column::i64({2, -3});
  FloatView iv(i);
  ASSERT_EQ(iv.span().size(), 2u);
  EXPECT_EQ(iv.span()[0], 2.0);
  EXPECT_EQ(iv.span()[1], -3.0);
}

TEST(SeriesOps, UnchangedResultsShareTheInputStorage) {
  Column f = Column::f64({1.0, 2.0});
  Dropped kept = dropna(f, Index::range(2));
  EXPECT_EQ(kept.column.storage_id(), f.storage_id());
  EXPECT_FALSE(kept.index.has_value());

  Column s = Column::str({"a"});
  auto filled = fillna(s, std::nullopt, std::nullopt);
  ASSERT_TRUE(filled.has_value());
  EXPECT_EQ(filled->storage_id(), s.storage_id());

  Column d = Column::datetime({5});
  auto kept_dt = to_datetime_unit(d, "s");
  ASSERT_TRUE(kept_dt.has_value());
  EXPECT_EQ(kept_dt->storage_id(), d.storage_id());

  // Dropping rows gathers new storage and a new index.
  Column g = Column::f64({kNan, 2.0});
  Dropped dropped = dropna(g, Index::range(2));
  EXPECT_NE(dropped.column.storage_id(), g.storage_id());
  ASSERT_TRUE(dropped.index.has_value());
  EXPECT_EQ(*dropped.index, Index::integer({1}));
}

TEST(SeriesOps, LogicTreatsAnyNonzeroByteAsTrue) {
  // Bool storage written by other code paths may hold bytes other than 1.
  const std::vector<std::uint8_t> a = {2, 0, 255, 1};
  const std::vector<std::uint8_t> b = {1, 7, 0, 1};
  EXPECT_EQ(logic(a, b, LogicOp::And), (std::vector<std::uint8_t>{1, 0, 0, 1}));
  EXPECT_EQ(logic(a, b, LogicOp::Xor), (std::vector<std::uint8_t>{0, 1, 1, 0}));
  EXPECT_EQ(logic_scalar(a, true, LogicOp::And), (std::vector<std::uint8_t>{1, 0, 1, 1}));
  EXPECT_EQ(invert(a), (std::vector<std::uint8_t>{0, 1, 0, 0}));
}
