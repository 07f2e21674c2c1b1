#include "kadmo/compute/kernels.hpp"

#include <algorithm>

namespace kadmo::compute {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// Window tallies of the missing-aware loops. Infinities are counted rather
// than added: once an infinity has left the window the sum of the finite
// values is intact, where adding and subtracting it would leave NaN.
struct WindowTally {
  double sum = 0.0;
  double sq = 0.0;
  std::size_t missing = 0;
  std::size_t pos_inf = 0;
  std::size_t neg_inf = 0;

  void enter(double v, bool squares) {
    if (std::isnan(v)) {
      ++missing;
    } else if (v == kInf) {
      ++pos_inf;
    } else if (v == -kInf) {
      ++neg_inf;
    } else {
      sum += v;
      if (squares) sq += v * v;
    }
  }
  void leave(double v, bool squares) {
    if (std::isnan(v)) {
      --missing;
    } else if (v == kInf) {
      --pos_inf;
    } else if (v == -kInf) {
      --neg_inf;
    } else {
      sum -= v;
      if (squares) sq -= v * v;
    }
  }
  bool has_inf() const { return pos_inf != 0 || neg_inf != 0; }
  // The mean of a window holding infinities: +inf, -inf, or NaN for both.
  double inf_mean() const {
    if (pos_inf != 0 && neg_inf != 0) return kNaN;
    return pos_inf != 0 ? kInf : -kInf;
  }
};

void sma_missing_aware(View x, std::size_t n, double* out) {
  const double nn = static_cast<double>(n);
  WindowTally w;
  for (std::size_t i = 0; i < x.len; ++i) {
    w.enter(x[i], false);
    if (i >= n) w.leave(x[i - n], false);
    if (i + 1 >= n) out[i] = w.missing != 0 ? kNaN : (w.has_inf() ? w.inf_mean() : w.sum / nn);
  }
}

// Van Herk / Gil-Werman. Blocks of n from index 0; per block the running
// extreme from the left (prefix) and from the right (suffix); a window ending
// at row j of a block is the block's prefix at j joined with the previous
// block's suffix at j + 1. `pick(a, b)` is `a` when a is better than b, else
// b; every path below applies it to the same operands in the same order, so
// ties (+0 and -0) resolve alike. One block at a time:
template <class Pick>
[[gnu::always_inline]] inline void block_scan(const double* __restrict x, std::size_t cnt, double* __restrict pre,
                                              double* __restrict suf, Pick pick) {
  double m = x[0], s = x[cnt - 1];
  for (std::size_t j = 0; j < cnt; ++j) {
    m = pick(x[j], m);
    pre[j] = m;
    s = pick(x[cnt - 1 - j], s);
    suf[cnt - 1 - j] = s;
  }
}

// Output rows of one block from its prefixes and the previous block's
// suffixes (none for the first block, whose rows before n - 1 stay NaN).
// Returns the number of rows written to em.
template <class Pick>
[[gnu::always_inline]] inline std::size_t block_emit(const double* __restrict pre, const double* __restrict prev_suf,
                                                     std::size_t cnt, std::size_t n, double* __restrict em,
                                                     Pick pick) {
  if (prev_suf == nullptr) {
    if (cnt < n) return 0;
    em[0] = pre[n - 1];
    return 1;
  }
  const std::size_t full = cnt == n ? n - 1 : cnt;
  for (std::size_t j = 0; j < full; ++j) em[j] = pick(prev_suf[j + 1], pre[j]);
  if (cnt == n) em[n - 1] = pre[n - 1];  // the window is exactly this block
  return cnt;
}

// B consecutive full blocks at once: B independent compare chains per pass,
// enough to keep the compare units busy instead of waiting on one chain.
// suf holds B + 1 suffix arrays of n: slot 0 the block before the group
// (unused when first), slots 1..B the group's own. em receives the group's
// rows (from row n - 1 of the group when first).
template <std::size_t B, class Pick>
[[gnu::always_inline]] inline std::size_t block_group(const double* __restrict x, std::size_t n,
                                                      double* __restrict suf, double* __restrict em, bool first,
                                                      Pick pick) {
  std::array<double, B> s, m;
  for (std::size_t q = 0; q < B; ++q) s[q] = x[q * n + n - 1];
  for (std::size_t j = n; j-- > 0;) {
#pragma GCC unroll 16
    for (std::size_t q = 0; q < B; ++q) {
      s[q] = pick(x[q * n + j], s[q]);
      suf[(q + 1) * n + j] = s[q];
    }
  }
  for (std::size_t q = 0; q < B; ++q) m[q] = x[q * n];
  const std::size_t skip = first ? n - 1 : 0;
  for (std::size_t j = 0; j + 1 < n; ++j) {
#pragma GCC unroll 16
    for (std::size_t q = 0; q < B; ++q) {
      m[q] = pick(x[q * n + j], m[q]);
      em[q * n + j] = pick(suf[q * n + j + 1], m[q]);
    }
  }
#pragma GCC unroll 16
  for (std::size_t q = 0; q < B; ++q) em[q * n + n - 1] = pick(x[q * n + n - 1], m[q]);
  if (first) {
    // The first block has no block before it: only its last row is a value.
    em[0] = em[n - 1];
    std::copy(em + n, em + B * n, em + 1);
  }
  return B * n - skip;
}

// False at the first missing value (the caller then takes the queue method
// and drops what it was handed). Each stretch is checked just before its
// blocks are scanned, while it is on its way into the cache anyway. The
// values go to emit(values, k) in row order from row n - 1.
template <std::size_t B, class Pick, class Emit>
[[gnu::always_inline]] inline bool block_extreme(const double* x, std::size_t len, std::size_t n, Pick pick,
                                                 Emit& emit) {
  std::vector<double> buf((B + 1) * n + B * n + n);
  double* const suf = buf.data();
  double* const stage = suf + (B + 1) * n;
  double* const pre = stage + B * n;
  std::size_t b = 0;
  for (; b + B * n <= len; b += B * n) {
    if (any_nan(x + b, B * n)) return false;
    const std::size_t k = block_group<B>(x + b, n, suf, stage, b == 0, pick);
    emit(stage, k);
    std::copy(suf + B * n, suf + (B + 1) * n, suf);
  }
  // Leftover blocks one at a time, the last one possibly short.
  if (any_nan(x + b, len - b)) return false;
  for (; b < len; b += n) {
    const std::size_t cnt = std::min(len - b, n);
    double* const cur = suf + n;
    block_scan(x + b, cnt, pre, cur, pick);
    const std::size_t k = block_emit(pre, b == 0 ? nullptr : suf, cnt, n, stage, pick);
    emit(stage, k);
    std::copy(cur, cur + n, suf);
  }
  return true;
}

template <class Pick, class Emit>
[[gnu::always_inline]] inline bool block_extreme(const double* x, std::size_t len, std::size_t n, Pick pick,
                                                 Emit& emit) {
  // Long blocks keep fewer in flight so that the buffers stay small.
  if (n <= 1024) return block_extreme<6>(x, len, n, pick, emit);
  return block_extreme<2>(x, len, n, pick, emit);
}

template <class Pick>
[[gnu::always_inline]] inline std::optional<Series> block_series(const double* x, std::size_t len, std::size_t n,
                                                                 Pick pick) {
  Series out = core::vector_with_capacity<double>(len);
  out.resize(n - 1, kNaN);
  auto append = [&out](const double* v, std::size_t k) { out.insert(out.end(), v, v + k); };
  if (!block_extreme(x, len, n, pick, append)) return std::nullopt;
  return out;
}

constexpr auto pick_max = [](double a, double b) { return a > b ? a : b; };
constexpr auto pick_min = [](double a, double b) { return a < b ? a : b; };

template <class Pick>
bool extreme_chunks(View x, std::size_t n, Pick pick, ExtremeSink sink, void* ctx) {
  if (n == 0 || n > x.len || !x.contiguous()) return false;
  std::size_t row = n - 1;
  auto forward = [&](const double* v, std::size_t k) {
    sink(ctx, row, v, k);
    row += k;
  };
  return block_extreme(x.ptr, x.len, n, pick, forward);
}

// Monotone queue of indices in a ring of power-of-two size.
template <class Dominates>
void deque_extreme(View x, std::size_t n, double* out, Dominates dominates) {
  std::size_t cap = 1;
  while (cap < n + 1) cap <<= 1;
  const std::size_t mask = cap - 1;
  std::vector<std::size_t> ring(cap);
  std::size_t head = 0, tail = 0;  // queue holds ring[head..tail)
  for (std::size_t i = 0; i < x.len; ++i) {
    while (head != tail && ring[head & mask] + n <= i) ++head;
    const double v = x[i];
    if (!std::isnan(v)) {
      // Ties drop the older index; the emitted value is the same.
      while (head != tail && dominates(v, x[ring[(tail - 1) & mask]])) --tail;
      ring[tail & mask] = i;
      ++tail;
    }
    if (i + 1 >= n && head != tail) out[i] = x[ring[head & mask]];
  }
}

template <class Better>
bool scan_extreme(View x, std::size_t n, double* out, Better better_or_equal) {
  if (n == 0) return true;
  constexpr std::size_t none = static_cast<std::size_t>(-1);
  std::size_t idx = none;
  double ext = kNaN;
  for (std::size_t i = 0; i < x.len; ++i) {
    const double v = x[i];
    if (std::isnan(v)) return false;
    const std::size_t lo = i + 1 >= n ? i + 1 - n : 0;
    if (idx == none || idx < lo) {
      idx = lo;
      ext = x[lo];
      for (std::size_t j = lo + 1; j <= i; ++j) {
        const double w = x[j];
        if (better_or_equal(w, ext)) {
          ext = w;
          idx = j;
        }
      }
    } else if (better_or_equal(v, ext)) {
      ext = v;
      idx = i;
    }
    if (i + 1 >= n) out[i] = ext;
  }
  return true;
}

}  // namespace

