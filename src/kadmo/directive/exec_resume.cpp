#include "kadmo/directive/exec_resume.hpp"

#include <cmath>

#include "kadmo/compute/indicators/directional.hpp"
#include "kadmo/compute/indicators/hilbert.hpp"
#include "kadmo/compute/indicators/math_ops.hpp"
#include "kadmo/compute/indicators/momentum.hpp"
#include "kadmo/compute/indicators/oscillators.hpp"
#include "kadmo/compute/indicators/stochastic.hpp"
#include "kadmo/compute/indicators/trend.hpp"
#include "kadmo/compute/indicators/volume.hpp"
#include "kadmo/compute/kernels.hpp"
#include "kadmo/core/memory.hpp"
#include "kadmo/directive/exec.hpp"
#include "kadmo/directive/lookback.hpp"

namespace kadmo::directive {

namespace {

using In = std::span<const double>;
using State = ResumeState;
using compute::Resumed;

std::uint64_t u(const CommandInput& in, std::size_t i) { return in.values[i].u; }
double f(const CommandInput& in, std::size_t i) { return in.values[i].f; }
std::size_t z(const CommandInput& in, std::size_t i) { return static_cast<std::size_t>(in.values[i].u); }

// A state is taken only for periods that fit the data: a longer (or zero)
// period has no warm-up to finish, and the evaluator bounds such periods in a
// way that depends on the frame's length, which a resume would not repeat.
template <class... I>
bool periods_fit(const CommandInput& in, I... slots) {
  return ((u(in, slots) >= 1 && u(in, slots) <= in.len()) && ...);
}

ResumedTail from(Resumed r) {
  if (!r) return std::nullopt;
  return std::pair{std::move(r->first), std::move(r->second)};
}

// ---- state functions ----

template <std::optional<State> (*F)(In, std::size_t)>
std::optional<State> st_x_n(const CommandInput& in) {
  if (!periods_fit(in, 0)) return std::nullopt;
  return F(in.in(0), z(in, 0));
}
template <Resumed (*F)(In, std::size_t, std::size_t, const State&)>
ResumedTail rs_x_n(const CommandInput& in, const State& s, std::size_t start, std::uint64_t) {
  if (!periods_fit(in, 0)) return std::nullopt;
  return from(F(in.in(0), z(in, 0), start, s));
}

std::optional<State> st_t3(const CommandInput& in) { return st_x_n<compute::t3_final_state>(in); }
ResumedTail rs_t3(const CommandInput& in, const State& s, std::size_t start, std::uint64_t) {
  if (!periods_fit(in, 0)) return std::nullopt;
  return from(compute::t3_resume(in.in(0), z(in, 0), f(in, 1), start, s));
}

// MACD: the explicit periods of macd, the fixed 12/26 of macdfix.
struct MacdArgs {
  std::uint64_t fast, slow, signal;
};
template <bool Fix>
MacdArgs macd_args(const CommandInput& in, bool with_signal) {
  if (Fix) return {12, 26, with_signal ? u(in, 0) : 1};
  return {u(in, 0), u(in, 1), with_signal ? u(in, 2) : 1};
}
bool fits(const CommandInput& in, const MacdArgs& a) {
  auto ok = [&](std::uint64_t p) { return p >= 1 && p <= in.len(); };
  return ok(a.fast) && ok(a.slow) && ok(a.signal);
}

template <bool Fix>
std::optional<State> st_macd(const CommandInput& in) {
  const MacdArgs a = macd_args<Fix>(in, false);
  if (!fits(in, a)) return std::nullopt;
  return compute::macd_final_state(in.in(0), a.fast, a.slow);
}
template <bool Fix>
ResumedTail rs_macd(const CommandInput& in, const State& s, std::size_t start, std::uint64_t) {
  const MacdArgs a = macd_args<Fix>(in, false);
  if (!fits(in, a)) return std::nullopt;
  return from(compute::macd_resume(in.in(0), a.fast, a.slow, start, s));
}
template <bool Fix>
std::optional<State> st_macd_signal(const CommandInput& in) {
  const MacdArgs a = macd_args<Fix>(in, true);
  if (!fits(in, a)) return std::nullopt;
  return compute::macd_signal_final_state(in.in(0), a.fast, a.slow, a.signal);
}
template <bool Fix, bool Histogram>
ResumedTail rs_macd_signal(const CommandInput& in, const State& s, std::size_t start, std::uint64_t) {
  const MacdArgs a = macd_args<Fix>(in, true);
  if (!fits(in, a)) return std::nullopt;
  return from(compute::macd_signal_resume(in.in(0), a.fast, a.slow, a.signal, Histogram, start, s));
}

std::optional<State> st_sar(const CommandInput& in) {
  return compute::sar_final_state(in.in(0), in.in(1), f(in, 0), f(in, 1));
}
ResumedTail rs_sar(const CommandInput& in, const State& s, std::size_t start, std::uint64_t) {
  return from(compute::sar_resume(in.in(0), in.in(1), start, f(in, 0), f(in, 1), s));
}
std::optional<State> st_sarext(const CommandInput& in) {
  return compute::sarext_final_state(in.in(0), in.in(1), f(in, 0), f(in, 1), f(in, 2), f(in, 3), f(in, 4), f(in, 5),
                                     f(in, 6), f(in, 7));
}
ResumedTail rs_sarext(const CommandInput& in, const State& s, std::size_t start, std::uint64_t) {
  return from(compute::sarext_resume(in.in(0), in.in(1), start, f(in, 1), f(in, 2), f(in, 3), f(in, 4), f(in, 5),
                                     f(in, 6), f(in, 7), s));
}

std::optional<State> st_atr(const CommandInput& in) {
  if (!periods_fit(in, 0)) return std::nullopt;
  return compute::atr_final_state(in.in(0), in.in(1), in.in(2), z(in, 0));
}
template <Resumed (*F)(In, In, In, std::size_t, std::size_t, const State&)>
ResumedTail rs_hlc_n(const CommandInput& in, const State& s, std::size_t start, std::uint64_t) {
  if (!periods_fit(in, 0)) return std::nullopt;
  return from(F(in.in(0), in.in(1), in.in(2), z(in, 0), start, s));
}

// Directional movement: high, low (and close) and one period.
template <std::optional<State> (*F)(In, In, std::size_t)>
std::optional<State> st_hl_n(const CommandInput& in) {
  if (!periods_fit(in, 0)) return std::nullopt;
  return F(in.in(0), in.in(1), z(in, 0));
}
template <Resumed (*F)(In, In, std::size_t, std::size_t, const State&)>
ResumedTail rs_hl_n(const CommandInput& in, const State& s, std::size_t start, std::uint64_t) {
  if (!periods_fit(in, 0)) return std::nullopt;
  return from(F(in.in(0), in.in(1), z(in, 0), start, s));
}
template <std::optional<State> (*F)(In, In, In, std::size_t)>
std::optional<State> st_hlc_n(const CommandInput& in) {
  if (!periods_fit(in, 0)) return std::nullopt;
  return F(in.in(0), in.in(1), in.in(2), z(in, 0));
}

// KDJ: K takes (period, k_smoothing, initial); D and J also d_smoothing
// before initial. The smoothing periods are factors, so only 0 is refused.
template <int Line>
std::optional<State> st_kdj(const CommandInput& in) {
  const bool with_d = Line != 0;
  if (!periods_fit(in, 0) || u(in, 1) == 0 || (with_d && u(in, 2) == 0)) return std::nullopt;
  const std::size_t m2 = with_d ? z(in, 2) : 1;
  const double initial = f(in, with_d ? 3 : 2);
  return compute::kdj_final_state(in.in(0), in.in(1), in.in(2), initial, z(in, 0), z(in, 1), m2, with_d);
}
template <int Line>
ResumedTail rs_kdj(const CommandInput& in, const State& s, std::size_t start, std::uint64_t) {
  const bool with_d = Line != 0;
  if (!periods_fit(in, 0) || u(in, 1) == 0 || (with_d && u(in, 2) == 0)) return std::nullopt;
  const std::size_t m2 = with_d ? z(in, 2) : 1;
  return from(compute::kdj_resume(in.in(0), in.in(1), in.in(2), z(in, 0), z(in, 1), m2, Line, start, s));
}

// Stochastic RSI: the resumed D line is a simple average, so D keeps a state
// only for fastd_ma_type 0.
template <bool D>
bool stochrsi_ok(const CommandInput& in) {
  if (!periods_fit(in, 0, 1)) return false;
  return !D || (periods_fit(in, 2) && u(in, 3) == 0);
}
template <bool D>
std::optional<State> st_stochrsi(const CommandInput& in) {
  if (!stochrsi_ok<D>(in)) return std::nullopt;
  return compute::stochrsi_final_state(in.in(0), z(in, 0), z(in, 1), D, z(in, 2));
}
template <bool D>
ResumedTail rs_stochrsi(const CommandInput& in, const State& s, std::size_t start, std::uint64_t) {
  if (!stochrsi_ok<D>(in)) return std::nullopt;
  return from(compute::stochrsi_resume(in.in(0), z(in, 0), z(in, 1), D, z(in, 2), start, s));
}

// TRIX continues the triple average of tema_final_state.
std::optional<State> st_trix(const CommandInput& in) { return st_x_n<compute::tema_final_state>(in); }

// Volume: on-balance volume (close, volume), A/D and its oscillator (high,
// low, close, volume). The oscillator's periods are smoothing factors, so
// any value the evaluator accepts keeps a state.
std::optional<State> st_obv(const CommandInput& in) { return compute::obv_final_state(in.in(0), in.in(1)); }
ResumedTail rs_obv(const CommandInput& in, const State& s, std::size_t start, std::uint64_t) {
  return from(compute::obv_resume(in.in(0), in.in(1), start, s));
}
std::optional<State> st_ad(const CommandInput& in) {
  return compute::ad_final_state(in.in(0), in.in(1), in.in(2), in.in(3));
}
ResumedTail rs_ad(const CommandInput& in, const State& s, std::size_t start, std::uint64_t) {
  return from(compute::ad_resume(in.in(0), in.in(1), in.in(2), in.in(3), start, s));
}
std::optional<State> st_adosc(const CommandInput& in) {
  return compute::adosc_final_state(in.in(0), in.in(1), in.in(2), in.in(3), z(in, 0), z(in, 1));
}
ResumedTail rs_adosc(const CommandInput& in, const State& s, std::size_t start, std::uint64_t) {
  return from(compute::adosc_resume(in.in(0), in.in(1), in.in(2), in.in(3), z(in, 0), z(in, 1), start, s));
}

// Window positions: the resume takes the rows cut from the front since the
// state's positions were counted.
template <Resumed (*F)(In, std::size_t, std::size_t, const State&, std::uint64_t)>
ResumedTail rs_index(const CommandInput& in, const State& s, std::size_t start, std::uint64_t origin) {
  if (!periods_fit(in, 0)) return std::nullopt;
  return from(F(in.in(0), z(in, 0), start, s, origin));
}

// Hilbert family: one price series, no period; MAMA also carries its limits.
template <std::optional<State> (*F)(In)>
std::optional<State> st_x(const CommandInput& in) {
  return F(in.in(0));
}
template <Resumed (*F)(In, std::size_t, const State&)>
ResumedTail rs_x(const CommandInput& in, const State& s, std::size_t start, std::uint64_t) {
  return from(F(in.in(0), start, s));
}
template <bool Quadrature>
ResumedTail rs_ht_phasor(const CommandInput& in, const State& s, std::size_t start, std::uint64_t) {
  return from(compute::ht_phasor_resume(in.in(0), Quadrature, start, s));
}
template <bool Lead>
ResumedTail rs_ht_sine(const CommandInput& in, const State& s, std::size_t start, std::uint64_t) {
  return from(compute::ht_sine_resume(in.in(0), Lead, start, s));
}
std::optional<State> st_mama(const CommandInput& in) {
  if (!check_mama_limits(in)) return std::nullopt;
  return compute::mama_state(in.in(0), f(in, 0), f(in, 1));
}
template <bool Fama>
ResumedTail rs_mama(const CommandInput& in, const State& s, std::size_t start, std::uint64_t) {
  if (!check_mama_limits(in)) return std::nullopt;
  return from(compute::mama_resume(in.in(0), Fama, start, s, f(in, 0), f(in, 1)));
}

// ---- dispatch ----

bool has_nan(std::span<const double> s) { return compute::any_nan(s); }

// A missing value after an input's first present one (inside a warm-up or
// later) is where batch and state forms are allowed to part (cmo counts a
// missing change as zero only in its state form); such inputs fall back to
// re-evaluation instead. Leading missing values, as an average of an average
// has, are fine.
bool has_gap(std::span<const double> x) {
  std::size_t i = 0;
  while (i < x.size() && std::isnan(x[i])) ++i;
  return has_nan(x.subspan(i));
}

struct Resolved {
  CommandInput in;
  const ResumeHook* hook;
};

std::optional<Resolved> resolve(const core::DataFrame& frame, const Node& node) {
  auto view = as_command(node);
  if (!view) return std::nullopt;
  const CommandRow* row = find_command(view->name);
  if (!row) return std::nullopt;
  // The written sub-command, not its canonical form: aliases get no state.
  const Variant* v = row->variant(view->sub);
  if (!v || !v->resume) return std::nullopt;
  auto in = prepare_command(frame, view->name, view->sub, view->args, view->series);
  if (!in) return std::nullopt;
  for (const core::Column& c : in->inputs)
    if (!c.f64_values()) return std::nullopt;
  return Resolved{std::move(*in), v->resume};
}

}  // namespace

std::optional<CommandView> as_command(const Node& node) {
  auto norm = [](std::string_view s) {
    std::string n(s);
    for (char& c : n)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (n == "cdl") n = "style";
    return n;
  };
  if (const Ident* id = node.as<Ident>()) {
    if (id->name.empty()) return std::nullopt;
    return CommandView{norm(id->name), std::nullopt, {}, {}};
  }
  if (const Command* c = node.as<Command>()) {
    CommandView v{norm(c->name), std::nullopt, c->args, c->series};
    if (c->sub) v.sub = *c->sub;
    return v;
  }
  return std::nullopt;
}

std::optional<ResumeState> initial_state(const core::DataFrame& frame, const Node& node) {
  auto r = resolve(frame, node);
  if (!r) return std::nullopt;
  for (std::size_t i = 0; i < r->in.inputs.size(); ++i)
    if (has_gap(r->in.in(i))) return std::nullopt;
  auto s = r->hook->state(r->in);
  if (!s || has_nan(*s)) return std::nullopt;
  return s;
}

std::optional<std::pair<core::Column, ResumeState>> execute_resume(const core::DataFrame& frame, const Node& node,
                                                                   const ResumeState& state, std::size_t from_row,
                                                                   std::uint64_t origin) {
  if (from_row == 0 || from_row > frame.height() || has_nan(state)) return std::nullopt;
  auto r = resolve(frame, node);
  if (!r) return std::nullopt;
  // New rows with a missing value would leave a gap the state never saw.
  for (std::size_t i = 0; i < r->in.inputs.size(); ++i)
    if (has_nan(r->in.in(i).subspan(from_row))) return std::nullopt;
  auto t = r->hook->resume(r->in, state, from_row, origin);
  if (!t || t->first.size() != frame.height() - from_row || has_nan(t->second)) return std::nullopt;
  return std::pair{core::Column::f64(std::move(t->first)), std::move(t->second)};
}

namespace {

// Rows per piece of a resumed tail: the inputs of a piece (up to five
// columns) and its values stay in the core's cache between the resume, the
// missing-value check and the copy into the column, instead of each of the
// three streaming the whole tail from memory.
constexpr std::size_t kResumePiece = 16384;

// Resumes rows from..n-1 piece by piece, appending the values to out and
// leaving the state after the last row in state. Resumes are causal and each
// continues from the state the previous one returned, so the values are
// those of one resume over the whole tail. False (out and state then hold
// partial results) when any piece cannot be resumed.
bool resume_in_pieces(const core::DataFrame& frame, const Node& node, std::size_t from, ResumeState& state,
                      std::vector<double>& out) {
  auto r = resolve(frame, node);
  if (!r) return false;
  const std::size_t n = frame.height();
  for (std::size_t a = from; a < n;) {
    const std::size_t b = n - a < kResumePiece ? n : a + kResumePiece;
    r->in.limit = b;
    // The resume streams the piece from memory while it computes; the check
    // for a missing value then reads it from the cache (a resume over one is
    // harmless, its result is dropped).
    auto t = r->hook->resume(r->in, state, a, 0);
    if (!t || t->first.size() != b - a || has_nan(t->second)) return false;
    for (std::size_t i = 0; i < r->in.inputs.size(); ++i)
      if (has_nan(r->in.in(i).subspan(a))) return false;
    out.insert(out.end(), t->first.begin(), t->first.end());
    state = std::move(t->second);
    a = b;
  }
  return true;
}

}  // namespace

std::optional<std::pair<core::Column, ResumeState>> execute_with_state(const core::DataFrame& frame, const Node& node) {
  auto view = as_command(node);
  if (!view) return std::nullopt;
  const CommandRow* row = find_command(view->name);
  const Variant* v = row ? row->variant(view->sub) : nullptr;
  if (!v || !v->resume) return std::nullopt;
  const std::size_t n = frame.height();
  const std::uint64_t lb = lookback(node);
  std::size_t lead = 0;
  for (const auto& name : v->series) {
    const core::Column* c = frame.column_ptr(name);
    const auto* f = c ? c->f64_values() : nullptr;
    if (!f) continue;
    std::size_t i = 0;
    while (i < f->size() && std::isnan((*f)[i])) ++i;
    lead = std::max(lead, i);
  }
  // A prefix long enough for the state to exist; a second, longer try covers
  // commands whose periods exceed their lookback (kdj, series inputs).
  for (std::uint64_t extra : {std::uint64_t{1}, sat_add(lb, 1024)}) {
    const std::uint64_t k64 = sat_add(sat_add(lead, lb), extra);
    if (k64 >= n) return std::nullopt;
    const std::size_t k = static_cast<std::size_t>(k64);
    const core::DataFrame prefix = frame.slice(0, k);
    auto st = initial_state(prefix, node);
    if (!st) continue;
    auto head = execute(prefix, node);
    if (!head || !head->f64_values()) return std::nullopt;
    std::vector<double> out = core::vector_with_capacity<double>(n);
    out.insert(out.end(), head->f64_values()->begin(), head->f64_values()->end());
    // Pieces only where a resume's look back stays small beside a piece.
    if (ResumeState ps = *st; lb <= kResumePiece / 8 && resume_in_pieces(frame, node, k, ps, out))
      return std::pair{core::Column::f64(std::move(out)), std::move(ps)};
    out.resize(k);
    auto tail = execute_resume(frame, node, *st, k, 0);
    if (!tail) return std::nullopt;
    const auto& t = *tail->first.f64_values();
    out.insert(out.end(), t.begin(), t.end());
    return std::pair{core::Column::f64(std::move(out)), std::move(tail->second)};
  }
  return std::nullopt;
}

std::optional<std::uint64_t> default_period(std::string_view text, std::string_view name) {
  if (text == name) return 10;
  if (text.size() <= name.size() + 1 || text.substr(0, name.size()) != name || text[name.size()] != ':')
    return std::nullopt;
  return parse_usize(text.substr(name.size() + 1));
}

namespace resume_hooks {
const ResumeHook ema{st_x_n<compute::ema_final_state>, rs_x_n<compute::ema_resume>};
const ResumeHook smma{st_x_n<compute::smma_final_state>, rs_x_n<compute::smma_resume>};
const ResumeHook dema{st_x_n<compute::dema_final_state>, rs_x_n<compute::dema_resume>};
const ResumeHook tema{st_x_n<compute::tema_final_state>, rs_x_n<compute::tema_resume>};
const ResumeHook kama{st_x_n<compute::kama_final_state>, rs_x_n<compute::kama_resume>};
const ResumeHook t3{st_t3, rs_t3};
const ResumeHook macd{st_macd<false>, rs_macd<false>};
const ResumeHook macd_signal{st_macd_signal<false>, rs_macd_signal<false, false>};
const ResumeHook macd_histogram{st_macd_signal<false>, rs_macd_signal<false, true>};
const ResumeHook macdfix{st_macd<true>, rs_macd<true>};
const ResumeHook macdfix_signal{st_macd_signal<true>, rs_macd_signal<true, false>};
const ResumeHook macdfix_histogram{st_macd_signal<true>, rs_macd_signal<true, true>};
const ResumeHook sar{st_sar, rs_sar};
const ResumeHook sarext{st_sarext, rs_sarext};
const ResumeHook atr{st_atr, rs_hlc_n<compute::atr_resume>};
const ResumeHook natr{st_atr, rs_hlc_n<compute::natr_resume>};
const ResumeHook rsi{st_x_n<compute::rsi_final_state>, rs_x_n<compute::rsi_resume>};
const ResumeHook cmo{st_x_n<compute::cmo_final_state>, rs_x_n<compute::cmo_resume>};
const ResumeHook kdj_k{st_kdj<0>, rs_kdj<0>};
const ResumeHook kdj_d{st_kdj<1>, rs_kdj<1>};
const ResumeHook kdj_j{st_kdj<2>, rs_kdj<2>};
const ResumeHook stochrsi_k{st_stochrsi<false>, rs_stochrsi<false>};
const ResumeHook stochrsi_d{st_stochrsi<true>, rs_stochrsi<true>};
const ResumeHook dx{st_hlc_n<compute::dx_final_state>, rs_hlc_n<compute::dx_resume>};
const ResumeHook adx{st_hlc_n<compute::adx_final_state>, rs_hlc_n<compute::adx_resume>};
const ResumeHook adxr{st_hlc_n<compute::adxr_final_state>, rs_hlc_n<compute::adxr_resume>};
const ResumeHook plus_di{st_hlc_n<compute::plus_di_final_state>, rs_hlc_n<compute::plus_di_resume>};
const ResumeHook minus_di{st_hlc_n<compute::minus_di_final_state>, rs_hlc_n<compute::minus_di_resume>};
const ResumeHook plus_dm{st_hl_n<compute::plus_dm_final_state>, rs_hl_n<compute::plus_dm_resume>};
const ResumeHook minus_dm{st_hl_n<compute::minus_dm_final_state>, rs_hl_n<compute::minus_dm_resume>};
const ResumeHook trix{st_trix, rs_x_n<compute::trix_resume>};
const ResumeHook obv{st_obv, rs_obv};
const ResumeHook ad{st_ad, rs_ad};
const ResumeHook adosc{st_adosc, rs_adosc};
const ResumeHook maxindex{st_x_n<compute::maxindex_final_state>, rs_index<compute::maxindex_resume>};
const ResumeHook minindex{st_x_n<compute::minindex_final_state>, rs_index<compute::minindex_resume>};
const ResumeHook mama{st_mama, rs_mama<false>};
const ResumeHook mama_fama{st_mama, rs_mama<true>};
const ResumeHook ht_dcperiod{st_x<compute::ht_core_state>, rs_x<compute::ht_dcperiod_resume>};
const ResumeHook ht_phasor{st_x<compute::ht_core_state>, rs_ht_phasor<false>};
const ResumeHook ht_phasor_quadrature{st_x<compute::ht_core_state>, rs_ht_phasor<true>};
const ResumeHook ht_dcphase{st_x<compute::ht_dcphase_final_state>, rs_x<compute::ht_dcphase_resume>};
const ResumeHook ht_sine{st_x<compute::ht_dcphase_final_state>, rs_ht_sine<false>};
const ResumeHook ht_sine_lead{st_x<compute::ht_dcphase_final_state>, rs_ht_sine<true>};
const ResumeHook ht_trendline{st_x<compute::ht_trendline_state>, rs_x<compute::ht_trendline_resume>};
const ResumeHook ht_trendmode{st_x<compute::ht_trendmode_state>, rs_x<compute::ht_trendmode_resume>};
}  // namespace resume_hooks

}  // namespace kadmo::directive
