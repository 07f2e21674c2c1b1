#include "kadmo/compute/indicators/math_ops.hpp"

#include <cmath>

#include "kadmo/compute/indicators/window_extreme.hpp"

namespace kadmo::compute {

namespace {

using detail::ExtremeTracker;

template <bool Max>
Series index_batch(In x, std::size_t n) {
  const std::size_t len = x.size();
  if (n == 0 || n > len) return nan_series(len);
  const double* p = x.data();
  return series_from(len, n - 1, [=, tr = ExtremeTracker<Max, false>{}, t = n - 1]() mutable {
    tr.step(p, t, n);
    const double v = std::isnan(tr.val) ? kNaN : static_cast<double>(tr.idx);
    ++t;
    return v;
  });
}

template <bool Max>
std::optional<State> index_final(In x, std::size_t n) {
  if (n == 0 || n - 1 >= x.size()) return std::nullopt;
  ExtremeTracker<Max, false> tr;
  for (std::size_t t = n - 1; t < x.size(); ++t) tr.step(x.data(), t, n);
  // A window without a present value has no extreme to continue from.
  if (std::isnan(tr.val)) return std::nullopt;
  return State{static_cast<double>(tr.idx), tr.val};
}

template <bool Max>
Resumed index_resume(In x, std::size_t n, std::size_t start, const State& state, std::uint64_t origin) {
  const std::size_t len = x.size();
  if (n == 0 || start == 0 || start > len || start < n - 1 || state.size() < 2) return std::nullopt;
  // The saved position, in the numbering of the current inputs.
  const double pos = state[0] - static_cast<double>(origin);
  if (!(pos >= 0.0) || pos > static_cast<double>(start - 1) || pos != std::floor(pos)) return std::nullopt;
  const auto local = static_cast<std::size_t>(pos);
  // It must lie in the window that ends at row start - 1 and hold the
  // saved extreme; a state of other rows is refused.
  if (local + n < start || !(x[local] == state[1])) return std::nullopt;
  ExtremeTracker<Max, false> tr;
  tr.any = true;
  tr.idx = local;
  tr.val = state[1];
  const double off = static_cast<double>(origin);
  Series out(len - start);
  for (std::size_t t = start; t < len; ++t) {
    tr.step(x.data(), t, n);
    out[t - start] = std::isnan(tr.val) ? kNaN : static_cast<double>(tr.idx) + off;
  }
  return std::pair{std::move(out), State{static_cast<double>(tr.idx) + off, tr.val}};
}

}  // namespace

KADMO_HOT_GEN Series sum(In x, std::size_t n) {
  const std::size_t len = x.size();
  if (n == 0 || n > len) return nan_series(len);
  Series out = nan_series(len);
  double s = 0.0;
  for (std::size_t t = 0; t < len; ++t) {
    s += x[t];
    if (t >= n) s -= x[t - n];
    if (t + 1 >= n) out[t] = s;
  }
  if (!std::isnan(s)) return out;
  // A missing value entered the sum: count it only while it is in the window.
  s = 0.0;
  std::size_t missing = 0;
  for (std::size_t t = 0; t < len; ++t) {
    if (std::isnan(x[t])) ++missing;
    else s += x[t];
    if (t >= n) {
      if (std::isnan(x[t - n])) --missing;
      else s -= x[t - n];
    }
    if (t + 1 >= n) out[t] = missing ? kNaN : s;
  }
  return out;
}

KADMO_HOT_GEN Series maxindex(In x, std::size_t n) { return index_batch<true>(x, n); }
KADMO_HOT_GEN Series minindex(In x, std::size_t n) { return index_batch<false>(x, n); }

KADMO_HOT_GEN std::optional<State> maxindex_final_state(In x, std::size_t n) { return index_final<true>(x, n); }
KADMO_HOT_GEN std::optional<State> minindex_final_state(In x, std::size_t n) { return index_final<false>(x, n); }
KADMO_HOT_GEN
Resumed maxindex_resume(In x, std::size_t n, std::size_t start, const State& state, std::uint64_t origin) {
  return index_resume<true>(x, n, start, state, origin);
}
KADMO_HOT_GEN
Resumed minindex_resume(In x, std::size_t n, std::size_t start, const State& state, std::uint64_t origin) {
  return index_resume<false>(x, n, start, state, origin);
}

}  // namespace kadmo::compute
