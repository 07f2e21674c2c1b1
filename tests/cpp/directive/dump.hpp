#pragma once
// A plain structural dump of a tree for test expectations, independent of the
// canonical text: I(x) ident, N(v) number, C(name .sub :a,<>,b @items) command,
// Neg()/Not() and the operator names for the rest.

#include <charconv>
#include <string>

#include "kadmo/directive/types.hpp"

namespace kadmo::directive::testing {

inline const char* op_name(BinOp op) {
  static const char* names[] = {"Lt", "Le", "Eq", "Ne", "Ge", "Gt", "CrossUp", "CrossDown",
                                "Cross", "Add", "Sub", "Mul", "Div", "And", "Or", "Xor"};
  return names[static_cast<int>(op)];
}

inline std::string dump(const Node& n) {
  if (auto x = n.as<Ident>()) return "I(" + x->name + ")";
  if (auto x = n.as<Number>()) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, x->value);
    return "N(" + std::string(buf, r.ptr) + ")";
  }
  if (auto x = n.as<Unary>()) return std::string(x->op == UnOp::Neg ? "Neg(" : "Not(").append(dump(*x->operand)).append(")");
  if (auto x = n.as<Binary>()) {
    std::string s(op_name(x->op));
    s.append("(").append(dump(*x->left)).append(",").append(dump(*x->right)).append(")");
    return s;
  }
  const Command& c = *n.as<Command>();
  std::string s = "C(" + c.name;
  if (c.sub) s += " ." + *c.sub;
  if (!c.args.empty()) {
    s += " :";
    for (std::size_t i = 0; i < c.args.size(); ++i) s.append(i ? "," : "").append(c.args[i] ? *c.args[i] : "<>");
  }
  if (!c.series.empty()) {
    s += " @";
    for (std::size_t i = 0; i < c.series.size(); ++i) s.append(i ? "," : "").append(dump(c.series[i]));
  }
  return s + ")";
}

}  // namespace kadmo::directive::testing
