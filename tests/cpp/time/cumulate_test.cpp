// Expected values are worked out by hand from the bars written in each test;
// the random partition test compares batch run splitting against unify_tz,
// whose keys time_frame_test checks against pandas.
#include "kadmo/time/cumulate.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace kadmo::time {
namespace {

using core::Column;
using core::DataFrame;
using core::Index;
using core::Tz;

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t S = 1'000'000'000;

Tz zone(std::string_view text) {
  auto r = Tz::parse(text);
  EXPECT_TRUE(r.has_value()) << text;
  return r.value_or(Tz::utc());
}

// Wall clock text "YYYY-MM-DD[ HH:MM]" read in a zone (UTC by default).
std::int64_t at(std::string_view text, const Tz& tz = Tz::utc()) {
  std::string full(text);
  if (full.size() == 16) full += ":00";
  auto ns = core::parse_ns_in_tz(full, tz);
  EXPECT_TRUE(ns.has_value()) << text;
  return ns.value_or(0);
}

std::vector<std::int64_t> times(std::initializer_list<std::string_view> texts, const Tz& tz = Tz::utc()) {
  std::vector<std::int64_t> out;
  for (auto t : texts) out.push_back(at(t, tz));
  return out;
}

DataFrame frame(std::vector<std::string> names, std::vector<Column> cols, std::vector<std::int64_t> ns,
                const Tz& tz = Tz::utc()) {
  auto f = DataFrame::make(std::move(names), std::move(cols), Index::datetime(std::move(ns), tz));
  EXPECT_TRUE(f.has_value()) << (f ? "" : f.error().message);
  return f ? std::move(*f) : DataFrame{};
}

struct Bar {
  std::string_view time;
  double open, high, low, close, volume;
};

DataFrame ohlcv(std::initializer_list<Bar> bars, const Tz& tz = Tz::utc()) {
  std::vector<double> o, h, l, c, v;
  std::vector<std::int64_t> ns;
  for (const Bar& b : bars) {
    ns.push_back(at(b.time, tz));
    o.push_back(b.open), h.push_back(b.high), l.push_back(b.low), c.push_back(b.close), v.push_back(b.volume);
  }
  return frame({"open", "high", "low", "close", "volume"},
               {Column::f64(o), Column::f64(h), Column::f64(l), Column::f64(c), Column::f64(v)}, std::move(ns), tz);
}

std::vector<double> row(const DataFrame& f, std::size_t r) {
  std::vector<double> out;
  for (const auto& c : f.columns()) out.push_back(c.to_f64_vec().at(r));
  return out;
}

const std::vector<std::int64_t>& labels(const DataFrame& f) {
  return std::get<core::DatetimeIndex>(f.index().variant()).ns;
}

TEST(Agg, NamesAndDefaults) {
  for (Agg a : {Agg::first, Agg::max, Agg::min, Agg::last, Agg::sum}) EXPECT_EQ(parse_agg(agg_name(a)), a);
  for (std::string_view bad : {"mean", "Sum", "", " sum"}) {
    auto r = parse_agg(bad);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error(), core::KadmoError::value("unknown aggregator '" + std::string(bad) + "'"));
  }
  AggSpec s = AggSpec::defaults();
  EXPECT_EQ(s.of("open"), Agg::first);
  EXPECT_EQ(s.of("high"), Agg::max);
  EXPECT_EQ(s.of("low"), Agg::min);
  EXPECT_EQ(s.of("close"), Agg::last);
  EXPECT_EQ(s.of("volume"), Agg::sum);
  EXPECT_EQ(s.of("Volume"), Agg::last);  // names are case-sensitive
  s.set("volume", Agg::max);
  EXPECT_EQ(s.of("volume"), Agg::max);
}

