#include "kadmo/directive/candle_names.hpp"

#include <algorithm>
#include <array>

namespace kadmo::directive {

namespace {

// Sorted by name for binary search.
constexpr std::array<CandlePatternInfo, 61> kPatterns = {{
    {"2crows", 12, false, 0.0, ""},
    {"3blackcrows", 13, false, 0.0, ""},
    {"3inside", 12, false, 0.0, ""},
    {"3linestrike", 8, false, 0.0, ""},
    {"3outside", 3, false, 0.0, ""},
    {"3starsinsouth", 12, false, 0.0, ""},
    {"3whitesoldiers", 12, false, 0.0, ""},
    {"abandonedbaby", 12, true, 0.3, "0.3"},
    {"advanceblock", 12, false, 0.0, ""},
    {"belthold", 10, false, 0.0, ""},
    {"breakaway", 14, false, 0.0, ""},
    {"closingmarubozu", 10, false, 0.0, ""},
    {"concealbabyswall", 13, false, 0.0, ""},
    {"counterattack", 11, false, 0.0, ""},
    {"darkcloudcover", 11, true, 0.5, "0.5"},
    {"doji", 10, false, 0.0, ""},
    {"dojistar", 11, false, 0.0, ""},
    {"dragonflydoji", 10, false, 0.0, ""},
    {"engulfing", 2, false, 0.0, ""},
    {"eveningdojistar", 12, true, 0.3, "0.3"},
    {"eveningstar", 12, true, 0.3, "0.3"},
    {"gapsidesidewhite", 7, false, 0.0, ""},
    {"gravestonedoji", 10, false, 0.0, ""},
    {"hammer", 11, false, 0.0, ""},
    {"hangingman", 11, false, 0.0, ""},
    {"harami", 11, false, 0.0, ""},
    {"haramicross", 11, false, 0.0, ""},
    {"highwave", 10, false, 0.0, ""},
    {"hikkake", 5, false, 0.0, ""},
    {"hikkakemod", 10, false, 0.0, ""},
    {"homingpigeon", 11, false, 0.0, ""},
    {"identical3crows", 12, false, 0.0, ""},
    {"inneck", 11, false, 0.0, ""},
    {"invertedhammer", 11, false, 0.0, ""},
    {"kicking", 11, false, 0.0, ""},
    {"kickingbylength", 11, false, 0.0, ""},
    {"ladderbottom", 14, false, 0.0, ""},
    {"longleggeddoji", 10, false, 0.0, ""},
    {"longline", 10, false, 0.0, ""},
    {"marubozu", 10, false, 0.0, ""},
    {"matchinglow", 6, false, 0.0, ""},
    {"mathold", 14, true, 0.5, "0.5"},
    {"morningdojistar", 12, true, 0.3, "0.3"},
    {"morningstar", 12, true, 0.3, "0.3"},
    {"onneck", 11, false, 0.0, ""},
    {"piercing", 11, false, 0.0, ""},
    {"rickshawman", 10, false, 0.0, ""},
    {"risefall3methods", 14, false, 0.0, ""},
    {"separatinglines", 11, false, 0.0, ""},
    {"shootingstar", 11, false, 0.0, ""},
    {"shortline", 10, false, 0.0, ""},
    {"spinningtop", 10, false, 0.0, ""},
    {"stalledpattern", 12, false, 0.0, ""},
    {"sticksandwich", 7, false, 0.0, ""},
    {"takuri", 10, false, 0.0, ""},
    {"tasukigap", 7, false, 0.0, ""},
    {"thrusting", 11, false, 0.0, ""},
    {"tristar", 12, false, 0.0, ""},
    {"unique3river", 12, false, 0.0, ""},
    {"upsidegap2crows", 12, false, 0.0, ""},
    {"xsidegap3methods", 2, false, 0.0, ""},
}};

static_assert(std::ranges::is_sorted(kPatterns, {}, &CandlePatternInfo::name));

}  // namespace

const CandlePatternInfo* candle_pattern_info(std::string_view name) {
  auto it = std::ranges::lower_bound(kPatterns, name, {}, &CandlePatternInfo::name);
  if (it == kPatterns.end() || it->name != name) return nullptr;
  return &*it;
}

std::span<const CandlePatternInfo> candle_patterns() { return kPatterns; }

}  // namespace kadmo::directive
