// Candlestick patterns for the TA-Lib comparisons: candle(name, open, high,
// low, close, penetration=None) with the pattern's default penetration when
// none is given.

#include <nanobind/nanobind.h>
#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>

#include <optional>
#include <string>

#include "arrays.hpp"
#include "kadmo/compute/indicators/candles/mod.hpp"

namespace nb = nanobind;
namespace kc = kadmo::compute;

using namespace kadmo_testing;

void add_candle_bindings(nb::module_& m) {
  m.def(
      "candle",
      [](const std::string& name, const Arr& open, const Arr& high, const Arr& low, const Arr& close,
         std::optional<double> penetration) {
        const kc::CandlePattern* p = kc::candle_pattern(name);
        if (p == nullptr) throw nb::value_error(("unknown candle pattern: " + name).c_str());
        const std::size_t n = close.shape(0);
        if (open.shape(0) != n || high.shape(0) != n || low.shape(0) != n)
          throw nb::value_error("input arrays must have the same length");
        return out(
            p->fn(sp(open), sp(high), sp(low), sp(close), penetration.value_or(p->penetration.value_or(0.0))));
      },
      nb::arg("name"), nb::arg("open"), nb::arg("high"), nb::arg("low"), nb::arg("close"),
      nb::arg("penetration") = nb::none());
  m.def("candle_lookback", [](const std::string& name) -> std::optional<std::size_t> {
    const kc::CandlePattern* p = kc::candle_pattern(name);
    if (p == nullptr) return std::nullopt;
    return p->lookback;
  });
}
