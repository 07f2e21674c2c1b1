#include "kadmo/compute/indicators/transform.hpp"

namespace kadmo::compute {

namespace {
template <class F>
Series rowwise(std::size_t len, F f) {
  Series out = core::vector_with_capacity<double>(len);
  out.resize(len);
  double* o = out.data();
  for (std::size_t i = 0; i < len; ++i) o[i] = f(i);
  return out;
}
}  // namespace

Series avgprice(In open, In high, In low, In close) {
  const double *o = open.data(), *h = high.data(), *l = low.data(), *c = close.data();
  return rowwise(open.size(), [=](std::size_t i) { return (((o[i] + h[i]) + l[i]) + c[i]) * 0.25; });
}
Series medprice(In high, In low) {
  const double *h = high.data(), *l = low.data();
  return rowwise(high.size(), [=](std::size_t i) { return (h[i] + l[i]) * 0.5; });
}
Series typprice(In high, In low, In close) {
  const double *h = high.data(), *l = low.data(), *c = close.data();
  return rowwise(high.size(), [=](std::size_t i) { return ((h[i] + l[i]) + c[i]) / 3.0; });
}
Series wclprice(In high, In low, In close) {
  const double *h = high.data(), *l = low.data(), *c = close.data();
  return rowwise(high.size(), [=](std::size_t i) { return ((h[i] + l[i]) + (c[i] + c[i])) * 0.25; });
}

}  // namespace kadmo::compute
