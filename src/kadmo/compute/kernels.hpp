#pragma once
// Shared rolling and smoothing loops of the indicator library, and the small
// numeric helpers every indicator uses. Nothing here fails: what cannot be
// computed is NaN.

#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <limits>
#include <optional>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

#include "kadmo/core/memory.hpp"

// Hot loops get an FMA-enabled clone chosen at load time. The arithmetic is
// the same (std::fma is exact in both clones); only the call overhead goes.
// Kernels that build their output with series_from also inline everything
// they call (KADMO_HOT_GEN): GCC keeps the generator's state in registers
// only then; otherwise it stays on the stack and every step pays a store
// and a reload.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(__clang__)
#define KADMO_HOT __attribute__((target_clones("fma", "default")))
#define KADMO_HOT_GEN __attribute__((target_clones("fma", "default"), flatten))
#define KADMO_HOT_CHUNK __attribute__((target_clones("fma", "default"), noinline))
#else
#define KADMO_HOT
#define KADMO_HOT_GEN
#define KADMO_HOT_CHUNK
#endif

namespace kadmo::compute {

using Series = std::vector<double>;
using State = std::vector<double>;
// Values of rows start..len-1 and the state after the last row.
using Resumed = std::optional<std::pair<Series, State>>;

inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Read-only view of a float series with a stride (a column of a 2-D array or
// a reversed view reaches the kernels without a copy).
struct View {
  const double* ptr = nullptr;
  std::size_t len = 0;
  std::ptrdiff_t stride = 1;

  View() = default;
  View(std::span<const double> s) : ptr(s.data()), len(s.size()), stride(1) {}
  View(const std::vector<double>& v) : ptr(v.data()), len(v.size()), stride(1) {}
  View(const double* p, std::size_t n, std::ptrdiff_t st = 1) : ptr(p), len(n), stride(st) {}

  double operator[](std::size_t i) const { return ptr[static_cast<std::ptrdiff_t>(i) * stride]; }
  std::size_t size() const { return len; }
  bool contiguous() const { return stride == 1 || len <= 1; }
};

// Two-value maximum and minimum that ignore a NaN operand.
inline double nan_max(double a, double b) {
  if (std::isnan(a)) return b;
  if (std::isnan(b)) return a;
  return a < b ? b : a;
}
inline double nan_min(double a, double b) {
  if (std::isnan(a)) return b;
  if (std::isnan(b)) return a;
  return b < a ? b : a;
}

// Output buffers are huge-page advised: first-touch faults otherwise cost as
// much as the indicator arithmetic on long series.
inline Series nan_series(std::size_t len) {
  Series s = core::vector_with_capacity<double>(len);
  s.resize(len, kNaN);
  return s;
}

namespace detail {
// Range over successive results of a generator, used only to build a vector.
// The iterator carries the generator by value, so its state stays in
// registers in the copy loop; the value of a position is computed when the
// iterator arrives there and never past the end. It is tagged random access
// only so that the vector measures the range by subtraction instead of
// walking it.
template <class Gen>
struct GenIter {
  using iterator_category = std::random_access_iterator_tag;
  using value_type = double;
  using difference_type = std::ptrdiff_t;
  using pointer = const double*;
  using reference = double;

  Gen gen;
  std::ptrdiff_t pos = 0, end = 0;
  double cur = 0.0;

  GenIter(const Gen& g, std::ptrdiff_t p, std::ptrdiff_t e) : gen(g), pos(p), end(e) {
    if (pos < end) cur = gen();
  }
  double operator*() const { return cur; }
  GenIter& operator++() {
    if (++pos < end) cur = gen();
    return *this;
  }
  GenIter operator++(int) {
    GenIter t = *this;
    ++*this;
    return t;
  }
  // Required by the iterator category; building a vector never steps back.
  GenIter& operator--() {
    --pos;
    return *this;
  }
  GenIter& operator+=(std::ptrdiff_t k) {
    while (k-- > 0) ++*this;
    return *this;
  }
  friend std::ptrdiff_t operator-(const GenIter& a, const GenIter& b) { return a.pos - b.pos; }
  friend bool operator==(const GenIter& a, const GenIter& b) { return a.pos == b.pos; }
};

// Running sum s and sum of squares q of the window of n rows ending at i:
// p[i] enters, p[i - n] leaves. The bands and rolling_mean_std share it so
// that their values agree bit for bit.
[[gnu::always_inline]] inline void slide_sums(const double* p, std::size_t i, std::size_t n, double& s, double& q) {
  const double v = p[i];
  s += v;
  q += v * v;
  if (i >= n) {
    const double w = p[i - n];
    s -= w;
    q -= w * w;
  }
}

// Population deviation of a window of nn values from its running sums; a
// variance that cancellation left at or below zero is 0.
[[gnu::always_inline]] inline double sd_from_sums(double s, double q, double nn) {
  const double var = (q - s * s / nn) / nn;
  return var > 0.0 ? std::sqrt(var) : 0.0;
}
}  // namespace detail

// A series of len values written in one pass: NaN on rows 0..start-1, then
// one call of next() per row, in row order (next is copied; keep its state in
// init-captures of a mutable lambda). Filling the whole output with NaN and
// then writing the values is a second trip to memory per value, which on
// long series costs as much as a simple average itself.
template <class Next>
[[gnu::always_inline]] inline Series series_from(std::size_t len, std::size_t start, const Next& next) {
  Series s = core::vector_with_capacity<double>(len);
  if (start >= len) {
    s.resize(len, kNaN);
    return s;
  }
  s.resize(start, kNaN);
  const auto m = static_cast<std::ptrdiff_t>(len - start);
  s.insert(s.end(), detail::GenIter<Next>(next, 0, m), detail::GenIter<Next>(next, m, m));
  return s;
}

// Rows per output chunk: 8 KiB, well inside L1.
inline constexpr std::size_t kChunk = 1024;

// An output of len values written in one pass: NaN on rows 0..start-1, then
// chunks of values written into an L1 buffer and committed. Filling the
// whole output with NaN first would be a second trip to memory per value.
// The loop that fills a chunk belongs in its own KADMO_HOT_CHUNK function
// taking and returning its state by value: inline in the caller, GCC keeps
// any double that lives across commit() in memory, putting a store and a
// reload on the dependency chain of every step.
//   for (std::size_t k; (k = out.next()) != 0; out.commit(k)) st = run(out.buf, ..., k, st);
struct ChunkedOut {
  Series s;
  std::size_t row, len;
  alignas(64) double buf[kChunk];

  ChunkedOut(std::size_t n, std::size_t start) : s(core::vector_with_capacity<double>(n)), row(start), len(n) {
    if (row > len) row = len;
    s.resize(row, kNaN);
  }
  std::size_t fill = 0;  // values staged by put() and not yet committed

  std::size_t next() const { return len - row < kChunk ? len - row : kChunk; }
  void commit(std::size_t k) {
    s.insert(s.end(), buf, buf + k);
    row += k;
  }
  // One value at a time, for the few rows of a warm-up; flush() before
  // going back to next()/commit().
  void put(double v) {
    buf[fill++] = v;
    if (fill == kChunk) flush();
  }
  void flush() {
    if (fill != 0) commit(fill);
    fill = 0;
  }
  Series take() { return std::move(s); }
};

// Whether any of len values is NaN. Two lanes at a time, four vectors per
// step, without an early exit inside a block (written with vector types:
// GCC left the plain loop scalar); the scan stops after the block holding a
// NaN.
inline bool any_nan(const double* p, std::size_t len) {
  using V = double __attribute__((vector_size(16)));
  using M = long long __attribute__((vector_size(16)));
  constexpr std::size_t block = 1024;
  const std::size_t whole = len & ~std::size_t{7};
  std::size_t i = 0;
  while (i < whole) {
    const std::size_t e = whole - i < block ? whole : i + block;
    M n0 = {}, n1 = {}, n2 = {}, n3 = {};
    for (; i < e; i += 8) {
      V v0, v1, v2, v3;
      std::memcpy(&v0, p + i, sizeof v0);
      std::memcpy(&v1, p + i + 2, sizeof v1);
      std::memcpy(&v2, p + i + 4, sizeof v2);
      std::memcpy(&v3, p + i + 6, sizeof v3);
      n0 |= v0 != v0;
      n1 |= v1 != v1;
      n2 |= v2 != v2;
      n3 |= v3 != v3;
    }
    const M n = (n0 | n1) | (n2 | n3);
    if ((n[0] | n[1]) != 0) return true;
  }
  for (; i < len; ++i)
    if (p[i] != p[i]) return true;
  return false;
}
inline bool any_nan(std::span<const double> s) { return any_nan(s.data(), s.size()); }

// Index of the first non-NaN value, len when there is none.
std::size_t first_present(View x);

// Recursion rules of the seeded smoothers.
struct StepRule {
  enum class Kind { Exponential, Wilder } kind;
  double a;  // exponential: alpha; Wilder: weight of the previous value
  double b;  // Wilder: weight of the new value; unused for exponential

  static StepRule exponential(double alpha) { return {Kind::Exponential, alpha, 0.0}; }
  static StepRule exponential_period(std::size_t n) { return exponential(2.0 / (static_cast<double>(n) + 1.0)); }
  static StepRule wilder(std::size_t n) {
    const double nn = static_cast<double>(n);
    return {Kind::Wilder, (nn - 1.0) / nn, 1.0 / nn};
  }
  double step(double prev, double x) const {
    return kind == Kind::Exponential ? std::fma(a, x - prev, prev) : std::fma(a, prev, b * x);
  }
};

// Steps of a seeded smoother over k inputs read with stride st from p,
// written to o; returns the last value. The batch and the resume share it.
double seeded_run(double* __restrict o, const double* __restrict p, std::ptrdiff_t st, std::size_t k, StepRule rule,
                  double e);

// Simple moving average; a value only where the whole window is present.
// When final_sum is given it receives the running sum of the check-free loop
// after the last row (NaN when the missing-aware loop had to run).
Series sma(View x, std::size_t n, double* final_sum = nullptr);

// Mean of the first n present values, then the step rule on every later row.
Series sma_seeded(View x, std::size_t n, StepRule rule);

// Largest / smallest present value of the n-row window.
Series rolling_max(View x, std::size_t n);
Series rolling_min(View x, std::size_t n);

// The block method of rolling_max/rolling_min without an output of its own:
// the values from row n - 1 on go to sink(ctx, row, values, k) chunk by chunk
// in row order. False when the block method does not apply (n = 0, n > len,
// a strided view, or a missing value, met possibly after some chunks were
// handed on): the caller then drops what it received and takes the general
// path. Lets an indicator built on two extremes keep one full-length array.
using ExtremeSink = void (*)(void* ctx, std::size_t row, const double* values, std::size_t k);
bool rolling_max_chunks(View x, std::size_t n, ExtremeSink sink, void* ctx);
bool rolling_min_chunks(View x, std::size_t n, ExtremeSink sink, void* ctx);
// f(row, values, k) for each chunk.
template <class F>
void extreme_sink(void* c, std::size_t row, const double* v, std::size_t k) {
  (*static_cast<F*>(c))(row, v, k);
}
template <class F>
bool rolling_max_each(View x, std::size_t n, F& f) {
  return rolling_max_chunks(x, n, extreme_sink<F>, &f);
}
template <class F>
bool rolling_min_each(View x, std::size_t n, F& f) {
  return rolling_min_chunks(x, n, extreme_sink<F>, &f);
}

// Window mean and population standard deviation.
std::pair<Series, Series> rolling_mean_std(View x, std::size_t n);

// Final values of three chained exponential averages (alpha 2/(n+1)).
std::optional<std::array<double, 3>> ema_cascade_final(View x, std::size_t n);

// Single-scan window extremes for short windows on complete input: tracks the
// index of the extreme and rescans only when it leaves the window. Returns
// false (out untouched beyond what it wrote) at the first NaN.
bool scan_max(View x, std::size_t n, double* out);
bool scan_min(View x, std::size_t n, double* out);

// Seeded-recursion state machine shared by the batch, final-state and resume
// forms, so all three perform the same operations.
struct SeededStage {
  std::size_t n = 0;
  std::size_t count = 0;
  double sum = 0.0;
  double value = kNaN;

  bool seeded() const { return count >= n; }
  // Feeds one input; returns the stage value after it (NaN before the seed).
  double push(double x, const StepRule& rule) {
    if (count >= n) {
      value = rule.step(value, x);
      return value;
    }
    if (!std::isnan(x)) {
      sum += x;
      if (++count == n) value = sum / static_cast<double>(n);
    }
    return count >= n ? value : kNaN;
  }
};

}  // namespace kadmo::compute
