#include "kadmo/compute/indicators/tools.hpp"

#include <cmath>
#include <limits>

namespace kadmo::compute {

Flags style(bool x_above, In x, In y) {
  Flags out(x.size());
  if (x_above)
    for (std::size_t i = 0; i < x.size(); ++i) out[i] = x[i] > y[i];
  else
    for (std::size_t i = 0; i < x.size(); ++i) out[i] = y[i] > x[i];
  return out;
}

Series change(In x, std::size_t n) {
  const std::size_t len = x.size();
  Series out = nan_series(len);
  if (n == 0 || n > len) return out;
  for (std::size_t t = n - 1; t < len; ++t) {
    const double base = x[t - (n - 1)];
    if (std::fabs(base) > 1e-10) out[t] = x[t] / base - 1.0;
  }
  return out;
}

Flags repeat(std::span<const std::uint8_t> b, std::size_t n) {
  if (n == 1) return Flags(b.begin(), b.end());
  Flags out(b.size(), 0);
  if (n == 0) return out;
  // Length of the run of true values ending at each row.
  std::size_t run = 0;
  for (std::size_t t = 0; t < b.size(); ++t) {
    run = b[t] ? run + 1 : 0;
    out[t] = run >= n;
  }
  return out;
}

Flags increase(In x, std::size_t n, std::int64_t d) {
  const std::size_t len = x.size();
  Flags out(len, 0);
  if (len <= n) return out;
  const double dd = static_cast<double>(d);
  const double sentinel = d == 1 ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
  // Row t needs the first value x[t - n] to pass against the sentinel and the
  // n steps after it to pass against their predecessors: a run of passing
  // steps of length n ending at t.
  std::size_t run = 0;
  for (std::size_t t = 0; t < len; ++t) {
    if (t > 0) run = (x[t] - x[t - 1]) * dd > 0.0 ? run + 1 : 0;
    if (t < n) continue;
    const double first = x[t - n];
    out[t] = run >= n && (first - sentinel) * dd > 0.0;
  }
  return out;
}

}  // namespace kadmo::compute
