#include <nanobind/nanobind.h>
#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>

#include "convert.hpp"
#include "errors.hpp"
#include "objects.hpp"

namespace kadmo::py {

namespace {

core::Column strings_with_format(const core::Column& c, const std::string& format) {
  const auto& strs = *c.str_values();
  std::vector<std::int64_t> out;
  out.reserve(strs.size());
  for (const auto& s : strs) {
    auto ns = core::parse_with_format(s, format);
    if (!ns) raise(PyExc_ValueError, "\"" + s + "\" does not match format \"" + format + "\"");
    out.push_back(*ns);
  }
  return core::Column::datetime(std::move(out));
}

PySeries to_datetime(nb::handle obj, const std::string& unit, std::optional<std::string> format) {
  PySeries in;
  if (nb::isinstance<PySeries>(obj)) {
    in = nb::cast<PySeries&>(obj);
  } else {
    in.column = pyany_to_column(obj);
    in.index = std::make_shared<core::Index>(core::Index::range(in.column.len()));
  }
  const core::DType d = in.column.dtype();
  if (d == core::DType::Object) {
    if (format) {
      in.column = strings_with_format(in.column, *format);
    } else {
      auto r = in.column.to_datetime_tz(core::Tz::utc());
      if (!r) value_err(r.error());
      in.column = std::move(*r);
    }
  } else {
    auto r = in.column.epoch_to_datetime_rounded(unit);
    if (!r) value_err(r.error());
    in.column = std::move(*r);
  }
  return in;
}

}  // namespace

void register_conversion_functions(nb::module_& m) {
  m.def("to_datetime", &to_datetime, nb::arg("obj"), nb::arg("unit") = "ns", nb::arg("format").none() = nb::none(),
        "Convert epoch numbers or datetime strings to a datetime64[ns] Series (naive text is UTC).");
}

}  // namespace kadmo::py
