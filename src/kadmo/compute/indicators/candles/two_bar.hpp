#pragma once
// Two-bar patterns: the signal stands at the second bar.

#include "kadmo/compute/indicators/candles/mod.hpp"

namespace kadmo::compute {

Series cdl_engulfing(In open, In high, In low, In close);
Series cdl_harami(In open, In high, In low, In close);
Series cdl_haramicross(In open, In high, In low, In close);
Series cdl_dojistar(In open, In high, In low, In close);
Series cdl_piercing(In open, In high, In low, In close);
Series cdl_darkcloudcover(In open, In high, In low, In close, double penetration);
Series cdl_homingpigeon(In open, In high, In low, In close);
Series cdl_matchinglow(In open, In high, In low, In close);
Series cdl_inneck(In open, In high, In low, In close);
Series cdl_onneck(In open, In high, In low, In close);
Series cdl_thrusting(In open, In high, In low, In close);
Series cdl_kicking(In open, In high, In low, In close);
Series cdl_kickingbylength(In open, In high, In low, In close);
Series cdl_separatinglines(In open, In high, In low, In close);
Series cdl_counterattack(In open, In high, In low, In close);

}  // namespace kadmo::compute
