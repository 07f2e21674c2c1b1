#pragma once
// How a column of fine bars reduces to one value per coarse period, and the
// reduction of one period or of many consecutive periods at once.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "kadmo/core/dataframe.hpp"
#include "kadmo/core/error.hpp"

namespace kadmo::time {

enum class Agg : std::uint8_t { first, max, min, last, sum };

// "first", "max", "min", "last", "sum".
std::string_view agg_name(Agg a);
// Exact name; a Value error "unknown aggregator 'x'" otherwise.
core::Result<Agg> parse_agg(std::string_view name);

struct AggSpec {
  core::StringMap<Agg> map;
  Agg fallback = Agg::last;

  // open first, high max, low min, close last, volume sum.
  static AggSpec defaults();
  void set(std::string name, Agg a) { map.insert_or_assign(std::move(name), a); }
  Agg of(std::string_view column) const {
    auto it = map.find(column);
    return it == map.end() ? fallback : it->second;
  }
  bool operator==(const AggSpec&) const = default;
};

// One row: the reduction of a period's fine bars (at least one row, datetime
// index). Of consecutive rows with the same timestamp only the last counts;
// the label is the first counted bar's timestamp.
core::Result<core::DataFrame> aggregate_period(const core::DataFrame& period, const AggSpec& aggs);

// The reduction of consecutive periods in one pass: period r is rows
// bounds[r] .. bounds[r+1]-1 of `frame` (datetime index, bounds ascending,
// every period non-empty). One result row per period, labelled like
// aggregate_period.
core::Result<core::DataFrame> aggregate_runs(const core::DataFrame& frame, std::span<const std::size_t> bounds,
                                             const AggSpec& aggs);

}  // namespace kadmo::time
