#include "kadmo/core/reshape.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "frame_support.hpp"

using namespace kadmo::core;

namespace {

constexpr double N = kNaN;
constexpr std::int64_t kSec = 1'000'000'000;

using test_support::frame;

template <class T>
T ok(Result<T> r) {
  EXPECT_TRUE(r) << (r ? "" : r.error().text());
  return std::move(*r);
}

// Float values with NaN written as NaN, so vectors compare with ==.
std::vector<std::string> floats(const Column& c) {
  std::vector<std::string> out;
  for (double x : *c.f64_values()) out.push_back(std::isnan(x) ? "nan" : std::to_string(x));
  return out;
}
std::vector<std::string> floats(std::vector<double> v) { return floats(Column::f64(std::move(v))); }

std::vector<std::uint8_t> bools(const Column& c) { return *c.bool_values(); }
std::vector<std::int64_t> labels(const DataFrame& df) { return df.index().to_i64_labels(); }

// A frame with a cached entry "ma" (lookback 2) over float "c" and an alias.
DataFrame cached_frame() {
  DataFrame df = frame({"c", "ma"}, {Column::f64({1, 2, 3, 4, 5}), Column::f64({N, 1.5, 2.5, 3.5, 4.5})});
  df.set_computed("ma", "ma:2", 1);
  df.set_computed_state("ma", std::vector<double>{4, 5});
  df.set_alias("px", "c");
  return df;
}

}  // namespace

TEST(Reshape, HeadAndTailAreClampedSlices) {
  DataFrame df = frame({"a", "b"}, {Column::f64({1, 2, 3}), Column::i64({4, 5, 6})});
  DataFrame h0 = head(df, 0);
  EXPECT_EQ(h0.height(), 0u);
  EXPECT_EQ(h0.names(), df.names());
  EXPECT_EQ(tail(df, 100).height(), 3u);
  DataFrame t2 = tail(df, 2);
  EXPECT_EQ(*t2.column_at(1).i64_values(), (std::vector<std::int64_t>{5, 6}));
  EXPECT_EQ(t2.index(), Index::range(2));  // range labels restart at 0
  EXPECT_EQ(*head(df, 2).column_at(1).i64_values(), (std::vector<std::int64_t>{4, 5}));
}

TEST(Reshape, HeadAndTailKeepMetadataByTheSliceRule) {
  DataFrame df = cached_frame();
  DataFrame t = tail(df, 3);  // rows 2..4: the state still describes row 4
  ASSERT_NE(t.computed_meta("ma"), nullptr);
  EXPECT_EQ(t.computed_meta("ma")->origin, 2u);
  EXPECT_EQ(t.computed_meta("ma")->rows, 3u);
  EXPECT_TRUE(t.computed_meta("ma")->state.has_value());
  DataFrame h = head(df, 3);  // cut before the last row: the state is stale
  ASSERT_NE(h.computed_meta("ma"), nullptr);
  EXPECT_FALSE(h.computed_meta("ma")->state.has_value());
  EXPECT_EQ(head(df, 0).computed_meta("ma"), nullptr);  // lookback does not fit
  EXPECT_TRUE(t.has_column("px"));
}

TEST(Reshape, MissingMasksCoverEveryDtype) {
  DataFrame df = frame({"f", "i", "s", "t"}, {Column::f64({N, 1}), Column::i64({1, 2}), Column::str({"a", "b"}),
                                              Column::datetime({0, 1})},
                       Index::integer({7, 9}));
  DataFrame na = ok(isna_frame(df)), nn = ok(notna_frame(df));
  EXPECT_EQ(na.names(), df.names());
  EXPECT_EQ(na.index(), df.index());
  const std::vector<std::vector<std::uint8_t>> want_na = {{1, 0}, {0, 0}, {0, 0}, {0, 0}};
  for (std::size_t j = 0; j < 4; ++j) {
    EXPECT_EQ(bools(na.column_at(j)), want_na[j]) << j;
    std::vector<std::uint8_t> flipped;
    for (auto b : want_na[j]) flipped.push_back(!b);
    EXPECT_EQ(bools(nn.column_at(j)), flipped) << j;
  }
  EXPECT_TRUE(na.computed().empty());
  EXPECT_TRUE(na.aliases().empty());
}

