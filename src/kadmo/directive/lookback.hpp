#pragma once
// Number of prior rows a directive needs before its first non-NaN value,
// computed from the tree alone. All arithmetic saturates at the 64-bit
// maximum: periods come straight from user text.

#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

#include "kadmo/directive/registry.hpp"
#include "kadmo/directive/types.hpp"

namespace kadmo::directive {

inline constexpr std::uint64_t kSatMax = std::numeric_limits<std::uint64_t>::max();

constexpr std::uint64_t sat_add(std::uint64_t a, std::uint64_t b) { return a > kSatMax - b ? kSatMax : a + b; }
constexpr std::uint64_t sat_mul(std::uint64_t a, std::uint64_t b) {
  return (a != 0 && b > kSatMax / a) ? kSatMax : a * b;
}
// Subtraction floored at 0 (a period of 0 gives a lookback of 0, never a wrap).
constexpr std::uint64_t sat_sub(std::uint64_t a, std::uint64_t b) { return a > b ? a - b : 0; }

// Argument slot i read as an unsigned integer (optional '+', digits, 64-bit
// range); an absent slot or unparsable text gives `def`.
std::uint64_t arg(ArgList args, std::size_t i, std::uint64_t def);
// Strict reader behind `arg`: nullopt when the text is not an unsigned integer.
std::optional<std::uint64_t> parse_usize(std::string_view text);

// Lookback of a moving average of type t with period p.
std::uint64_t ma_lookback(std::uint64_t p, std::uint64_t t);

std::uint64_t lookback(const Node& node);
// Lookback of one command on its own; nullopt for a name it does not know.
// `cdl` is read as `style`.
std::optional<std::uint64_t> own_lookback(std::string_view name, std::optional<std::string_view> sub, ArgList args);

// Whether a window of the last lookback+1 rows reproduces the command's value
// (see Window); false for unknown names.
bool finite_window(std::string_view name, std::optional<std::string_view> sub, ArgList args);

}  // namespace kadmo::directive
