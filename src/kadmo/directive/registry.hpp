#pragma once
// The command registry: one row per command name of the directive language.
// spec, stringify and lookback (and later the evaluator and the incremental
// evaluator) read these rows and keep no tables of their own, so a command
// cannot be known to one of them and missing from another.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kadmo::directive {

using ArgList = std::span<const std::optional<std::string>>;

enum class ArgKind : std::uint8_t { Required, Usize, F64, I64, Text };

struct ArgSpec {
  ArgKind kind;
  std::string_view name;
  // Canonical text of the default (what a written argument is compared with
  // when canonical names drop defaults); empty for Required.
  std::string_view text;
  std::uint64_t u = 0;
  double f = 0.0;
  std::int64_t i = 0;

  constexpr bool has_default() const { return kind != ArgKind::Required; }
};

enum class ResultKind : std::uint8_t { Float, Bool };

// Filled in by the evaluator and the incremental evaluator; declared here so
// each variant row can point at its hooks.
struct EvalHook;
struct ResumeHook;

// One (command, canonical sub-command) pair.
struct Variant {
  std::optional<std::string_view> sub;  // nullopt: the main line
  std::span<const ArgSpec> args;
  std::span<const std::string_view> series;  // default column of each slot
  ResultKind result = ResultKind::Float;
  const EvalHook* eval = nullptr;
  const ResumeHook* resume = nullptr;
};

struct Alias {
  std::string_view written;
  std::optional<std::string_view> canonical;  // nullopt: the main line
};

// Whether a value at row i depends only on rows i-lookback..i of the inputs,
// so that a window of the recent rows reproduces it.
enum class Window : std::uint8_t {
  Recursive,
  Finite,
  FiniteIfMaTypesFinite,  // finite when every ma_type argument is sma, wma or trima
  // Values are row positions: neither a window nor a re-evaluation of a frame
  // cut from the front reproduces their numbering.
  Positions,
};

struct CommandRow;
// Lookback of the command on its own; the sub-command is the one written.
using LookbackRule = std::uint64_t (*)(const CommandRow& row, std::optional<std::string_view> sub, ArgList args);

struct CommandRow {
  std::string_view name;
  std::span<const Variant> variants;
  std::span<const Alias> aliases;
  LookbackRule lookback;
  Window window;
  std::span<const std::uint8_t> ma_type_args;  // argument slots holding ma_type codes
  bool pattern_subs = false;  // any candlestick pattern name is also a sub-command
  const EvalHook* pattern_eval = nullptr;  // evaluator of those pattern sub-commands

  const Variant* variant(std::optional<std::string_view> sub) const;
  // Default of argument slot i as an unsigned count, from the first variant
  // that has slot i with a Usize default; nullopt otherwise.
  std::optional<std::uint64_t> usize_default(std::size_t i) const;
};

std::span<const CommandRow> command_rows();
// Exact (case-sensitive) name lookup; nullptr for unknown names.
const CommandRow* find_command(std::string_view name);

}  // namespace kadmo::directive