TEST(Reshape, FrameWithoutColumnsKeepsItsRows) {
  // A frame selected down to no columns still has rows; results built from
  // it must not fail or lose them.
  DataFrame base = frame({"a"}, {Column::f64({1, 2, 3})}, Index::integer({5, 6, 7}));
  DataFrame empty = ok(base.select(std::vector<std::string>{}));
  ASSERT_EQ(empty.height(), 3u);
  EXPECT_EQ(ok(isna_frame(empty)).height(), 3u);
  EXPECT_EQ(ok(isna_frame(empty)).index(), base.index());
  EXPECT_EQ(ok(rename_columns(empty, {})).height(), 3u);
  EXPECT_EQ(ok(drop_columns(base, std::vector<std::string>{"a"})).height(), 3u);
  DataFrame r = ok(reset_index(empty, false));
  EXPECT_EQ(r.names(), std::vector<std::string>{"index"});
  EXPECT_EQ(*r.column_at(0).i64_values(), (std::vector<std::int64_t>{5, 6, 7}));
}

TEST(Reshape, FillnaByValueAndMethod) {
  DataFrame df = frame({"f", "i"}, {Column::f64({N, 1, N, 3, N}), Column::i64({1, 2, 3, 4, 5})});
  struct Case {
    std::optional<double> value;
    std::optional<std::string_view> method;
    std::vector<double> want;
  };
  const Case cases[] = {
      {0.5, std::nullopt, {0.5, 1, 0.5, 3, 0.5}},
      {std::nullopt, "ffill", {N, 1, 1, 3, 3}},
      {std::nullopt, "pad", {N, 1, 1, 3, 3}},
      {std::nullopt, "bfill", {1, 1, 3, 3, N}},
      {std::nullopt, "backfill", {1, 1, 3, 3, N}},
  };
  for (const auto& c : cases) {
    DataFrame out = ok(fillna_frame(df, c.value, c.method));
    EXPECT_EQ(floats(out.column_at(0)), floats(c.want)) << c.method.value_or("value");
    EXPECT_EQ(out.column_at(1).storage_id(), df.column_at(1).storage_id());
  }
  EXPECT_EQ(floats(df.column_at(0)), floats({N, 1, N, 3, N}));  // input untouched
}

TEST(Reshape, FillnaRefusesBadArgumentsEvenWithoutFloatColumns) {
  DataFrame ints = frame({"i"}, {Column::i64({1})});
  EXPECT_EQ(fillna_frame(ints, std::nullopt, std::nullopt).error(),
            KadmoError::value("fillna: pass a `value` or a `method`"));
  EXPECT_EQ(fillna_frame(ints, 1.0, "ffill").error(),
            KadmoError::value("fillna: pass either `value` or `method`, not both"));
  EXPECT_EQ(fillna_frame(ints, std::nullopt, "nearest").error(),
            KadmoError::value("fillna: unknown method 'nearest'"));
}

TEST(Reshape, DropnaCountsOnlyFloatNaN) {
  DataFrame floats_only = frame({"a", "b"}, {Column::f64({N, N, 1, N}), Column::f64({N, 2, 3, N})});
  EXPECT_EQ(labels(dropna_frame(floats_only, DropHow::Any)), (std::vector<std::int64_t>{2}));
  EXPECT_EQ(labels(dropna_frame(floats_only, DropHow::All)), (std::vector<std::int64_t>{1, 2}));
  // A non-float column is never missing: how=all drops nothing.
  DataFrame mixed = frame({"a", "s"}, {Column::f64({N, 1}), Column::str({"x", "y"})});
  EXPECT_EQ(dropna_frame(mixed, DropHow::All).height(), 2u);
  EXPECT_EQ(labels(dropna_frame(mixed, DropHow::Any)), (std::vector<std::int64_t>{1}));
  // Kept rows are taken: a range index turns into an integer index.
  EXPECT_EQ(dropna_frame(mixed, DropHow::All).index().kind(), Index::Kind::Integer);
  DataFrame cached = cached_frame();
  DataFrame d = dropna_frame(cached, DropHow::Any);
  EXPECT_TRUE(d.computed().empty());
  EXPECT_TRUE(d.has_column("px"));
}

