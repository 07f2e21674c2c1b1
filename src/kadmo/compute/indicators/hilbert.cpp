#include "kadmo/compute/indicators/hilbert.hpp"

#include <cmath>

namespace kadmo::compute {

namespace {

constexpr double kRad2Deg = 57.29577951308232;
constexpr double kDeg2Rad = 0.017453292519943295;
constexpr double kTwoPi = 6.283185307179586;
constexpr std::size_t kPhaseRing = 50;
constexpr std::size_t kMaxWindow = 50;
// The trend line keeps three bars of mean history, so the means before
// this row never reach an output (63 - 3) and are not computed: reading
// up to 50 prices back is then always inside the series.
constexpr std::uint64_t kTrendMeanFrom = 60;
constexpr double kMaxExactCount = 9007199254740992.0;  // 2^53

// sin and cos of 2*pi*i/p for every DFT window p = 1..50, built on first use.
struct Twiddle {
  double sin[kMaxWindow + 1][kMaxWindow];
  double cos[kMaxWindow + 1][kMaxWindow];
};

const Twiddle& dft_twiddle() {
  // A function-local static is initialised exactly once, even with
  // concurrent first callers.
  static const Twiddle* const table = [] {
    auto* t = new Twiddle{};
    for (std::size_t p = 1; p <= kMaxWindow; ++p)
      for (std::size_t i = 0; i < p; ++i) {
        const double a = (static_cast<double>(i) * kTwoPi) / static_cast<double>(p);
        t->sin[p][i] = std::sin(a);
        t->cos[p][i] = std::cos(a);
      }
    return t;
  }();
  return *table;
}

// DFT window or mean length from a smooth period: rounded down after +0.5,
// 0 for NaN, never above 50.
inline std::size_t period_window(double sp) {
  const double v = sp + 0.5;
  if (!(v >= 1.0)) return 0;
  if (v >= static_cast<double>(kMaxWindow)) return kMaxWindow;
  return static_cast<std::size_t>(v);
}

// Reads an integral slot in [lo, hi]; none otherwise (a state vector comes
// back from storage, so its integer slots are checked before indexing).
inline std::optional<std::uint64_t> int_slot(double v, double lo, double hi) {
  if (!(v >= lo && v <= hi) || std::trunc(v) != v) return std::nullopt;
  return static_cast<std::uint64_t>(v);
}

inline double hilbert(std::array<double, 3>& ring, double& prev, double& prev_in, std::uint64_t k, double v,
                      double adj) {
  const double h = 0.0962 * v;
  double out = h - ring[k];
  ring[k] = h;
  out -= prev;
  prev = 0.5769 * prev_in;
  out += prev;
  prev_in = v;
  return out * adj;
}

inline double filter_even(HilbertVar& f, std::uint64_t k, double v, double adj) {
  return hilbert(f.even, f.prev_even, f.prev_in_even, k, v, adj);
}
inline double filter_odd(HilbertVar& f, std::uint64_t k, double v, double adj) {
  return hilbert(f.odd, f.prev_odd, f.prev_in_odd, k, v, adj);
}

// Feeds row t (x[t - 3] is read for the leaving price). Returns true with
// the bar's record once 12 rows have filled the price sums.
inline bool core_step(HtCoreState& c, const double* x, std::size_t t, HtRecord& rec) {
  const double v = x[t];
  const std::uint64_t r = c.count++;
  if (r < 3) {
    if (r == 0) {
      c.wma_sub = v;
      c.wma_sum = v;
    } else {
      c.wma_sub += v;
      c.wma_sum += v * static_cast<double>(r + 1);
    }
    return false;
  }
  c.wma_sub += v;
  c.wma_sub -= c.trailing;
  c.wma_sum += v * 4.0;
  c.trailing = x[t - 3];
  const double smoothed = c.wma_sum * 0.1;
  c.wma_sum -= c.wma_sub;
  if (r < kHtCoreWarmup) return false;

  const double adj = std::fma(0.075, c.period, 0.54);
  const double i1 = c.i1_hist[2];
  double det, q1, ji, jq;
  if ((r & 1) == 0) {
    det = filter_even(c.detrender, c.ring, smoothed, adj);
    q1 = filter_even(c.q1, c.ring, det, adj);
    ji = filter_even(c.ji, c.ring, i1, adj);
    jq = filter_even(c.jq, c.ring, q1, adj);
    if (++c.ring == 3) c.ring = 0;
  } else {
    det = filter_odd(c.detrender, c.ring, smoothed, adj);
    q1 = filter_odd(c.q1, c.ring, det, adj);
    ji = filter_odd(c.ji, c.ring, i1, adj);
    jq = filter_odd(c.jq, c.ring, q1, adj);
  }
  c.i1_hist = {det, c.i1_hist[0], c.i1_hist[1]};

  const double q2 = (0.2 * (q1 + ji)) + (0.8 * c.prev_q2);
  const double i2 = (0.2 * (i1 - jq)) + (0.8 * c.prev_i2);
  c.re = (0.2 * ((i2 * c.prev_i2) + (q2 * c.prev_q2))) + (0.8 * c.re);
  c.im = (0.2 * ((i2 * c.prev_q2) - (q2 * c.prev_i2))) + (0.8 * c.im);
  c.prev_q2 = q2;
  c.prev_i2 = i2;

  // Plain comparisons: a NaN period stays NaN instead of being clamped into
  // a plausible-looking number.
  const double prev = c.period;
  double p = prev;
  if (c.im != 0.0 && c.re != 0.0) p = 360.0 / (std::atan(c.im / c.re) * kRad2Deg);
  if (p > 1.5 * prev) p = 1.5 * prev;
  if (p < 0.67 * prev) p = 0.67 * prev;
  if (p < 6.0)
    p = 6.0;
  else if (p > 50.0)
    p = 50.0;
  c.period = (0.2 * p) + (0.8 * prev);
  c.smooth_period = (0.33 * c.period) + (0.67 * c.smooth_period);

  rec = {c.smooth_period, smoothed, i1, q1};
  return true;
}

// Runs rows [begin, end) through the core and the tail; emit(t, rel, rec,
// tail) sees every bar with a record, rel being its row count since the
// first present value.
template <class Tail, class Emit>
inline void drive(const double* x, std::size_t begin, std::size_t end, HtCoreState& c, Tail& tail, Emit&& emit) {
  HtRecord rec;
  for (std::size_t t = begin; t < end; ++t) {
    const std::uint64_t rel = c.count;
    if (!core_step(c, x, t, rec)) continue;
    tail.push(x, t, rec, rel);
    emit(t, rel, rec, tail);
  }
}

// ---- tails: what each indicator carries beside the core --------------------

struct NoTail {
  static constexpr std::size_t kSlots = 0;
  void push(const double*, std::size_t, const HtRecord&, std::uint64_t) {}
  bool load(std::span<const double>, std::size_t&) { return true; }
  void save(State&) const {}
};

struct DcPhase {
  static constexpr std::size_t kSlots = 2 + kPhaseRing;
  std::array<double, kPhaseRing> ring{};
  std::size_t pos = 0;
  double phase = 0.0;

