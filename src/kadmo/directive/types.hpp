#pragma once
// Syntax tree of a directive. A node owns its children; trees are move-only
// and copied explicitly with clone().

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace kadmo::directive {

// Code order matters: it indexes kBinOpText and the precedence levels.
enum class BinOp : std::uint8_t { Lt, Le, Eq, Ne, Ge, Gt, CrossUp, CrossDown, Cross, Add, Sub, Mul, Div, And, Or, Xor };
enum class UnOp : std::uint8_t { Not, Neg };

inline constexpr std::array<std::string_view, 16> kBinOpText = {
    "<", "<=", "==", "!=", ">=", ">", "//", "\\\\", "><", "+", "-", "*", "/", "&", "|", "^"};

// Logical 1, comparison 2, additive 3, multiplicative 4.
constexpr int precedence(BinOp op) {
  switch (op) {
    case BinOp::And: case BinOp::Or: case BinOp::Xor: return 1;
    case BinOp::Add: case BinOp::Sub: return 3;
    case BinOp::Mul: case BinOp::Div: return 4;
    default: return 2;
  }
}

constexpr std::string_view op_text(BinOp op) { return kBinOpText[static_cast<std::size_t>(op)]; }
constexpr std::string_view op_text(UnOp op) { return op == UnOp::Neg ? "-" : "~"; }

struct Node;

struct Ident {
  std::string name;  // as written, case kept; empty for an empty series slot
};

struct Number {
  double value;
};

struct Command {
  std::string name;                              // ASCII-lowercased
  std::vector<std::optional<std::string>> args;  // one per slot; empty slot = nullopt
  std::vector<Node> series;
  std::optional<std::string> sub;  // as written; present-but-empty for "name."
};

struct Unary {
  UnOp op;
  std::unique_ptr<Node> operand;
};

struct Binary {
  BinOp op;
  std::unique_ptr<Node> left;
  std::unique_ptr<Node> right;
};

struct Node {
  std::variant<Ident, Number, Command, Unary, Binary> v;

  template <class T>
  const T* as() const { return std::get_if<T>(&v); }
  template <class T>
  bool is() const { return std::holds_alternative<T>(v); }
};

Node clone(const Node& n);
// Structural equality; numbers compare by value and sign (so -0 differs from 0).
bool operator==(const Node& a, const Node& b);

// Builders, mainly for tests and for the parser.
Node ident(std::string name);
Node number(double value);
Node unary(UnOp op, Node operand);
Node bin(Node left, BinOp op, Node right);

}  // namespace kadmo::directive