TEST(AggregatePeriod, EveryDtypeAndSupersededBars) {
  // 09:31 arrives twice: only the later version counts.
  AggSpec aggs = AggSpec::defaults();
  aggs.set("n", Agg::sum);
  aggs.set("m", Agg::min);
  aggs.set("when", Agg::max);
  DataFrame p = frame({"open", "high", "low", "close", "volume", "n", "m", "note", "flag", "when"},
                      {Column::f64({1, 2, 3, 4}), Column::f64({5, 9, nan, 7}), Column::f64({3, 0.5, 2, nan}),
                       Column::f64({1, 2, 3, 4}), Column::f64({10, 100, 20, 30}), Column::i64({kMax, 5, 1, 0}),
                       Column::i64({4, -9, 6, 5}), Column::str({"a", "b", "c", "d"}),
                       Column::boolean({1, 0, 1, 0}), Column::datetime({7, 99, 8, 6})},
                      times({"2021-01-04 09:30", "2021-01-04 09:31", "2021-01-04 09:31", "2021-01-04 09:32"}),
                      zone("+08:00"));
  auto a = aggregate_period(p, aggs);
  ASSERT_TRUE(a) << a.error().message;
  ASSERT_EQ(a->height(), 1u);
  EXPECT_EQ(a->names(), p.names());
  EXPECT_EQ(a->column_at(0).f64_values()->at(0), 1);   // first
  EXPECT_EQ(a->column_at(1).f64_values()->at(0), 7);   // max of 5, NaN, 7 (9 was superseded)
  EXPECT_EQ(a->column_at(2).f64_values()->at(0), 2);   // min of 3, 2, NaN
  EXPECT_EQ(a->column_at(3).f64_values()->at(0), 4);   // last
  EXPECT_EQ(a->column_at(4).f64_values()->at(0), 60);  // 10 + 20 + 30
  EXPECT_EQ(a->column_at(5).i64_values()->at(0), kMin);  // max + 1 + 0 wraps
  EXPECT_EQ(a->column_at(6).i64_values()->at(0), 4);     // -9 was superseded
  EXPECT_EQ(a->column_at(7).str_values()->at(0), "d");
  EXPECT_EQ(a->column_at(8).bool_values()->at(0), 0);
  EXPECT_EQ(a->column_at(9).datetime_values()->at(0), 8);
  EXPECT_EQ(labels(*a), times({"2021-01-04 09:30"}));
  EXPECT_EQ(a->index().tz(), zone("+08:00"));
  EXPECT_TRUE(a->computed().empty());
}

TEST(AggregatePeriod, FirstBarReSentAndMissingValues) {
  DataFrame p = ohlcv({{"2021-01-04 09:30", 1, nan, nan, 1, 5},
                       {"2021-01-04 09:30", 2, nan, nan, 2, nan},
                       {"2021-01-04 09:31", 3, nan, nan, 3, 1}});
  auto a = aggregate_period(p, AggSpec::defaults());
  ASSERT_TRUE(a);
  // open from the re-sent first bar; all-NaN high and low give the start
  // values; one NaN volume poisons the sum.
  EXPECT_EQ(a->column_at(0).f64_values()->at(0), 2);
  EXPECT_EQ(a->column_at(1).f64_values()->at(0), -inf);
  EXPECT_EQ(a->column_at(2).f64_values()->at(0), inf);
  EXPECT_TRUE(std::isnan(a->column_at(4).f64_values()->at(0)));
  EXPECT_EQ(labels(*a), times({"2021-01-04 09:30"}));
}

TEST(AggregatePeriod, Refusals) {
  const auto ns = times({"2021-01-04"});
  struct Case {
    Column col;
    std::string name;
    Agg agg;
    std::string message;
  };
  const Case cases[] = {
      {Column::boolean({1}), "flag", Agg::max, "cannot max a bool column"},
      {Column::str({"x"}), "high", Agg::max, "cannot max a object column"},
      {Column::str({"x"}), "note", Agg::sum, "cannot sum a object column"},
      {Column::boolean({1}), "flag", Agg::min, "cannot min a bool column"},
  };
  for (const Case& c : cases) {
    AggSpec aggs = AggSpec::defaults();
    aggs.set(c.name, c.agg);
    // The offending column comes after a good one: nothing partial is returned.
    auto r = aggregate_period(frame({"close", c.name}, {Column::f64({1}), c.col}, ns), aggs);
    ASSERT_FALSE(r) << c.message;
    EXPECT_EQ(r.error(), core::KadmoError::dtype(c.message));
  }
  auto ranged = DataFrame::make({"close"}, {Column::f64({1})});
  auto r = aggregate_period(*ranged, AggSpec::defaults());
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error(), core::KadmoError::value("cumulation period must have a DatetimeIndex"));
  auto empty = aggregate_period(frame({"close"}, {Column::f64({})}, {}), AggSpec::defaults());
  EXPECT_FALSE(empty);
}

