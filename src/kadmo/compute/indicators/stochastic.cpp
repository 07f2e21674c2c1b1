#include "kadmo/compute/indicators/stochastic.hpp"

#include <algorithm>

#include "kadmo/compute/indicators/oscillators.hpp"

namespace kadmo::compute {

namespace {

inline double fastk_value(double hh, double ll, double c) {
  if (std::isnan(hh)) return kNaN;
  const double range = hh - ll;
  if (range == 0.0) return 0.0;
  return ((c - ll) * 100.0) / range;
}

// Window extremes; the single scan is tried first when asked and gives way to
// the general kernels at a missing value. Both give the same values.
void extremes(View h, View l, std::size_t n, bool try_scan, Series& hh, Series& ll) {
  if (try_scan && n > 0 && n <= h.len && h.len == l.len) {
    hh.assign(h.len, kNaN);
    ll.assign(l.len, kNaN);
    if (scan_max(h, n, hh.data()) && scan_min(l, n, ll.data())) return;
  }
  hh = rolling_max(h, n);
  ll = rolling_min(l, n);
}

// out holds NaN on entry. Without the scan, the window maxima are written
// into out and the minima joined chunk by chunk: no full-length temporaries.
void stoch_into(View h, View l, View c, std::size_t n, bool try_scan, double* out) {
  if (!try_scan) {
    auto put = [out](std::size_t row, const double* v, std::size_t k) { std::copy(v, v + k, out + row); };
    auto join = [out, &c](std::size_t row, const double* v, std::size_t k) {
      for (std::size_t j = 0; j < k; ++j) out[row + j] = fastk_value(out[row + j], v[j], c[row + j]);
    };
    if (rolling_max_each(h, n, put) && rolling_min_each(l, n, join)) return;
  }
  // The scan, or a missing value or strided input: every row is rewritten.
  Series hh, ll;
  extremes(h, l, n, try_scan, hh, ll);
  for (std::size_t i = 0; i < h.len; ++i) out[i] = fastk_value(hh[i], ll[i], c[i]);
}

// The running sum of a 3-row simple average, with the kernel's order of
// operations: add the entering value, then subtract the leaving one.
struct Ring3 {
  double buf[3] = {0.0, 0.0, 0.0};
  double sum = 0.0;
  std::size_t count = 0;
  // Returns the average once three values have entered, else NaN.
  double push(double v) {
    const std::size_t slot = count % 3;
    sum += v;
    if (count >= 3) sum -= buf[slot];
    buf[slot] = v;
    ++count;
    return count >= 3 ? sum / 3.0 : kNaN;
  }
};

// Fast %K with n = 5 at row i >= 4 of complete input. Without a missing
// value the window extremes are exact whichever way they are found; five
// values are compared directly instead of kept in arrays.
inline double fastk5_at(const double* h, const double* l, const double* c, std::size_t i) {
  double hh = h[i - 4], ll = l[i - 4];
  for (std::size_t j = i - 3; j <= i; ++j) {
    hh = h[j] > hh ? h[j] : hh;
    ll = l[j] < ll ? l[j] : ll;
  }
  return fastk_value(hh, ll, c[i]);
}

// Whether one of the first rows (those before the first full window) is missing.
inline bool head_missing(const double* h, const double* l, const double* c, std::size_t rows) {
  bool bad = false;
  for (std::size_t i = 0; i < rows; ++i) bad |= std::isnan(h[i]) || std::isnan(l[i]) || std::isnan(c[i]);
  return bad;
}

std::size_t stochrsi_g(std::size_t fastk, bool with_d, std::size_t fastd) {
  const std::size_t k1 = std::max<std::size_t>(fastk, 1), d1 = std::max<std::size_t>(fastd, 1);
  return (k1 - 1) + (with_d ? d1 - 1 : 0);
}

}  // namespace

Series stoch_fastk(In high, In low, In close, std::size_t n) {
  Series out = nan_series(high.size());
  const bool same = high.size() == low.size() && high.size() == close.size();
  stoch_into(View(high), View(low), View(close), n, n <= 16 && high.size() <= 4096 && same, out.data());
  return out;
}

Series stochrsi_fastk(In x, std::size_t n, std::size_t fastk) {
  const Series r = rsi(x, n);
  Series out = nan_series(x.size());
  const std::size_t f = first_present(View(r));
  if (f == r.size()) return out;
  const View v(r.data() + f, r.size() - f);
  // The single scan wins on short series only: over long ones the extreme of
  // a small window of RSI values leaves it so often that the rescans cost
  // more than the block method (same values either way).
  stoch_into(v, v, v, fastk, fastk <= 8 && v.len <= 4096, out.data() + f);
  return out;
}

std::optional<Series> stoch_d_default_sma(In high, In low, In close) {
  const std::size_t len = high.size();
  if (len != low.size() || len != close.size() || len <= 4) return std::nullopt;
  const double *h = high.data(), *l = low.data(), *c = close.data();
  // Any missing value declines; checked alongside the values, one pass.
  bool bad = head_missing(h, l, c, 4);
  Series out = nan_series(len);
  Ring3 slow_k, slow_d;
  for (std::size_t i = 4; i < len; ++i) {
    bad |= std::isnan(h[i]) || std::isnan(l[i]) || std::isnan(c[i]);
    const double k = slow_k.push(fastk5_at(h, l, c, i));
    if (slow_k.count >= 3) out[i] = slow_d.push(k);
  }
  if (bad) return std::nullopt;
  // A non-finite sum sends the kernel average down its missing-aware path.
  if (!std::isfinite(slow_k.sum) || !std::isfinite(slow_d.sum)) return std::nullopt;
  return out;
}

std::optional<Series> stochf_d_default_sma(In high, In low, In close) {
  const std::size_t len = high.size();
  if (len != low.size() || len != close.size() || len <= 4) return std::nullopt;
  const double *h = high.data(), *l = low.data(), *c = close.data();
  bool bad = head_missing(h, l, c, 4);
  Series out = nan_series(len);
  Ring3 fast_d;
  for (std::size_t i = 4; i < len; ++i) {
    bad |= std::isnan(h[i]) || std::isnan(l[i]) || std::isnan(c[i]);
    out[i] = fast_d.push(fastk5_at(h, l, c, i));
  }
  if (bad) return std::nullopt;
  if (!std::isfinite(fast_d.sum)) return std::nullopt;
  return out;
}

std::optional<Series> stochrsi_d_default_sma(In x) {
  const Series r = rsi(x, 14);
  Series out = nan_series(x.size());
  const std::size_t f = first_present(View(r));
  const std::size_t m = r.size() - f;
  if (m <= 6) return out;
  const double* v = r.data() + f;
  bool bad = head_missing(v, v, v, 4);
  Ring3 d;
  for (std::size_t i = 4; i < m; ++i) {
    bad |= std::isnan(v[i]);
    out[f + i] = d.push(fastk5_at(v, v, v, i));
  }
  if (bad) return std::nullopt;
  if (!std::isfinite(d.sum)) return std::nullopt;
  return out;
}

KADMO_HOT_GEN
std::optional<State> stochrsi_final_state(In x, std::size_t n, std::size_t fastk, bool with_d, std::size_t fastd) {
  const auto rs = rsi_final_state(x, n);
  const std::size_t g = stochrsi_g(fastk, with_d, fastd);
  if (!rs || x.size() < g + n) return std::nullopt;
  const Series r = rsi(x, n);
  State st{(*rs)[0], (*rs)[1]};
  st.insert(st.end(), r.end() - static_cast<std::ptrdiff_t>(g), r.end());
  // A saved window still inside the RSI warm-up (leading NaN) could never be
  // resumed from; say so now.
  for (std::size_t i = 2; i < st.size(); ++i)
    if (std::isnan(st[i])) return std::nullopt;
  if (with_d) {
    const std::size_t d1 = std::max<std::size_t>(fastd, 1);
    const Series k = stochrsi_fastk(x, n, fastk);
    double sum = 0.0;
    if (fastd > 0) sma(View(k), fastd, &sum);
    st.push_back(sum);
    st.insert(st.end(), k.end() - static_cast<std::ptrdiff_t>(d1), k.end());
  }
  return st;
}

KADMO_HOT_GEN
Resumed stochrsi_resume(In x, std::size_t n, std::size_t fastk, bool with_d, std::size_t fastd, std::size_t start,
                        const State& state) {
  const std::size_t g = stochrsi_g(fastk, with_d, fastd);
  const std::size_t d1 = std::max<std::size_t>(fastd, 1);
  const std::size_t size = g + 2 + (with_d ? 1 + d1 : 0);
  if (state.size() != size || start > x.size() || start < g) return std::nullopt;
  double sum = with_d ? state[2 + g] : 0.0;
  if (start == x.size()) return std::pair{Series{}, state};
  if (with_d && fastd > 0 && std::isnan(sum)) return std::nullopt;
  auto rr = rsi_resume(x, n, start, State{state[0], state[1]});
  if (!rr) return std::nullopt;
  const std::size_t m = rr->first.size();
  Series buf(state.begin() + 2, state.begin() + 2 + static_cast<std::ptrdiff_t>(g));
  buf.insert(buf.end(), rr->first.begin(), rr->first.end());
  for (double v : buf)
    if (std::isnan(v)) return std::nullopt;
  Series kb(buf.size(), kNaN);
  stoch_into(View(buf), View(buf), View(buf), fastk, true, kb.data());

  State next = std::move(rr->second);
  next.insert(next.end(), buf.end() - static_cast<std::ptrdiff_t>(g), buf.end());
  Series out(m);
  if (!with_d) {
    std::copy(kb.begin() + static_cast<std::ptrdiff_t>(g), kb.end(), out.begin());
    return std::pair{std::move(out), std::move(next)};
  }
  // D: continue the batch average's running sum over the %K history.
  Series hist(state.begin() + static_cast<std::ptrdiff_t>(3 + g), state.end());
  const double dd = static_cast<double>(d1);
  for (std::size_t i = 0; i < m; ++i) {
    const double k = kb[g + i];
    hist.push_back(k);
    const std::size_t p = d1 + i;
    sum += k;
    const double leaving = hist[p - d1];
    if (!std::isnan(leaving)) sum -= leaving;
    out[i] = fastd == 0 || std::isnan(hist[p + 1 - d1]) ? kNaN : sum / dd;
  }
  next.push_back(sum);
  next.insert(next.end(), hist.end() - static_cast<std::ptrdiff_t>(d1), hist.end());
  return std::pair{std::move(out), std::move(next)};
}

}  // namespace kadmo::compute
