#pragma once
// Conversions between core values and Python objects.

#include <nanobind/nanobind.h>
#include <nanobind/ndarray.h>

#include <string_view>
#include <vector>

#include "kadmo/core/column.hpp"
#include "kadmo/core/index.hpp"

namespace kadmo::py {

namespace nb = nanobind;

nb::module_ numpy();

// Python data for one column: datetime arrays, 1-D float64/int64/bool arrays,
// lists of bools, ints, floats or strs. Raises TypeError otherwise.
core::Column pyany_to_column(nb::handle obj);

nb::object column_to_numpy(const core::Column& c);
nb::object index_to_numpy(const core::Index& idx);
nb::object scalar_to_py(const core::Column& c, std::size_t pos);
nb::object datetime64_scalar(std::int64_t ns);

// A freshly owned 1-D NumPy array over a moved-in vector (no copy).
template <class T>
nb::object vec_to_numpy(std::vector<T>&& v) {
  auto* holder = new std::vector<T>(std::move(v));
  nb::capsule owner(holder, [](void* p) noexcept { delete static_cast<std::vector<T>*>(p); });
  std::size_t shape[1] = {holder->size()};
  return nb::cast(nb::ndarray<nb::numpy, T, nb::ndim<1>>(holder->data(), 1, shape, owner));
}
nb::object bool_vec_to_numpy(std::vector<std::uint8_t>&& v);

core::DType parse_dtype(std::string_view name);

// A Python label against an index (string labels only for a string index,
// points in time otherwise, in the index zone for a datetime index).
core::Label parse_label(nb::handle obj, const core::Index& idx);
nb::object label_to_py(const core::Index& idx, std::size_t pos);
// A Timestamp, text in the zone, or an integer of epoch nanoseconds.
std::int64_t parse_ts_in_tz(nb::handle obj, const core::Tz& tz);

// Raises the stale-columns ValueError of bulk and positional reads.
void stale_guard(bool stale);

}  // namespace kadmo::py
