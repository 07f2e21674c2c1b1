#include "kadmo/core/series_ops.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "kadmo/core/memory.hpp"

namespace kadmo::core {

namespace {

// Produces the value of position i on dereference, so that a vector can be
// built from computed values in one pass with no zero fill first.
template <class T, class F>
struct GenIter {
  using iterator_category = std::random_access_iterator_tag;
  using value_type = T;
  using difference_type = std::ptrdiff_t;
  using pointer = void;
  using reference = T;
  const F* f;
  std::ptrdiff_t i;
  T operator*() const { return (*f)(i); }
  GenIter& operator++() {
    ++i;
    return *this;
  }
  GenIter operator++(int) {
    GenIter t = *this;
    ++i;
    return t;
  }
  GenIter& operator--() {
    --i;
    return *this;
  }
  GenIter& operator+=(difference_type d) {
    i += d;
    return *this;
  }
  friend difference_type operator-(GenIter a, GenIter b) { return a.i - b.i; }
  friend bool operator==(GenIter a, GenIter b) { return a.i == b.i; }
};

// A list of n values f(0) .. f(n-1); large ones are huge-page advised so the
// first touch does not fault page by page.
template <class T, class F>
std::vector<T> generate(std::size_t n, F f) {
  std::vector<T> v = vector_with_capacity<T>(n);
  v.insert(v.end(), GenIter<T, F>{&f, 0}, GenIter<T, F>{&f, static_cast<std::ptrdiff_t>(n)});
  return v;
}

// A list of n values to be written by the caller.
template <class T>
std::vector<T> result_vec(std::size_t n) {
  std::vector<T> v = vector_with_capacity<T>(n);
  v.resize(n);
  return v;
}

std::vector<double> all_nan(std::size_t n) {
  std::vector<double> v = vector_with_capacity<double>(n);
  v.assign(n, kNaN);
  return v;
}

std::vector<double> non_nan_values(std::span<const double> v) {
  std::vector<double> out;
  out.reserve(v.size());
  for (double x : v)
    if (!std::isnan(x)) out.push_back(x);
  return out;
}

// Magnitude of a shift count, safe for the int64 minimum.
std::uint64_t magnitude(std::int64_t n) {
  return n < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(n);
}

}  // namespace

FloatView::FloatView(const Column& c) {
  if (auto* f = c.f64_values()) {
    span_ = std::span<const double>(*f);
  } else {
    owned_ = c.to_f64_vec();
    span_ = std::span<const double>(owned_);
  }
}

BoolView::BoolView(const Column& c) {
  if (auto* b = c.bool_values()) {
    span_ = std::span<const std::uint8_t>(*b);
    return;
  }
  if (c.str_values()) {
    owned_.assign(c.len(), 1);
  } else {
    FloatView f(c);
    auto v = f.span();
    owned_ = result_vec<std::uint8_t>(v.size());
    for (std::size_t i = 0; i < v.size(); ++i) owned_[i] = v[i] != 0.0;
  }
  span_ = std::span<const std::uint8_t>(owned_);
}

// ---- reductions -----------------------------------------------------------

double nan_sum(std::span<const double> v) {
  // Strictly left to right; adding -0.0 in place of a NaN leaves any total
  // unchanged, so the skip needs no branch.
  double acc = -0.0;
  for (double x : v) acc += (x == x) ? x : -0.0;
  return acc;
}

namespace {

// Sum and count of the non-NaN values, added left to right as nan_sum does.
struct SumCount {
  double sum;
  std::size_t n;
};

SumCount nan_sum_count(std::span<const double> v) {
  double acc = -0.0;
  std::size_t n = 0;
  for (double x : v) {
    const bool ok = x == x;
    acc += ok ? x : -0.0;
    n += ok;
  }
  return {acc, n};
}

}  // namespace

double nan_mean(std::span<const double> v) {
  const auto [acc, n] = nan_sum_count(v);
  return n == 0 ? kNaN : acc / static_cast<double>(n);
}

namespace {

// Smallest (or largest) non-NaN value. Several independent lanes keep the
// comparisons from forming one long dependency chain; a NaN compares false
// and so never replaces a lane value.
template <bool Max>
double nan_extreme(std::span<const double> v) {
  constexpr double kStart = Max ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
  auto better = [](double x, double m) { return Max ? (x > m ? x : m) : (x < m ? x : m); };
  const double* p = v.data();
  const std::size_t n = v.size();
  double best = kStart;
  std::size_t i = 0;
#if defined(__SSE2__)
  // maxpd/minpd return their second operand when either is NaN, which is
  // exactly the scalar select above with the lane value second.
  auto vbetter = [](__m128d x, __m128d m) { return Max ? _mm_max_pd(x, m) : _mm_min_pd(x, m); };
  __m128d l0 = _mm_set1_pd(kStart), l1 = l0, l2 = l0, l3 = l0;
  for (; i + 8 <= n; i += 8) {
    l0 = vbetter(_mm_loadu_pd(p + i), l0);
    l1 = vbetter(_mm_loadu_pd(p + i + 2), l1);
    l2 = vbetter(_mm_loadu_pd(p + i + 4), l2);
    l3 = vbetter(_mm_loadu_pd(p + i + 6), l3);
  }
  alignas(16) double lanes[8];
  _mm_store_pd(lanes, l0);
  _mm_store_pd(lanes + 2, l1);
  _mm_store_pd(lanes + 4, l2);
  _mm_store_pd(lanes + 6, l3);
  for (double l : lanes) best = better(l, best);
#endif
  for (; i < n; ++i) best = better(p[i], best);
  // The start value is also a legitimate answer (an infinity): only then is
  // it worth asking whether any value was not NaN.
  if (best == kStart && std::none_of(v.begin(), v.end(), [](double x) { return x == x; })) return kNaN;
  return best;
}

}  // namespace

double nan_min(std::span<const double> v) { return nan_extreme<false>(v); }
double nan_max(std::span<const double> v) { return nan_extreme<true>(v); }

double nan_var(std::span<const double> v) {
  const auto [acc, n] = nan_sum_count(v);
  if (n < 2) return kNaN;
  const double mean = acc / static_cast<double>(n);
  double ss = -0.0;
  for (double x : v) {
    const double d = x - mean;
    ss += (x == x) ? d * d : -0.0;
  }
  return ss / static_cast<double>(n - 1);
}

double nan_std(std::span<const double> v) { return std::sqrt(nan_var(v)); }

double nan_median(std::span<const double> v) {
  std::vector<double> s = non_nan_values(v);
  const std::size_t n = s.size();
  if (n == 0) return kNaN;
  const std::size_t mid = n / 2;
  std::nth_element(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(mid), s.end());
  const double hi = s[mid];
  if (n % 2 == 1) return hi;
  const double lo = *std::max_element(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(mid));
  return (lo + hi) * 0.5;
}

Result<double> nan_quantile(std::span<const double> v, double q) {
  if (!(q >= 0.0 && q <= 1.0)) return fail(KadmoError::value("quantile: q must be in [0, 1]"));
  std::vector<double> s = non_nan_values(v);
  const std::size_t n = s.size();
  if (n == 0) return kNaN;
  const double h = static_cast<double>(n - 1) * q;
  const double flo = std::floor(h);
  const auto lo = static_cast<std::size_t>(flo);
  const auto hi = static_cast<std::size_t>(std::ceil(h));
  // Only the order statistics lo and hi are needed: place hi, then lo is the
  // largest of the part before it (or hi itself).
  std::nth_element(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(hi), s.end());
  const double vhi = s[hi];
  const double vlo = lo == hi ? vhi : *std::max_element(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(hi));
  return vlo + (h - flo) * (vhi - vlo);
}

bool any_true(const Column& c) {
  if (auto* b = c.bool_values()) return std::any_of(b->begin(), b->end(), [](std::uint8_t x) { return x != 0; });
  FloatView f(c);
  for (double x : f.span())
    if (x != 0.0 && x == x) return true;
  return false;
}

bool all_true(const Column& c) {
  if (auto* b = c.bool_values()) return std::all_of(b->begin(), b->end(), [](std::uint8_t x) { return x != 0; });
  FloatView f(c);
  for (double x : f.span())
    if (x == 0.0) return false;
  return true;
}

namespace {

// Position of the best value, the first one on ties; NaN is skipped.
template <class Beats>
std::optional<std::size_t> nan_arg_best(std::span<const double> v, Beats beats) {
  std::optional<std::size_t> at;
  double best = 0.0;
  for (std::size_t i = 0; i < v.size(); ++i) {
    const double x = v[i];
    if (x != x) continue;
    if (!at || beats(x, best)) {
      at = i;
      best = x;
    }
  }
  return at;
}

}  // namespace

std::optional<std::size_t> nan_argmax(std::span<const double> v) {
  return nan_arg_best(v, [](double a, double b) { return a > b; });
}

std::optional<std::size_t> nan_argmin(std::span<const double> v) {
  return nan_arg_best(v, [](double a, double b) { return a < b; });
}

// ---- transforms -----------------------------------------------------------

namespace {

template <class F>
std::vector<double> map_values(std::span<const double> v, F f) {
  const double* p = v.data();
  return generate<double>(v.size(), [p, f](std::ptrdiff_t i) { return f(p[i]); });
}

}  // namespace

std::vector<double> map_math(std::span<const double> v, MathFn fn) {
  switch (fn) {
    case MathFn::Abs: return map_values(v, [](double x) { return std::fabs(x); });
    case MathFn::Ceil: return map_values(v, [](double x) { return std::ceil(x); });
    case MathFn::Floor: return map_values(v, [](double x) { return std::floor(x); });
    // The instruction gives what the library gives (NaN below zero) without
    // the library's errno path, a call per negative element.
#if defined(__SSE2__)
    case MathFn::Sqrt:
      return map_values(v, [](double x) { return _mm_cvtsd_f64(_mm_sqrt_sd(_mm_setzero_pd(), _mm_set_sd(x))); });
#else
    case MathFn::Sqrt: return map_values(v, [](double x) { return std::sqrt(x); });
#endif
    case MathFn::Exp: return map_values(v, [](double x) { return std::exp(x); });
    case MathFn::Ln: return map_values(v, [](double x) { return std::log(x); });
    case MathFn::Log10: return map_values(v, [](double x) { return std::log10(x); });
    case MathFn::Sin: return map_values(v, [](double x) { return std::sin(x); });
    case MathFn::Cos: return map_values(v, [](double x) { return std::cos(x); });
    case MathFn::Tan: return map_values(v, [](double x) { return std::tan(x); });
    case MathFn::Asin: return map_values(v, [](double x) { return std::asin(x); });
    case MathFn::Acos: return map_values(v, [](double x) { return std::acos(x); });
    case MathFn::Atan: return map_values(v, [](double x) { return std::atan(x); });
    case MathFn::Sinh: return map_values(v, [](double x) { return std::sinh(x); });
    case MathFn::Cosh: return map_values(v, [](double x) { return std::cosh(x); });
    case MathFn::Tanh: return map_values(v, [](double x) { return std::tanh(x); });
  }
  return map_values(v, [](double x) { return x; });
}

std::vector<double> round_half_away(std::span<const double> v, std::int32_t decimals) {
  const double f = std::pow(10.0, static_cast<double>(decimals));
  // Just below one half: x·f + 0.5 would round 0.49999999999999994 up.
  constexpr double kHalf = 0.49999999999999994;
  return map_values(v, [f](double x) {
    const double y = x * f;
    // Scaling beyond the double range means x has no digits at that
    // precision to drop; scaling to zero means the rounding unit dwarfs x.
    if (!std::isfinite(y)) return x;
    if (f == 0.0) return std::copysign(0.0, x);
    return std::trunc(y + std::copysign(kHalf, y)) / f;
  });
}

std::vector<double> clip(std::span<const double> v, std::optional<double> lower, std::optional<double> upper) {
  if (!lower && !upper) return std::vector<double>(v.begin(), v.end());
  // A NaN bound compares false everywhere and so never applies.
  const double lo = lower.value_or(kNaN);
  const double hi = upper.value_or(kNaN);
  return map_values(v, [lo, hi](double x) {
    x = x < lo ? lo : x;
    return x > hi ? hi : x;
  });
}

namespace {
// f(value, value n rows back) at every row (n < 0: |n| rows ahead); NaN
// where that row does not exist.
template <class F>
std::vector<double> with_lag(std::span<const double> v, std::int64_t n, F f) {
  const std::size_t len = v.size();
  const std::uint64_t k = magnitude(n);
  if (k >= len) return all_nan(len);
  const double* p = v.data();
  const auto d = static_cast<std::ptrdiff_t>(k);
  const auto last = static_cast<std::ptrdiff_t>(len) - d;
  if (n >= 0) return generate<double>(len, [p, d, f](std::ptrdiff_t i) { return i < d ? kNaN : f(p[i], p[i - d]); });
  return generate<double>(len, [p, d, last, f](std::ptrdiff_t i) { return i < last ? f(p[i], p[i + d]) : kNaN; });
}
}  // namespace

std::vector<double> shift(std::span<const double> v, std::int64_t n) {
  return with_lag(v, n, [](double, double other) { return other; });
}

std::vector<double> diff(std::span<const double> v, std::int64_t n) {
  return with_lag(v, n, [](double cur, double other) { return cur - other; });
}

std::vector<double> cumsum(std::span<const double> v) {
  std::vector<double> out = result_vec<double>(v.size());
  double total = 0.0;
  for (std::size_t i = 0; i < v.size(); ++i) {
    const double x = v[i];
    if (x != x) {
      out[i] = x;
      continue;
    }
    total += x;
    out[i] = total;
  }
  return out;
}

Result<Column> fillna(const Column& c, std::optional<double> value, std::optional<std::string_view> method) {
  const auto* f = c.f64_values();
  if (!f) return c;
  if (!value && !method) return fail(KadmoError::value("fillna: pass a `value` or a `method`"));
  if (value && method) return fail(KadmoError::value("fillna: pass either `value` or `method`, not both"));
  const std::span<const double> v(*f);
  if (value) {
    const double fill = *value;
    return Column::f64(map_values(v, [fill](double x) { return x != x ? fill : x; }));
  }
  const std::string_view m = *method;
  const bool forward = m == "pad" || m == "ffill";
  const bool backward = m == "bfill" || m == "backfill";
  if (!forward && !backward) return fail(KadmoError::value("fillna: unknown method '" + std::string(m) + "'"));
  std::vector<double> out(v.begin(), v.end());
  double carry = kNaN;
  if (forward) {
    for (double& x : out) {
      if (x != x) x = carry;
      else carry = x;
    }
  } else {
    for (auto it = out.rbegin(); it != out.rend(); ++it) {
      if (*it != *it) *it = carry;
      else carry = *it;
    }
  }
  return Column::f64(std::move(out));
}

std::vector<std::uint8_t> isna(const Column& c) {
  const auto* f = c.f64_values();
  if (!f) return std::vector<std::uint8_t>(c.len(), 0);
  std::vector<std::uint8_t> out = result_vec<std::uint8_t>(f->size());
  for (std::size_t i = 0; i < f->size(); ++i) out[i] = (*f)[i] != (*f)[i];
  return out;
}

std::vector<std::uint8_t> notna(const Column& c) {
  const auto* f = c.f64_values();
  if (!f) return std::vector<std::uint8_t>(c.len(), 1);
  std::vector<std::uint8_t> out = result_vec<std::uint8_t>(f->size());
  for (std::size_t i = 0; i < f->size(); ++i) out[i] = (*f)[i] == (*f)[i];
  return out;
}

Dropped dropna(const Column& c, const Index& index) {
  const auto* f = c.f64_values();
  if (!f) return {c, std::nullopt};
  std::vector<std::size_t> keep;
  keep.reserve(f->size());
  for (std::size_t i = 0; i < f->size(); ++i)
    if ((*f)[i] == (*f)[i]) keep.push_back(i);
  // Nothing to drop: the same values and labels, so the storage is shared.
  if (keep.size() == f->size()) return {c, std::nullopt};
  return {c.take(keep), index.take(keep)};
}

// ---- element-wise operators -----------------------------------------------

namespace {

template <class F>
std::vector<double> zip_values(std::span<const double> a, std::span<const double> b, F f) {
  const double* pa = a.data();
  const double* pb = b.data();
  return generate<double>(a.size(), [pa, pb, f](std::ptrdiff_t i) { return f(pa[i], pb[i]); });
}

// The comparison of 8 doubles gives an 8-bit mask; this table spreads its
// bits to the 8 bytes of a bool list (byte k is bit k).
struct SpreadTable {
  std::uint64_t v[256];
  constexpr SpreadTable() : v() {
    for (int m = 0; m < 256; ++m)
      for (int k = 0; k < 8; ++k)
        if (m >> k & 1) v[m] |= std::uint64_t{1} << (8 * k);
  }
};
constexpr SpreadTable kSpread;

// Comparison of every position: cmp is the scalar comparison, vcmp the same
// comparison on two doubles at a time (SSE2), which gives the same answers
// for NaN operands.
template <class Cmp, class VCmp>
std::vector<std::uint8_t> compare_each(const double* a, const double* b, bool b_scalar, std::size_t n, Cmp cmp,
                                       VCmp vcmp) {
  std::vector<std::uint8_t> out = result_vec<std::uint8_t>(n);
  std::uint8_t* o = out.data();
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128d bs = _mm_set1_pd(b_scalar ? *b : 0.0);
  auto rhs = [&](std::size_t k) { return b_scalar ? bs : _mm_loadu_pd(b + k); };
  for (; i + 8 <= n; i += 8) {
    const int m = _mm_movemask_pd(vcmp(_mm_loadu_pd(a + i), rhs(i))) |
                  _mm_movemask_pd(vcmp(_mm_loadu_pd(a + i + 2), rhs(i + 2))) << 2 |
                  _mm_movemask_pd(vcmp(_mm_loadu_pd(a + i + 4), rhs(i + 4))) << 4 |
                  _mm_movemask_pd(vcmp(_mm_loadu_pd(a + i + 6), rhs(i + 6))) << 6;
    std::memcpy(o + i, &kSpread.v[m], 8);
  }
#endif
  for (; i < n; ++i) o[i] = cmp(a[i], b_scalar ? *b : b[i]);
  return out;
}

std::vector<std::uint8_t> compare_any(const double* a, const double* b, bool b_scalar, std::size_t n, CmpOp op) {
#if defined(__SSE2__)
#define KADMO_VCMP(fn) [](__m128d x, __m128d y) { return fn(x, y); }
#else
#define KADMO_VCMP(fn) 0
#endif
  switch (op) {
    case CmpOp::Lt:
      return compare_each(a, b, b_scalar, n, [](double x, double y) { return x < y; }, KADMO_VCMP(_mm_cmplt_pd));
    case CmpOp::Le:
      return compare_each(a, b, b_scalar, n, [](double x, double y) { return x <= y; }, KADMO_VCMP(_mm_cmple_pd));
    case CmpOp::Eq:
      return compare_each(a, b, b_scalar, n, [](double x, double y) { return x == y; }, KADMO_VCMP(_mm_cmpeq_pd));
    // cmpneq is the unordered predicate: true when either side is NaN.
    case CmpOp::Ne:
      return compare_each(a, b, b_scalar, n, [](double x, double y) { return x != y; }, KADMO_VCMP(_mm_cmpneq_pd));
    case CmpOp::Ge:
      return compare_each(a, b, b_scalar, n, [](double x, double y) { return x >= y; }, KADMO_VCMP(_mm_cmpge_pd));
    case CmpOp::Gt:
      return compare_each(a, b, b_scalar, n, [](double x, double y) { return x > y; }, KADMO_VCMP(_mm_cmpgt_pd));
  }
#undef KADMO_VCMP
  return {};
}

template <class F>
std::vector<std::uint8_t> logic_each(std::size_t n, F f) {
  return generate<std::uint8_t>(n, f);
}

}  // namespace

std::vector<double> arith(std::span<const double> a, std::span<const double> b, ArithOp op) {
  switch (op) {
    case ArithOp::Add: return zip_values(a, b, [](double x, double y) { return x + y; });
    case ArithOp::Sub: return zip_values(a, b, [](double x, double y) { return x - y; });
    case ArithOp::Mul: return zip_values(a, b, [](double x, double y) { return x * y; });
    case ArithOp::Div: return zip_values(a, b, [](double x, double y) { return x / y; });
  }
  return {};
}

std::vector<double> arith_scalar(std::span<const double> v, double s, ArithOp op, bool scalar_left) {
  switch (op) {
    case ArithOp::Add: return map_values(v, [s](double x) { return x + s; });
    case ArithOp::Mul: return map_values(v, [s](double x) { return x * s; });
    case ArithOp::Sub:
      if (scalar_left) return map_values(v, [s](double x) { return s - x; });
      return map_values(v, [s](double x) { return x - s; });
    case ArithOp::Div:
      if (scalar_left) return map_values(v, [s](double x) { return s / x; });
      return map_values(v, [s](double x) { return x / s; });
  }
  return {};
}

std::vector<std::uint8_t> compare(std::span<const double> a, std::span<const double> b, CmpOp op) {
  return compare_any(a.data(), b.data(), false, a.size(), op);
}

std::vector<std::uint8_t> compare_scalar(std::span<const double> v, double x, CmpOp op) {
  return compare_any(v.data(), &x, true, v.size(), op);
}

std::vector<std::uint8_t> logic(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b, LogicOp op) {
  const std::uint8_t* pa = a.data();
  const std::uint8_t* pb = b.data();
  // Bool lists hold 0 or 1, but other producers may write any nonzero byte.
  switch (op) {
    case LogicOp::And:
      return logic_each(a.size(), [=](std::ptrdiff_t i) -> std::uint8_t { return (pa[i] != 0) & (pb[i] != 0); });
    case LogicOp::Or:
      return logic_each(a.size(), [=](std::ptrdiff_t i) -> std::uint8_t { return (pa[i] != 0) | (pb[i] != 0); });
    case LogicOp::Xor:
      return logic_each(a.size(), [=](std::ptrdiff_t i) -> std::uint8_t { return (pa[i] != 0) ^ (pb[i] != 0); });
  }
  return {};
}

std::vector<std::uint8_t> logic_scalar(std::span<const std::uint8_t> v, bool y, LogicOp op) {
  const std::uint8_t* p = v.data();
  const std::uint8_t yb = y;
  switch (op) {
    case LogicOp::And: return logic_each(v.size(), [=](std::ptrdiff_t i) -> std::uint8_t { return (p[i] != 0) & yb; });
    case LogicOp::Or: return logic_each(v.size(), [=](std::ptrdiff_t i) -> std::uint8_t { return (p[i] != 0) | yb; });
    case LogicOp::Xor: return logic_each(v.size(), [=](std::ptrdiff_t i) -> std::uint8_t { return (p[i] != 0) ^ yb; });
  }
  return {};
}

std::vector<std::uint8_t> invert(std::span<const std::uint8_t> v) {
  const std::uint8_t* p = v.data();
  return logic_each(v.size(), [=](std::ptrdiff_t i) -> std::uint8_t { return p[i] == 0; });
}

// ---- astype to datetime ---------------------------------------------------

std::optional<std::string_view> datetime_unit_of(std::string_view t) {
  if (t == "datetime" || t == "datetime64" || t == "datetime64[ns]") return "ns";
  if (t == "datetime64[s]") return "s";
  if (t == "datetime64[ms]") return "ms";
  if (t == "datetime64[us]") return "us";
  return std::nullopt;
}

Result<Column> to_datetime_unit(const Column& c, std::string_view unit) {
  switch (c.dtype()) {
    case DType::Object:
    case DType::Datetime: return c.to_datetime_tz(Tz::utc());
    default: return c.epoch_to_datetime(unit);
  }
}

}  // namespace kadmo::core
