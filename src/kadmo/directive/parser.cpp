#include "kadmo/directive/parser.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "kadmo/directive/stringify.hpp"

namespace kadmo::directive {

using core::KadmoError;
using core::Result;

namespace {

bool is_ws(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }
bool is_alpha_(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool is_ident(unsigned char c) { return is_alpha_(c) || is_digit(c); }

// The byte shown as the character with the same code, UTF-8 encoded.
void append_byte_char(std::string& out, unsigned char c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

}  // namespace

KadmoError Parser::err(std::string_view msg, std::size_t pos) const {
  pos = std::min(pos, s_.size());
  std::size_t line = 1 + static_cast<std::size_t>(std::count(s_.begin(), s_.begin() + pos, '\n'));
  std::size_t line_start = 0;
  if (auto nl = s_.substr(0, pos).rfind('\n'); nl != std::string_view::npos) line_start = nl + 1;
  std::string m(msg);
  m += " (line ";
  m += std::to_string(line);
  m += ", column ";
  m += std::to_string(pos - line_start + 1);
  m += ')';
  return KadmoError::value(std::move(m));
}

void Parser::skip_ws() {
  while (!at_end() && is_ws(peek())) ++pos_;
}

std::string_view Parser::read_ident() {
  std::size_t start = pos_;
  while (!at_end() && is_ident(peek())) ++pos_;
  return s_.substr(start, pos_ - start);
}

std::optional<std::pair<BinOp, std::size_t>> Parser::peek_binop() const {
  if (at_end()) return std::nullopt;
  unsigned char c = peek(), n = peek(1);
  bool has_n = pos_ + 1 < s_.size();
  auto two = [&](unsigned char want) { return has_n && n == want; };
  switch (c) {
    case '<': return two('=') ? std::pair{BinOp::Le, 2} : std::pair{BinOp::Lt, 1};
    case '=': if (two('=')) return std::pair{BinOp::Eq, std::size_t{2}}; return std::nullopt;
    case '!': if (two('=')) return std::pair{BinOp::Ne, std::size_t{2}}; return std::nullopt;
    case '>':
      if (two('=')) return std::pair{BinOp::Ge, std::size_t{2}};
      if (two('<')) return std::pair{BinOp::Cross, std::size_t{2}};
      return std::pair{BinOp::Gt, std::size_t{1}};
    case '/': return two('/') ? std::pair{BinOp::CrossUp, 2} : std::pair{BinOp::Div, 1};
    case '\\': return two('\\') ? std::pair{BinOp::CrossDown, 2} : std::pair{BinOp::CrossDown, 1};
    case '+': return std::pair{BinOp::Add, std::size_t{1}};
    case '-': return std::pair{BinOp::Sub, std::size_t{1}};
    case '*': return std::pair{BinOp::Mul, std::size_t{1}};
    case '&': return std::pair{BinOp::And, std::size_t{1}};
    case '|': return std::pair{BinOp::Or, std::size_t{1}};
    case '^': return std::pair{BinOp::Xor, std::size_t{1}};
    default: return std::nullopt;
  }
}

bool Parser::enter(std::size_t pos, KadmoError& e) {
  if (depth_ >= kMaxNesting) {
    e = err("too deeply nested", pos);
    return false;
  }
  ++depth_;
  return true;
}

Result<Node> Parser::make_bin(Node l, std::uint32_t hl, BinOp op, Node r, std::size_t op_pos) {
  std::uint32_t h = 1 + std::max(hl, height_);
  if (h > kMaxTreeHeight) return core::fail(err("too deeply nested", op_pos));
  height_ = h;
  return bin(std::move(l), op, std::move(r));
}

template <class Next, class Accept>
Result<Node> Parser::parse_level(Next next, Accept accept) {
  Result<Node> left = (this->*next)();
  if (!left) return left;
  std::uint32_t hl = height_;
  for (;;) {
    skip_ws();
    auto op = peek_binop();
    if (!op || !accept(op->first)) break;
    std::size_t op_pos = pos_;
    pos_ += op->second;
    skip_ws();
    Result<Node> right = (this->*next)();
    if (!right) return right;
    left = make_bin(std::move(*left), hl, op->first, std::move(*right), op_pos);
    if (!left) return left;
    hl = height_;
  }
  height_ = hl;
  return left;
}

Result<Node> Parser::parse_expr() {
  return parse_level(&Parser::parse_cmp, [](BinOp op) { return precedence(op) == 1; });
}
Result<Node> Parser::parse_cmp() {
  return parse_level(&Parser::parse_add, [](BinOp op) { return precedence(op) == 2; });
}
Result<Node> Parser::parse_add() {
  return parse_level(&Parser::parse_mul, [](BinOp op) { return precedence(op) == 3; });
}
Result<Node> Parser::parse_mul() {
  return parse_level(&Parser::parse_unary, [](BinOp op) { return precedence(op) == 4; });
}

Result<Node> Parser::parse_unary() {
  skip_ws();
  if (at_end()) return core::fail(err("unexpected end of directive", pos_));
  unsigned char c = peek();
  if (c == '-' && pos_ + 1 < s_.size() && (is_digit(peek(1)) || peek(1) == '.')) return parse_number();
  if (c != '-' && c != '~') return parse_primary();
  std::size_t op_pos = pos_;
  KadmoError e;
  if (!enter(op_pos, e)) return core::fail(std::move(e));
  ++pos_;
  Result<Node> operand = parse_unary();
  --depth_;
  if (!operand) return operand;
  if (height_ + 1 > kMaxTreeHeight) return core::fail(err("too deeply nested", op_pos));
  ++height_;
  return unary(c == '-' ? UnOp::Neg : UnOp::Not, std::move(*operand));
}

Result<Node> Parser::parse_primary() {
  skip_ws();
  if (at_end()) return core::fail(err("unexpected end of directive", pos_));
  unsigned char c = peek();
  if (c == '(') return parse_paren();
  bool has_n = pos_ + 1 < s_.size();
  if (is_digit(c) || (c == '.' && has_n && is_digit(peek(1))) ||
      (c == '-' && has_n && (is_digit(peek(1)) || peek(1) == '.')))
    return parse_number();
  if (is_alpha_(c)) return parse_command();
  std::string m = "unexpected token '";
  append_byte_char(m, c);
  m += '\'';
  return core::fail(err(m, pos_));
}

Result<Node> Parser::parse_paren() {
  KadmoError e;
  if (!enter(pos_, e)) return core::fail(std::move(e));
  ++pos_;
  Result<Node> inner = parse_expr();
  --depth_;
  if (!inner) return inner;
  skip_ws();
  if (at_end() || peek() != ')') return core::fail(err("expected ')'", pos_));
  ++pos_;
  return inner;
}

Result<Node> Parser::parse_number() {
  std::size_t start = pos_;
  if (peek() == '-') ++pos_;
  while (!at_end() && (is_digit(peek()) || peek() == '.')) ++pos_;
  std::string_view run = s_.substr(start, pos_ - start);
  auto invalid = [&] { return core::fail(err("invalid number '" + std::string(run) + "'", pos_)); };
  double v = 0.0;
  auto [ptr, ec] = std::from_chars(run.data(), run.data() + run.size(), v, std::chars_format::fixed);
  if (ptr != run.data() + run.size() || ec == std::errc::invalid_argument) return invalid();
  if (ec == std::errc::result_out_of_range) {
    // Too small rounds to zero; too large (an infinity, which no text can
    // name back) is refused.
    std::string_view digits = run.substr(run.front() == '-' ? 1 : 0);
    std::string_view whole = digits.substr(0, digits.find('.'));
    if (whole.find_first_not_of('0') != std::string_view::npos) return invalid();
    v = run.front() == '-' ? -0.0 : 0.0;
  }
  height_ = 1;
  return number(v);
}

Result<Node> Parser::parse_command() {
  std::size_t start = pos_;
  std::string_view name = read_ident();
  skip_ws();
  bool is_command = false;
  Command cmd;
  std::uint32_t h = 1;
  if (!at_end() && peek() == '.') {
    is_command = true;
    ++pos_;
    skip_ws();
    cmd.sub.emplace(read_ident());
    skip_ws();
  }
  if (!at_end() && peek() == ':') {
    is_command = true;
    ++pos_;
    for (;;) {
      skip_ws();
      std::size_t a = pos_;
      while (!at_end()) {
        unsigned char c = peek();
        if (is_ws(c) || c == ',' || c == ')' || c == '@') break;
        ++pos_;
      }
      if (pos_ == a) cmd.args.emplace_back();
      else cmd.args.emplace_back(std::string(s_.substr(a, pos_ - a)));
      skip_ws();
      if (at_end() || peek() != ',') break;
      ++pos_;
    }
    skip_ws();
  }
  if (!at_end() && peek() == '@') {
    is_command = true;
    ++pos_;
    for (;;) {
      skip_ws();
      if (!at_end() && peek() == '(') {
        Result<Node> item = parse_paren();
        if (!item) return item;
        h = std::max(h, height_ + 1);
        cmd.series.push_back(std::move(*item));
      } else if (!at_end() && is_alpha_(peek())) {
        cmd.series.push_back(ident(std::string(read_ident())));
      } else {
        cmd.series.push_back(ident(std::string()));
      }
      skip_ws();
      if (at_end() || peek() != ',') break;
      ++pos_;
    }
  }
  height_ = h;
  if (!is_command) return ident(std::string(name));
  if (h > kMaxTreeHeight) return core::fail(err("too deeply nested", start));
  cmd.name.assign(name);
  for (char& c : cmd.name)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return Node{std::move(cmd)};
}

Result<Node> Parser::parse_directive() {
  skip_ws();
  if (at_end()) return core::fail(err("empty directive", pos_));
  Result<Node> e = parse_expr();
  if (!e) return e;
  skip_ws();
  if (!at_end()) return core::fail(err("expected end of directive", pos_));
  return e;
}

Result<Node> parse_uncached(std::string_view text) { return Parser(text).parse_directive(); }

namespace {

struct TextHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
};

using CacheMap = std::unordered_map<std::string, std::shared_ptr<const ParsedDirective>, TextHash, std::equal_to<>>;

CacheMap& cache() {
  thread_local CacheMap map;
  return map;
}

}  // namespace

Result<std::shared_ptr<const ParsedDirective>> parse_shared(std::string_view text) {
  CacheMap& map = cache();
  if (auto it = map.find(text); it != map.end()) return it->second;
  Result<Node> node = parse_uncached(text);
  if (!node) return core::fail(std::move(node.error()));
  std::string canonical = stringify(*node);
  auto entry = std::make_shared<const ParsedDirective>(ParsedDirective{std::move(*node), std::move(canonical)});
  // Very long texts are not kept: 512 of them could pin a lot of memory.
  if (text.size() <= kMaxCachedText) {
    if (map.size() >= kParseCacheLimit) map.clear();
    map.emplace(std::string(text), entry);
  }
  return entry;
}

Result<Node> parse(std::string_view text) {
  auto p = parse_shared(text);
  if (!p) return core::fail(std::move(p.error()));
  return clone((*p)->node);
}

std::size_t parse_cache_size() { return cache().size(); }
bool parse_cache_contains(std::string_view text) { return cache().contains(text); }
void parse_cache_clear() { cache().clear(); }

}  // namespace kadmo::directive
