#pragma once
// Names, lookbacks and default penetrations of the candlestick patterns that
// `style.<pattern>` accepts. The recognisers themselves are compute's; this
// table is what the command registry and the lookback need without them.

#include <cstdint>
#include <span>
#include <string_view>

namespace kadmo::directive {

struct CandlePatternInfo {
  std::string_view name;
  std::uint64_t lookback;
  bool has_penetration;
  double penetration;                  // default, when has_penetration
  std::string_view penetration_text;   // its canonical text
};

// Exact, case-sensitive match; nullptr for an unknown name.
const CandlePatternInfo* candle_pattern_info(std::string_view name);
std::span<const CandlePatternInfo> candle_patterns();

}  // namespace kadmo::directive
