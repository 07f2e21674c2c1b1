#pragma once
// The one error value of the core, directive, time and CSV code.

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

namespace kadmo::core {

enum class ErrorKind : std::uint8_t { ColumnNotFound, DType, Shape, Index, Value };

struct KadmoError {
  ErrorKind kind;
  // For ColumnNotFound this is the column name; for the others the message.
  std::string message;

  static KadmoError column_not_found(std::string name) { return {ErrorKind::ColumnNotFound, std::move(name)}; }
  static KadmoError dtype(std::string msg) { return {ErrorKind::DType, std::move(msg)}; }
  static KadmoError shape(std::string msg) { return {ErrorKind::Shape, std::move(msg)}; }
  static KadmoError index(std::string msg) { return {ErrorKind::Index, std::move(msg)}; }
  static KadmoError value(std::string msg) { return {ErrorKind::Value, std::move(msg)}; }

  // "column \"x\" not found", "dtype error: ...", "shape error: ...", ...
  std::string text() const;
  // Kind name and quoted message: Shape("...").
  std::string debug() const;

  bool operator==(const KadmoError&) const = default;
};

template <class T>
using Result = std::expected<T, KadmoError>;

inline std::unexpected<KadmoError> fail(KadmoError e) { return std::unexpected<KadmoError>(std::move(e)); }

// Double-quoted literal with backslash escapes for backslash, double quote and
// control characters, the form every message uses to show user text.
std::string quoted(std::string_view s);

std::string_view kind_name(ErrorKind k);

}  // namespace kadmo::core
