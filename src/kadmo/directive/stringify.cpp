#include "kadmo/directive/stringify.hpp"

#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>
#include <vector>

#include "kadmo/directive/spec.hpp"

namespace kadmo::directive {

namespace {

void append_number(std::string& out, double v) {
  char buf[400];  // the longest fixed-notation double is ~330 characters
  std::to_chars_result r;
  if (std::isfinite(v) && std::trunc(v) == v && v >= -9223372036854775808.0 && v < 9223372036854775808.0) {
    // Keep the sign of -0: `x/-0` and `x/0` differ, so their keys must too.
    if (v == 0.0 && std::signbit(v)) {
      out += "-0";
      return;
    }
    r = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(v));
  } else {
    // Integral values beyond the 64-bit range are written in full rather than
    // saturated, so that distinct numbers keep distinct canonical texts.
    r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
  }
  out.append(buf, r.ptr);
}

struct CommandParts {
  std::optional<std::string_view> sub;
  std::optional<CommandSpec> spec;
};

bool arg_item_empty(const Command& c, const CommandParts& p, std::size_t i) {
  const auto& a = c.args[i];
  if (!a) return true;
  if (p.spec && i < p.spec->args.size()) {
    const ArgSpec& s = p.spec->args[i];
    return s.has_default() && *a == s.text;
  }
  return false;
}

void write(std::string& out, const Node& n, bool followed);

bool is_bare_name(std::string_view t) {
  if (t.empty() || (t[0] >= '0' && t[0] <= '9')) return false;
  for (char ch : t)
    if (!((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '_')) return false;
  return true;
}

// Returns whether the text ends with an argument text. Such a text must not be
// followed directly by an operator: argument texts run on until whitespace,
// ',', ')' or '@', so `ma:5>close` would read back as one argument "5>close".
bool write_command(std::string& out, const Command& c) {
  CommandParts p;
  std::optional<std::string_view> written;
  if (c.sub) written = *c.sub;
  p.sub = canon_sub(c.name, written);
  p.spec = command_spec(c.name, p.sub);
  out += c.name;
  if (p.sub) {
    out += '.';
    out += *p.sub;
  }
  std::size_t nargs = c.args.size();
  while (nargs > 0 && arg_item_empty(c, p, nargs - 1)) --nargs;
  if (nargs > 0) {
    out += ':';
    for (std::size_t i = 0; i < nargs; ++i) {
      if (i) out += ',';
      if (!arg_item_empty(c, p, i)) out += *c.args[i];
    }
  }
  if (c.series.empty()) return nargs > 0;
  // A command item whose text is a bare name reads back as an identifier, so
  // it is written (and dropped as a default) like one.
  std::string items[8];
  std::vector<std::string> more;
  auto item = [&](std::size_t j) -> std::string& { return j < 8 ? items[j] : more[j - 8]; };
  if (c.series.size() > 8) more.resize(c.series.size() - 8);
  std::size_t nseries = 0;
  for (std::size_t j = 0; j < c.series.size(); ++j) {
    const Node& s = c.series[j];
    std::string& it = item(j);
    if (const Ident* id = s.as<Ident>()) {
      it = id->name;
    } else {
      write(it, s, false);
      if (!(s.is<Command>() && is_bare_name(it))) it = "(" + it + ")";
    }
    if (p.spec && j < p.spec->series.size() && it == p.spec->series[j]) it.clear();
    if (!it.empty()) nseries = j + 1;
  }
  if (nseries == 0) return nargs > 0;
  out += '@';
  for (std::size_t j = 0; j < nseries; ++j) {
    if (j) out += ',';
    out += item(j);
  }
  return false;
}

// `followed`: an operator comes right after this node's text; a command that
// ends with arguments is then put in parentheses.
void write(std::string& out, const Node& n, bool followed) {
  if (const Ident* x = n.as<Ident>()) {
    out += x->name;
  } else if (const Number* x = n.as<Number>()) {
    append_number(out, x->value);
  } else if (const Command* x = n.as<Command>()) {
    if (!followed) {
      write_command(out, *x);
      return;
    }
    std::size_t start = out.size();
    if (write_command(out, *x)) {
      out.insert(out.begin() + static_cast<std::ptrdiff_t>(start), '(');
      out += ')';
    }
  } else if (const Unary* x = n.as<Unary>()) {
    out += op_text(x->op);
    const Node& o = *x->operand;
    // `-` before a digit or '.' would read back as a negative number literal.
    const Number* num = o.as<Number>();
    bool paren = o.is<Binary>() ||
                 (x->op == UnOp::Neg && num && !std::signbit(num->value) && !std::isnan(num->value));
    if (paren) {
      out += '(';
      write(out, o, false);
      out += ')';
    } else {
      write(out, o, followed);
    }
  } else {
    const Binary& b = *n.as<Binary>();
    int prec = precedence(b.op);
    const Binary* l = b.left->as<Binary>();
    const Binary* r = b.right->as<Binary>();
    bool lp = l && precedence(l->op) < prec;
    bool rp = r && precedence(r->op) <= prec;
    if (lp) out += '(';
    write(out, *b.left, !lp);
    if (lp) out += ')';
    out += op_text(b.op);
    if (rp) out += '(';
    write(out, *b.right, rp ? false : followed);
    if (rp) out += ')';
  }
}

}  // namespace

std::string number_text(double v) {
  std::string out;
  append_number(out, v);
  return out;
}

std::string join_with(std::span<const std::string> items, char mark) {
  std::size_t n = items.size();
  while (n > 0 && items[n - 1].empty()) --n;
  if (n == 0) return {};
  std::string out(1, mark);
  for (std::size_t i = 0; i < n; ++i) {
    if (i) out += ',';
    out += items[i];
  }
  return out;
}

std::string stringify_command(const Command& cmd) {
  std::string out;
  write_command(out, cmd);
  return out;
}

std::string stringify(const Node& node) {
  std::string out;
  out.reserve(32);
  write(out, node, false);
  return out;
}

}  // namespace kadmo::directive
