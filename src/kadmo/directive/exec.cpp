#include "kadmo/directive/exec.hpp"

#include "kadmo/core/memory.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "kadmo/compute/indicators/hilbert.hpp"
#include "kadmo/compute/indicators/trend.hpp"
#include "kadmo/compute/kernels.hpp"
#include "kadmo/directive/lookback.hpp"

namespace kadmo::directive {

using core::Column;
using core::DataFrame;
using core::KadmoError;
using core::Result;
using core::fail;

namespace {

std::string lower_ascii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string q(std::string_view s) { return core::quoted(s); }

std::string_view slot_text(ArgList args, std::size_t i) { return *args[i]; }
bool slot_absent(ArgList args, std::size_t i) { return i >= args.size() || !args[i] || args[i]->empty(); }

KadmoError missing(std::size_t i) { return KadmoError::value("missing required argument #" + std::to_string(i)); }
KadmoError not_integer(std::string_view t) { return KadmoError::value("expected an integer, got '" + std::string(t) + "'"); }

// ---- element-wise operators ----

Result<Column> unary_op(const DataFrame& frame, const Unary& u) {
  auto v = execute(frame, *u.operand);
  if (!v) return v;
  const Column f = as_f64(*v);
  const std::vector<double>& x = *f.f64_values();
  if (u.op == UnOp::Neg) {
    std::vector<double> out(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) out[i] = -x[i];
    return Column::f64(std::move(out));
  }
  std::vector<std::uint8_t> out(x.size());
  for (std::size_t i = 0; i < x.size(); ++i) out[i] = x[i] == 0.0;
  return Column::boolean(std::move(out));
}

// Element-wise loops over restrict pointers: a byte-sized output may alias
// anything, which would otherwise keep the compiler from vectorising.
template <class F>
Column float_op(const std::vector<double>& a, const std::vector<double>& b, F f) {
  const std::size_t n = a.size();
  std::vector<double> out = core::vector_with_capacity<double>(n);
  out.resize(n);
  const double* __restrict pa = a.data();
  const double* __restrict pb = b.data();
  double* __restrict po = out.data();
  for (std::size_t i = 0; i < n; ++i) po[i] = f(pa[i], pb[i]);
  return Column::f64(std::move(out));
}

template <class F>
Column cmp_op(const std::vector<double>& a, const std::vector<double>& b, F f) {
  const std::size_t n = a.size();
  std::vector<std::uint8_t> out(n);
  const double* __restrict pa = a.data();
  const double* __restrict pb = b.data();
  std::uint8_t* __restrict po = out.data();
  for (std::size_t i = 0; i < n; ++i) po[i] = f(pa[i], pb[i]);
  return Column::boolean(std::move(out));
}

// Crossings compare two consecutive rows; any NaN among the four values makes
// every comparison false, so such rows never cross.
Column cross_op(const std::vector<double>& l, const std::vector<double>& r, bool up, bool down) {
  std::vector<std::uint8_t> out(l.size(), 0);
  for (std::size_t i = 1; i < l.size(); ++i) {
    const bool u = l[i - 1] <= r[i - 1] && l[i] > r[i];
    const bool d = l[i - 1] >= r[i - 1] && l[i] < r[i];
    out[i] = (up && u) || (down && d);
  }
  return Column::boolean(std::move(out));
}

Result<Column> binary_op(const DataFrame& frame, const Binary& b) {
  auto lv = execute(frame, *b.left);
  if (!lv) return lv;
  auto rv = execute(frame, *b.right);
  if (!rv) return rv;
  if (lv->len() != rv->len())
    return fail(KadmoError::value("operands of '" + std::string(op_text(b.op)) + "' differ in length"));
  switch (b.op) {
    case BinOp::And: case BinOp::Or: case BinOp::Xor: {
      const Column lc = as_bool(*lv), rc = as_bool(*rv);
      const auto& l = *lc.bool_values();
      const auto& r = *rc.bool_values();
      std::vector<std::uint8_t> out(l.size());
      for (std::size_t i = 0; i < l.size(); ++i) {
        const bool x = l[i] != 0, y = r[i] != 0;
        out[i] = b.op == BinOp::And ? (x && y) : b.op == BinOp::Or ? (x || y) : (x != y);
      }
      return Column::boolean(std::move(out));
    }
    default: break;
  }
  const Column lc = as_f64(*lv), rc = as_f64(*rv);
  const auto& l = *lc.f64_values();
  const auto& r = *rc.f64_values();
  switch (b.op) {
    case BinOp::Add: return float_op(l, r, [](double x, double y) { return x + y; });
    case BinOp::Sub: return float_op(l, r, [](double x, double y) { return x - y; });
    case BinOp::Mul: return float_op(l, r, [](double x, double y) { return x * y; });
    case BinOp::Div: return float_op(l, r, [](double x, double y) { return x / y; });
    case BinOp::Lt: return cmp_op(l, r, [](double x, double y) { return x < y; });
    case BinOp::Le: return cmp_op(l, r, [](double x, double y) { return x <= y; });
    case BinOp::Eq: return cmp_op(l, r, [](double x, double y) { return x == y; });
    case BinOp::Ne: return cmp_op(l, r, [](double x, double y) { return x != y; });
    case BinOp::Ge: return cmp_op(l, r, [](double x, double y) { return x >= y; });
    case BinOp::Gt: return cmp_op(l, r, [](double x, double y) { return x > y; });
    case BinOp::CrossUp: return cross_op(l, r, true, false);
    case BinOp::CrossDown: return cross_op(l, r, false, true);
    case BinOp::Cross: return cross_op(l, r, true, true);
    default: break;
  }
  return fail(KadmoError::value("unsupported operator"));
}

}  // namespace

// ---- inputs ----

std::span<const double> CommandInput::in(std::size_t i) const {
  const std::span<const double> all = *inputs[i].f64_values();
  return all.size() <= limit ? all : all.first(limit);
}

Column as_f64(const Column& c) {
  if (c.f64_values()) return c;
  return Column::f64(c.to_f64_vec());
}

Column as_bool(const Column& c) {
  if (c.bool_values()) return c;
  std::vector<std::uint8_t> out(c.len());
  if (const auto* f = c.f64_values()) {
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = (*f)[i] != 0.0;
  } else {
    const std::vector<double> f2 = c.to_f64_vec();
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = f2[i] != 0.0;
  }
  return Column::boolean(std::move(out));
}

Result<Column> series_f64(const DataFrame& frame, std::span<const Node> series, std::size_t slot,
                          std::string_view default_name) {
  if (slot < series.size()) {
    const Node& n = series[slot];
    const Ident* id = n.as<Ident>();
    if (!id || !id->name.empty()) {
      auto v = execute(frame, n);
      if (!v) return v;
      return as_f64(*v);
    }
  }
  const Column* c = frame.column_ptr(default_name);
  if (!c) return fail(KadmoError::column_not_found(std::string(default_name)));
  return as_f64(*c);
}

Result<Column> series_f64_required(const DataFrame& frame, std::span<const Node> series) {
  if (series.size() < 2) return fail(KadmoError::value("series argument #1 is required"));
  if (const Ident* id = series[1].as<Ident>(); id && id->name.empty())
    return fail(KadmoError::value("series argument #1 is required"));
  auto v = execute(frame, series[1]);
  if (!v) return v;
  return as_f64(*v);
}

Result<Column> series_bool(const DataFrame& frame, std::span<const Node> series) {
  if (series.empty()) return fail(KadmoError::value("a boolean series argument is required"));
  auto v = execute(frame, series[0]);
  if (!v) return v;
  return as_bool(*v);
}

// ---- argument readers ----

Result<std::uint64_t> arg_usize(ArgList args, std::size_t i, std::optional<std::uint64_t> def) {
  if (slot_absent(args, i)) {
    if (def) return *def;
    return fail(missing(i));
  }
  const std::string_view t = slot_text(args, i);
  if (auto v = parse_usize(t)) return *v;
  return fail(not_integer(t));
}

Result<std::int64_t> arg_i64(ArgList args, std::size_t i, std::optional<std::int64_t> def) {
  if (slot_absent(args, i)) {
    if (def) return *def;
    return fail(missing(i));
  }
  const std::string_view t = slot_text(args, i);
  // from_chars takes a '-' but not a '+'.
  const std::string_view num = t.front() == '+' ? t.substr(1) : t;
  const std::string_view digits = !num.empty() && num.front() == '-' && t.front() != '+' ? num.substr(1) : num;
  if (digits.empty() || digits.front() < '0' || digits.front() > '9') return fail(not_integer(t));
  std::int64_t v = 0;
  auto [ptr, ec] = std::from_chars(num.data(), num.data() + num.size(), v);
  if (ec != std::errc() || ptr != num.data() + num.size()) return fail(not_integer(t));
  return v;
}

Result<double> arg_f64(ArgList args, std::size_t i, std::optional<double> def) {
  if (slot_absent(args, i)) {
    if (def) return *def;
    return fail(missing(i));
  }
  const std::string_view t = slot_text(args, i);
  auto bad = [&] { return fail(KadmoError::value("expected a number, got '" + std::string(t) + "'")); };
  std::string_view body = t;
  double sign = 1.0;
  if (!body.empty() && (body.front() == '+' || body.front() == '-')) {
    if (body.front() == '-') sign = -1.0;
    body.remove_prefix(1);
  }
  if (body.empty()) return bad();
  std::string low = lower_ascii(body);
  if (low == "inf" || low == "infinity") return sign * std::numeric_limits<double>::infinity();
  if (low == "nan") return std::copysign(std::numeric_limits<double>::quiet_NaN(), sign);
  // Digits with an optional fraction and exponent; from_chars alone would
  // also take the words above in forms the reader does not accept.
  const char c0 = body.front();
  if (!((c0 >= '0' && c0 <= '9') || c0 == '.')) return bad();
  double v = 0.0;
  auto [ptr, ec] = std::from_chars(body.data(), body.data() + body.size(), v, std::chars_format::general);
  if (ptr != body.data() + body.size()) return bad();
  // Out of range: an overflow reads as the infinity it rounds to, an
  // underflow (a negative exponent) as zero.
  if (ec == std::errc::result_out_of_range) {
    const bool under = body.find("e-") != std::string_view::npos || body.find("E-") != std::string_view::npos;
    return sign * (under ? 0.0 : std::numeric_limits<double>::infinity());
  }
  if (ec != std::errc()) return bad();
  return sign * v;
}

// ---- moving averages ----

std::size_t window_period(std::uint64_t p, std::size_t len) {
  return p > len ? len + 1 : static_cast<std::size_t>(p);
}

KadmoError unknown_ma_type(std::string_view code) {
  return KadmoError::value("unknown ma type " + std::string(code));
}

Result<void> check_ma_type(std::uint64_t t) {
  if (t > 8) return fail(unknown_ma_type(std::to_string(t)));
  return {};
}

Result<std::vector<double>> ma_typed(std::span<const double> values, std::uint64_t period, std::int64_t ma_type) {
  if (ma_type < 0) return fail(unknown_ma_type(std::to_string(ma_type)));
  if (auto ok = check_ma_type(static_cast<std::uint64_t>(ma_type)); !ok) return fail(ok.error());
  // MAMA adapts its own speed: the period plays no part, not even a 0.
  if (ma_type == 7) return compute::mama_line(values, false, 0.5, 0.05);
  // Any period beyond the data gives what one row beyond it gives (all NaN),
  // without sizing anything by the absurd value.
  const std::size_t n = window_period(period, values.size());
  if (n == 0) return compute::nan_series(values.size());
  switch (ma_type) {
    case 0: return compute::sma(compute::View(values), n);
    case 1: return compute::sma_seeded(compute::View(values), n, compute::StepRule::exponential_period(n));
    case 2: return compute::wma(values, n);
    case 3: return compute::dema(values, n);
    case 4: return compute::tema(values, n);
    case 5: return compute::trima(values, n);
    case 6: return compute::kama(values, n);
    default: return compute::t3(values, n, 0.7);
  }
}

// ---- hv bar frame ----

Result<std::int64_t> bar_minutes(std::string_view text) {
  const std::string shown(text);
  auto is_space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; };
  while (!text.empty() && is_space(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_space(text.back())) text.remove_suffix(1);
  auto invalid = [&] { return fail(KadmoError::value("invalid time frame '" + shown + "'")); };
  if (text.size() < 2) return invalid();
  const char unit = text.back();
  std::string_view num = text.substr(0, text.size() - 1);
  if (num.front() == '+') num.remove_prefix(1);
  std::int64_t count = 0;
  if (num.empty() || num.front() == '+') return invalid();
  auto [ptr, ec] = std::from_chars(num.data(), num.data() + num.size(), count);
  if (ec != std::errc() || ptr != num.data() + num.size()) return invalid();
  std::int64_t mult = 0;
  switch (unit) {
    case 'm': mult = 1; break;
    case 'h': mult = 60; break;
    case 'd': mult = 1440; break;
    case 'W': mult = 10080; break;
    case 'M': mult = 43200; break;
    case 'Y': mult = 525600; break;
    case 's': mult = 0; break;
    default: return fail(KadmoError::value("invalid time frame unit in '" + shown + "'"));
  }
  // A bar of zero or negative length would scale the volatility by an
  // infinity or a NaN; it is a bad frame, not a result.
  if (count <= 0) return invalid();
  if (mult == 0) return std::max<std::int64_t>(count / 60, 1);
  if (count > std::numeric_limits<std::int64_t>::max() / mult) return invalid();
  return count * mult;
}

// ---- evaluation ----

const EvalHook* eval_hook(const CommandSpec& spec) {
  if (spec.variant) return spec.variant->eval;
  if (spec.pattern && spec.row) return spec.row->pattern_eval;
  return nullptr;
}

Result<CommandInput> prepare_command(const DataFrame& frame, std::string_view name_in,
                                     std::optional<std::string_view> sub, ArgList args, std::span<const Node> series) {
  std::string name = lower_ascii(name_in);
  if (name == "cdl") name = "style";
  const std::optional<std::string_view> csub = canon_sub(name, sub);
  std::optional<CommandSpec> spec = command_spec(name, csub);
  if (!spec) {
    if (find_command(name)) {
      if (!sub) return fail(KadmoError::value("command " + q(name) + " requires a sub-command"));
      return fail(KadmoError::value("command " + q(name) + " has no sub-command " + q(*sub)));
    }
    return fail(KadmoError::value("unknown command " + q(name)));
  }
  if (args.size() > spec->args.size())
    return fail(KadmoError::value("command " + q(name) + " accepts at most " + std::to_string(spec->args.size()) +
                                  " argument(s), got " + std::to_string(args.size())));

  const EvalHook* hook = eval_hook(*spec);
  if (!hook) return fail(KadmoError::value("command " + q(name) + " has no evaluator"));

  CommandInput in;
  in.frame = &frame;
  in.name = std::move(name);
  in.sub = csub;
  in.spec = *spec;
  in.args = args;
  in.series = series;

  if (hook->series == SeriesRule::Bool) {
    auto b = series_bool(frame, series);
    if (!b) return fail(b.error());
    in.inputs.push_back(std::move(*b));
  } else {
    for (std::size_t i = 0; i < spec->series.size(); ++i) {
      auto c = series_f64(frame, series, i, spec->series[i]);
      if (!c) return fail(c.error());
      in.inputs.push_back(std::move(*c));
    }
    if (hook->series == SeriesRule::PlusRequired) {
      auto c = series_f64_required(frame, series);
      if (!c) return fail(c.error());
      in.inputs.push_back(std::move(*c));
    }
  }

  if (!hook->own_args) {
    in.values.resize(spec->args.size());
    for (std::size_t i = 0; i < spec->args.size(); ++i) {
      const ArgSpec& a = spec->args[i];
      ArgValue& v = in.values[i];
      switch (a.kind) {
        case ArgKind::Required:
        case ArgKind::Usize: {
          auto r = arg_usize(args, i, a.kind == ArgKind::Usize ? std::optional(a.u) : std::nullopt);
          if (!r) return fail(r.error());
          v.u = *r;
          break;
        }
        case ArgKind::F64: {
          auto r = arg_f64(args, i, a.f);
          if (!r) return fail(r.error());
          v.f = *r;
          break;
        }
        case ArgKind::I64: {
          auto r = arg_i64(args, i, a.i);
          if (!r) return fail(r.error());
          v.i = *r;
          break;
        }
        case ArgKind::Text:
          v.text = slot_absent(args, i) ? a.text : slot_text(args, i);
          break;
      }
    }
  }
  return in;
}

Result<Column> exec_command(const DataFrame& frame, std::string_view name, std::optional<std::string_view> sub,
                            ArgList args, std::span<const Node> series) {
  auto in = prepare_command(frame, name, sub, args, series);
  if (!in) return fail(in.error());
  return eval_hook(in->spec)->run(*in);
}

Result<Column> execute(const DataFrame& frame, const Node& node) {
  if (const Ident* id = node.as<Ident>()) {
    if (id->name.empty()) return fail(KadmoError::value("empty column / command name"));
    if (const Column* c = frame.column_ptr(id->name)) return *c;
    return exec_command(frame, id->name, std::nullopt, {}, {});
  }
  if (const Number* n = node.as<Number>()) return Column::f64(std::vector<double>(frame.height(), n->value));
  if (const Command* c = node.as<Command>()) {
    std::optional<std::string_view> sub;
    if (c->sub) sub = *c->sub;
    return exec_command(frame, c->name, sub, c->args, c->series);
  }
  if (const Unary* u = node.as<Unary>()) return unary_op(frame, *u);
  return binary_op(frame, *node.as<Binary>());
}

}  // namespace kadmo::directive