DataFrame minutes(std::string_view day, int from_h, int from_m, int count, const Tz& tz = Tz::utc()) {
  std::vector<std::int64_t> ns;
  std::vector<double> v;
  const std::int64_t start = at(std::string(day) + " 00:00", tz) + (from_h * 60 + from_m) * 60'000'000'000LL;
  for (int i = 0; i < count; ++i) {
    ns.push_back(start + i * 60'000'000'000LL);
    v.push_back(i);
  }
  return frame({"open", "high", "low", "close", "volume"},
               {Column::f64(v), Column::f64(v), Column::f64(v), Column::f64(v), Column::f64(v)}, ns, tz);
}

TEST(Cumulate, LabelsAreTheFirstBarOfEachPeriod) {
  struct Case {
    int from_m, count;
    std::size_t pending;
    std::vector<std::string_view> labels;
    std::vector<std::vector<double>> rows;  // open, high, low, close, volume
  };
  const Case cases[] = {
      {30, 10, 5, {"09:30", "09:35"}, {{0, 4, 0, 4, 10}, {5, 9, 5, 9, 35}}},
      {32, 5, 2, {"09:32", "09:35"}, {{0, 2, 0, 2, 3}, {3, 4, 3, 4, 7}}},
  };
  for (const Case& c : cases) {
    auto cum = cumulate(minutes("2021-01-04", 9, c.from_m, c.count), TimeFrame::m5, AggSpec::defaults());
    ASSERT_TRUE(cum);
    ASSERT_TRUE(cum->closed && cum->pending);
    EXPECT_EQ(cum->closed->height(), 1u);
    EXPECT_EQ(cum->pending->height(), c.pending);
    auto f = cum->frame();
    ASSERT_TRUE(f);
    ASSERT_EQ(f->height(), c.labels.size());
    for (std::size_t r = 0; r < c.labels.size(); ++r) {
      EXPECT_EQ(labels(*f)[r], at("2021-01-04 " + std::string(c.labels[r])));
      EXPECT_EQ(row(*f, r), c.rows[r]);
    }
  }
}

TEST(Cumulate, DaysAreLocalAndRunsFollowRowOrder) {
  // 14:00 and 15:00 UTC are 23:00 and 00:00 in Tokyo: two Tokyo days.
  const Tz tokyo = zone("Asia/Tokyo");
  DataFrame f = ohlcv({{"2021-01-04 23:00", 1, 1, 1, 1, 1}, {"2021-01-05 00:00", 2, 2, 2, 2, 2}}, tokyo);
  auto tokyo_days = cumulate(f, TimeFrame::D1, AggSpec::defaults())->frame();
  EXPECT_EQ(tokyo_days->height(), 2u);
  auto utc_days = cumulate(*f.tz_convert(Tz::utc()), TimeFrame::D1, AggSpec::defaults())->frame();
  EXPECT_EQ(utc_days->height(), 1u);

  // New York spring-forward day has 23 hourly bars; the next local midnight
  // opens a new day.
  const Tz ny = zone("America/New_York");
  std::vector<std::int64_t> ns;
  for (int h = 0; h < 25; ++h) ns.push_back(at("2021-03-14 05:00") + h * 3'600'000'000'000LL);
  std::vector<double> one(ns.size(), 1.0);
  auto days = cumulate(frame({"volume"}, {Column::f64(one)}, ns, ny), TimeFrame::D1, AggSpec::defaults());
  ASSERT_TRUE(days);
  auto d = days->frame();
  EXPECT_EQ(d->column_at(0).f64_values()->front(), 23);
  EXPECT_EQ(labels(*d), (std::vector<std::int64_t>{at("2021-03-14 00:00", ny), at("2021-03-15 00:00", ny)}));

  // A period seen again after another one is a new run, not regrouped.
  DataFrame back = ohlcv({{"2021-01-04 09:30", 1, 1, 1, 1, 1},
                          {"2021-01-04 09:36", 2, 2, 2, 2, 2},
                          {"2021-01-04 09:31", 3, 3, 3, 3, 3}});
  auto b = cumulate(back, TimeFrame::m5, AggSpec::defaults())->frame();
  EXPECT_EQ(b->height(), 3u);
}

TEST(Cumulate, Refusals) {
  auto empty = cumulate(frame({"close"}, {Column::f64({})}, {}), TimeFrame::D1, AggSpec::defaults());
  ASSERT_FALSE(empty);
  EXPECT_EQ(empty.error(), core::KadmoError::value("the data frame to be appended is empty"));
  auto ranged = cumulate(*DataFrame::make({"close"}, {Column::f64({1})}), TimeFrame::D1, AggSpec::defaults());
  ASSERT_FALSE(ranged);
  EXPECT_EQ(ranged.error(), core::KadmoError::value("cumulation target must have a DatetimeIndex"));
  // A bad aggregation shows up whether or not a period closed before it.
  for (std::string_view last : {"2021-01-04 10:00", "2021-01-05 10:00"}) {
    DataFrame f = frame({"high"}, {Column::str({"a", "b"})}, times({"2021-01-04 09:00", last}));
    auto cum = cumulate(f, TimeFrame::D1, AggSpec::defaults());
    core::Result<DataFrame> out = cum ? cum->frame() : core::Result<DataFrame>(std::unexpected(cum.error()));
    ASSERT_FALSE(out);
    EXPECT_EQ(out.error(), core::KadmoError::dtype("cannot max a object column"));
  }
}

TEST(Cumulate, RunsMatchPeriodKeysForEveryZoneAndFrame) {
  std::mt19937_64 rng(11);
  const Tz zones[] = {Tz::utc(), zone("+05:30"), zone("-03:45"), zone("Europe/London"), zone("Australia/Lord_Howe")};
  for (const Tz& tz : zones) {
    // Years of bars up to three days apart, then ten-minute bars across the
    // daylight-saving changes of London (one hour) and Lord Howe (half an
    // hour), then a stretch that jumps back now and then.
    std::vector<std::int64_t> ns{at("1969-12-30 22:59:58")};
    for (int i = 1; i < 2000; ++i) ns.push_back(ns.back() + std::int64_t(rng() % 259'200) * S + std::int64_t(rng() % S));
    for (std::string_view from : {"2021-03-27 22:00", "2021-10-30 22:00", "2021-04-03 12:00", "2021-10-02 12:00"})
      for (int i = 0; i < 40; ++i) ns.push_back(at(from) + i * 600 * S);
    for (int i = 0; i < 500; ++i) {
      const std::int64_t step = std::int64_t(rng() % 7'200) * S;
      ns.push_back(i % 50 == 0 ? ns.back() - 40 * step : ns.back() + step);
    }
    std::vector<double> v(ns.size(), 1.0);
    DataFrame f = frame({"volume"}, {Column::f64(v)}, ns, tz);
    for (TimeFrame tf : kAllTimeFrames) {
      std::vector<std::int64_t> want_labels{ns[0]};
      for (std::size_t i = 1; i < ns.size(); ++i)
        if (unify_tz(tf, ns[i], tz) != unify_tz(tf, ns[i - 1], tz)) want_labels.push_back(ns[i]);
      auto out = cumulate(f, tf, AggSpec::defaults())->frame();
      ASSERT_TRUE(out);
      EXPECT_EQ(labels(*out), want_labels) << label(tf) << " " << tz.name();
      double total = 0;
      for (double x : *out->column_at(0).f64_values()) total += x;
      // A bar directly followed by one with its timestamp is superseded.
      std::size_t counted = ns.size();
      for (std::size_t i = 0; i + 1 < ns.size(); ++i) counted -= ns[i] == ns[i + 1];
      EXPECT_EQ(total, double(counted)) << label(tf);
    }
  }
}

TEST(Cumulate, DuplicateColumnNamesKeepTheirOwnValues) {
  DataFrame f = frame({"x", "x"}, {Column::f64({1, 2, 3}), Column::f64({10, 20, 30})},
                      times({"2021-01-04", "2021-01-05", "2021-01-05 12:00"}));
  auto out = cumulate(f, TimeFrame::D1, AggSpec::defaults())->frame();
  ASSERT_TRUE(out);
  EXPECT_EQ(*out->column_at(0).f64_values(), (std::vector<double>{1, 3}));
  EXPECT_EQ(*out->column_at(1).f64_values(), (std::vector<double>{10, 30}));
}

// A one-day tf-aware frame from two minute bars of 2021-01-04.
struct Live {
  DataFrame df;
  TfState st;
};
Live daily() {
  DataFrame src = ohlcv({{"2021-01-04 09:30", 10, 11, 9, 10.5, 100}, {"2021-01-04 09:31", 10.5, 12, 10, 11, 50}});
  auto cum = cumulate(src, TimeFrame::D1, AggSpec::defaults());
  return {*cum->frame(), TfState{cum->pending, cum->aggs, TimeFrame::D1}};
}

TEST(FoldAppend, FormingPeriodReSentBarsAndRollOver) {
  Live l = daily();
  ASSERT_EQ(row(l.df, 0), (std::vector<double>{10, 12, 9, 11, 150}));

  ASSERT_TRUE(fold_append(l.df, l.st, ohlcv({{"2021-01-04 09:32", 11, 11.5, 8, 9, 20}})));
  EXPECT_EQ(l.df.height(), 1u);
  EXPECT_EQ(row(l.df, 0), (std::vector<double>{10, 12, 8, 9, 170}));

  // The same bar again with other values replaces it: volume 100 + 50 + 30.
  ASSERT_TRUE(fold_append(l.df, l.st, ohlcv({{"2021-01-04 09:32", 11, 13, 10, 12, 30}})));
  EXPECT_EQ(l.df.height(), 1u);
  EXPECT_EQ(row(l.df, 0), (std::vector<double>{10, 13, 9, 12, 180}));
  EXPECT_EQ(l.st.pending->height(), 3u);
  EXPECT_EQ(labels(l.df), times({"2021-01-04 09:30"}));

  ASSERT_TRUE(fold_append(l.df, l.st, ohlcv({{"2021-01-05 09:30", 20, 21, 19, 20.5, 5}})));
  EXPECT_EQ(l.df.height(), 2u);
  EXPECT_EQ(row(l.df, 1), (std::vector<double>{20, 21, 19, 20.5, 5}));
  EXPECT_EQ(l.st.pending->height(), 1u);

  // A late bar of the previous day is a new period of its own.
  ASSERT_TRUE(fold_append(l.df, l.st, ohlcv({{"2021-01-04 16:00", 1, 2, 0, 1, 1}})));
  EXPECT_EQ(l.df.height(), 3u);
  EXPECT_EQ(row(l.df, 1), (std::vector<double>{20, 21, 19, 20.5, 5}));
  EXPECT_EQ(row(l.df, 2), (std::vector<double>{1, 2, 0, 1, 1}));
  EXPECT_EQ(labels(l.df), times({"2021-01-04 09:30", "2021-01-05 09:30", "2021-01-04 16:00"}));
}

TEST(FoldAppend, BatchFoldsRowByRow) {
  Live l = daily();
  ASSERT_TRUE(fold_append(l.df, l.st,
                          ohlcv({{"2021-01-04 09:32", 11, 11.5, 8, 9, 20},
                                 {"2021-01-04 09:32", 11, 13, 10, 12, 30},
                                 {"2021-01-05 09:30", 20, 21, 19, 20.5, 5},
                                 {"2021-01-05 09:31", 20.5, 22, 20, 21, 7}})));
  ASSERT_EQ(l.df.height(), 2u);
  EXPECT_EQ(row(l.df, 0), (std::vector<double>{10, 13, 9, 12, 180}));
  EXPECT_EQ(row(l.df, 1), (std::vector<double>{20, 22, 19, 21, 12}));
  // Self-fold: the frame's own rows are fine bars of other periods.
  ASSERT_TRUE(fold_append(l.df, l.st, l.df));
  EXPECT_EQ(l.df.height(), 4u);
}

TEST(FoldAppend, WithoutPendingBarsTheFirstBarOpensARow) {
  DataFrame df = ohlcv({{"2021-01-04 09:30", 1, 1, 1, 1, 1}});
  TfState st{std::nullopt, AggSpec::defaults(), TimeFrame::D1};
  ASSERT_TRUE(fold_append(df, st, ohlcv({{"2021-01-04 10:00", 2, 3, 0, 2, 4}})));
  EXPECT_EQ(df.height(), 2u);
  ASSERT_TRUE(fold_append(df, st, ohlcv({{"2021-01-04 11:00", 5, 5, 5, 5, 6}})));
  EXPECT_EQ(df.height(), 2u);
  EXPECT_EQ(row(df, 1), (std::vector<double>{2, 5, 0, 5, 10}));
}

TEST(FoldAppend, FailuresChangeNothing) {
  Live l = daily();
  // Give the frame a float "note" while the pending bars keep strings: the
  // fold's write of the last column fails after the others would have been
  // written and the bar already added to the pending ones.
  Live s;
  {
    DataFrame src = frame({"close", "volume", "note"},
                          {Column::f64({1, 2}), Column::f64({10, 20}), Column::str({"a", "b"})},
                          times({"2021-01-04 09:30", "2021-01-04 09:31"}));
    auto cum = cumulate(src, TimeFrame::D1, AggSpec::defaults());
    s = {*cum->frame(), TfState{cum->pending, cum->aggs, TimeFrame::D1}};
    ASSERT_TRUE(s.df.set_column("note", Column::f64({0})));
  }
  const DataFrame before = s.df;
  // A new bar, a re-sent one, and one without a column of the pending bars.
  for (auto [time, with_volume] : {std::pair{"2021-01-04 09:32", true}, {"2021-01-04 09:31", true},
                                   {"2021-01-04 09:32", false}}) {
    std::vector<std::string> names{"close", "note"};
    std::vector<Column> cols{Column::f64({3}), Column::str({"c"})};
    if (with_volume) names.push_back("volume"), cols.push_back(Column::f64({30}));
    auto r = fold_append(s.df, s.st, frame(names, cols, times({time})));
    ASSERT_FALSE(r) << time;
    EXPECT_EQ(r.error(), core::KadmoError::dtype("cannot assign object values into a float64 column"));
    for (std::size_t j = 0; j < before.width(); ++j) EXPECT_TRUE(s.df.column_at(j).equals(before.column_at(j)));
    ASSERT_EQ(s.st.pending->height(), 2u);
    EXPECT_EQ(*s.st.pending->column_at(0).f64_values(), (std::vector<double>{1, 2}));
    EXPECT_EQ(*s.st.pending->column_at(1).f64_values(), (std::vector<double>{10, 20}));
    EXPECT_EQ(labels(*s.st.pending), times({"2021-01-04 09:30", "2021-01-04 09:31"}));
  }

  // A batch whose second row fails: the first (forming-period) row would
  // already have rewritten the last row and grown the pending bars. The
  // frame's int volume takes the forming write but refuses the appended
  // float row.
  ASSERT_TRUE(l.df.set_column("volume", Column::i64({150})));
  const DataFrame l_before = l.df;
  auto batch = fold_append(l.df, l.st,
                           ohlcv({{"2021-01-04 09:40", 1, 99, 1, 1, 1}, {"2021-01-05 09:40", 1, 1, 1, 1, 1}}));
  ASSERT_FALSE(batch);
  EXPECT_EQ(batch.error(), core::KadmoError::dtype("cannot append a float64 column onto a int64 column"));
  EXPECT_EQ(l.df.height(), 1u);
  for (std::size_t j = 0; j < l_before.width(); ++j) EXPECT_TRUE(l.df.column_at(j).equals(l_before.column_at(j)));
  EXPECT_EQ(l.st.pending->height(), 2u);

  auto ranged = fold_append(l.df, l.st, *DataFrame::make({"close"}, {Column::f64({1})}));
  ASSERT_FALSE(ranged);
  EXPECT_EQ(ranged.error(), core::KadmoError::value("append to a time_frame DataFrame requires a DatetimeIndex"));
  EXPECT_EQ(l.df.height(), 1u);
}

}  // namespace
}  // namespace kadmo::time
