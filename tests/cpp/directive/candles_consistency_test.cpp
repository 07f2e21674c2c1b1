// The directive layer's pattern-name table and the recognisers' table must
// describe the same 61 patterns with the same lookbacks and penetrations.

#include <gtest/gtest.h>

#include <string>

#include "kadmo/compute/indicators/candles/mod.hpp"
#include "kadmo/directive/candle_names.hpp"

namespace {

TEST(CandleTablesAgree, EveryNameLookbackAndPenetration) {
  namespace kc = kadmo::compute;
  namespace kd = kadmo::directive;
  ASSERT_EQ(kc::candle_patterns().size(), kd::candle_patterns().size());
  for (const kc::CandlePattern& p : kc::candle_patterns()) {
    SCOPED_TRACE(std::string(p.name));
    const kd::CandlePatternInfo* info = kd::candle_pattern_info(p.name);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(p.lookback, info->lookback);
    EXPECT_EQ(p.penetration.has_value(), info->has_penetration);
    if (p.penetration) {
      EXPECT_EQ(*p.penetration, info->penetration);
    }
  }
  for (const kd::CandlePatternInfo& info : kd::candle_patterns())
    EXPECT_NE(kc::candle_pattern(info.name), nullptr) << info.name;
}

}  // namespace
