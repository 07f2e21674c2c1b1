#pragma once
// Three-bar patterns: the signal stands at the third bar.

#include "kadmo/compute/indicators/candles/mod.hpp"

namespace kadmo::compute {

Series cdl_morningstar(In open, In high, In low, In close, double penetration);
Series cdl_eveningstar(In open, In high, In low, In close, double penetration);
Series cdl_morningdojistar(In open, In high, In low, In close, double penetration);
Series cdl_eveningdojistar(In open, In high, In low, In close, double penetration);
Series cdl_abandonedbaby(In open, In high, In low, In close, double penetration);
Series cdl_3inside(In open, In high, In low, In close);
Series cdl_3outside(In open, In high, In low, In close);
Series cdl_2crows(In open, In high, In low, In close);
Series cdl_upsidegap2crows(In open, In high, In low, In close);
Series cdl_3blackcrows(In open, In high, In low, In close);
Series cdl_identical3crows(In open, In high, In low, In close);
Series cdl_3whitesoldiers(In open, In high, In low, In close);
Series cdl_advanceblock(In open, In high, In low, In close);
Series cdl_stalledpattern(In open, In high, In low, In close);
Series cdl_sticksandwich(In open, In high, In low, In close);
Series cdl_tristar(In open, In high, In low, In close);
Series cdl_unique3river(In open, In high, In low, In close);
Series cdl_tasukigap(In open, In high, In low, In close);
Series cdl_gapsidesidewhite(In open, In high, In low, In close);
Series cdl_3starsinsouth(In open, In high, In low, In close);

}  // namespace kadmo::compute
