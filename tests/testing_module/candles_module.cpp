// Candlestick patterns for the TA-Lib comparisons: candle(name, open, high,
// low, close, penetration=None) with the pattern's default penetration when
// none is given.

#include <nanobind/nanobind.h>
#include <nanobind/ndarray.h>
#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>

#include <optional>
#include <span>
#include <string>

#include "kadmo/compute/indicators/candles/mod.hpp"

namespace nb = nanobind;
namespace kc = kadmo::compute;

namespace {

using Arr = nb::ndarray<const double, nb::ndim<1>, nb::c_contig, nb::device::cpu>;
using Out = nb::ndarray<nb::numpy, double, nb::ndim<1>>;

std::span<const double> view(const Arr& a) { return {a.data(), a.shape(0)}; }

}  // namespace

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
        auto* v = new kc::Series(
            p->fn(view(open), view(high), view(low), view(close), penetration.value_or(p->penetration.value_or(0.0))));
        nb::capsule owner(v, [](void* q) noexcept { delete static_cast<kc::Series*>(q); });
        return Out(v->data(), {v->size()}, owner);
      },
      nb::arg("name"), nb::arg("open"), nb::arg("high"), nb::arg("low"), nb::arg("close"),
      nb::arg("penetration") = nb::none());
  m.def("candle_lookback", [](const std::string& name) -> std::optional<std::size_t> {
    const kc::CandlePattern* p = kc::candle_pattern(name);
    if (p == nullptr) return std::nullopt;
    return p->lookback;
  });
}