  double push(double price, double sp) {
    ring[pos] = price;
    const std::size_t n = period_window(sp);
    double real = 0.0, imag = 0.0;
    if (n > 0) {
      const Twiddle& tw = dft_twiddle();
      const double* s = tw.sin[n];
      const double* co = tw.cos[n];
      std::size_t idx = pos;
      for (std::size_t i = 0; i < n; ++i) {
        real += s[i] * ring[idx];
        imag += co[i] * ring[idx];
        idx = idx == 0 ? kPhaseRing - 1 : idx - 1;
      }
    }
    pos = pos + 1 == kPhaseRing ? 0 : pos + 1;
    double ph = phase;
    if (imag != 0.0) {
      ph = std::atan(real / imag) * kRad2Deg;
    } else if (real < 0.0) {
      ph -= 90.0;
    } else if (real > 0.0) {
      ph += 90.0;
    }
    ph += 90.0;
    ph += 360.0 / sp;  // the weighted average lags one bar
    if (imag < 0.0) ph += 180.0;
    if (ph > 315.0) ph -= 360.0;
    phase = ph;
    return ph;
  }
  void push(const double*, std::size_t, const HtRecord& rec, std::uint64_t) { push(rec.smoothed, rec.smooth_period); }
  bool load(std::span<const double> s, std::size_t& at) {
    phase = s[at];
    const auto p = int_slot(s[at + 1], 0.0, static_cast<double>(kPhaseRing - 1));
    if (!p) return false;
    pos = static_cast<std::size_t>(*p);
    for (std::size_t i = 0; i < kPhaseRing; ++i) ring[i] = s[at + 2 + i];
    at += kSlots;
    return true;
  }
  void save(State& s) const {
    s.push_back(phase);
    s.push_back(static_cast<double>(pos));
    s.insert(s.end(), ring.begin(), ring.end());
  }
};

// The trend line: a 4-3-2-1 weighted average of the last four means of the
// raw price over the dominant cycle.
struct TrendLine {
  static constexpr std::size_t kSlots = 3;
  double m1 = 0.0, m2 = 0.0, m3 = 0.0;  // means one, two, three bars ago
  double value = 0.0;

