#pragma once
// Argument and series vocabulary of each command, read from the registry.

#include <optional>
#include <span>
#include <string_view>

#include "kadmo/directive/candle_names.hpp"
#include "kadmo/directive/registry.hpp"

namespace kadmo::directive {

struct CommandSpec {
  std::span<const ArgSpec> args;             // length = the most arguments accepted
  std::span<const std::string_view> series;  // default column per slot; later slots have none
  ResultKind result = ResultKind::Float;
  const CommandRow* row = nullptr;
  const Variant* variant = nullptr;             // nullptr for a candlestick pattern of `style`
  const CandlePatternInfo* pattern = nullptr;   // set for `style.<pattern>`
};

// Spec of a lowercase command name with a canonical sub-command; nullopt when
// the name is unknown or has no such sub-command (including a name that only
// exists with a sub-command, asked without one). `cdl` is not a name here.
std::optional<CommandSpec> command_spec(std::string_view name, std::optional<std::string_view> sub);

// Canonical sub-command: aliases replaced, aliases of the main line become
// nullopt, any other text is returned unchanged.
std::optional<std::string_view> canon_sub(std::string_view name, std::optional<std::string_view> sub);

}  // namespace kadmo::directive