// Steps of the seeded smoother over one chunk; returns the last value.
KADMO_HOT_CHUNK double seeded_run(double* __restrict o, const double* __restrict p, std::ptrdiff_t st,
                                  std::size_t k, StepRule rule, double e) {
  const double a = rule.a, b = rule.b;
  if (rule.kind == StepRule::Kind::Wilder) {
    for (std::size_t j = 0; j < k; ++j) o[j] = e = std::fma(a, e, b * p[static_cast<std::ptrdiff_t>(j) * st]);
  } else if (st == 1) {
    for (std::size_t j = 0; j < k; ++j) o[j] = e = std::fma(a, p[j] - e, e);
  } else {
    for (std::size_t j = 0; j < k; ++j) o[j] = e = std::fma(a, p[static_cast<std::ptrdiff_t>(j) * st] - e, e);
  }
  return e;
}

std::size_t first_present(View x) {
  for (std::size_t i = 0; i < x.len; ++i)
    if (!std::isnan(x[i])) return i;
  return x.len;
}

KADMO_HOT_GEN Series sma(View x, std::size_t n, double* final_sum) {
  if (final_sum) *final_sum = kNaN;
  if (n == 0 || n > x.len) return nan_series(x.len);
  if (x.contiguous()) {
    const double nn = static_cast<double>(n);
    const double* p = x.ptr;
    const std::size_t len = x.len;
    const std::size_t f = first_present(x);
    double sum = 0.0;
    const std::size_t first = f + n - 1;
    // The sum runs from f even when no window completes: a caller resuming
    // the average continues from it.
    for (std::size_t i = f; i < std::min(first, len); ++i) sum += p[i];
    if (first >= len) {
      if (std::isfinite(sum) && final_sum) *final_sum = sum;
      return nan_series(len);
    }
    double last_sum = kNaN;
    Series out = series_from(len, first, [=, &last_sum, s = sum, i = first]() mutable {
      s += p[i];
      if (i > first) s -= p[i - n];
      if (i + 1 == len) last_sum = s;
      ++i;
      return s / nn;
    });
    if (std::isfinite(last_sum)) {
      if (final_sum) *final_sum = last_sum;
      return out;
    }
  }
  Series out = nan_series(x.len);
  sma_missing_aware(x, n, out.data());
  return out;
}

