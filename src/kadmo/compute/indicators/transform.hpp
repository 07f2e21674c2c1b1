#pragma once
// Price averages of one row.

#include <span>

#include "kadmo/compute/kernels.hpp"

namespace kadmo::compute {

using In = std::span<const double>;

Series avgprice(In open, In high, In low, In close);  // (o + h + l + c) / 4
Series medprice(In high, In low);                     // (h + l) / 2
Series typprice(In high, In low, In close);           // (h + l + c) / 3
Series wclprice(In high, In low, In close);           // (h + l + 2c) / 4

constexpr std::size_t price_transform_lookback() { return 0; }

}  // namespace kadmo::compute
