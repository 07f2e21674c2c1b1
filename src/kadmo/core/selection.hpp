#pragma once
// Row and column selections of a frame: positions from the indexer keys and
// the gathered results. Every result owns its values or shares storage that
// writers copy first, so later writes to the frame never reach it.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "kadmo/core/dataframe.hpp"

namespace kadmo::core {

// A position that counts from the end when negative; none outside [0, n).
std::optional<std::size_t> normalize_position(std::int64_t i, std::size_t n);

// The positions holding true, in order.
std::vector<std::size_t> mask_positions(std::span<const std::uint8_t> mask);

// Column positions from start to stop, both inclusive; an absent end is the
// first or last column. Empty when start comes after stop or width is 0.
std::vector<std::size_t> inclusive_positions(std::optional<std::size_t> start, std::optional<std::size_t> stop,
                                             std::size_t width);

// Whether rows is exactly 0..n-1.
bool is_all_rows(std::span<const std::size_t> rows, std::size_t n);

// The values of one column at rows. All rows in order share the storage (a
// writer copies it first); anything else gathers a copy.
Column take_rows(const Column& c, std::span<const std::size_t> rows);

// The index of the selected rows; all rows in order keep the very index, so
// the result lines up with the frame's own columns.
std::shared_ptr<Index> take_index(const std::shared_ptr<Index>& idx, std::span<const std::size_t> rows);

// A plain frame of the columns at positions cols, named names (same length),
// at the given rows. Aliases are kept, computed metadata is not.
Result<DataFrame> project(const DataFrame& df, std::span<const std::size_t> cols,
                          std::span<const std::string> names, std::span<const std::size_t> rows);

}  // namespace kadmo::core
