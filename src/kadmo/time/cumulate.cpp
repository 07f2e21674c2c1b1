#include "kadmo/time/cumulate.hpp"

#include <cctz/time_zone.h>

#include <array>
#include <limits>
#include <string>
#include <vector>

#include "kadmo/core/calendar.hpp"

namespace kadmo::time {

namespace {

using core::Column;
using core::DataFrame;
using core::KadmoError;

const core::DatetimeIndex* datetime_index(const DataFrame& f) {
  return std::get_if<core::DatetimeIndex>(&f.index().variant());
}

// Pending bars are raw input: nothing ever refreshes a cached column on them,
// so they carry no computed metadata.
DataFrame plain(DataFrame f) {
  std::vector<std::string> names;
  for (const auto& [name, _] : f.computed()) names.push_back(name);
  for (const auto& n : names) f.erase_computed(n);
  return f;
}

// UTC offsets of a sequence of instants, one zone lookup per stretch between
// two offset changes rather than one per instant.
class OffsetCursor {
 public:
  explicit OffsetCursor(const core::Tz& tz) : tz_(tz) {
    if (tz.kind() == core::Tz::Kind::Named) named_ = cctz::load_time_zone(tz.name(), &zone_);
  }
  // Offset in seconds at instant t (ns), whose whole second is s.
  std::int64_t at(std::int64_t t, std::int64_t s) {
    if (!named_) return tz_.offset_at(t);
    if (s >= lo_ && s < hi_) return off_;
    const auto tp = cctz::time_point<cctz::seconds>(cctz::seconds(s));
    off_ = zone_.lookup(tp).offset;
    lo_ = s;
    hi_ = std::numeric_limits<std::int64_t>::max();
    cctz::time_zone::civil_transition tr;
    if (zone_.next_transition(tp, &tr)) {
      const std::int64_t next = zone_.lookup(tr.to).trans.time_since_epoch().count();
      if (next > s) hi_ = next;
      else hi_ = s + 1;  // no usable bound: look the next second up again
    }
    return off_;
  }

