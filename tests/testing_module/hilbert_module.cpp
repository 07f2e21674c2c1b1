// Test-only bindings of the Hilbert-transform family over float64 arrays,
// for the TA-Lib comparisons and benchmarks. Registered by the module's main
// file through add_hilbert_bindings.

#include <nanobind/nanobind.h>

#include "arrays.hpp"
#include "kadmo/compute/indicators/hilbert.hpp"

namespace nb = nanobind;
namespace kc = kadmo::compute;

using namespace kadmo_testing;

void add_hilbert_bindings(nb::module_& m) {
  m.def("ht_dcperiod", [](const Arr& x) { return out(kc::ht_dcperiod(sp(x))); }, nb::arg("x"));
  m.def("ht_dcphase", [](const Arr& x) { return out(kc::ht_dcphase(sp(x))); }, nb::arg("x"));
  m.def("ht_trendline", [](const Arr& x) { return out(kc::ht_trendline(sp(x))); }, nb::arg("x"));
  m.def("ht_trendmode", [](const Arr& x) { return out(kc::ht_trendmode(sp(x))); }, nb::arg("x"));
  m.def(
      "ht_phasor_line", [](const Arr& x, bool quadrature) { return out(kc::ht_phasor_line(sp(x), quadrature)); },
      nb::arg("x"), nb::arg("quadrature") = false);
  m.def(
      "ht_sine",
      [](const Arr& x) {
        auto [s, l] = kc::ht_sine(sp(x));
        return nb::make_tuple(out(std::move(s)), out(std::move(l)));
      },
      nb::arg("x"));
  m.def(
      "mama_line",
      [](const Arr& x, bool fama, double fast, double slow) { return out(kc::mama_line(sp(x), fama, fast, slow)); },
      nb::arg("x"), nb::arg("fama") = false, nb::arg("fast_limit") = 0.5, nb::arg("slow_limit") = 0.05);
}
