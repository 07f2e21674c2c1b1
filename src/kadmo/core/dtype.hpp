#pragma once

#include <cstdint>
#include <string_view>

namespace kadmo::core {

enum class DType : std::uint8_t { Float64, Bool, Int64, Datetime, Object };

constexpr std::string_view dtype_name(DType d) {
  switch (d) {
    case DType::Float64: return "float64";
    case DType::Bool: return "bool";
    case DType::Int64: return "int64";
    case DType::Datetime: return "datetime64[ns]";
    case DType::Object: return "object";
  }
  return "object";
}

}  // namespace kadmo::core
