#include "kadmo/compute/indicators/bands.hpp"

#include <cmath>
#include <limits>

namespace kadmo::compute {

namespace {
constexpr double kTiny = 1e-14;

// f(mean, sd) of every window, with mean and sd exactly as rolling_mean_std
// computes them. One pass that writes each output once; when the running
// sum did not stay finite (a missing value, an infinity) the kernel's
// missing-aware result is combined instead.
template <class F>
KADMO_HOT_GEN Series mean_sd_fast(const double* p, std::size_t len, std::size_t n, F f) {
  const double nn = static_cast<double>(n);
  double s = 0.0, q = 0.0;
  for (std::size_t i = 0; i + 1 < n; ++i) {
    s += p[i];
    q += p[i] * p[i];
  }
  return series_from(len, n - 1, [p, n, nn, f, s, q, i = n - 1]() mutable {
    detail::slide_sums(p, i, n, s, q);
    ++i;
    return f(s / nn, detail::sd_from_sums(s, q, nn));
  });
}

template <class F>
Series mean_sd_combine(In x, std::size_t n, F f) {
  if (n == 0 || n > x.size()) return nan_series(x.size());
  Series out = mean_sd_fast(x.data(), x.size(), n, f);
  if (std::isfinite(out.back())) return out;
  auto [mean, sd] = rolling_mean_std(View(x), n);
  for (std::size_t i = 0; i < mean.size(); ++i) mean[i] = f(mean[i], sd[i]);
  return std::move(mean);
}
}  // namespace

Series boll_upper(In x, std::size_t n, double k) {
  return mean_sd_combine(x, n, [k](double m, double s) { return m + k * s; });
}
Series boll_lower(In x, std::size_t n, double k) {
  return mean_sd_combine(x, n, [k](double m, double s) { return m - k * s; });
}
Series bbw(In x, std::size_t n) {
  return mean_sd_combine(x, n, [](double m, double s) { return (4.0 * s) / m; });
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
