#pragma once
// Whole-frame transforms that derive a new frame from an existing one: row
// windows, missing-value masks and filling, dropping, renaming, index
// changes, sorting, re-zoning, equality and element-wise comparison. None of
// them changes its input.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "kadmo/core/dataframe.hpp"
#include "kadmo/core/series_ops.hpp"

namespace kadmo::core {

// The first / last min(n, height) rows (a range index restarts at 0);
// computed metadata follows the slice rule.
DataFrame head(const DataFrame& df, std::size_t n);
DataFrame tail(const DataFrame& df, std::size_t n);

// Bool frames of the same names over a copy of the index: NaN (or not) for
// float columns, all false (all true) for every other dtype.
Result<DataFrame> isna_frame(const DataFrame& df);
Result<DataFrame> notna_frame(const DataFrame& df);

// Fills the NaN of every float column with a value, or forward ("ffill",
// "pad") / backward ("bfill", "backfill"); exactly one of the two. Other
// columns stay shared.
Result<DataFrame> fillna_frame(const DataFrame& df, std::optional<double> value,
                               std::optional<std::string_view> method);

enum class DropHow : std::uint8_t { Any, All };
// Rows with a NaN in some float column (Any) or NaN in every column (All;
// a non-float column never counts as missing) are removed.
DataFrame dropna_frame(const DataFrame& df, DropHow how);

// The columns whose names are not listed, in their order (unknown names are
// ignored). Works by position, so duplicate names keep their own columns.
Result<DataFrame> drop_columns(const DataFrame& df, std::span<const std::string> names);
// The rows whose label equals none of the labels (all occurrences go; a
// range index matches positions; labels of the other kind never match).
DataFrame drop_rows(const DataFrame& df, std::span<const Label> labels);

// Columns named as keys take the mapped name; storage and aliases shared.
Result<DataFrame> rename_columns(const DataFrame& df, const StringMap<std::string>& mapping);

// Replaces the named column (alias-resolved) of a working frame by its
// datetime form: strings parsed as UTC, datetimes kept, numbers read as epoch
// values in unit. ColumnNotFound for a missing name; conversion failures as
// the column conversion reports them.
Result<void> replace_with_datetime(DataFrame& work, std::string_view name, std::string_view unit);

// The labels as a new first column "index" (unless drop) over a range index.
Result<DataFrame> reset_index(const DataFrame& df, bool drop);

// Rows ordered by label with a stable sort (equal labels keep their order in
// both directions), taken like take() does.
DataFrame sort_index(const DataFrame& df, bool ascending);

// Reads every label's wall clock (whole seconds) in the current zone as a wall
// clock in tz; a wall clock that does not exist there fails. Metadata kept.
Result<DataFrame> tz_localize(const DataFrame& df, const Tz& tz);

// Same height, names in order, index kind, labels and zone, and equal columns
// (NaN equals NaN). Metadata, aliases and time-frame state are not compared.
bool frame_equals(const DataFrame& a, const DataFrame& b);

// Element-wise comparison of two frames with the same names over the same
// (or an equal) index; bool columns named like a's over a copy of its index.
Result<DataFrame> compare_frames(const DataFrame& a, const DataFrame& b, CmpOp op);
Result<DataFrame> compare_frame_scalar(const DataFrame& a, double x, CmpOp op);

}  // namespace kadmo::core