Series sma_seeded(View x, std::size_t n, StepRule rule) {
  if (n == 0) return nan_series(x.len);
  std::size_t count = 0, i = 0;
  double sum = 0.0;
  for (; i < x.len; ++i) {
    const double v = x[i];
    if (std::isnan(v)) continue;
    sum += v;
    if (++count == n) break;
  }
  if (count < n) return nan_series(x.len);
  const double seed = sum / static_cast<double>(n);
  const std::size_t s = i;
  // Row s is the seed itself; every later row takes one step.
  ChunkedOut out(x.len, s);
  double e = seed;
  out.buf[0] = e;  // row s is the seed itself
  for (std::size_t k; (k = out.next()) != 0; out.commit(k)) {
    const std::size_t skip = out.row == s ? 1 : 0;
    const double* p = x.ptr + static_cast<std::ptrdiff_t>(out.row + skip) * x.stride;
    e = seeded_run(out.buf + skip, p, x.stride, k - skip, rule, e);
  }
  return out.take();
}

namespace {
// The block method on complete stride-1 input, else the queue. `dominates`
// drops a queued value that the new one equals or beats.
template <class Pick, class Dominates>
[[gnu::always_inline]] inline Series rolling_extreme(View x, std::size_t n, Pick pick, Dominates dominates) {
  if (n == 0 || n > x.len) return nan_series(x.len);
  if (x.stride == 1) {
    auto r = block_series(x.ptr, x.len, n, pick);
    if (r) return std::move(*r);
  }
  Series out = nan_series(x.len);
  deque_extreme(x, n, out.data(), dominates);
  return out;
}
}  // namespace

