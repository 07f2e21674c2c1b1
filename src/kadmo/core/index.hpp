#pragma once
// Row labels and the row index.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "kadmo/core/tz.hpp"

namespace kadmo::core {

// An integer (also a datetime label, as UTC nanoseconds) or a string.
using Label = std::variant<std::int64_t, std::string>;

struct RangeIndex {
  std::size_t n = 0;
  bool operator==(const RangeIndex&) const = default;
};
struct IntIndex {
  std::vector<std::int64_t> labels;
  bool operator==(const IntIndex&) const = default;
};
struct DatetimeIndex {
  std::vector<std::int64_t> ns;
  Tz tz;
  bool operator==(const DatetimeIndex&) const = default;
};
struct StringIndex {
  std::vector<std::string> labels;
  bool operator==(const StringIndex&) const = default;
};

class Index {
 public:
  enum class Kind : std::uint8_t { Range, Integer, Datetime, String };
  using Variant = std::variant<RangeIndex, IntIndex, DatetimeIndex, StringIndex>;

  Index() = default;
  Index(Variant v) : v_(std::move(v)) {}
  static Index range(std::size_t n) { return Index(RangeIndex{n}); }
  static Index integer(std::vector<std::int64_t> labels) { return Index(IntIndex{std::move(labels)}); }
  static Index datetime(std::vector<std::int64_t> ns, Tz tz = Tz::utc()) {
    return Index(DatetimeIndex{std::move(ns), tz});
  }
  static Index strings(std::vector<std::string> labels) { return Index(StringIndex{std::move(labels)}); }

  Kind kind() const { return static_cast<Kind>(v_.index()); }
  const Variant& variant() const { return v_; }
  Variant& variant() { return v_; }
  std::size_t len() const;

  std::optional<std::size_t> position_of(const Label& label) const;
  // Half-open position range of the labels within [start, stop], both ends
  // inclusive and optional; assumes ascending labels.
  std::pair<std::size_t, std::size_t> label_slice(const std::optional<Label>& start,
                                                  const std::optional<Label>& stop) const;
  Index take(std::span<const std::size_t> positions) const;
  Index slice(std::size_t start, std::size_t end) const;
  // Never asked of a string index.
  std::vector<std::int64_t> to_i64_labels() const;
  // The datetime zone, or nothing for other kinds.
  std::optional<Tz> tz() const;
  bool operator==(const Index&) const = default;

 private:
  Variant v_;
};

}  // namespace kadmo::core