  void push(const double* x, std::size_t t, const HtRecord& rec, std::uint64_t rel) {
    double mean = 0.0;
    if (rel >= kTrendMeanFrom) {
      // Summed from the inputs (not from running prefix sums) so that a
      // resume reproduces the batch bit for bit.
      const std::size_t n = period_window(rec.smooth_period);
      double sum = 0.0;
      for (std::size_t i = 0; i < n; ++i) sum += x[t - i];
      mean = sum / static_cast<double>(n);
    }
    value = (4.0 * mean + 3.0 * m1 + 2.0 * m2 + m3) / 10.0;
    m3 = m2;
    m2 = m1;
    m1 = mean;
  }
  bool load(std::span<const double> s, std::size_t& at) {
    m1 = s[at];
    m2 = s[at + 1];
    m3 = s[at + 2];
    at += kSlots;
    return true;
  }
  void save(State& s) const { s.insert(s.end(), {m1, m2, m3}); }
};

struct TrendMode {
  static constexpr std::size_t kSlots = DcPhase::kSlots + 5;
  DcPhase dc;
  TrendLine line;
  double days = 0.0;
  double sine = 0.0, lead = 0.0;
  double value = 0.0;

  void push(const double* x, std::size_t t, const HtRecord& rec, std::uint64_t rel) {
    const double sp = rec.smooth_period;
    const double prev_phase = dc.phase;
    const double phase = dc.push(rec.smoothed, sp);
    const double prev_sine = sine, prev_lead = lead;
    sine = std::sin(phase * kDeg2Rad);
    lead = std::sin((phase + 45.0) * kDeg2Rad);
    line.push(x, t, rec, rel);

    double trend = 1.0;
    // Days in trend count from the last crossing of the sine-wave lines.
    if ((sine > lead && prev_sine <= prev_lead) || (sine < lead && prev_sine >= prev_lead)) {
      days = 0.0;
      trend = 0.0;
    }
    days += 1.0;
    if (days < 0.5 * sp) trend = 0.0;
    // A phase advancing at about the cycle's own rate means a cycle.
    const double d = phase - prev_phase;
    if (sp != 0.0 && d > 241.20000000000002 / sp && d < 540.0 / sp) trend = 0.0;
    // A price 1.5% away from the trend line means a trend.
    const double tl = line.value;
    if (tl != 0.0 && std::fabs((rec.smoothed - tl) / tl) >= 0.015) trend = 1.0;
    value = trend;
  }
  bool load(std::span<const double> s, std::size_t& at) {
    if (!dc.load(s, at) || !line.load(s, at)) return false;
    days = s[at];
    lead = s[at + 1];
    // The sine is a function of the saved phase; only the lead is stored.
    sine = std::sin(dc.phase * kDeg2Rad);
    at += 2;
    return true;
  }
  void save(State& s) const {
    dc.save(s);
    line.save(s);
    s.push_back(days);
    s.push_back(lead);
  }
};

struct Mama {
  static constexpr std::size_t kSlots = 3;
  double fast, slow;
  double prev_phase = 0.0, mama = 0.0, fama = 0.0;

