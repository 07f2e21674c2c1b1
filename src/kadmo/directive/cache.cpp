#include "kadmo/directive/cache.hpp"

#include <cmath>

#include "kadmo/compute/kernels.hpp"
#include "kadmo/directive/exec.hpp"
#include "kadmo/directive/exec_resume.hpp"
#include "kadmo/directive/lookback.hpp"
#include "kadmo/directive/parser.hpp"
#include "kadmo/directive/spec.hpp"

namespace kadmo::directive {

using core::Column;
using core::DataFrame;
using core::KadmoError;

namespace {

std::unexpected<CacheError> syntax(KadmoError e) { return std::unexpected(CacheError{CacheError::Stage::Syntax, std::move(e)}); }
std::unexpected<CacheError> eval(KadmoError e) { return std::unexpected(CacheError{CacheError::Stage::Eval, std::move(e)}); }

// Recursion guard for refreshes that refresh what they read.
constexpr int kMaxRefreshDepth = 64;

CacheResult<void> refresh_one(DataFrame& frame, const std::string& name, int depth);

// Names of columns a tree reads: identifiers and the default input columns of
// its commands.
void collect_names(const Node& node, std::vector<std::string_view>& out) {
  if (auto x = node.as<Ident>()) {
    if (!x->name.empty()) out.push_back(x->name);
    return;
  }
  if (auto x = node.as<Unary>()) return collect_names(*x->operand, out);
  if (auto x = node.as<Binary>()) {
    collect_names(*x->left, out);
    collect_names(*x->right, out);
    return;
  }
  auto c = node.as<Command>();
  if (!c) return;
  std::string_view lname = c->name == "cdl" ? std::string_view("style") : std::string_view(c->name);
  std::optional<std::string_view> sub;
  if (c->sub) sub = *c->sub;
  if (auto spec = command_spec(lname, canon_sub(lname, sub))) {
    for (std::size_t i = 0; i < spec->series.size(); ++i) {
      const bool given = i < c->series.size() && !(c->series[i].is<Ident>() && c->series[i].as<Ident>()->name.empty());
      if (!given && !spec->series[i].empty()) out.push_back(spec->series[i]);
    }
  }
  for (const Node& s : c->series) collect_names(s, out);
}

// Every stale computed column the tree reaches by name is refreshed first,
// so that an evaluation never reads a NaN-padded tail as data.
CacheResult<void> refresh_reached(DataFrame& frame, const Node& node, std::string_view self, int depth) {
  if (frame.computed().empty()) return {};
  std::vector<std::string_view> names;
  collect_names(node, names);
  for (const auto& n : names) {
    auto pos = frame.column_pos(n);
    if (!pos) continue;
    const std::string& target = frame.names()[*pos];
    if (target == self) continue;
    const core::ComputedMeta* m = frame.computed_meta(target);
    if (m && m->rows < frame.height()) {
      auto r = refresh_one(frame, target, depth + 1);
      if (!r) return r;
    }
  }
  return {};
}

// Rows before a value that the tree reads. The lookback counts NaN warm-up
// rows, which the window check can see; a cross also reads the previous row
// of its operands, and increase:p p rows, with false (not NaN) before that;
// under a comparison the NaN rows of any operand turn into false as well.
std::uint64_t history(const DataFrame& frame, const Node& node) {
  if (auto x = node.as<Unary>()) return history(frame, *x->operand);
  if (auto x = node.as<Binary>()) {
    const std::uint64_t h = std::max(history(frame, *x->left), history(frame, *x->right));
    const bool cross = x->op == BinOp::CrossUp || x->op == BinOp::CrossDown || x->op == BinOp::Cross;
    return cross ? sat_add(h, 1) : h;
  }
  if (auto x = node.as<Ident>()) {
    if (frame.has_column(x->name)) return 0;
    return sat_add(lookback(node), x->name == "increase" ? 1 : 0);
  }
  auto c = node.as<Command>();
  if (!c) return 0;
  std::uint64_t inner = 0;
  for (const Node& s : c->series) inner = std::max(inner, history(frame, s));
  std::optional<std::string_view> sub;
  if (c->sub) sub = *c->sub;
  std::uint64_t own = own_lookback(c->name, sub, c->args).value_or(0);
  if ((c->name == "apo" || c->name == "ppo") && !c->args.empty()) {
    // Their lookback counts the slow average only; a longer fast one reads more.
    std::vector<std::optional<std::string>> swapped = c->args;
    swapped.resize(std::max<std::size_t>(swapped.size(), 2));
    std::swap(swapped[0], swapped[1]);
    own = std::max(own, own_lookback(c->name, sub, swapped).value_or(0));
  }
  return sat_add(inner, sat_add(own, c->name == "increase" ? 1 : 0));
}

// The frame as an evaluation sees it while refreshing column `self`: the
// column itself is hidden, so its canonical name evaluates as a directive.
DataFrame without(const DataFrame& frame, std::string_view self) {
  auto pos = frame.column_pos(self);
  if (!pos || frame.names()[*pos] != self) return frame;
  return frame.without_column(*pos);
}

// Single-row formulas of a few price commands, straight from the columns.
std::optional<std::vector<double>> shortcut(const DataFrame& frame, std::string_view text, std::size_t r) {
  if (text.find('@') != std::string_view::npos) return std::nullopt;
  const std::size_t n = frame.height();
  auto col = [&](std::string_view nm) -> const std::vector<double>* {
    const Column* c = frame.column_ptr(nm);
    return c ? c->f64_values() : nullptr;
  };
  const auto *o = col("open"), *h = col("high"), *l = col("low"), *c = col("close");
  std::vector<double> out;
  out.reserve(n - r);
  auto need = [&](std::initializer_list<const std::vector<double>*> v) {
    for (auto* p : v)
      if (!p) return false;
    return true;
  };
  if (text == "tr") {
    if (!need({h, l, c})) return std::nullopt;
    for (std::size_t i = r; i < n; ++i) {
      if (i == 0) {
        out.push_back(core::kNaN);
        continue;
      }
      const double pc = (*c)[i - 1];
      // NaN-ignoring maximum, as the true range kernel takes it.
      out.push_back(compute::nan_max(compute::nan_max((*h)[i] - (*l)[i], std::fabs((*h)[i] - pc)),
                                     std::fabs((*l)[i] - pc)));
    }
    return out;
  }
  if (text == "medprice" || text == "typprice" || text == "wclprice") {
    if (!need({h, l}) || (text != "medprice" && !c)) return std::nullopt;
    for (std::size_t i = r; i < n; ++i) {
      if (text == "medprice") out.push_back(((*h)[i] + (*l)[i]) / 2.0);
      else if (text == "typprice") out.push_back(((*h)[i] + (*l)[i] + (*c)[i]) / 3.0);
      else out.push_back(((*h)[i] + (*l)[i] + 2.0 * (*c)[i]) * 0.25);
    }
    return out;
  }
  if (text == "avgprice") {
    if (!need({o, h, l, c})) return std::nullopt;
    for (std::size_t i = r; i < n; ++i) out.push_back(((*o)[i] + (*h)[i] + (*l)[i] + (*c)[i]) * 0.25);
    return out;
  }
  for (std::string_view cmd : {"mom", "roc", "rocp", "rocr", "rocr100"}) {
    auto p = default_period(text, cmd);
    if (!p) continue;
    // Period 0 is all NaN by evaluation; only the general path gives that.
    if (*p == 0) return std::nullopt;
    if (!c) return std::nullopt;
    for (std::size_t i = r; i < n; ++i) {
      if (i < *p) {
        out.push_back(core::kNaN);
        continue;
      }
      const double x = (*c)[i], y = (*c)[i - *p];
      double v;
      if (cmd == "mom") v = x - y;
      else if (y == 0.0) v = 0.0;
      else if (cmd == "roc") v = (x / y - 1.0) * 100.0;
      else if (cmd == "rocp") v = x / y - 1.0;
      else if (cmd == "rocr") v = x / y;
      else v = x / y * 100.0;
      out.push_back(v);
    }
    return out;
  }
  return std::nullopt;
}

KadmoError tail_dtype_error(const Column& values, std::string_view name, const Column& col) {
  return KadmoError::dtype("computed tail dtype " + std::string(core::dtype_name(values.dtype())) +
                           " does not match column \"" + std::string(name) + "\" dtype " +
                           std::string(core::dtype_name(col.dtype())));
}

CacheResult<void> write_tail(DataFrame& frame, const std::string& name, std::size_t start, const Column& values) {
  const Column* col = frame.column_ptr(name);
  if (col && col->dtype() != values.dtype()) return eval(tail_dtype_error(values, name, *col));
  auto r = frame.update_computed_tail(name, start, values);
  if (!r) return eval(r.error());
  return {};
}

CacheResult<void> refresh_one(DataFrame& frame, const std::string& name, int depth) {
  if (depth > kMaxRefreshDepth) return eval(KadmoError::value("computed columns depend on each other too deeply"));
  const core::ComputedMeta* meta = frame.computed_meta(name);
  if (!meta) return {};
  const std::size_t n = frame.height();
  const std::size_t r = static_cast<std::size_t>(std::min<std::uint64_t>(meta->rows, n));
  if (r >= n) return {};
  const std::string text = meta->directive;
  const std::uint64_t L = meta->lookback;
  const std::uint64_t origin = meta->origin;
  const bool has_state = meta->state.has_value();

  if (auto values = shortcut(frame, text, r)) {
    const Column* col = frame.column_ptr(name);
    if (r + 1 == n && col && col->dtype() != core::DType::Float64)
      return eval(KadmoError::dtype("computed scalar dtype F64 does not match column \"" + name + "\" dtype " +
                                    std::string(core::dtype_name(col->dtype()))));
    return write_tail(frame, name, r, Column::f64(std::move(*values)));
  }

  auto parsed = parse_shared(text);
  if (!parsed) return eval(parsed.error());
  const Node& tree = (*parsed)->node;
  if (auto rr = refresh_reached(frame, tree, name, depth); !rr) return rr;

  // Incremental: continue the saved indicator state over the new rows.
  // Refreshing what the tree reads never erases entries, but look again.
  meta = frame.computed_meta(name);
  if (has_state && meta && meta->state && r > 0) {
    if (auto resumed = execute_resume(frame, tree, *meta->state, r, origin)) {
      auto w = write_tail(frame, name, r, resumed->first);
      if (!w) return w;
      frame.set_computed_state(name, std::move(resumed->second));
      return {};
    }
  }

  const DataFrame evalf = without(frame, name);
  std::optional<Column> tail;
  // Window: only when every value of the tree depends on recent rows alone,
  // and long enough that row r - 1, the one compared, has all it reads.
  const std::uint64_t span = std::max(sat_mul(2, L), sat_add(history(evalf, tree), 1));
  if (r > 0 && span < r && tree_finite_window(evalf, tree)) {
    const std::size_t s = r - static_cast<std::size_t>(span);
    DataFrame window = evalf.slice(s, n);
    auto res = execute(window, tree);
    if (!res) return eval(res.error());
    const Column* old = frame.column_ptr(name);
    const std::size_t at = r - 1 - s;
    double nv = res->to_f64_vec()[at];
    double ov = old ? old->slice(r - 1, r).to_f64_vec()[0] : core::kNaN;
    if (std::isfinite(nv) && std::fabs(nv - ov) <= std::max(std::fabs(ov), 1.0) * 1e-9)
      tail = res->slice(r - s, n - s);
  }
  std::optional<ResumeState> new_state;
  bool have_state = false;
  std::size_t from = r;
  if (!tail) {
    // Row positions computed over a frame cut from the front are numbered
    // from its new first row: rewrite the whole column in that numbering
    // rather than mixing two numberings in one column.
    if (origin != 0 && values_are_positions(tree)) from = 0;
    if (auto both = execute_with_state(evalf, tree)) {
      tail = both->first.slice(from, n);
      new_state = std::move(both->second);
      have_state = true;
    } else {
      auto res = execute(evalf, tree);
      if (!res) return eval(res.error());
      tail = res->slice(from, n);
    }
  }
  auto w = write_tail(frame, name, from, *tail);
  if (!w) return w;
  if (from == 0 && origin != 0) frame.computed_meta_mut(name)->origin = 0;
  frame.set_computed_state(name, have_state ? std::move(new_state) : initial_state(evalf, tree));
  return {};
}

CacheResult<Column> evaluate_and_cache(DataFrame& frame, const ParsedDirective& p) {
  if (auto rr = refresh_reached(frame, p.node, {}, 0); !rr) return std::unexpected(rr.error());
  std::optional<ResumeState> state;
  Column result;
  if (auto both = execute_with_state(frame, p.node)) {
    result = std::move(both->first);
    state = std::move(both->second);
  } else {
    auto res = execute(frame, p.node);
    if (!res) return eval(res.error());
    result = std::move(*res);
    state = initial_state(frame, p.node);
  }
  auto set = frame.set_column(p.canonical, result);
  if (!set) return eval(set.error());
  frame.set_computed(p.canonical, p.canonical, lookback(p.node));
  if (state) frame.set_computed_state(p.canonical, std::move(*state));
  return result;
}

// Refresh `name` when it is a stale computed column.
CacheResult<void> refresh_if_stale(DataFrame& frame, std::string_view resolved) {
  const core::ComputedMeta* m = frame.computed_meta(resolved);
  if (m && m->rows < frame.height()) return refresh_one(frame, std::string(resolved), 0);
  return {};
}

}  // namespace

// Whether the directive's own values are row positions (maxindex and kin).
bool values_are_positions(const Node& node) {
  auto view = as_command(node);
  if (!view) return false;
  const CommandRow* row = find_command(view->name);
  return row && row->window == Window::Positions;
}

bool tree_finite_window(const DataFrame& frame, const Node& node) {
  if (node.is<Number>()) return true;
  if (auto x = node.as<Ident>()) return frame.has_column(x->name) || finite_window(x->name, std::nullopt, {});
  if (auto x = node.as<Unary>()) return tree_finite_window(frame, *x->operand);
  if (auto x = node.as<Binary>()) return tree_finite_window(frame, *x->left) && tree_finite_window(frame, *x->right);
  const Command& c = *node.as<Command>();
  std::optional<std::string_view> sub;
  if (c.sub) sub = *c.sub;
  if (!finite_window(c.name, sub, c.args)) return false;
  for (const Node& s : c.series)
    if (!tree_finite_window(frame, s)) return false;
  return true;
}

CacheResult<std::string> materialize(DataFrame& frame, std::string_view key) {
  if (auto pos = frame.column_pos(key)) {
    const std::string target = frame.names()[*pos];
    if (auto r = refresh_if_stale(frame, target); !r) return std::unexpected(r.error());
    return std::string(key);
  }
  auto parsed = parse_shared(key);
  if (!parsed) return syntax(parsed.error());
  const ParsedDirective& p = **parsed;
  if (frame.column_pos(p.canonical)) {
    if (auto r = refresh_if_stale(frame, frame.names()[*frame.column_pos(p.canonical)]); !r)
      return std::unexpected(r.error());
    return p.canonical;
  }
  auto res = evaluate_and_cache(frame, p);
  if (!res) return std::unexpected(res.error());
  return p.canonical;
}

CacheResult<Column> exec_directive(DataFrame& frame, std::string_view text, bool create_column) {
  if (auto pos = frame.column_pos(text)) {
    // A stale cached column is brought up to date before it is handed out.
    const std::string target = frame.names()[*pos];
    if (auto r = refresh_if_stale(frame, target); !r) return std::unexpected(r.error());
    return frame.column_at(*frame.column_pos(text));
  }
  auto parsed = parse_shared(text);
  if (!parsed) return syntax(parsed.error());
  const ParsedDirective& p = **parsed;
  if (create_column) {
    if (auto pos = frame.column_pos(p.canonical)) {
      const std::string target = frame.names()[*pos];
      if (auto r = refresh_if_stale(frame, target); !r) return std::unexpected(r.error());
      return frame.column_at(*frame.column_pos(p.canonical));
    }
    return evaluate_and_cache(frame, p);
  }
  if (auto rr = refresh_reached(frame, p.node, {}, 0); !rr) return std::unexpected(rr.error());
  auto res = execute(frame, p.node);
  if (!res) return eval(res.error());
  return std::move(*res);
}

CacheResult<Column> evaluate_uncached(DataFrame& frame, std::string_view text) {
  auto parsed = parse_shared(text);
  if (!parsed) return syntax(parsed.error());
  if (auto rr = refresh_reached(frame, (*parsed)->node, {}, 0); !rr) return std::unexpected(rr.error());
  auto res = execute(frame, (*parsed)->node);
  if (!res) return eval(res.error());
  return std::move(*res);
}

CacheResult<void> refresh_computed(DataFrame& frame, std::optional<std::string_view> name) {
  std::vector<std::string> todo;
  if (name) {
    const core::ComputedMeta* m = frame.computed_meta(*name);
    if (m && m->rows < frame.height()) todo.emplace_back(*name);
  } else {
    for (const auto& [n, m] : frame.computed())
      if (m.rows < frame.height()) todo.push_back(n);
  }
  for (const auto& n : todo) {
    auto r = refresh_one(frame, n, 0);
    if (!r) return r;
  }
  return {};
}

}  // namespace kadmo::directive