KADMO_HOT Series rolling_max(View x, std::size_t n) {
  return rolling_extreme(x, n, pick_max, [](double v, double back) { return back <= v; });
}
KADMO_HOT Series rolling_min(View x, std::size_t n) {
  return rolling_extreme(x, n, pick_min, [](double v, double back) { return back >= v; });
}

KADMO_HOT bool rolling_max_chunks(View x, std::size_t n, ExtremeSink sink, void* ctx) {
  return extreme_chunks(x, n, pick_max, sink, ctx);
}
KADMO_HOT bool rolling_min_chunks(View x, std::size_t n, ExtremeSink sink, void* ctx) {
  return extreme_chunks(x, n, pick_min, sink, ctx);
}

bool scan_max(View x, std::size_t n, double* out) {
  return scan_extreme(x, n, out, [](double a, double b) { return a >= b; });
}
bool scan_min(View x, std::size_t n, double* out) {
  return scan_extreme(x, n, out, [](double a, double b) { return a <= b; });
}

std::pair<Series, Series> rolling_mean_std(View x, std::size_t n) {
  std::pair<Series, Series> res{nan_series(x.len), nan_series(x.len)};
  auto& [mean, sd] = res;
  if (n == 0 || n > x.len) return res;
  const double nn = static_cast<double>(n);
  auto emit = [&](std::size_t i, double s, double q) {
    mean[i] = s / nn;
    sd[i] = detail::sd_from_sums(s, q, nn);
  };
  if (x.contiguous()) {
    const double* p = x.ptr;
    double s = 0.0, q = 0.0;
    for (std::size_t i = 0; i < x.len; ++i) {
      detail::slide_sums(p, i, n, s, q);
      if (i + 1 >= n) emit(i, s, q);
    }
    if (std::isfinite(s)) return res;
    std::fill(mean.begin(), mean.end(), kNaN);
    std::fill(sd.begin(), sd.end(), kNaN);
  }
  WindowTally w;
  for (std::size_t i = 0; i < x.len; ++i) {
    w.enter(x[i], true);
    if (i >= n) w.leave(x[i - n], true);
    if (i + 1 < n || w.missing != 0) continue;
    if (w.has_inf()) {
      mean[i] = w.inf_mean();
      sd[i] = kNaN;
    } else {
      emit(i, w.sum, w.sq);
    }
  }
  return res;
}

KADMO_HOT std::optional<std::array<double, 3>> ema_cascade_final(View x, std::size_t n) {
  if (n == 0) return std::nullopt;
  const std::size_t f = first_present(x);
  if (x.len - f < 3 * n - 2) return std::nullopt;
  const StepRule rule = StepRule::exponential_period(n);
  SeededStage s1{n}, s2{n}, s3{n};
  std::size_t i = f;
  // Warm-up: each stage seeds on the first n present values of its input.
  for (; i < x.len && !s3.seeded(); ++i) {
    const double v1 = s1.push(x[i], rule);
    if (!s1.seeded()) continue;
    const double v2 = s2.push(v1, rule);
    if (!s2.seeded()) continue;
    s3.push(v2, rule);
  }
  if (!s3.seeded()) return std::nullopt;
  double e1 = s1.value, e2 = s2.value, e3 = s3.value;
  const double a = rule.a;
  for (; i < x.len; ++i) {
    e1 = std::fma(a, x[i] - e1, e1);
    e2 = std::fma(a, e1 - e2, e2);
    e3 = std::fma(a, e2 - e3, e3);
  }
  return std::array<double, 3>{e1, e2, e3};
}

}  // namespace kadmo::compute
