#pragma once
// Directive columns cached on a frame: lookup by name or canonical text,
// evaluation and caching, and the refresh of stale cached columns after
// rows were appended.

#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "kadmo/core/dataframe.hpp"
#include "kadmo/core/error.hpp"
#include "kadmo/directive/types.hpp"

namespace kadmo::directive {

// Which mapping the Python side applies: syntax errors of user text, or
// evaluation errors (refresh included).
struct CacheError {
  enum class Stage : std::uint8_t { Syntax, Eval } stage;
  core::KadmoError error;
};
template <class T>
using CacheResult = std::expected<T, CacheError>;

// df[key] for a text key: the name of the column to return (the key itself
// for an existing column, else the canonical text), refreshed or evaluated
// and cached as needed.
CacheResult<std::string> materialize(core::DataFrame& frame, std::string_view key);

// exec(directive, create_column).
CacheResult<core::Column> exec_directive(core::DataFrame& frame, std::string_view text, bool create_column);

// A directive evaluated over the frame without caching it (name lists).
CacheResult<core::Column> evaluate_uncached(core::DataFrame& frame, std::string_view text);

// Refresh every stale computed column, or only `name` when given.
CacheResult<void> refresh_computed(core::DataFrame& frame, std::optional<std::string_view> name);

// Whether a window of recent rows reproduces every value of the tree: each
// command in it is finite-window and each name is a column or such a command.
bool tree_finite_window(const core::DataFrame& frame, const Node& node);
bool values_are_positions(const Node& node);

}  // namespace kadmo::directive
