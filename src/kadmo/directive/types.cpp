#include "kadmo/directive/types.hpp"

#include <cmath>

namespace kadmo::directive {

Node clone(const Node& n) {
  return std::visit(
      [](const auto& x) -> Node {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, Ident> || std::is_same_v<T, Number>) {
          return Node{x};
        } else if constexpr (std::is_same_v<T, Command>) {
          Command c{x.name, x.args, {}, x.sub};
          c.series.reserve(x.series.size());
          for (const Node& s : x.series) c.series.push_back(clone(s));
          return Node{std::move(c)};
        } else if constexpr (std::is_same_v<T, Unary>) {
          return unary(x.op, clone(*x.operand));
        } else {
          return bin(clone(*x.left), x.op, clone(*x.right));
        }
      },
      n.v);
}

bool operator==(const Node& a, const Node& b) {
  if (a.v.index() != b.v.index()) return false;
  if (auto x = a.as<Ident>()) return x->name == b.as<Ident>()->name;
  if (auto x = a.as<Number>()) {
    double y = b.as<Number>()->value;
    return x->value == y && std::signbit(x->value) == std::signbit(y);
  }
  if (auto x = a.as<Command>()) {
    const Command& y = *b.as<Command>();
    return x->name == y.name && x->sub == y.sub && x->args == y.args && x->series == y.series;
  }
  if (auto x = a.as<Unary>()) {
    const Unary& y = *b.as<Unary>();
    return x->op == y.op && *x->operand == *y.operand;
  }
  const Binary& x = *a.as<Binary>();
  const Binary& y = *b.as<Binary>();
  return x.op == y.op && *x.left == *y.left && *x.right == *y.right;
}

Node ident(std::string name) { return Node{Ident{std::move(name)}}; }
Node number(double value) { return Node{Number{value}}; }
Node unary(UnOp op, Node operand) { return Node{Unary{op, std::make_unique<Node>(std::move(operand))}}; }
Node bin(Node left, BinOp op, Node right) {
  return Node{Binary{op, std::make_unique<Node>(std::move(left)), std::make_unique<Node>(std::move(right))}};
}

}  // namespace kadmo::directive
