#include "kadmo/core/column.hpp"

#include <charconv>
#include <cmath>
#include <cstring>

namespace kadmo::core {

namespace {

template <class F>
decltype(auto) visit_data(const Column::Variant& v, F&& f) {
  return std::visit([&](const auto& s) -> decltype(auto) { return f(*s.data); }, v);
}

}  // namespace

int Column::dtype_of_variant() const {
  switch (v_.index()) {
    case 0: return static_cast<int>(DType::Float64);
    case 1: return static_cast<int>(DType::Bool);
    case 2: return static_cast<int>(DType::Int64);
    case 3: return static_cast<int>(DType::Object);
    default: return static_cast<int>(DType::Datetime);
  }
}

std::size_t Column::len() const {
  return visit_data(v_, [](const auto& vec) { return vec.size(); });
}

bool Column::is_shared() const {
  return std::visit([](const auto& s) { return s.data.use_count() > 1; }, v_);
}

const void* Column::storage_id() const {
  return std::visit([](const auto& s) -> const void* { return s.data.get(); }, v_);
}

Column Column::take(std::span<const std::size_t> positions) const {
  return std::visit(
      [&](const auto& s) {
        using S = std::decay_t<decltype(s)>;
        std::vector<typename S::value_type> out;
        out.reserve(positions.size());
        const auto& src = *s.data;
        for (std::size_t p : positions) out.push_back(src[p]);
        return Column(S{std::make_shared<std::vector<typename S::value_type>>(std::move(out))});
      },
      v_);
}

Column Column::slice(std::size_t start, std::size_t end) const {
  return std::visit(
      [&](const auto& s) {
        using S = std::decay_t<decltype(s)>;
        const auto& src = *s.data;
        return Column(S{std::make_shared<std::vector<typename S::value_type>>(src.begin() + start, src.begin() + end)});
      },
      v_);
}

bool Column::equals(const Column& other) const {
  if (v_.index() != other.v_.index()) return false;
  if (auto* a = f64_values()) {
    const auto& b = *other.f64_values();
    if (a->size() != b.size()) return false;
    for (std::size_t i = 0; i < a->size(); ++i) {
      double x = (*a)[i], y = b[i];
      if (std::isnan(x) || std::isnan(y)) {
        if (!(std::isnan(x) && std::isnan(y))) return false;
      } else if (x != y) {
        return false;
      }
    }
    return true;
  }
  if (storage_id() == other.storage_id()) return true;
  return std::visit(
      [&](const auto& s) {
        using S = std::decay_t<decltype(s)>;
        return *s.data == *std::get<S>(other.v_).data;
      },
      v_);
}

Result<void> Column::append_missing(std::size_t n) {
  if (auto* f = std::get_if<FloatData>(&v_)) {
    (void)f;
    auto* v = f64_mut();
    v->insert(v->end(), n, kNaN);
    return {};
  }
  if (std::holds_alternative<BoolData>(v_)) {
    auto* v = bool_mut();
    v->insert(v->end(), n, std::uint8_t{0});
    return {};
  }
  return fail(KadmoError::dtype("column type " + std::string(dtype_name(dtype())) +
                                " has no missing-value placeholder"));
}

void Column::append_values(const Column& other) {
  std::visit(
      [&](auto& s) {
        using S = std::decay_t<decltype(s)>;
        const auto& src = *std::get<S>(other.v_).data;
        if (s.data.use_count() > 1) {
          auto fresh = std::make_shared<std::vector<typename S::value_type>>();
          fresh->reserve(s.data->size() + src.size());
          fresh->insert(fresh->end(), s.data->begin(), s.data->end());
          s.data = std::move(fresh);
        }
        // Self-append: copy the source first, it aliases the destination.
        if (&src == s.data.get()) {
          auto copy = src;
          s.data->insert(s.data->end(), copy.begin(), copy.end());
        } else {
          s.data->insert(s.data->end(), src.begin(), src.end());
        }
      },
      v_);
}

std::vector<double> Column::to_f64_vec() const {
  return std::visit(
      [&](const auto& s) {
        using T = typename std::decay_t<decltype(s)>::value_type;
        std::vector<double> out;
        const auto& src = *s.data;
        if constexpr (std::is_same_v<T, std::string>) {
          out.assign(src.size(), kNaN);
        } else {
          out.resize(src.size());
          for (std::size_t i = 0; i < src.size(); ++i) out[i] = static_cast<double>(src[i]);
        }
        return out;
      },
      v_);
}

std::int64_t saturating_f64_to_i64(double v) {
  if (std::isnan(v)) return 0;
  // 2^63 is exactly representable; anything at or beyond it saturates.
  if (v >= 9223372036854775808.0) return std::numeric_limits<std::int64_t>::max();
  if (v <= -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(v);
}

std::string float_to_text(double v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
  char buf[400];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
  std::string s(buf, r.ptr);
  // Fixed notation of the shortest round trip; drop a trailing ".0" form.
  if (auto dot = s.find('.'); dot != std::string::npos) {
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
  }
  return s;
}

namespace {

Result<Column> cast_to_datetime_from_strings(const Column& c) { return c.to_datetime_tz(Tz::utc()); }

}  // namespace

Result<Column> Column::cast(DType target) const {
  const DType from = dtype();
  if (from == target) return *this;
  const std::string from_name(dtype_name(from));
  switch (target) {
    case DType::Float64:
      return Column::f64(to_f64_vec());
    case DType::Bool: {
      if (from == DType::Datetime || from == DType::Object)
        return fail(KadmoError::dtype("cannot cast a " + from_name + " column to bool"));
      std::vector<std::uint8_t> out(len());
      if (auto* f = f64_values())
        for (std::size_t i = 0; i < out.size(); ++i) out[i] = ((*f)[i] != 0.0 || std::isnan((*f)[i])) ? 1 : 0;
      else if (auto* n = i64_values())
        for (std::size_t i = 0; i < out.size(); ++i) out[i] = (*n)[i] != 0;
      return Column::boolean(std::move(out));
    }
    case DType::Int64: {
      if (from == DType::Object) return fail(KadmoError::dtype("cannot cast a object column to int64"));
      std::vector<std::int64_t> out(len());
      if (auto* f = f64_values())
        for (std::size_t i = 0; i < out.size(); ++i) out[i] = saturating_f64_to_i64((*f)[i]);
      else if (auto* b = bool_values())
        for (std::size_t i = 0; i < out.size(); ++i) out[i] = (*b)[i];
      else if (auto* d = datetime_values())
        out = *d;
      return Column::i64(std::move(out));
    }
    case DType::Datetime:
      if (from == DType::Object) return cast_to_datetime_from_strings(*this);
      return fail(KadmoError::dtype("cannot parse a " + from_name + " column as datetime"));
    case DType::Object: {
      std::vector<std::string> out;
      out.reserve(len());
      if (auto* f = f64_values())
        for (double x : *f) out.push_back(float_to_text(x));
      else if (auto* b = bool_values())
        for (auto x : *b) out.emplace_back(x ? "True" : "False");
      else if (auto* n = i64_values())
        for (auto x : *n) out.push_back(std::to_string(x));
      else if (auto* d = datetime_values())
        for (auto x : *d) out.push_back(format_ns(x));
      return Column::str(std::move(out));
    }
  }
  return fail(KadmoError::dtype("unsupported cast"));
}

Result<Column> Column::to_datetime_tz(const Tz& zone) const {
  if (std::holds_alternative<DatetimeData>(v_)) return *this;
  const auto* s = str_values();
  if (!s) return fail(KadmoError::dtype("cannot parse a " + std::string(dtype_name(dtype())) + " column as datetime"));
  std::vector<std::int64_t> out;
  out.reserve(s->size());
  for (const auto& text : *s) {
    auto ns = parse_ns_in_tz(text, zone);
    if (!ns) return fail(KadmoError::value("could not parse datetime " + quoted(text)));
    out.push_back(*ns);
  }
  return Column::datetime(std::move(out));
}

namespace {

std::int64_t epoch_unit_factor(std::string_view unit) {
  if (unit == "s") return 1'000'000'000;
  if (unit == "ms") return 1'000'000;
  if (unit == "us") return 1'000;
  if (unit == "ns") return 1;
  return 0;
}

KadmoError bad_epoch(std::string_view unit) {
  return KadmoError::value("invalid epoch unit " + quoted(unit) + " or overflow");
}

KadmoError not_epoch(DType d) {
  return KadmoError::dtype("cannot read a " + std::string(dtype_name(d)) +
                           " column as an epoch timestamp (need int64 / float64)");
}

}  // namespace

Result<Column> Column::epoch_to_datetime_rounded(std::string_view unit) const {
  const DType d = dtype();
  if (d == DType::Datetime) return *this;
  if (d != DType::Int64 && d != DType::Float64) return fail(not_epoch(d));
  const std::int64_t factor = epoch_unit_factor(unit);
  const std::size_t n = len();
  std::vector<std::int64_t> out(n);
  for (std::size_t i = 0; i < n; ++i) {
    if (factor == 0) return fail(bad_epoch(unit));
    if (d == DType::Int64) {
      if (__builtin_mul_overflow((*i64_values())[i], factor, &out[i])) return fail(bad_epoch(unit));
    } else {
      const double x = std::round((*f64_values())[i] * static_cast<double>(factor));
      // [-2^63, 2^63) is what fits; NaN fails both comparisons.
      if (!(x >= -9223372036854775808.0 && x < 9223372036854775808.0)) return fail(bad_epoch(unit));
      out[i] = static_cast<std::int64_t>(x);
    }
  }
  return Column::datetime(std::move(out));
}

Result<Column> Column::epoch_to_datetime(std::string_view unit) const {
  const DType d = dtype();
  if (d != DType::Int64 && d != DType::Float64) return fail(not_epoch(d));
  const std::int64_t factor = epoch_unit_factor(unit);
  auto bad = [&] { return fail(bad_epoch(unit)); };
  const std::size_t n = len();
  std::vector<std::int64_t> out(n);
  if (factor == 0) {
    if (n == 0) return Column::datetime({});
    return bad();
  }
  for (std::size_t i = 0; i < n; ++i) {
    std::int64_t v;
    if (d == DType::Int64) {
      v = (*i64_values())[i];
    } else {
      // Datetimes have no missing value, and a NaN read as 0 would be a
      // valid-looking 1970-01-01; a float beyond the 64-bit range would be
      // clamped to the end of the range. Both are refused instead.
      const double x = (*f64_values())[i];
      if (std::isnan(x)) return fail(KadmoError::value("cannot read NaN as an epoch timestamp"));
      if (!(x >= -9223372036854775808.0 && x < 9223372036854775808.0)) return bad();
      v = static_cast<std::int64_t>(x);  // toward zero
    }
    if (__builtin_mul_overflow(v, factor, &out[i])) return bad();
  }
  return Column::datetime(std::move(out));
}

}  // namespace kadmo::core
