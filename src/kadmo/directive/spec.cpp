#include "kadmo/directive/spec.hpp"

#include <array>

namespace kadmo::directive {

namespace {

constexpr std::array<std::string_view, 4> kOHLC{"open", "high", "low", "close"};

// One argument list per distinct default penetration in the pattern table.
constexpr std::array kPen03{ArgSpec{ArgKind::F64, "penetration", "0.3", 0, 0.3}};
constexpr std::array kPen05{ArgSpec{ArgKind::F64, "penetration", "0.5", 0, 0.5}};
constexpr std::array<ArgSpec, 0> kNoArgs{};

std::span<const ArgSpec> penetration_args(const CandlePatternInfo& p) {
  if (!p.has_penetration) return kNoArgs;
  if (p.penetration_text == "0.3") return kPen03;
  return kPen05;
}

}  // namespace

std::optional<CommandSpec> command_spec(std::string_view name, std::optional<std::string_view> sub) {
  const CommandRow* row = find_command(name);
  if (!row) return std::nullopt;
  if (const Variant* v = row->variant(sub)) return CommandSpec{v->args, v->series, v->result, row, v, nullptr};
  if (row->pattern_subs && sub) {
    if (const CandlePatternInfo* p = candle_pattern_info(*sub))
      return CommandSpec{penetration_args(*p), kOHLC, ResultKind::Float, row, nullptr, p};
  }
  return std::nullopt;
}

std::optional<std::string_view> canon_sub(std::string_view name, std::optional<std::string_view> sub) {
  if (!sub) return std::nullopt;
  if (const CommandRow* row = find_command(name)) {
    for (const Alias& a : row->aliases)
      if (a.written == *sub) return a.canonical;
  }
  return sub;
}

}  // namespace kadmo::directive
