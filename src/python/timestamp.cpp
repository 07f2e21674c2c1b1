#include <nanobind/nanobind.h>
#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>

#include <optional>
#include <string>
#include <vector>

#include "convert.hpp"
#include "errors.hpp"
#include "kadmo/core/calendar.hpp"
#include "row_timestamp.hpp"

namespace kadmo::py {

namespace {

// Monday 0 .. Sunday 6 of the civil date in the zone.
std::int64_t weekday(const PyTimestamp& t) { return core::weekday_from_days(core::local_days(t.value, t.tz)); }

std::int64_t other_instant(nb::handle other) { return parse_ts_in_tz(other, core::Tz::utc()); }

std::string ts_repr(const PyTimestamp& t) {
  if (t.tz.is_utc()) return "Timestamp('" + core::format_ns(t.value) + "')";
  return "Timestamp('" + core::format_ns_tz(t.value, t.tz) + "', tz='" + t.tz.name() + "')";
}

}  // namespace

void register_timestamp(nb::module_& m) {
  nb::class_<PyTimestamp>(m, "Timestamp",
                          "A point in time: UTC nanoseconds with the zone it is shown in. Timestamps of different "
                          "zones that denote the same instant compare and hash equal.")
      .def(
          "__init__",
          [](PyTimestamp* self, nb::handle value, std::optional<std::string> tz) {
            core::Tz zone = core::Tz::utc();
            if (tz) zone = unwrap(core::Tz::parse(*tz));
            const std::int64_t ns = parse_ts_in_tz(value, zone);
            new (self) PyTimestamp{zone, ns};
          },
          nb::arg("value").none(), nb::arg("tz").none() = nb::none())
      .def_prop_ro("value", [](const PyTimestamp& t) { return t.value; })
      .def_prop_ro("tz",
                   [](const PyTimestamp& t) -> nb::object {
                     if (t.tz.is_utc()) return nb::none();
                     return nb::str(t.tz.name().c_str());
                   })
      .def_prop_ro("year", [](const PyTimestamp& t) { return core::civil_parts_tz(t.value, t.tz).year; })
      .def_prop_ro("month", [](const PyTimestamp& t) { return core::civil_parts_tz(t.value, t.tz).month; })
      .def_prop_ro("day", [](const PyTimestamp& t) { return core::civil_parts_tz(t.value, t.tz).day; })
      .def_prop_ro("hour", [](const PyTimestamp& t) { return core::civil_parts_tz(t.value, t.tz).hour; })
      .def_prop_ro("minute", [](const PyTimestamp& t) { return core::civil_parts_tz(t.value, t.tz).minute; })
      .def_prop_ro("second", [](const PyTimestamp& t) { return core::civil_parts_tz(t.value, t.tz).second; })
      .def("weekday", &weekday)
      .def(
          "strftime",
          [](const PyTimestamp& t, const std::string& fmt) {
            // A typo in the pattern is an error, not literal text in the output.
            if (!core::strftime_format_valid(fmt)) raise(PyExc_ValueError, "invalid strftime format string");
            return core::strftime_ns(t.value, t.tz, fmt);
          },
          nb::arg("fmt"))
      .def("to_numpy",
           [](const PyTimestamp& t) {
             return vec_to_numpy(std::vector<std::int64_t>{t.value}).attr("astype")("datetime64[ns]");
           })
      .def("__repr__", &ts_repr)
      // The other operand is read as UTC (text) or as an absolute instant;
      // anything unreadable raises rather than comparing unequal.
      .def(
          "__lt__", [](const PyTimestamp& t, nb::handle o) { return t.value < other_instant(o); },
          nb::arg("other").none())
      .def(
          "__le__", [](const PyTimestamp& t, nb::handle o) { return t.value <= other_instant(o); },
          nb::arg("other").none())
      .def(
          "__eq__", [](const PyTimestamp& t, nb::handle o) { return t.value == other_instant(o); },
          nb::arg("other").none())
      .def(
          "__ne__", [](const PyTimestamp& t, nb::handle o) { return t.value != other_instant(o); },
          nb::arg("other").none())
      .def(
          "__ge__", [](const PyTimestamp& t, nb::handle o) { return t.value >= other_instant(o); },
          nb::arg("other").none())
      .def(
          "__gt__", [](const PyTimestamp& t, nb::handle o) { return t.value > other_instant(o); },
          nb::arg("other").none())
      // -1 is CPython's error marker for hashes.
      .def("__hash__", [](const PyTimestamp& t) -> Py_ssize_t { return t.value == -1 ? -2 : t.value; });
}

}  // namespace kadmo::py
