#pragma once
// A typed column: one contiguous list behind a shared pointer, written
// copy-on-write so that snapshots (series, copies, rows) never change.

#include <bit>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "kadmo/core/dtype.hpp"
#include "kadmo/core/error.hpp"
#include "kadmo/core/tz.hpp"

namespace kadmo::core {

// The quiet NaN the library writes for a missing float.
inline constexpr double kNaN = std::bit_cast<double>(std::uint64_t{0x7FF8000000000000ULL});

template <class T, int Tag>
struct Storage {
  using value_type = T;
  std::shared_ptr<std::vector<T>> data;
};

using FloatData = Storage<double, 0>;
using BoolData = Storage<std::uint8_t, 1>;
using IntData = Storage<std::int64_t, 2>;
using StrData = Storage<std::string, 3>;
using DatetimeData = Storage<std::int64_t, 4>;

class Column {
 public:
  using Variant = std::variant<FloatData, BoolData, IntData, StrData, DatetimeData>;

  Column() : v_(FloatData{std::make_shared<std::vector<double>>()}) {}

  static Column f64(std::vector<double> v) { return Column(FloatData{std::make_shared<std::vector<double>>(std::move(v))}); }
  static Column boolean(std::vector<std::uint8_t> v) {
    return Column(BoolData{std::make_shared<std::vector<std::uint8_t>>(std::move(v))});
  }
  static Column i64(std::vector<std::int64_t> v) {
    return Column(IntData{std::make_shared<std::vector<std::int64_t>>(std::move(v))});
  }
  static Column str(std::vector<std::string> v) {
    return Column(StrData{std::make_shared<std::vector<std::string>>(std::move(v))});
  }
  static Column datetime(std::vector<std::int64_t> ns) {
    return Column(DatetimeData{std::make_shared<std::vector<std::int64_t>>(std::move(ns))});
  }
  // Wrap an existing shared list (shares it).
  static Column shared_f64(std::shared_ptr<std::vector<double>> p) { return Column(FloatData{std::move(p)}); }

  DType dtype() const { return static_cast<DType>(dtype_of_variant()); }
  std::size_t len() const;
  bool empty() const { return len() == 0; }

  const Variant& variant() const { return v_; }
  // Raw access for writers that make the storage unique themselves.
  Variant& variant_mut() { return v_; }

  // Typed read access; null when the column has another dtype.
  const std::vector<double>* f64_values() const { return get<FloatData>(); }
  const std::vector<std::uint8_t>* bool_values() const { return get<BoolData>(); }
  const std::vector<std::int64_t>* i64_values() const { return get<IntData>(); }
  const std::vector<std::string>* str_values() const { return get<StrData>(); }
  const std::vector<std::int64_t>* datetime_values() const { return get<DatetimeData>(); }

  // Typed write access: makes the storage unique first (copy when shared).
  std::vector<double>* f64_mut() { return get_mut<FloatData>(); }
  std::vector<std::uint8_t>* bool_mut() { return get_mut<BoolData>(); }
  std::vector<std::int64_t>* i64_mut() { return get_mut<IntData>(); }
  std::vector<std::string>* str_mut() { return get_mut<StrData>(); }
  std::vector<std::int64_t>* datetime_mut() { return get_mut<DatetimeData>(); }

  // Whether the storage is shared with another holder.
  bool is_shared() const;
  // The address of the storage, for "same storage" checks.
  const void* storage_id() const;

  Column take(std::span<const std::size_t> positions) const;
  Column slice(std::size_t start, std::size_t end) const;
  bool equals(const Column& other) const;
  Result<void> append_missing(std::size_t n);
  // Appends the values of a column of the same dtype (the caller checks).
  void append_values(const Column& other);
  std::vector<double> to_f64_vec() const;
  Result<Column> cast(DType target) const;
  Result<Column> to_datetime_tz(const Tz& zone) const;
  Result<Column> epoch_to_datetime(std::string_view unit) const;
  // Epoch numbers as to_datetime reads them: int64 exactly, float64 rounded
  // half away from zero to whole nanoseconds (fractions of a unit kept).
  Result<Column> epoch_to_datetime_rounded(std::string_view unit) const;

 private:
  explicit Column(Variant v) : v_(std::move(v)) {}
  int dtype_of_variant() const;

  template <class S>
  const std::vector<typename S::value_type>* get() const {
    auto* s = std::get_if<S>(&v_);
    return s ? s->data.get() : nullptr;
  }
  template <class S>
  std::vector<typename S::value_type>* get_mut() {
    auto* s = std::get_if<S>(&v_);
    if (!s) return nullptr;
    if (s->data.use_count() > 1) s->data = std::make_shared<std::vector<typename S::value_type>>(*s->data);
    return s->data.get();
  }

  Variant v_;
};

// Shortest round-trip decimal text of a double, never in exponent notation
// ("1", "1.5", "1000000000000000000000", "NaN", "inf", "-0").
std::string float_to_text(double v);

// Float to int64: truncation toward zero, NaN to 0, saturating at the range.
std::int64_t saturating_f64_to_i64(double v);

}  // namespace kadmo::core
