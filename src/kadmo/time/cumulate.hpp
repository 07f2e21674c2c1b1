#pragma once
// Down-sampling fine bars into coarse ones, in one batch (cumulate) and live
// (fold_append): a tf-aware frame keeps the fine bars of its forming last
// period so that each later bar can re-aggregate just that period.

#include <optional>

#include "kadmo/core/dataframe.hpp"
#include "kadmo/core/error.hpp"
#include "kadmo/time/agg.hpp"
#include "kadmo/time/time_frame.hpp"

namespace kadmo::time {

struct Cumulator {
  std::optional<core::DataFrame> closed;   // one row per completed period
  std::optional<core::DataFrame> pending;  // the fine bars of the last period
  AggSpec aggs;

  // closed followed by the aggregate of pending.
  core::Result<core::DataFrame> frame() const;
};

// Splits the rows into runs of equal period key in `tf` (the index zone's
// calendar; rows are never reordered, so a key seen again after another one
// starts a new run); every run but the last is aggregated into `closed`.
core::Result<Cumulator> cumulate(const core::DataFrame& frame, TimeFrame tf, AggSpec aggs);

// What a tf-aware frame carries next to its table.
struct TfState {
  std::optional<core::DataFrame> pending;  // fine bars of the forming period, in arrival order
  AggSpec aggs;
  TimeFrame time_frame = TimeFrame::D1;
};

// Folds the rows of `other` (datetime index) into `frame`, in order: a bar of
// the forming period rewrites the last row (a bar with the forming period's
// latest timestamp replaces that bar), a bar of any other period appends a
// row. All or nothing: on failure neither frame nor state has changed.
core::Result<void> fold_append(core::DataFrame& frame, TfState& state, const core::DataFrame& other);

}  // namespace kadmo::time