TEST(Reshape, DropColumnsByPosition) {
  DataFrame df = cached_frame();
  df.set_column("x", Column::i64({1, 2, 3, 4, 5}));
  DataFrame out = ok(drop_columns(df, std::vector<std::string>{"ma", "nope"}));
  EXPECT_EQ(out.names(), (std::vector<std::string>{"c", "x"}));
  EXPECT_EQ(out.column_at(0).storage_id(), df.column_at(0).storage_id());
  EXPECT_TRUE(out.computed().empty());
  EXPECT_TRUE(out.has_column("px"));  // aliases kept
  // Duplicate names: each surviving column keeps its own values.
  DataFrame dup = frame({"x", "y", "x"}, {Column::i64({1}), Column::i64({2}), Column::i64({3})});
  DataFrame d = ok(drop_columns(dup, std::vector<std::string>{"y"}));
  EXPECT_EQ((*d.column_at(0).i64_values())[0], 1);
  EXPECT_EQ((*d.column_at(1).i64_values())[0], 3);
  // Nothing dropped still gives a plain frame.
  EXPECT_TRUE(ok(drop_columns(df, std::vector<std::string>{})).computed().empty());
}

TEST(Reshape, DropRowsRemovesEveryMatchingLabel) {
  struct Case {
    Index index;
    std::vector<Label> drop;
    std::vector<std::int64_t> kept_values;
  };
  const Case cases[] = {
      {Index::range(4), {Label{std::int64_t{1}}, Label{std::int64_t{9}}, Label{std::int64_t{-1}}}, {10, 12, 13}},
      {Index::integer({5, 6, 5, 7}), {Label{std::int64_t{5}}}, {11, 13}},
      {Index::datetime({0, kSec, 0, 2 * kSec}, Tz::fixed(3600)), {Label{std::int64_t{0}}, Label{std::string("0")}},
       {11, 13}},
      {Index::strings({"a", "b", "a", "c"}), {Label{std::string("a")}, Label{std::int64_t{1}}}, {11, 13}},
  };
  for (const auto& c : cases) {
    DataFrame df = frame({"v"}, {Column::i64({10, 11, 12, 13})}, c.index);
    DataFrame out = drop_rows(df, c.drop);
    EXPECT_EQ(*out.column_at(0).i64_values(), c.kept_values) << static_cast<int>(c.index.kind());
    EXPECT_EQ(out.index().len(), c.kept_values.size());
  }
  DataFrame df = frame({"v"}, {Column::i64({1, 2})}, Index::datetime({0, kSec}, Tz::fixed(3600)));
  EXPECT_EQ(drop_rows(df, std::vector<Label>{Label{kSec}}).index(), Index::datetime({0}, Tz::fixed(3600)));
}

TEST(Reshape, RenameKeepsStorageAndAliases) {
  DataFrame df = cached_frame();
  StringMap<std::string> m{{"c", "close"}, {"ma", "c"}, {"zzz", "q"}};
  DataFrame out = ok(rename_columns(df, m));
  EXPECT_EQ(out.names(), (std::vector<std::string>{"close", "c"}));
  EXPECT_EQ(out.column_at(0).storage_id(), df.column_at(0).storage_id());
  EXPECT_TRUE(out.computed().empty());
  EXPECT_EQ(out.aliases().at("px"), "c");
  // Renaming onto an existing name: the later column wins name lookups.
  DataFrame dup = ok(rename_columns(df, StringMap<std::string>{{"ma", "c"}}));
  EXPECT_EQ(dup.names(), (std::vector<std::string>{"c", "c"}));
  EXPECT_EQ(dup.column_pos("c"), 1u);
}

TEST(Reshape, ReplaceWithDatetime) {
  DataFrame df = frame({"secs", "txt", "f", "b"}, {Column::i64({1609718400}), Column::str({"2021-01-04 09:30:00"}),
                                                  Column::f64({1.9}), Column::boolean({1})});
  df.set_alias("s", "secs");
  DataFrame work = df;
  ASSERT_TRUE(replace_with_datetime(work, "s", "s"));
  EXPECT_EQ(*work.column_at(0).datetime_values(), (std::vector<std::int64_t>{1609718400 * kSec}));
  ASSERT_TRUE(replace_with_datetime(work, "txt", "ns"));  // text is parsed, the unit unused
  EXPECT_EQ(*work.column_at(1).datetime_values(), (std::vector<std::int64_t>{1609752600 * kSec}));
  ASSERT_TRUE(replace_with_datetime(work, "f", "s"));  // fractions of a unit dropped
  EXPECT_EQ(*work.column_at(2).datetime_values(), (std::vector<std::int64_t>{kSec}));
  EXPECT_EQ(df.column_at(0).dtype(), DType::Int64);  // the source frame is untouched
  EXPECT_EQ(replace_with_datetime(work, "nope", "s").error(), KadmoError::column_not_found("nope"));
  EXPECT_EQ(replace_with_datetime(work, "b", "s").error().message,
            "cannot read a bool column as an epoch timestamp (need int64 / float64)");
  DataFrame bad = frame({"t"}, {Column::str({"soon"})});
  EXPECT_EQ(replace_with_datetime(bad, "t", "ns").error(), KadmoError::value("could not parse datetime \"soon\""));
}

