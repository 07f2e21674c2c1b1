#include "kadmo/directive/lookback.hpp"

#include <algorithm>
#include <charconv>

namespace kadmo::directive {

std::optional<std::uint64_t> parse_usize(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
  std::uint64_t v = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || ptr != text.data() + text.size()) return std::nullopt;
  return v;
}

std::uint64_t arg(ArgList args, std::size_t i, std::uint64_t def) {
  if (i >= args.size() || !args[i]) return def;
  return parse_usize(*args[i]).value_or(def);
}

std::uint64_t ma_lookback(std::uint64_t p, std::uint64_t t) {
  switch (t) {
    case 3: return sat_mul(2, sat_sub(p, 1));
    case 4: return sat_mul(3, sat_sub(p, 1));
    case 6: return p;
    case 7: return 32;
    case 8: return sat_mul(6, sat_sub(p, 1));
    default: return sat_sub(p, 1);
  }
}

namespace {

const CommandRow* row_of(std::string_view name) {
  // `cdl` evaluates as `style`, so it shares its lookback.
  return find_command(name == "cdl" ? std::string_view("style") : name);
}

}  // namespace

std::optional<std::uint64_t> own_lookback(std::string_view name, std::optional<std::string_view> sub, ArgList args) {
  const CommandRow* row = row_of(name);
  if (!row || !row->lookback) return std::nullopt;
  return row->lookback(*row, sub, args);
}

std::uint64_t lookback(const Node& node) {
  if (auto x = node.as<Ident>()) return own_lookback(x->name, std::nullopt, {}).value_or(0);
  if (node.is<Number>()) return 0;
  if (auto x = node.as<Unary>()) return lookback(*x->operand);
  if (auto x = node.as<Binary>()) return std::max(lookback(*x->left), lookback(*x->right));
  const Command& c = *node.as<Command>();
  std::uint64_t inner = 0;
  for (const Node& s : c.series) inner = std::max(inner, lookback(s));
  std::optional<std::string_view> sub;
  if (c.sub) sub = *c.sub;
  return sat_add(inner, own_lookback(c.name, sub, c.args).value_or(0));
}

bool finite_window(std::string_view name, std::optional<std::string_view> sub, ArgList args) {
  const CommandRow* row = row_of(name);
  if (!row) return false;
  switch (row->window) {
    case Window::Finite: return true;
    case Window::Recursive:
    case Window::Positions: return false;
    case Window::FiniteIfMaTypesFinite:
      for (std::uint8_t i : row->ma_type_args) {
        std::uint64_t t = arg(args, i, row->usize_default(i).value_or(0));
        if (t != 0 && t != 2 && t != 5) return false;
      }
      return true;
  }
  return false;
}

}  // namespace kadmo::directive
