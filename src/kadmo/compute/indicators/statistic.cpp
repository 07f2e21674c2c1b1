#include "kadmo/compute/indicators/statistic.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace kadmo::compute {

namespace {

constexpr double kTiny = 1e-14;
constexpr double kDegrees = 57.29577951308232;

// Calls run(a, b) for every maximal stretch a..b-1 of rows where present(i).
template <class Present, class Run>
[[gnu::always_inline]] inline void for_each_run(std::size_t len, Present present, Run run) {
  std::size_t i = 0;
  while (i < len) {
    while (i < len && !present(i)) ++i;
    const std::size_t a = i;
    while (i < len && present(i)) ++i;
    if (i > a) run(a, i);
  }
}

template <class Run>
[[gnu::always_inline]] inline void runs1(In x, Run run) {
  const double* p = x.data();
  for_each_run(x.size(), [p](std::size_t i) { return !std::isnan(p[i]); }, run);
}
template <class Run>
[[gnu::always_inline]] inline void runs2(In x, In y, Run run) {
  const double *p = x.data(), *q = y.data();
  for_each_run(x.size(), [p, q](std::size_t i) { return !std::isnan(p[i]) && !std::isnan(q[i]); }, run);
}

// The least-squares walk over one stretch x[a..b): emit(t, slope, intercept)
// at every row t whose window lies inside the stretch.
template <class Emit>
[[gnu::always_inline]] inline void linreg_walk(const double* x, std::size_t a, std::size_t b, std::size_t n,
                                               Emit emit) {
  if (b - a < n) return;
  const double nn = static_cast<double>(n);
  const double sum_x = nn * (nn - 1.0) * 0.5;
  // Exact in integers; 128 bits keep n^3 from overflowing for any n that fits
  // in memory.
  const unsigned __int128 nu = n;
  const double sum_x_sqr = static_cast<double>(nu * (nu - 1) * (2 * nu - 1) / 6);
  const double divisor = sum_x * sum_x - nn * sum_x_sqr;
  double sum_y = 0.0, sum_xy = 0.0;
  // Abscissa counted back from the newest value: oldest n-1, newest 0.
  for (std::size_t i = n; i-- != 0;) {
    const double v = x[a + n - 1 - i];
    sum_y += v;
    sum_xy += static_cast<double>(i) * v;
  }
  std::size_t t = a + n - 1;
  for (;;) {
    const double slope = (sum_xy * nn - sum_x * sum_y) / divisor;
    emit(t, slope, (sum_y - sum_x * slope) / nn);
    if (++t >= b) break;
    const double leaving = x[t - n], entering = x[t];
    sum_xy = sum_xy + (sum_y - leaving * nn);
    sum_y = sum_y + (entering - leaving);
  }
}

template <class F>
KADMO_HOT Series linreg_out(In x, std::size_t n, F f) {
  Series out = nan_series(x.size());
  if (n == 0 || n > x.size()) return out;
  double* o = out.data();
  const double* p = x.data();
  const double nn = static_cast<double>(n);
  runs1(x, [&](std::size_t a, std::size_t b) {
    linreg_walk(p, a, b, n, [&](std::size_t t, double slope, double icpt) { o[t] = f(nn, slope, icpt); });
  });
  return out;
}

}  // namespace

std::pair<Series, Series> linreg_fit(In x, std::size_t n) {
  std::pair<Series, Series> res{nan_series(x.size()), nan_series(x.size())};
  if (n == 0 || n > x.size()) return res;
  double *so = res.first.data(), *io = res.second.data();
  const double* p = x.data();
  runs1(x, [&](std::size_t a, std::size_t b) {
    linreg_walk(p, a, b, n, [&](std::size_t t, double slope, double icpt) {
      so[t] = slope;
      io[t] = icpt;
    });
  });
  return res;
}

Series linearreg(In x, std::size_t n) {
  return linreg_out(x, n, [](double nn, double m, double b) { return (nn - 1.0) * m + b; });
}
Series linearreg_slope(In x, std::size_t n) {
  return linreg_out(x, n, [](double, double m, double) { return m; });
}
Series linearreg_intercept(In x, std::size_t n) {
  return linreg_out(x, n, [](double, double, double b) { return b; });
}
Series linearreg_angle(In x, std::size_t n) {
  return linreg_out(x, n, [](double, double m, double) { return std::atan(m) * kDegrees; });
}
Series tsf(In x, std::size_t n) {
  return linreg_out(x, n, [](double nn, double m, double b) { return nn * m + b; });
}

namespace {
// The variance walk over one stretch p[a..b) as a generator of the values
// of rows a+n-1..b-1.
template <class F>
[[gnu::always_inline]] inline auto var_gen(const double* p, std::size_t a, std::size_t n, F f) {
  const double nn = static_cast<double>(n);
  double s1 = 0.0, s2 = 0.0;
  for (std::size_t i = a; i + 1 < a + n; ++i) {
    s1 += p[i];
    s2 += p[i] * p[i];
  }
  return [p, n, nn, f, s1, s2, t = a + n - 1]() mutable {
    const double w = p[t];
    s1 += w;
    s2 += w * w;
    const double m1 = s1 / nn, m2 = s2 / nn;
    const double r = f(m2 - m1 * m1);
    const double v = p[t + 1 - n];
    s1 -= v;
    s2 -= v * v;
    ++t;
    return r;
  };
}

template <class F>
KADMO_HOT_GEN Series var_fast(const double* p, std::size_t len, std::size_t n, F f) {
  return series_from(len, n - 1, var_gen(p, 0, n, f));
}

template <class F>
Series var_out(In x, std::size_t n, F f) {
  if (n == 0 || n > x.size()) return nan_series(x.size());
  // One stretch unless a missing value shows in the last window's sums
  // (they stay NaN once one entered).
  Series out = var_fast(x.data(), x.size(), n, f);
  if (!std::isnan(out.back())) return out;
  std::fill(out.begin(), out.end(), kNaN);
  double* o = out.data();
  const double* p = x.data();
  runs1(x, [&](std::size_t a, std::size_t b) {
    if (b - a < n) return;
    auto gen = var_gen(p, a, n, f);
    for (std::size_t t = a + n - 1; t < b; ++t) o[t] = gen();
  });
  return out;
}
}  // namespace