TEST(Reshape, ResetIndexMovesLabelsIntoAColumn) {
  const Column v = Column::f64({1, 2});
  struct Case {
    Index index;
    Column want;
  };
  const Case cases[] = {
      {Index::range(2), Column::i64({0, 1})},
      {Index::integer({7, -3}), Column::i64({7, -3})},
      // The zone is not kept: the column holds the UTC instants.
      {Index::datetime({1609723800 * kSec, 0}, Tz::fixed(8 * 3600)), Column::datetime({1609723800 * kSec, 0})},
      {Index::strings({"x", "y"}), Column::str({"x", "y"})},
  };
  for (const auto& c : cases) {
    DataFrame df = frame({"v"}, {v}, c.index);
    df.set_alias("w", "v");
    DataFrame out = ok(reset_index(df, false));
    EXPECT_EQ(out.names(), (std::vector<std::string>{"index", "v"}));
    EXPECT_TRUE(out.column_at(0).equals(c.want));
    EXPECT_EQ(out.index(), Index::range(2));
    EXPECT_TRUE(out.aliases().empty());
    DataFrame dropped = ok(reset_index(df, true));
    EXPECT_EQ(dropped.names(), (std::vector<std::string>{"v"}));
    EXPECT_EQ(dropped.index(), Index::range(2));
  }
}

TEST(Reshape, SortIndexIsStableBothWays) {
  // Labels 3, 1, 3, 2, 1 with values marking the original positions.
  DataFrame df = frame({"pos"}, {Column::i64({0, 1, 2, 3, 4})}, Index::integer({3, 1, 3, 2, 1}));
  EXPECT_EQ(*sort_index(df, true).column_at(0).i64_values(), (std::vector<std::int64_t>{1, 4, 3, 0, 2}));
  EXPECT_EQ(*sort_index(df, false).column_at(0).i64_values(), (std::vector<std::int64_t>{0, 2, 3, 1, 4}));
  EXPECT_EQ(labels(sort_index(df, false)), (std::vector<std::int64_t>{3, 3, 2, 1, 1}));
  // Strings sort byte-wise: "B" < "a" < "b" < "\xc3\xa9" (UTF-8 bytes above ASCII).
  DataFrame s = frame({"pos"}, {Column::i64({0, 1, 2, 3, 4})}, Index::strings({"b", "\xc3\xa9", "a", "B", "a"}));
  EXPECT_EQ(*sort_index(s, true).column_at(0).i64_values(), (std::vector<std::int64_t>{3, 2, 4, 0, 1}));
  EXPECT_EQ(*sort_index(s, false).column_at(0).i64_values(), (std::vector<std::int64_t>{1, 0, 2, 4, 3}));
  // Already sorted, with a tie: descending is not a plain reverse.
  DataFrame sorted = frame({"pos"}, {Column::i64({0, 1, 2})}, Index::integer({1, 1, 2}));
  EXPECT_EQ(*sort_index(sorted, true).column_at(0).i64_values(), (std::vector<std::int64_t>{0, 1, 2}));
  EXPECT_EQ(*sort_index(sorted, false).column_at(0).i64_values(), (std::vector<std::int64_t>{2, 0, 1}));
  // A range index is taken, so it becomes an integer index.
  DataFrame r = sort_index(frame({"v"}, {Column::f64({1, 2, 3})}), false);
  EXPECT_EQ(r.index(), Index::integer({2, 1, 0}));
}

