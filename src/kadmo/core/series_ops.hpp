#pragma once
// Element-wise arithmetic, reductions and transforms of one column, without
// Python. Every function reads a float view (or a bool view) of a column and
// writes one new list; nothing here copies a float column it only reads.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "kadmo/core/column.hpp"
#include "kadmo/core/error.hpp"
#include "kadmo/core/index.hpp"

namespace kadmo::core {

// The values of a column as doubles: the float column itself, or a converted
// copy for the other dtypes (bool 1/0, int and datetime numerically, strings
// NaN).
class FloatView {
 public:
  explicit FloatView(const Column& c);
  FloatView(const FloatView&) = delete;
  FloatView& operator=(const FloatView&) = delete;
  std::span<const double> span() const { return span_; }

 private:
  std::vector<double> owned_;
  std::span<const double> span_;
};

// The values as booleans: a bool column as is, anything else true where the
// float view is not 0.0 (so NaN and every string are true).
class BoolView {
 public:
  explicit BoolView(const Column& c);
  BoolView(const BoolView&) = delete;
  BoolView& operator=(const BoolView&) = delete;
  std::span<const std::uint8_t> span() const { return span_; }

 private:
  std::vector<std::uint8_t> owned_;
  std::span<const std::uint8_t> span_;
};

// Reductions over the non-NaN values.
double nan_sum(std::span<const double> v);  // -0.0 when nothing remains
double nan_mean(std::span<const double> v);
double nan_min(std::span<const double> v);
double nan_max(std::span<const double> v);
double nan_var(std::span<const double> v);  // ddof 1
double nan_std(std::span<const double> v);
double nan_median(std::span<const double> v);
Result<double> nan_quantile(std::span<const double> v, double q);
bool any_true(const Column& c);
bool all_true(const Column& c);
// First position of the strict maximum / minimum, skipping NaN.
std::optional<std::size_t> nan_argmax(std::span<const double> v);
std::optional<std::size_t> nan_argmin(std::span<const double> v);

enum class MathFn : std::uint8_t {
  Abs, Ceil, Floor, Sqrt, Exp, Ln, Log10, Sin, Cos, Tan, Asin, Acos, Atan, Sinh, Cosh, Tanh
};
std::vector<double> map_math(std::span<const double> v, MathFn fn);

// Halves away from zero at 10^decimals.
std::vector<double> round_half_away(std::span<const double> v, std::int32_t decimals);
// Lower bound first, then upper; NaN bounds and NaN values pass through.
std::vector<double> clip(std::span<const double> v, std::optional<double> lower, std::optional<double> upper);
std::vector<double> shift(std::span<const double> v, std::int64_t n);
std::vector<double> diff(std::span<const double> v, std::int64_t n);
// NaN positions stay NaN and do not reset the running total.
std::vector<double> cumsum(std::span<const double> v);

// fillna of a column: non-float columns come back unchanged (shared);
// a float column needs exactly one of value or method ("pad"/"ffill",
// "bfill"/"backfill").
Result<Column> fillna(const Column& c, std::optional<double> value, std::optional<std::string_view> method);

std::vector<std::uint8_t> isna(const Column& c);
std::vector<std::uint8_t> notna(const Column& c);
// Rows of the non-NaN values of a float column, the column and index taken
// there; other dtypes (and float columns without NaN) come back shared.
struct Dropped {
  Column column;
  std::optional<Index> index;  // nothing when the index is kept as is
};
Dropped dropna(const Column& c, const Index& index);

enum class ArithOp : std::uint8_t { Add, Sub, Mul, Div };
enum class CmpOp : std::uint8_t { Lt, Le, Eq, Ne, Ge, Gt };
enum class LogicOp : std::uint8_t { And, Or, Xor };

// a op b position by position (the spans have equal length).
std::vector<double> arith(std::span<const double> a, std::span<const double> b, ArithOp op);
// v op x, or x op v when scalar_left.
std::vector<double> arith_scalar(std::span<const double> v, double x, ArithOp op, bool scalar_left);
std::vector<std::uint8_t> compare(std::span<const double> a, std::span<const double> b, CmpOp op);
std::vector<std::uint8_t> compare_scalar(std::span<const double> v, double x, CmpOp op);
std::vector<std::uint8_t> logic(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b, LogicOp op);
std::vector<std::uint8_t> logic_scalar(std::span<const std::uint8_t> v, bool x, LogicOp op);
std::vector<std::uint8_t> invert(std::span<const std::uint8_t> v);

// "datetime"/"datetime64" and "datetime64[<unit>]" name an epoch unit;
// nothing for any other dtype text.
std::optional<std::string_view> datetime_unit_of(std::string_view dtype);
// Epoch numbers in the unit for numeric and bool columns, datetime parsing
// in UTC for strings, datetime columns kept.
Result<Column> to_datetime_unit(const Column& c, std::string_view unit);

}  // namespace kadmo::core