Series rolling_var(In x, std::size_t n) {
  return var_out(x, n, [](double v) { return v; });
}
namespace {
// Square roots in a loop of their own, away from the running sums'
// dependency chain. The root unit is what bounds it: two lanes per
// instruction halve its work (the lanes that are not positive are then
// replaced, exactly as the scalar rule below does).
inline double scaled_root(double v, double k) { return v > 0.0 ? k * std::sqrt(v) : (v != v ? v : 0.0); }
KADMO_HOT void scaled_roots(double* o, std::size_t len, double k) {
  std::size_t i = 0;
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
  using V2 = double __attribute__((vector_size(16)));
  using M2 = long long __attribute__((vector_size(16)));
  for (; i + 2 <= len; i += 2) {
    V2 v;
    std::memcpy(&v, o + i, sizeof v);
    const M2 pos = v > 0.0, nan = v != v;
    const V2 r = k * __builtin_ia32_sqrtpd(v);
    // positive: the root; NaN: the value; anything else: +0.0
    const M2 bits = (std::bit_cast<M2>(r) & pos) | (std::bit_cast<M2>(v) & nan);
    std::memcpy(o + i, &bits, sizeof bits);
  }
#endif
  for (; i < len; ++i) o[i] = scaled_root(o[i], k);
}
}  // namespace

Series stddev(In x, std::size_t n, double k) {
  Series out = rolling_var(x, n);
  scaled_roots(out.data(), out.size(), k);
  return out;
}

KADMO_HOT Series beta(In x, In y, std::size_t n) {
  const std::size_t len = x.size();
  Series out = nan_series(len);
  if (n == 0 || len < n + 1) return out;
  double* o = out.data();
  const double *px = x.data(), *py = y.data();
  const double nn = static_cast<double>(n);
  auto ret = [](double prev, double cur) { return std::fabs(prev) < kTiny ? 0.0 : (cur - prev) / prev; };
  runs2(x, y, [&](std::size_t a, std::size_t b) {
    if (b - a < n + 1) return;
    double sxx = 0.0, sx = 0.0, sxy = 0.0, sy = 0.0;
    for (std::size_t i = a + 1; i < a + n; ++i) {
      const double rx = ret(px[i - 1], px[i]), ry = ret(py[i - 1], py[i]);
      sxx += rx * rx;
      sx += rx;
      sxy += rx * ry;
      sy += ry;
    }
    for (std::size_t t = a + n; t < b; ++t) {
      double rx = ret(px[t - 1], px[t]), ry = ret(py[t - 1], py[t]);
      sxx += rx * rx;
      sx += rx;
      sxy += rx * ry;
      sy += ry;
      const double den = nn * sxx - sx * sx;
      o[t] = std::fabs(den) < kTiny ? 0.0 : (nn * sxy - sx * sy) / den;
      // The return of row t-n+1 leaves the window.
      const std::size_t j = t + 1 - n;
      rx = ret(px[j - 1], px[j]);
      ry = ret(py[j - 1], py[j]);
      sxx -= rx * rx;
      sx -= rx;
      sxy -= rx * ry;
      sy -= ry;
    }
  });
  return out;
}

KADMO_HOT Series correl(In x, In y, std::size_t n) {
  const std::size_t len = x.size();
  Series out = nan_series(len);
  if (n == 0 || n - 1 >= len) return out;
  double* o = out.data();
  const double *px = x.data(), *py = y.data();
  const double f = 1.0 / static_cast<double>(n);
  runs2(x, y, [&](std::size_t a, std::size_t b) {
    if (b - a < n) return;
    double sxy = 0.0, sx2 = 0.0, sy2 = 0.0, sx = 0.0, sy = 0.0;
    for (std::size_t i = a; i < a + n; ++i) {
      const double u = px[i], v = py[i];
      sx += u;
      sx2 += u * u;
      sxy += u * v;
      sy += v;
      sy2 += v * v;
    }
    for (std::size_t t = a + n - 1;;) {
      const double vx = sx2 - f * (sx * sx), vy = sy2 - f * (sy * sy);
      const double d = vx * vy;
      o[t] = d < kTiny ? 0.0 : (sxy - f * (sy * sx)) / std::sqrt(d);
      if (++t >= b) break;
      const double ox = px[t - n], oy = py[t - n], nx = px[t], ny = py[t];
      sx2 = (sx2 - ox * ox) + nx * nx;
      sy2 = (sy2 - oy * oy) + ny * ny;
      sx = (sx - ox) + nx;
      sy = (sy - oy) + ny;
      sxy = nx * ny + (sxy - oy * ox);
    }
  });
  return out;
}

}  // namespace kadmo::compute