  Mama(double fast_limit, double slow_limit) : fast(fast_limit), slow(slow_limit) {}

  void push(const double* x, std::size_t t, const HtRecord& rec, std::uint64_t) {
    const double phase = rec.i1 != 0.0 ? std::atan(rec.q1 / rec.i1) * kRad2Deg : 0.0;
    double delta = prev_phase - phase;
    prev_phase = phase;
    if (delta < 1.0) delta = 1.0;
    double alpha = delta > 1.0 ? fast / delta : fast;
    if (alpha < slow) alpha = slow;
    mama = (alpha * x[t]) + ((1.0 - alpha) * mama);
    const double half = alpha * 0.5;
    fama = (half * mama) + ((1.0 - half) * fama);
  }
  bool load(std::span<const double> s, std::size_t& at) {
    prev_phase = s[at];
    mama = s[at + 1];
    fama = s[at + 2];
    at += kSlots;
    return true;
  }
  void save(State& s) const { s.insert(s.end(), {prev_phase, mama, fama}); }
};

// ---- generic batch, final state and resume ---------------------------------

template <class Tail, class Emit>
void run_batch(In x, Tail& tail, Emit&& emit) {
  HtCoreState c;
  drive(x.data(), first_present(View(x)), x.size(), c, tail, emit);
}

template <class Tail>
std::optional<State> final_state(In x, Tail tail) {
  HtCoreState c;
  drive(x.data(), first_present(View(x)), x.size(), c, tail, [](auto&&...) {});
  if (c.count <= kHtCoreWarmup) return std::nullopt;
  State s;
  s.reserve(HtCoreState::kSlots + Tail::kSlots);
  c.serialize(s);
  tail.save(s);
  return s;
}

// value(rec, tail) gives the output of a bar past the lookback.
template <class Tail, class Value>
Resumed resume(In x, std::size_t start, const State& state, std::size_t min_start, std::size_t lookback, Tail tail,
               Value value) {
  if (start > x.size() || start < min_start || state.size() < HtCoreState::kSlots + Tail::kSlots)
    return std::nullopt;
  std::optional<HtCoreState> core = ht_core_resume_setup(state, start);
  if (!core) return std::nullopt;
  std::size_t at = HtCoreState::kSlots;
  if (!tail.load(state, at)) return std::nullopt;
  Series out(x.size() - start, kNaN);
  drive(x.data(), start, x.size(), *core, tail,
        [&](std::size_t t, std::uint64_t rel, const HtRecord& rec, const Tail& tl) {
          if (rel >= lookback) out[t - start] = value(rec, tl);
        });
  State s;
  s.reserve(HtCoreState::kSlots + Tail::kSlots);
  core->serialize(s);
  tail.save(s);
  return std::pair{std::move(out), std::move(s)};
}

template <class Tail, class Value>
Series batch(In x, std::size_t lookback, Tail tail, Value value) {
  Series out = nan_series(x.size());
  run_batch(x, tail, [&](std::size_t t, std::uint64_t rel, const HtRecord& rec, const Tail& tl) {
    if (rel >= lookback) out[t] = value(rec, tl);
  });
  return out;
}

double sine_of(double phase) { return std::sin(phase * kDeg2Rad); }
double lead_sine_of(double phase) { return std::sin((phase + 45.0) * kDeg2Rad); }

}  // namespace

// ---- state records ---------------------------------------------------------

HilbertVar HilbertVar::from_state(std::span<const double> s, std::size_t& pos) {
  HilbertVar v;
  for (std::size_t i = 0; i < 3; ++i) v.odd[i] = s[pos + i];
  for (std::size_t i = 0; i < 3; ++i) v.even[i] = s[pos + 3 + i];
  v.prev_odd = s[pos + 6];
  v.prev_even = s[pos + 7];
  v.prev_in_odd = s[pos + 8];
  v.prev_in_even = s[pos + 9];
  pos += kSlots;
  return v;
}

void HilbertVar::push_state(State& s) const {
  s.insert(s.end(), odd.begin(), odd.end());
  s.insert(s.end(), even.begin(), even.end());
  s.insert(s.end(), {prev_odd, prev_even, prev_in_odd, prev_in_even});
}

void HtCoreState::serialize(State& s) const {
  s.insert(s.end(), {wma_sub, wma_sum, trailing, static_cast<double>(count)});
  detrender.push_state(s);
  q1.push_state(s);
  ji.push_state(s);
  jq.push_state(s);
  s.insert(s.end(), i1_hist.begin(), i1_hist.end());
  s.insert(s.end(), {static_cast<double>(ring), period, smooth_period, prev_i2, prev_q2, re, im});
}

std::optional<HtCoreState> HtCoreState::deserialize(std::span<const double> s) {
  if (s.size() < kSlots) return std::nullopt;
  HtCoreState c;
  c.wma_sub = s[0];
  c.wma_sum = s[1];
  c.trailing = s[2];
  // A saved core has seen at least its 13th row.
  const auto count = int_slot(s[3], static_cast<double>(kHtCoreWarmup + 1), kMaxExactCount);
  if (!count) return std::nullopt;
  c.count = *count;
  std::size_t pos = 4;
  c.detrender = HilbertVar::from_state(s, pos);
  c.q1 = HilbertVar::from_state(s, pos);
  c.ji = HilbertVar::from_state(s, pos);
  c.jq = HilbertVar::from_state(s, pos);
  for (std::size_t i = 0; i < 3; ++i) c.i1_hist[i] = s[pos + i];
  pos += 3;
  const auto ring = int_slot(s[pos], 0.0, 2.0);
  if (!ring) return std::nullopt;
  c.ring = *ring;
  c.period = s[pos + 1];
  c.smooth_period = s[pos + 2];
  c.prev_i2 = s[pos + 3];
  c.prev_q2 = s[pos + 4];
  c.re = s[pos + 5];
  c.im = s[pos + 6];
  return c;
}

std::optional<HtCoreState> ht_core_resume_setup(const State& state, std::size_t start) {
  if (start <= kHtCoreWarmup || state.size() < HtCoreState::kSlots) return std::nullopt;
  return HtCoreState::deserialize(state);
}

std::vector<HtRecord> ht_core(In x) {
  std::vector<HtRecord> out(x.size());
  NoTail tail;
  run_batch(x, tail, [&](std::size_t t, std::uint64_t, const HtRecord& rec, const NoTail&) { out[t] = rec; });
  return out;
}

// ---- batch -----------------------------------------------------------------

KADMO_HOT_GEN Series ht_dcperiod(In x) {
  return batch(x, ht_dcperiod_lookback(), NoTail{}, [](const HtRecord& r, const NoTail&) { return r.smooth_period; });
}

KADMO_HOT_GEN Series ht_phasor_line(In x, bool quadrature) {
  return batch(x, ht_phasor_lookback(), NoTail{},
               [quadrature](const HtRecord& r, const NoTail&) { return quadrature ? r.q1 : r.i1; });
}

KADMO_HOT_GEN Series ht_dcphase(In x) {
  return batch(x, ht_dcphase_lookback(), DcPhase{}, [](const HtRecord&, const DcPhase& d) { return d.phase; });
}

KADMO_HOT_GEN std::pair<Series, Series> ht_sine(In x) {
  Series sine = nan_series(x.size()), lead = nan_series(x.size());
  DcPhase dc;
  run_batch(x, dc, [&](std::size_t t, std::uint64_t rel, const HtRecord&, const DcPhase& d) {
    if (rel < ht_sine_lookback()) return;
    sine[t] = sine_of(d.phase);
    lead[t] = lead_sine_of(d.phase);
  });
  return {std::move(sine), std::move(lead)};
}

KADMO_HOT_GEN Series ht_trendline(In x) {
  return batch(x, ht_trendline_lookback(), TrendLine{}, [](const HtRecord&, const TrendLine& l) { return l.value; });
}

KADMO_HOT_GEN Series ht_trendmode(In x) {
  return batch(x, ht_trendmode_lookback(), TrendMode{}, [](const HtRecord&, const TrendMode& m) { return m.value; });
}

KADMO_HOT_GEN Series mama_line(In x, bool fama, double fast_limit, double slow_limit) {
  return batch(x, mama_lookback(), Mama(fast_limit, slow_limit),
               [fama](const HtRecord&, const Mama& m) { return fama ? m.fama : m.mama; });
}

// ---- final states ----------------------------------------------------------

KADMO_HOT_GEN std::optional<State> ht_core_state(In x) { return final_state(x, NoTail{}); }
KADMO_HOT_GEN std::optional<State> ht_dcphase_final_state(In x) { return final_state(x, DcPhase{}); }
KADMO_HOT_GEN std::optional<State> ht_trendline_state(In x) { return final_state(x, TrendLine{}); }
KADMO_HOT_GEN std::optional<State> ht_trendmode_state(In x) { return final_state(x, TrendMode{}); }
KADMO_HOT_GEN std::optional<State> mama_state(In x, double fast_limit, double slow_limit) {
  return final_state(x, Mama(fast_limit, slow_limit));
}

// ---- resumes ---------------------------------------------------------------

KADMO_HOT_GEN Resumed ht_dcperiod_resume(In x, std::size_t start, const State& state) {
  return resume(x, start, state, 0, ht_dcperiod_lookback(), NoTail{},
                [](const HtRecord& r, const NoTail&) { return r.smooth_period; });
}

KADMO_HOT_GEN Resumed ht_phasor_resume(In x, bool quadrature, std::size_t start, const State& state) {
  return resume(x, start, state, 0, ht_phasor_lookback(), NoTail{},
                [quadrature](const HtRecord& r, const NoTail&) { return quadrature ? r.q1 : r.i1; });
}

KADMO_HOT_GEN Resumed ht_dcphase_resume(In x, std::size_t start, const State& state) {
  return resume(x, start, state, 0, ht_dcphase_lookback(), DcPhase{},
                [](const HtRecord&, const DcPhase& d) { return d.phase; });
}

KADMO_HOT_GEN Resumed ht_sine_resume(In x, bool lead, std::size_t start, const State& state) {
  return resume(x, start, state, 0, ht_sine_lookback(), DcPhase{}, [lead](const HtRecord&, const DcPhase& d) {
    return lead ? lead_sine_of(d.phase) : sine_of(d.phase);
  });
}

KADMO_HOT_GEN Resumed ht_trendline_resume(In x, std::size_t start, const State& state) {
  return resume(x, start, state, kMaxWindow, ht_trendline_lookback(), TrendLine{},
                [](const HtRecord&, const TrendLine& l) { return l.value; });
}

KADMO_HOT_GEN Resumed ht_trendmode_resume(In x, std::size_t start, const State& state) {
  return resume(x, start, state, kMaxWindow, ht_trendmode_lookback(), TrendMode{},
                [](const HtRecord&, const TrendMode& m) { return m.value; });
}

KADMO_HOT_GEN
Resumed mama_resume(In x, bool fama, std::size_t start, const State& state, double fast_limit, double slow_limit) {
  return resume(x, start, state, 0, mama_lookback(), Mama(fast_limit, slow_limit),
                [fama](const HtRecord&, const Mama& m) { return fama ? m.fama : m.mama; });
}

}  // namespace kadmo::compute