TEST(Reshape, TzLocalizeReadsWallClocksInTheNewZone) {
  auto ny = ok(Tz::parse("America/New_York"));
  // Naive 2021-01-04 09:30:00.5 and 2021-11-07 01:30 (a fold in New York).
  DataFrame df = frame({"v"}, {Column::f64({1, 2})},
                       Index::datetime({1609752600 * kSec + kSec / 2, 1636248600 * kSec}));
  df.set_computed("v", "v", 0);
  DataFrame out = ok(tz_localize(df, ny));
  // 09:30 EST is 14:30 UTC (sub-second part dropped); the fold takes the
  // earlier instant, 01:30 EDT = 05:30 UTC.
  EXPECT_EQ(out.index(), Index::datetime({1609752600 * kSec + 5 * 3600 * kSec, 1636263000 * kSec}, ny));
  EXPECT_NE(out.computed_meta("v"), nullptr);  // metadata kept
  EXPECT_EQ(df.index().tz(), Tz::utc());

  // From a zoned index: the wall clock shown in +08:00 is read as UTC.
  DataFrame east = frame({"v"}, {Column::f64({1})}, Index::datetime({1609723800 * kSec}, Tz::fixed(8 * 3600)));
  EXPECT_EQ(ok(tz_localize(east, Tz::utc())).index(), Index::datetime({1609752600 * kSec}));

  DataFrame gap = frame({"v"}, {Column::f64({1, 2})}, Index::datetime({0, 1615689000 * kSec}));
  EXPECT_EQ(tz_localize(gap, ny).error(),
            KadmoError::value("wall-clock 2021-03-14 02:30:00 does not exist in America/New_York"));
  // The smallest instant shows as 00:12:43 of 1677-09-21; read back in
  // +08:00 it lies before the first nanosecond instant: no gap, a range error.
  DataFrame edge =
      frame({"v"}, {Column::f64({1})}, Index::datetime({std::numeric_limits<std::int64_t>::min()}));
  EXPECT_EQ(tz_localize(edge, Tz::fixed(8 * 3600)).error(),
            KadmoError::value("wall-clock 1677-09-21 00:12:43 in +08:00 is outside the datetime64[ns] range"));
  EXPECT_EQ(tz_localize(frame({"v"}, {Column::f64({1})}), ny).error(),
            KadmoError::dtype("tz_localize requires a DatetimeIndex"));
}

TEST(Reshape, FrameEquality) {
  DataFrame base = frame({"a", "s"}, {Column::f64({N, 1}), Column::str({"x", "y"})}, Index::integer({1, 2}));
  DataFrame same = frame({"a", "s"}, {Column::f64({N, 1}), Column::str({"x", "y"})}, Index::integer({1, 2}));
  same.set_alias("q", "a");
  same.set_computed("a", "a", 0);
  EXPECT_TRUE(frame_equals(base, same));  // NaN == NaN; metadata and aliases ignored
  const DataFrame differ[] = {
      frame({"a", "t"}, {Column::f64({N, 1}), Column::str({"x", "y"})}, Index::integer({1, 2})),
      frame({"s", "a"}, {Column::str({"x", "y"}), Column::f64({N, 1})}, Index::integer({1, 2})),
      frame({"a", "s"}, {Column::f64({N, 2}), Column::str({"x", "y"})}, Index::integer({1, 2})),
      frame({"a", "s"}, {Column::f64({N, 1}), Column::str({"x", "z"})}, Index::integer({1, 2})),
      frame({"a", "s"}, {Column::f64({N, 1}), Column::str({"x", "y"})}, Index::integer({1, 3})),
      frame({"a", "s"}, {Column::f64({N, 1}), Column::str({"x", "y"})}, Index::datetime({1, 2})),
      frame({"a", "s"}, {Column::f64({N, 1}), Column::str({"x", "y"})}),
      frame({"a"}, {Column::f64({N, 1})}, Index::integer({1, 2})),
  };
  for (std::size_t i = 0; i < std::size(differ); ++i) EXPECT_FALSE(frame_equals(base, differ[i])) << i;
  // Same labels, other zone; same numbers, other dtype.
  DataFrame z1 = frame({"a"}, {Column::i64({1})}, Index::datetime({0}, Tz::fixed(3600)));
  DataFrame z2 = frame({"a"}, {Column::i64({1})}, Index::datetime({0}));
  DataFrame f = frame({"a"}, {Column::f64({1})}, Index::datetime({0}));
  EXPECT_FALSE(frame_equals(z1, z2));
  EXPECT_FALSE(frame_equals(z2, f));
}

