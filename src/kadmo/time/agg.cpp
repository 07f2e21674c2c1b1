#include "kadmo/time/agg.hpp"

#include <array>
#include <limits>
#include <string>
#include <vector>

namespace kadmo::time {

namespace {

using core::Column;
using core::DataFrame;
using core::DType;
using core::KadmoError;

constexpr std::array<std::string_view, 5> kNames = {"first", "max", "min", "last", "sum"};

// Rows that count inside a period: a row directly followed by one with the
// same timestamp is a superseded version of that bar.
struct Runs {
  std::span<const std::int64_t> ts;
  std::span<const std::size_t> bounds;
  bool dups;

  std::size_t count() const { return bounds.size() - 1; }
  bool counts(std::size_t i, std::size_t end) const { return !dups || i + 1 == end || ts[i] != ts[i + 1]; }
  std::size_t first(std::size_t r) const {
    std::size_t i = bounds[r];
    while (!counts(i, bounds[r + 1])) ++i;
    return i;
  }
};

template <class T, class Op>
std::vector<T> reduce(const std::vector<T>& x, const Runs& runs, T init, Op op) {
  std::vector<T> out(runs.count());
  for (std::size_t r = 0; r < runs.count(); ++r) {
    const std::size_t a = runs.bounds[r], b = runs.bounds[r + 1];
    T acc = init;
    if (!runs.dups) {
      for (std::size_t i = a; i < b; ++i) acc = op(acc, x[i]);
    } else {
      for (std::size_t i = a; i < b; ++i)
        if (runs.counts(i, b)) acc = op(acc, x[i]);
    }
    out[r] = acc;
  }
  return out;
}

Column reduce_f64(const std::vector<double>& x, Agg a, const Runs& runs) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  // NaN never compares larger or smaller, so max/min skip it; sum keeps it.
  switch (a) {
    case Agg::max: return Column::f64(reduce(x, runs, -inf, [](double m, double v) { return v > m ? v : m; }));
    case Agg::min: return Column::f64(reduce(x, runs, inf, [](double m, double v) { return v < m ? v : m; }));
    default: return Column::f64(reduce(x, runs, -0.0, [](double s, double v) { return s + v; }));
  }
}

std::vector<std::int64_t> reduce_i64(const std::vector<std::int64_t>& x, Agg a, const Runs& runs) {
  constexpr std::int64_t lo = std::numeric_limits<std::int64_t>::min(), hi = std::numeric_limits<std::int64_t>::max();
  switch (a) {
    case Agg::max: return reduce(x, runs, lo, [](std::int64_t m, std::int64_t v) { return v > m ? v : m; });
    case Agg::min: return reduce(x, runs, hi, [](std::int64_t m, std::int64_t v) { return v < m ? v : m; });
    default:
      // Wrapping sum: unsigned arithmetic has no overflow.
      return reduce(x, runs, std::int64_t{0}, [](std::int64_t s, std::int64_t v) {
        return static_cast<std::int64_t>(static_cast<std::uint64_t>(s) + static_cast<std::uint64_t>(v));
      });
  }
}

core::Result<void> check_aggs(const DataFrame& f, const AggSpec& aggs) {
  for (std::size_t j = 0; j < f.width(); ++j) {
    const Agg a = aggs.of(f.names()[j]);
    const DType d = f.column_at(j).dtype();
    if ((d == DType::Bool || d == DType::Object) && (a == Agg::max || a == Agg::min || a == Agg::sum))
      return core::fail(KadmoError::dtype("cannot " + std::string(agg_name(a)) + " a " +
                                          std::string(core::dtype_name(d)) + " column"));
  }
  return {};
}

}  // namespace

std::string_view agg_name(Agg a) { return kNames[static_cast<std::size_t>(a)]; }

core::Result<Agg> parse_agg(std::string_view name) {
  for (std::size_t i = 0; i < kNames.size(); ++i)
    if (kNames[i] == name) return static_cast<Agg>(i);
  return core::fail(KadmoError::value("unknown aggregator '" + std::string(name) + "'"));
}

AggSpec AggSpec::defaults() {
  AggSpec s;
  s.set("open", Agg::first);
  s.set("high", Agg::max);
  s.set("low", Agg::min);
  s.set("close", Agg::last);
  s.set("volume", Agg::sum);
  return s;
}

core::Result<DataFrame> aggregate_runs(const DataFrame& frame, std::span<const std::size_t> bounds,
                                       const AggSpec& aggs) {
  const auto* dt = std::get_if<core::DatetimeIndex>(&frame.index().variant());
  if (!dt) return core::fail(KadmoError::value("cumulation period must have a DatetimeIndex"));
  if (bounds.size() < 2 || bounds.back() > frame.height())
    return core::fail(KadmoError::value("cumulation period is empty"));
  for (std::size_t r = 0; r + 1 < bounds.size(); ++r)
    if (bounds[r] >= bounds[r + 1]) return core::fail(KadmoError::value("cumulation period is empty"));
  if (auto ok = check_aggs(frame, aggs); !ok) return core::fail(ok.error());

  const std::span<const std::int64_t> ts(dt->ns);
  bool dups = false;
  for (std::size_t i = bounds.front(); i + 1 < bounds.back() && !dups; ++i) dups = ts[i] == ts[i + 1];
  const Runs runs{ts, bounds, dups};
  const std::size_t n = runs.count();

  std::vector<std::size_t> firsts(n), lasts(n);
  std::vector<std::int64_t> labels(n);
  for (std::size_t r = 0; r < n; ++r) {
    firsts[r] = runs.first(r);
    lasts[r] = bounds[r + 1] - 1;
    labels[r] = ts[firsts[r]];
  }

  std::vector<Column> cols;
  cols.reserve(frame.width());
  for (std::size_t j = 0; j < frame.width(); ++j) {
    const Column& c = frame.column_at(j);
    const Agg a = aggs.of(frame.names()[j]);
    if (a == Agg::first) cols.push_back(c.take(firsts));
    else if (a == Agg::last) cols.push_back(c.take(lasts));
    else if (const auto* f = c.f64_values()) cols.push_back(reduce_f64(*f, a, runs));
    else if (const auto* i = c.i64_values()) cols.push_back(Column::i64(reduce_i64(*i, a, runs)));
    else cols.push_back(Column::datetime(reduce_i64(*c.datetime_values(), a, runs)));  // bool/str refused above
  }
  return DataFrame::make(frame.names(), std::move(cols), core::Index::datetime(std::move(labels), dt->tz));
}

core::Result<DataFrame> aggregate_period(const DataFrame& period, const AggSpec& aggs) {
  const std::array<std::size_t, 2> bounds = {0, period.height()};
  return aggregate_runs(period, bounds, aggs);
}

}  // namespace kadmo::time
