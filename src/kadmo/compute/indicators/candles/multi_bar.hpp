#pragma once
// Patterns over four or more bars, and the hikkake family whose
// confirmation may come up to three bars after the pattern.

#include "kadmo/compute/indicators/candles/mod.hpp"

namespace kadmo::compute {

Series cdl_3linestrike(In open, In high, In low, In close);
Series cdl_breakaway(In open, In high, In low, In close);
Series cdl_ladderbottom(In open, In high, In low, In close);
Series cdl_concealbabyswall(In open, In high, In low, In close);
Series cdl_mathold(In open, In high, In low, In close, double penetration);
Series cdl_risefall3methods(In open, In high, In low, In close);
Series cdl_xsidegap3methods(In open, In high, In low, In close);
Series cdl_hikkake(In open, In high, In low, In close);
Series cdl_hikkakemod(In open, In high, In low, In close);

}  // namespace kadmo::compute
