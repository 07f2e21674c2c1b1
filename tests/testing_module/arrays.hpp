#pragma once
// float64 arrays in and out of the test-only bindings: inputs are viewed in
// place, a result hands its buffer to NumPy, freed with the array.

#include <nanobind/nanobind.h>
#include <nanobind/ndarray.h>

#include <span>
#include <utility>

#include "kadmo/compute/kernels.hpp"

namespace kadmo_testing {

namespace nb = nanobind;

using Arr = nb::ndarray<const double, nb::ndim<1>, nb::c_contig, nb::device::cpu>;
using Out = nb::ndarray<nb::numpy, double, nb::ndim<1>>;

inline std::span<const double> sp(const Arr& a) { return {a.data(), a.shape(0)}; }

inline Out out(kadmo::compute::Series&& s) {
  auto* v = new kadmo::compute::Series(std::move(s));
  nb::capsule owner(v, [](void* p) noexcept { delete static_cast<kadmo::compute::Series*>(p); });
  return Out(v->data(), {v->size()}, owner);
}

}  // namespace kadmo_testing
