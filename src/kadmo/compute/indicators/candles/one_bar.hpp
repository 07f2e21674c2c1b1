#pragma once
// Patterns of a single bar (the previous bar only as a reference level).

#include "kadmo/compute/indicators/candles/mod.hpp"

namespace kadmo::compute {

Series cdl_doji(In open, In high, In low, In close);
Series cdl_dragonflydoji(In open, In high, In low, In close);
Series cdl_gravestonedoji(In open, In high, In low, In close);
Series cdl_longleggeddoji(In open, In high, In low, In close);
Series cdl_rickshawman(In open, In high, In low, In close);
Series cdl_marubozu(In open, In high, In low, In close);
Series cdl_closingmarubozu(In open, In high, In low, In close);
Series cdl_longline(In open, In high, In low, In close);
Series cdl_shortline(In open, In high, In low, In close);
Series cdl_spinningtop(In open, In high, In low, In close);
Series cdl_highwave(In open, In high, In low, In close);
Series cdl_belthold(In open, In high, In low, In close);
Series cdl_hammer(In open, In high, In low, In close);
Series cdl_hangingman(In open, In high, In low, In close);
Series cdl_invertedhammer(In open, In high, In low, In close);
Series cdl_shootingstar(In open, In high, In low, In close);
Series cdl_takuri(In open, In high, In low, In close);

}  // namespace kadmo::compute
