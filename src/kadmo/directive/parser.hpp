#pragma once
// Directive parser. Syntax only: whether a name is a column or a command and
// whether arguments are valid is decided by the evaluator.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "kadmo/core/error.hpp"
#include "kadmo/directive/types.hpp"

namespace kadmo::directive {

// Parentheses and prefix operators nested deeper than this are refused, so
// hostile input cannot exhaust the stack.
inline constexpr std::size_t kMaxNesting = 200;
// Tree height limit (long operator chains nest to the left); every recursive
// walk of a tree stays within it.
inline constexpr std::size_t kMaxTreeHeight = 1000;
// Texts longer than this are parsed but not kept in the parse cache.
inline constexpr std::size_t kMaxCachedText = 4096;
inline constexpr std::size_t kParseCacheLimit = 512;

class Parser {
 public:
  explicit Parser(std::string_view text) : s_(text) {}

  core::Result<Node> parse_expr();
  core::Result<Node> parse_cmp();
  core::Result<Node> parse_add();
  core::Result<Node> parse_mul();
  core::Result<Node> parse_unary();
  core::Result<Node> parse_command();
  std::string_view read_ident();
  // Binary operator at the cursor and its length in bytes.
  std::optional<std::pair<BinOp, std::size_t>> peek_binop() const;
  // Syntax error "{msg} (line L, column C)" at byte offset pos.
  core::KadmoError err(std::string_view msg, std::size_t pos) const;

  // Whole directive: whitespace, expression, whitespace, end of text.
  core::Result<Node> parse_directive();

 private:
  core::Result<Node> parse_primary();
  core::Result<Node> parse_number();
  core::Result<Node> parse_paren();
  template <class Next, class Accept>
  core::Result<Node> parse_level(Next next, Accept accept);
  core::Result<Node> make_bin(Node l, std::uint32_t hl, BinOp op, Node r, std::size_t op_pos);
  bool enter(std::size_t pos, core::KadmoError& e);
  void skip_ws();
  bool at_end() const { return pos_ >= s_.size(); }
  unsigned char peek(std::size_t ahead = 0) const {
    return pos_ + ahead < s_.size() ? static_cast<unsigned char>(s_[pos_ + ahead]) : 0;
  }

  std::string_view s_;
  std::size_t pos_ = 0;
  std::size_t depth_ = 0;       // parentheses and prefix operators currently open
  std::uint32_t height_ = 0;    // height of the node returned last
};

// Parse without the cache.
core::Result<Node> parse_uncached(std::string_view text);

// A parsed directive with its canonical text, as kept in the parse cache.
struct ParsedDirective {
  Node node;
  std::string canonical;
};

// Per-thread cached parse; the shared value is immutable and carries the
// canonical text, so a repeated directive costs one hash lookup. Errors are
// of kind Value with the full syntax message.
core::Result<std::shared_ptr<const ParsedDirective>> parse_shared(std::string_view text);
// Cached parse returning a copy of the tree.
core::Result<Node> parse(std::string_view text);

// Test hooks for the per-thread cache.
std::size_t parse_cache_size();
bool parse_cache_contains(std::string_view text);
void parse_cache_clear();

}  // namespace kadmo::directive