TEST(Reshape, ComparisonsFollowIeeeRules) {
  DataFrame a = frame({"f", "s", "i"}, {Column::f64({N, 1, 2}), Column::str({"x", "x", "x"}), Column::i64({1, 2, 3})});
  DataFrame b = frame({"f", "s", "i"}, {Column::f64({N, 1, 3}), Column::str({"x", "x", "x"}), Column::f64({1, 3, 2})});
  struct Case {
    CmpOp op;
    std::vector<std::uint8_t> f, s, i;
  };
  const Case cases[] = {
      {CmpOp::Eq, {0, 1, 0}, {0, 0, 0}, {1, 0, 0}}, {CmpOp::Ne, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}},
      {CmpOp::Lt, {0, 0, 1}, {0, 0, 0}, {0, 1, 0}}, {CmpOp::Le, {0, 1, 1}, {0, 0, 0}, {1, 1, 0}},
      {CmpOp::Gt, {0, 0, 0}, {0, 0, 0}, {0, 0, 1}}, {CmpOp::Ge, {0, 1, 0}, {0, 0, 0}, {1, 0, 1}},
  };
  for (const auto& c : cases) {
    DataFrame out = ok(compare_frames(a, b, c.op));
    EXPECT_EQ(out.names(), a.names());
    EXPECT_EQ(bools(out.column_at(0)), c.f) << static_cast<int>(c.op);
    EXPECT_EQ(bools(out.column_at(1)), c.s) << static_cast<int>(c.op);
    EXPECT_EQ(bools(out.column_at(2)), c.i) << static_cast<int>(c.op);
  }
  DataFrame sc = ok(compare_frame_scalar(a, 1.0, CmpOp::Ge));
  EXPECT_EQ(bools(sc.column_at(0)), (std::vector<std::uint8_t>{0, 1, 1}));
  EXPECT_EQ(bools(sc.column_at(1)), (std::vector<std::uint8_t>{0, 0, 0}));
  EXPECT_EQ(bools(sc.column_at(2)), (std::vector<std::uint8_t>{1, 1, 1}));
}

TEST(Reshape, ComparisonKeepsIntegersExact) {
  // 2^53 + 1 and 2^53 are the same double; as nanosecond counts they differ.
  const std::int64_t big = (std::int64_t{1} << 53) + 1;
  DataFrame a = frame({"t", "i"}, {Column::datetime({big}), Column::i64({big})});
  DataFrame b = frame({"t", "i"}, {Column::datetime({big - 1}), Column::i64({big - 1})});
  DataFrame eq = ok(compare_frames(a, b, CmpOp::Eq));
  EXPECT_EQ(bools(eq.column_at(0)), (std::vector<std::uint8_t>{0}));
  EXPECT_EQ(bools(eq.column_at(1)), (std::vector<std::uint8_t>{0}));
  EXPECT_EQ(bools(ok(compare_frames(a, b, CmpOp::Gt)).column_at(0)), (std::vector<std::uint8_t>{1}));
}

TEST(Reshape, ComparisonRefusesMisalignedFrames) {
  DataFrame a = frame({"x", "y"}, {Column::f64({1, 2}), Column::f64({1, 2})}, Index::integer({1, 2}));
  DataFrame cols = frame({"y", "x"}, {Column::f64({1, 2}), Column::f64({1, 2})}, Index::integer({1, 2}));
  DataFrame idx = frame({"x", "y"}, {Column::f64({1, 2}), Column::f64({1, 2})}, Index::integer({1, 3}));
  DataFrame equal_idx = frame({"x", "y"}, {Column::f64({1, 2}), Column::f64({1, 2})}, Index::integer({1, 2}));
  EXPECT_EQ(compare_frames(a, cols, CmpOp::Eq).error(),
            KadmoError::value("cannot compare DataFrames with different columns"));
  EXPECT_EQ(compare_frames(a, idx, CmpOp::Eq).error().message,
            "operands have different indexes; kadmo aligns by position, not by label \xe2\x80\x94 reindex or slice "
            "them to a common index first");
  EXPECT_TRUE(compare_frames(a, equal_idx, CmpOp::Eq));
}
