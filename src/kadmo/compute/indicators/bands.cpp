#include "kadmo/compute/indicators/bands.hpp"

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <tuple>
#include <utility>

namespace kadmo::compute {

namespace {
constexpr double kTiny = 1e-14;

// Rows r..r+k-1 of f(mean, sd) into o, with mean and sd exactly as
// rolling_mean_std computes them (mean = s/n, variance (q - s*s/n)/n, its
// root when positive, else 0). The three divisions and the root of a row are
// off the sums' dependency chain, and their throughput bounds the loop: the
// sums of a group of 16 rows are taken first, then the group's divisions and
// roots two rows per instruction, and the next group's sums overlap them.
template <class F>
[[gnu::always_inline]] inline std::pair<double, double> mean_sd_rows(double* __restrict o, const double* p,
                                                                     std::size_t r, std::size_t k, std::size_t n,
                                                                     double s, double q, F f) {
  const double nn = static_cast<double>(n);
  constexpr std::size_t G = 16;
  alignas(64) double sb[G], qb[G];
  std::size_t g = 0;
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
  using V2 = double __attribute__((vector_size(16)));
  using M2 = long long __attribute__((vector_size(16)));
  for (; g + G <= k; g += G) {
    for (std::size_t j = 0; j < G; ++j) {
      detail::slide_sums(p, r + g + j, n, s, q);
      sb[j] = s;
      qb[j] = q;
    }
    for (std::size_t j = 0; j < G; j += 2) {
      V2 vs, vq;
      std::memcpy(&vs, sb + j, sizeof vs);
      std::memcpy(&vq, qb + j, sizeof vq);
      const V2 var = (vq - vs * vs / nn) / nn;
      const M2 pos = var > 0.0;
      const V2 sd = std::bit_cast<V2>(std::bit_cast<M2>(__builtin_ia32_sqrtpd(var)) & pos);  // +0 unless positive
      const V2 v = f(vs / nn, sd);
      std::memcpy(o + g + j, &v, sizeof v);
    }
  }
#endif
  for (; g < k; ++g) {
    detail::slide_sums(p, r + g, n, s, q);
    o[g] = f(s / nn, detail::sd_from_sums(s, q, nn));
  }
  return {s, q};
}

template <class F>
KADMO_HOT_CHUNK std::pair<double, double> mean_sd_chunk(double* __restrict o, const double* p, std::size_t r,
                                                        std::size_t k, std::size_t n, double s, double q, F f) {
  return mean_sd_rows(o, p, r, k, n, s, q, f);
}

// f(mean, sd) of every window; nothing when the running sums did not stay
// finite (a missing value, an infinity, in a window or gone through one).
template <class F>
std::optional<Series> mean_sd_fast(const double* p, std::size_t len, std::size_t n, F f) {
  double s = 0.0, q = 0.0;
  for (std::size_t i = 0; i + 1 < n; ++i) {
    s += p[i];
    q += p[i] * p[i];
  }
  ChunkedOut out(len, n - 1);
  for (std::size_t k; (k = out.next()) != 0; out.commit(k))
    std::tie(s, q) = mean_sd_chunk(out.buf, p, out.row, k, n, s, q, f);
  if (!std::isfinite(s) || !std::isfinite(q)) return std::nullopt;
  return out.take();
}

template <class F>
Series mean_sd_combine(In x, std::size_t n, F f) {
  if (n == 0 || n > x.size()) return nan_series(x.size());
  // The sums, not the last value, decide: a band that is finite although
  // its window holds an infinity (bbw: 0 / inf) is not a sign of clean sums.
  if (auto out = mean_sd_fast(x.data(), x.size(), n, f)) return std::move(*out);
  auto [mean, sd] = rolling_mean_std(View(x), n);
  for (std::size_t i = 0; i < mean.size(); ++i) mean[i] = f(mean[i], sd[i]);
  return std::move(mean);
}
}  // namespace

// The band functions take doubles or pairs of them (see mean_sd_rows).
Series boll_upper(In x, std::size_t n, double k) {
  return mean_sd_combine(x, n, [k](auto m, auto s) { return m + k * s; });
}
Series boll_lower(In x, std::size_t n, double k) {
  return mean_sd_combine(x, n, [k](auto m, auto s) { return m - k * s; });
}
Series bbw(In x, std::size_t n) {
  return mean_sd_combine(x, n, [](auto m, auto s) { return (4.0 * s) / m; });
}

Series accbands_raw(In high, In low, bool upper) {
  const std::size_t len = high.size();
  Series out(len);
  for (std::size_t i = 0; i < len; ++i) {
    const double h = high[i], l = low[i], s = h + l;
    if (std::fabs(s) < kTiny)
      out[i] = upper ? h : l;
    else
      out[i] = upper ? h * (((h - l) * 4.0) / s + 1.0) : l * (((h - l) * -4.0) / s + 1.0);
  }
  return out;
}

Series accbands_upper(In high, In low, std::size_t n) { return sma(View(accbands_raw(high, low, true)), n); }
Series accbands_lower(In high, In low, std::size_t n) { return sma(View(accbands_raw(high, low, false)), n); }
Series accbands_middle(In close, std::size_t n) { return sma(View(close), n); }

Series hv(In x, std::size_t n, std::int64_t minutes_per_bar, std::int64_t periods_per_year) {
  const std::size_t len = x.size();
  Series out = nan_series(len);
  if (n < 2 || n > len) return out;
  Series r(len);
  r[0] = kNaN;
  for (std::size_t t = 1; t < len; ++t) {
    const double p = x[t - 1], c = x[t];
    r[t] = (p > 0.0 && c > 0.0) ? std::log(c / p) : kNaN;
  }
  const double scale =
      std::sqrt((static_cast<double>(periods_per_year) * 1440.0) / static_cast<double>(minutes_per_bar));
  const double nn = static_cast<double>(n);
  // Running sums of the present, finite returns of the window; a missing
  // return keeps the window NaN, an infinite one (a price of infinity or a
  // tiny one after a huge one) makes the deviation infinite.
  double s = 0.0, q = 0.0;
  std::size_t missing = 0, infinite = 0;
  for (std::size_t t = 0; t < len; ++t) {
    const double v = r[t];
    if (std::isnan(v)) ++missing;
    else if (std::isinf(v)) ++infinite;
    else s += v, q += v * v;
    if (t >= n) {
      const double w = r[t - n];
      if (std::isnan(w)) --missing;
      else if (std::isinf(w)) --infinite;
      else s -= w, q -= w * w;
    }
    if (t + 1 < n || missing != 0) continue;
    if (infinite != 0) {
      out[t] = std::numeric_limits<double>::infinity();
      continue;
    }
    const double var = (q - s * s / nn) / (nn - 1.0);
    out[t] = (var > 0.0 ? std::sqrt(var) : 0.0) * scale;
  }
  return out;
}

}  // namespace kadmo::compute
