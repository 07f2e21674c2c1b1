#pragma once
// Canonical text of a directive: the column name a computed column is cached
// under. The canonical text parses back to a tree of the same meaning whose
// canonical text is itself.

#include <span>
#include <string>

#include "kadmo/directive/types.hpp"

namespace kadmo::directive {

std::string stringify(const Node& node);
// A Command on its own (never wrapped in parentheses).
std::string stringify_command(const Command& cmd);
// Trailing empty items dropped; empty when nothing remains, else the mark and
// the items joined with ','.
std::string join_with(std::span<const std::string> items, char mark);
// Number text: integral values as integers, others in the shortest plain
// decimal that reads back; never an exponent.
std::string number_text(double v);

}  // namespace kadmo::directive