 private:
  core::Tz tz_;
  cctz::time_zone zone_;
  bool named_ = false;
  std::int64_t lo_ = 0, hi_ = 0, off_ = 0;
};

// Which rows start a new run of equal period keys. Every key is a function
// of the local wall clock L (seconds): periods up to a day tile the local day,
// so their keys change exactly where L / length changes; 3-day and week keys
// follow the local day number; months and years the civil date of that day.
std::vector<std::size_t> run_bounds(std::span<const std::int64_t> ns, TimeFrame tf, const core::Tz& tz) {
  using core::floor_div;
  OffsetCursor offsets(tz);
  const std::int64_t len = seconds(tf).value_or(0);
  const bool tiles_day = position(tf) <= position(TimeFrame::D1);
  std::int64_t last_day = std::numeric_limits<std::int64_t>::min(), last_calendar = 0;
  auto key = [&](std::int64_t t) -> std::int64_t {
    const std::int64_t s = floor_div(t, 1'000'000'000);
    const std::int64_t local = s + offsets.at(t, s);
    if (tiles_day) return floor_div(local, len);
    const std::int64_t day = floor_div(local, 86'400);
    if (tf == TimeFrame::D3) return floor_div(day, 3);
    if (tf == TimeFrame::W1) return floor_div(day + 3, 7);
    if (day != last_day) {
      const core::Ymd d = core::civil_from_days(day);
      last_day = day;
      last_calendar = tf == TimeFrame::M1 ? d.y * 12 + d.m : d.y;
    }
    return last_calendar;
  };
  std::vector<std::size_t> bounds{0};
  std::int64_t prev = key(ns[0]);
  for (std::size_t i = 1; i < ns.size(); ++i) {
    const std::int64_t k = key(ns[i]);
    if (k != prev) bounds.push_back(i);
    prev = k;
  }
  bounds.push_back(ns.size());
  return bounds;
}

// A stand-in with the same names, dtypes, aliases, computed entries and last
// row as `f`, for rehearsing a fold: every check a fold makes depends only on
// those, so a fold that succeeds on the stand-ins succeeds on the originals.
DataFrame stand_in(const DataFrame& f) {
  const std::size_t h = f.height();
  DataFrame s = f.slice(h == 0 ? 0 : h - 1, h);
  for (const auto& [name, m] : f.computed())
    if (!s.computed_meta(name)) s.set_computed(name, m.directive, m.lookback);
  return s;
}

// Whether assign_positions takes values of dtype `from` into a column of
// dtype `to`: numbers into numbers, anything else only into its own dtype.
bool assignable(core::DType to, core::DType from) {
  const auto numeric = [](core::DType d) { return d == core::DType::Float64 || d == core::DType::Int64; };
  return numeric(to) ? numeric(from) : to == from;
}

// Folds one bar (a one-row frame) of period key k. All or nothing.
core::Result<void> fold_bar(DataFrame& frame, TfState& st, DataFrame bar, std::int64_t t, std::int64_t k,
                            const core::Tz& zone) {
  const core::DatetimeIndex* pdt = st.pending ? datetime_index(*st.pending) : nullptr;
  const bool forming =
      pdt && !pdt->ns.empty() && frame.height() > 0 && k == unify_tz(st.time_frame, pdt->ns.back(), zone);
  if (!forming) {
    auto agg = aggregate_period(bar, st.aggs);
    if (!agg) return core::fail(agg.error());
    if (auto ok = frame.append(*agg); !ok) return ok;
    st.pending = std::move(bar);
    return {};
  }
  DataFrame& pending = *st.pending;
  const std::size_t hp = pending.height();
  // What a failure must restore: the whole pending frame when the bar
  // replaces its last row, or lacks one of its columns (an int column would
  // turn float); otherwise cutting the added row off is enough.
  bool covers = true;
  for (const auto& name : pending.names()) covers = covers && bar.column_ptr(name);
  std::optional<DataFrame> saved;
  if (pdt->ns.back() == t) {  // a re-sent bar replaces its earlier version
    saved = std::move(pending);
    pending = saved->slice(0, hp - 1);
  } else if (!covers) {
    saved = pending;
  }
  const auto undo = [&](KadmoError e) -> core::Result<void> {
    pending = saved ? std::move(*saved) : pending.slice(0, hp);
    return core::fail(std::move(e));
  };
  if (auto ok = pending.append(bar); !ok) return undo(ok.error());
  auto agg = aggregate_period(pending, st.aggs);
  if (!agg) return undo(agg.error());
  std::vector<std::pair<std::size_t, std::size_t>> writes;  // frame column, aggregate column
  for (std::size_t j = 0; j < agg->width(); ++j) {
    auto pos = frame.column_pos(agg->names()[j]);
    if (!pos) continue;
    const core::DType to = frame.column_at(*pos).dtype(), from = agg->column_at(j).dtype();
    if (!assignable(to, from))
      return undo(KadmoError::dtype("cannot assign " + std::string(core::dtype_name(from)) + " values into a " +
                                    std::string(core::dtype_name(to)) + " column"));
    writes.emplace_back(*pos, j);
  }
  const std::array<std::size_t, 1> last = {frame.height() - 1};
  for (auto [pos, j] : writes)
    if (auto ok = frame.assign_positions(pos, last, agg->column_at(j)); !ok) return ok;
  return {};
}

core::Result<void> fold_rows(DataFrame& frame, TfState& st, const DataFrame& other) {
  const auto* dt = datetime_index(other);
  if (!dt) return core::fail(KadmoError::value("append to a time_frame DataFrame requires a DatetimeIndex"));
  for (std::size_t r = 0; r < other.height(); ++r) {
    const std::int64_t t = dt->ns[r];
    DataFrame bar = other.height() == 1 && other.computed().empty() ? other : plain(other.slice(r, r + 1));
    if (auto ok = fold_bar(frame, st, std::move(bar), t, unify_tz(st.time_frame, t, dt->tz), dt->tz); !ok)
      return ok;
  }
  return {};
}

}  // namespace

core::Result<DataFrame> Cumulator::frame() const {
  if (!pending) {
    if (closed) return *closed;
    return core::fail(KadmoError::value("the data frame to be appended is empty"));
  }
  auto last = aggregate_period(*pending, aggs);
  if (!last || !closed) return last;
  // Positional, so duplicated column names keep their own values.
  std::vector<Column> cols;
  cols.reserve(closed->width());
  for (std::size_t j = 0; j < closed->width(); ++j) {
    Column c = closed->column_at(j);
    c.append_values(last->column_at(j));
    cols.push_back(std::move(c));
  }
  const auto& ci = std::get<core::DatetimeIndex>(closed->index().variant());
  std::vector<std::int64_t> labels = ci.ns;
  labels.push_back(std::get<core::DatetimeIndex>(last->index().variant()).ns[0]);
  return DataFrame::make(closed->names(), std::move(cols), core::Index::datetime(std::move(labels), ci.tz));
}

core::Result<Cumulator> cumulate(const DataFrame& frame, TimeFrame tf, AggSpec aggs) {
  if (frame.height() == 0) return core::fail(KadmoError::value("the data frame to be appended is empty"));
  const auto* dt = datetime_index(frame);
  if (!dt) return core::fail(KadmoError::value("cumulation target must have a DatetimeIndex"));
  const std::vector<std::size_t> bounds = run_bounds(dt->ns, tf, dt->tz);
  Cumulator c;
  c.aggs = std::move(aggs);
  if (bounds.size() > 2) {
    auto closed = aggregate_runs(frame, std::span(bounds).first(bounds.size() - 1), c.aggs);
    if (!closed) return core::fail(closed.error());
    c.closed = std::move(*closed);
  }
  c.pending = plain(frame.slice(bounds[bounds.size() - 2], frame.height()));
  return c;
}

core::Result<void> fold_append(DataFrame& frame, TfState& state, const DataFrame& other) {
  if (&other == &frame) {
    const DataFrame snapshot = other;
    return fold_append(frame, state, snapshot);
  }
  // One bar folds all or nothing by itself. A batch is rehearsed on
  // stand-ins first so that a failure half-way through leaves nothing
  // changed; the real fold then cannot fail.
  if (other.height() > 1) {
    DataFrame frame_probe = stand_in(frame);
    TfState state_probe{state.pending ? std::optional<DataFrame>(stand_in(*state.pending)) : std::nullopt, state.aggs,
                        state.time_frame};
    if (auto ok = fold_rows(frame_probe, state_probe, other); !ok) return ok;
  }
  return fold_rows(frame, state, other);
}

}  // namespace kadmo::time
