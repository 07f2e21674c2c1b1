// Test-only extension: the batch indicator functions over float64 arrays, for
// the comparisons against TA-Lib and the benchmarks. Never installed.

#include <nanobind/nanobind.h>
#include <nanobind/ndarray.h>
#include <nanobind/stl/optional.h>
#include <nanobind/stl/pair.h>

#include <optional>
#include <span>
#include <utility>

#include "kadmo/compute/indicators/oscillators.hpp"
#include "kadmo/compute/indicators/stochastic.hpp"
#include "kadmo/compute/indicators/trend.hpp"
#include "kadmo/compute/kernels.hpp"

#include "arrays.hpp"

namespace nb = nanobind;
namespace kc = kadmo::compute;

namespace {

using namespace kadmo_testing;

void same_len(const Arr& a, const Arr& b) {
  if (a.shape(0) != b.shape(0)) throw nb::value_error("input arrays must have the same length");
}
void same_len(const Arr& a, const Arr& b, const Arr& c) {
  same_len(a, b);
  same_len(a, c);
}

std::optional<Out> out_opt(std::optional<kc::Series>&& s) {
  if (!s) return std::nullopt;
  return out(std::move(*s));
}

}  // namespace

// Bindings of other families, each defined in its own file of this module.
void add_candle_bindings(nanobind::module_& m);
void add_hilbert_bindings(nanobind::module_& m);

NB_MODULE(kadmo_testing, m) {
  using std::size_t;
  add_candle_bindings(m);
  add_hilbert_bindings(m);
  // Single-series functions with one period.
#define KT_X_N(name) \
  m.def(#name, [](const Arr& x, size_t n) { return out(kc::name(sp(x), n)); }, nb::arg("x"), nb::arg("n"))
  KT_X_N(ema);
  KT_X_N(smma);
  KT_X_N(wma);
  KT_X_N(dema);
  KT_X_N(tema);
  KT_X_N(trima);
  KT_X_N(kama);
  KT_X_N(rsi);
  KT_X_N(cmo);
  KT_X_N(hhv);
  KT_X_N(midpoint);
#undef KT_X_N
  m.def("sma", [](const Arr& x, size_t n) { return out(kc::sma(sp(x), n)); });
  m.def("rolling_max", [](const Arr& x, size_t n) { return out(kc::rolling_max(sp(x), n)); });
  m.def("rolling_min", [](const Arr& x, size_t n) { return out(kc::rolling_min(sp(x), n)); });
  m.def("rolling_mean_std", [](const Arr& x, size_t n) {
    auto [a, b] = kc::rolling_mean_std(sp(x), n);
    return std::pair{out(std::move(a)), out(std::move(b))};
  });
  m.def("t3", [](const Arr& x, size_t n, double v) { return out(kc::t3(sp(x), n, v)); });
  m.def("macd", [](const Arr& x, size_t f, size_t s) { return out(kc::macd(sp(x), f, s)); });
  m.def("macd_signal",
        [](const Arr& x, size_t f, size_t s, size_t g) { return out(kc::macd_signal(sp(x), f, s, g)); });
  m.def("macd_histogram",
        [](const Arr& x, size_t f, size_t s, size_t g) { return out(kc::macd_histogram(sp(x), f, s, g)); });
  m.def("macd_all", [](const Arr& x, size_t f, size_t s, size_t g) {
    kc::MacdLines r = kc::macd_all(sp(x), f, s, g);
    return nb::make_tuple(out(std::move(r.line)), out(std::move(r.signal)), out(std::move(r.histogram)));
  });
  m.def("bbi", [](const Arr& x, size_t a, size_t b, size_t c, size_t d) { return out(kc::bbi(sp(x), a, b, c, d)); });
  m.def("tr", [](const Arr& h, const Arr& l, const Arr& c) {
    same_len(h, l, c);
    return out(kc::tr(sp(h), sp(l), sp(c)));
  });
  m.def("atr", [](const Arr& h, const Arr& l, const Arr& c, size_t n) {
    same_len(h, l, c);
    return out(kc::atr(sp(h), sp(l), sp(c), n));
  });
  m.def("natr", [](const Arr& h, const Arr& l, const Arr& c, size_t n) {
    same_len(h, l, c);
    return out(kc::natr(sp(h), sp(l), sp(c), n));
  });
  m.def("sar", [](const Arr& h, const Arr& l, double acc, double mx) {
    same_len(h, l);
    return out(kc::sar(sp(h), sp(l), acc, mx));
  });
  m.def("sarext", [](const Arr& h, const Arr& l, double sv, double off, double li, double ls, double lm, double si,
                     double ss, double sm) {
    same_len(h, l);
    return out(kc::sarext(sp(h), sp(l), sv, off, li, ls, lm, si, ss, sm));
  });
  m.def("midprice", [](const Arr& h, const Arr& l, size_t n) {
    same_len(h, l);
    return out(kc::midprice(sp(h), sp(l), n));
  });
  m.def("rsv", [](const Arr& h, const Arr& l, const Arr& c, size_t n) {
    same_len(h, l, c);
    return out(kc::rsv(sp(h), sp(l), sp(c), n));
  });
  m.def("kdj_k", [](const Arr& h, const Arr& l, const Arr& c, double init, size_t n, size_t m1) {
    same_len(h, l, c);
    return out(kc::kdj_k(sp(h), sp(l), sp(c), init, n, m1));
  });
  m.def("stoch_fastk", [](const Arr& h, const Arr& l, const Arr& c, size_t n) {
    same_len(h, l, c);
    return out(kc::stoch_fastk(sp(h), sp(l), sp(c), n));
  });
  m.def("stochrsi_fastk", [](const Arr& x, size_t n, size_t k) { return out(kc::stochrsi_fastk(sp(x), n, k)); });
  m.def("stoch_d_default_sma", [](const Arr& h, const Arr& l, const Arr& c) {
    return out_opt(kc::stoch_d_default_sma(sp(h), sp(l), sp(c)));
  });
  m.def("stochf_d_default_sma", [](const Arr& h, const Arr& l, const Arr& c) {
    return out_opt(kc::stochf_d_default_sma(sp(h), sp(l), sp(c)));
  });
  m.def("stochrsi_d_default_sma", [](const Arr& x) { return out_opt(kc::stochrsi_d_default_sma(sp(x))); });
}
