#include "timeframe.hpp"

#include <nanobind/stl/string.h>

#include <string>
#include <string_view>

#include "convert.hpp"
#include "errors.hpp"

namespace kadmo::py {

namespace {

const PyTimeFrame& self_of(nb::handle h) { return nb::cast<const PyTimeFrame&>(h); }

// The constants live in the class dict and each instance refers to its
// class: a cycle that only the garbage collector can break, so instances
// take part in it (they hold nothing else).
int tf_traverse(PyObject* self, visitproc visit, void* arg) {
  Py_VISIT(Py_TYPE(self));
  return 0;
}
int tf_clear(PyObject*) { return 0; }
PyType_Slot tf_slots[] = {{Py_tp_traverse, reinterpret_cast<void*>(tf_traverse)},
                          {Py_tp_clear, reinterpret_cast<void*>(tf_clear)},
                          {0, nullptr}};

}  // namespace

core::Result<time::TimeFrame> timeframe_from_py(nb::handle obj) {
  // inst_ready: an instance made through __new__ alone holds no value.
  if (nb::isinstance<PyTimeFrame>(obj) && nb::inst_ready(obj)) return self_of(obj).tf;
  if (!PyUnicode_Check(obj.ptr()))
    return core::fail(core::KadmoError::dtype("time_frame must be a TimeFrame or a label string like '5m'"));
  Py_ssize_t len = 0;
  if (const char* s = PyUnicode_AsUTF8AndSize(obj.ptr(), &len))
    return time::parse_time_frame(std::string_view(s, static_cast<std::size_t>(len)));
  // Lone surrogates have no UTF-8 form; keep their bytes for the message.
  PyErr_Clear();
  nb::object bytes = nb::steal(PyUnicode_AsEncodedString(obj.ptr(), "utf-8", "surrogatepass"));
  if (!bytes.is_valid()) {
    PyErr_Clear();
    return core::fail(core::KadmoError::value("time frame label is not valid text"));
  }
  return time::parse_time_frame(std::string_view(PyBytes_AS_STRING(bytes.ptr()),
                                                 static_cast<std::size_t>(PyBytes_GET_SIZE(bytes.ptr()))));
}

time::TimeFrame resolve_time_frame(nb::handle obj) { return unwrap(timeframe_from_py(obj)); }

nb::object timeframe_to_py(time::TimeFrame tf) {
  // The class attribute, so callers get the object users compare with `is`;
  // a fresh instance only if someone rebound the attribute.
  nb::object cls = nb::borrow(nb::type<PyTimeFrame>());
  const std::string name(time::constant_name(tf));
  if (nb::hasattr(cls, name.c_str())) {
    nb::object c = cls.attr(name.c_str());
    if (nb::isinstance<PyTimeFrame>(c) && nb::inst_ready(c) && self_of(c).tf == tf) return c;
  }
  return nb::cast(PyTimeFrame{tf}, nb::rv_policy::move);
}

void register_timeframe(nb::module_& m) {
  nb::class_<PyTimeFrame> cls(
      m, "TimeFrame",
      "The sampling period of bars, from one second (TimeFrame.s1) to one calendar year (TimeFrame.Y1). "
      "The seventeen periods are the class constants; the class is not instantiable.",
      nb::type_slots(tf_slots));
  cls.def(
         "unify",
         [](const PyTimeFrame& self, nb::handle ts) {
           return time::unify_tz(self.tf, parse_ts_in_tz(ts, core::Tz::utc()), core::Tz::utc());
         },
         nb::arg("ts").none(),
         "Period key of a point in time (a Timestamp, datetime text read as UTC, or epoch nanoseconds) in "
         "UTC: equal keys mean the same bar. Keys are not epochs and are comparable only within one time "
         "frame.")
      .def("__str__", [](const PyTimeFrame& self) { return std::string(time::label(self.tf)); })
      .def("__repr__",
           [](const PyTimeFrame& self) { return "TimeFrame." + std::string(time::label(self.tf)); })
      // The constants are singletons: copies and pickles resolve to the
      // class attribute rather than building a second, detached instance.
      .def("__reduce__",
           [](const PyTimeFrame& self) { return "TimeFrame." + std::string(time::constant_name(self.tf)); })
      .def("__copy__", [](nb::handle self) { return nb::borrow(self); })
      .def("__deepcopy__", [](nb::handle self, nb::handle) { return nb::borrow(self); }, nb::arg("memo").none());
  for (time::TimeFrame tf : time::kAllTimeFrames) {
    cls.attr(std::string(time::constant_name(tf)).c_str()) = nb::cast(PyTimeFrame{tf}, nb::rv_policy::move);
  }
}

}  // namespace kadmo::py
