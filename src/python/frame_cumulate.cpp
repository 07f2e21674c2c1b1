// DataFrame.cumulate and the reading of cumulators= dicts.

#include <nanobind/nanobind.h>
#include <nanobind/stl/optional.h>

#include <optional>
#include <string>

#include "errors.hpp"
#include "kadmo/directive/cache.hpp"
#include "kadmo/time/cumulate.hpp"
#include "objects.hpp"
#include "timeframe.hpp"

namespace kadmo::py {

using core::DataFrame;

namespace {

// UTF-8 of a str, keeping lone surrogates as their bytes.
std::string str_text(PyObject* s) {
  Py_ssize_t len = 0;
  if (const char* p = PyUnicode_AsUTF8AndSize(s, &len)) return {p, static_cast<std::size_t>(len)};
  PyErr_Clear();
  nb::object b = nb::steal(PyUnicode_AsEncodedString(s, "utf-8", "surrogatepass"));
  if (!b.is_valid()) throw nb::python_error();
  return {PyBytes_AS_STRING(b.ptr()), static_cast<std::size_t>(PyBytes_GET_SIZE(b.ptr()))};
}

}  // namespace

time::AggSpec build_agg_spec(nb::handle cumulators) {
  time::AggSpec spec = time::AggSpec::defaults();
  if (cumulators.is_none()) return spec;
  if (!PyDict_Check(cumulators.ptr())) raise(PyExc_TypeError, "cumulators must be a dict of column name -> aggregator name");
  const Py_ssize_t size0 = PyDict_Size(cumulators.ptr());
  Py_ssize_t pos = 0;
  PyObject *key, *value;
  while (PyDict_Next(cumulators.ptr(), &pos, &key, &value)) {
    if (!PyUnicode_Check(key)) raise(PyExc_TypeError, "cumulator keys must be column names (str)");
    if (!PyUnicode_Check(value)) raise(PyExc_TypeError, "cumulator values must be aggregator names like 'sum'");
    spec.set(str_text(key), unwrap(time::parse_agg(str_text(value))));
    if (PyDict_Size(cumulators.ptr()) != size0) raise(PyExc_RuntimeError, "dictionary changed size during iteration");
  }
  return spec;
}

void add_cumulate_methods(nb::class_<PyDataFrame>& cls) {
  cls.def(
      "cumulate",
      [](const PyDataFrame& self, nb::handle time_frame, std::optional<nb::dict> cumulators) {
        const time::TimeFrame target = resolve_time_frame(time_frame);
        if (self.tf) {
          if (self.tf->time_frame == target) return PyDataFrame(self);
          unwrap(time::check_cumulation(self.tf->time_frame, target));
        }
        time::AggSpec aggs = build_agg_spec(cumulators ? nb::handle(*cumulators) : nb::none());
        // Stale cached columns hold padding in their new rows: bring them up
        // to date on a snapshot so that their real values are aggregated and
        // the receiver stays as it was.
        const DataFrame* source = &self.df;
        DataFrame refreshed;
        if (self.df.has_stale_computed()) {
          refreshed = self.df;
          if (auto ok = directive::refresh_computed(refreshed, std::nullopt); !ok) {
            if (ok.error().stage == directive::CacheError::Stage::Syntax) syntax_err(ok.error().error);
            value_err(ok.error().error);
          }
          source = &refreshed;
        }
        time::Cumulator cum = unwrap(time::cumulate(*source, target, std::move(aggs)));
        DataFrame out = unwrap(cum.frame());
        return PyDataFrame{std::move(out), time::TfState{std::move(cum.pending), std::move(cum.aggs), target}};
      },
      nb::arg("time_frame"), nb::arg("cumulators").none() = nb::none(),
      "Resample the bars to a coarser time frame (a TimeFrame or a label like '15m', '1d'): one row per period, "
      "labelled by its first bar, aggregated per column (open first, high max, low min, close last, volume sum, "
      "anything else last; override with cumulators={'column': 'first'|'max'|'min'|'last'|'sum'}). The result is "
      "tf-aware: bars appended to it fold into its last period or open a new one.");
}

}  // namespace kadmo::py
