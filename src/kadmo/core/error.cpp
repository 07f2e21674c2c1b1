#include "kadmo/core/error.hpp"

#include <cstdio>

namespace kadmo::core {

std::string_view kind_name(ErrorKind k) {
  switch (k) {
    case ErrorKind::ColumnNotFound: return "ColumnNotFound";
    case ErrorKind::DType: return "DType";
    case ErrorKind::Shape: return "Shape";
    case ErrorKind::Index: return "Index";
    case ErrorKind::Value: return "Value";
  }
  return "Value";
}

std::string quoted(std::string_view s) {
  std::string out;
  out.reserve(s.size() + 2);
  out.push_back('"');
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\0': out += "\\0"; break;
      default:
        if (c < 0x20 || c == 0x7f) {
          char buf[16];
          std::snprintf(buf, sizeof buf, "\\u{%x}", c);
          out += buf;
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
  out.push_back('"');
  return out;
}

std::string KadmoError::text() const {
  switch (kind) {
    case ErrorKind::ColumnNotFound: return "column \"" + message + "\" not found";
    case ErrorKind::DType: return "dtype error: " + message;
    case ErrorKind::Shape: return "shape error: " + message;
    case ErrorKind::Index: return "index error: " + message;
    case ErrorKind::Value: return "value error: " + message;
  }
  return message;
}

std::string KadmoError::debug() const { return std::string(kind_name(kind)) + "(" + quoted(message) + ")"; }

}  // namespace kadmo::core
