#include <nanobind/nanobind.h>
#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>

#include <utility>

#include "convert.hpp"
#include "errors.hpp"
#include "kadmo/core/series_ops.hpp"
#include "indexers.hpp"
#include "objects.hpp"

namespace kadmo::py {

namespace {

using core::ArithOp;
using core::BoolView;
using core::CmpOp;
using core::Column;
using core::FloatView;
using core::LogicOp;
using core::MathFn;

constexpr const char* kIndexMismatch =
    "operands have different indexes; kadmo aligns by position, not by label \u2014 reindex or slice them to a "
    "common index first";
constexpr const char* kBadOperand = "unsupported operand for a Series operation";
constexpr const char* kBadLogicOperand = "unsupported operand for a Series logical op";

// A result computed from s: its name and (shared) index, new values.
PySeries derived(const PySeries& s, Column c) { return PySeries{std::move(c), s.name, s.index}; }
PySeries derived_f64(const PySeries& s, std::vector<double>&& v) { return derived(s, Column::f64(std::move(v))); }
PySeries derived_bool(const PySeries& s, std::vector<std::uint8_t>&& v) {
  return derived(s, Column::boolean(std::move(v)));
}

const PySeries* as_series(nb::handle h) { return nb::isinstance<PySeries>(h) ? &nb::cast<const PySeries&>(h) : nullptr; }

void check_same_index(const PySeries& a, const PySeries& b) {
  const bool same = a.index == b.index || *a.index == *b.index;
  // Equal indexes imply equal lengths; the length check guards the element
  // loops against a Series whose column and index ever disagree.
  if (!same || a.column.len() != b.column.len()) raise(PyExc_ValueError, kIndexMismatch);
}

// Python's float conversion (int, bool, float, NumPy scalars, __float__).
std::optional<double> to_float(nb::handle h) {
  double x = PyFloat_AsDouble(h.ptr());
  if (x == -1.0 && PyErr_Occurred()) {
    PyErr_Clear();
    return std::nullopt;
  }
  return x;
}

double scalar_operand(nb::handle h, const char* msg) {
  auto x = to_float(h);
  if (!x) raise(PyExc_TypeError, msg);
  return *x;
}

PySeries arith_op(const PySeries& s, nb::handle other, ArithOp op, bool reflected) {
  const FloatView a(s.column);
  if (const PySeries* o = as_series(other)) {
    check_same_index(s, *o);
    const FloatView b(o->column);
    return derived_f64(s, reflected ? core::arith(b.span(), a.span(), op) : core::arith(a.span(), b.span(), op));
  }
  const double x = scalar_operand(other, kBadOperand);
  return derived_f64(s, core::arith_scalar(a.span(), x, op, reflected));
}

PySeries compare_op(const PySeries& s, nb::handle other, CmpOp op) {
  const FloatView a(s.column);
  if (const PySeries* o = as_series(other)) {
    check_same_index(s, *o);
    const FloatView b(o->column);
    return derived_bool(s, core::compare(a.span(), b.span(), op));
  }
  const double x = scalar_operand(other, kBadOperand);
  return derived_bool(s, core::compare_scalar(a.span(), x, op));
}

PySeries logic_op(const PySeries& s, nb::handle other, LogicOp op) {
  const BoolView a(s.column);
  if (const PySeries* o = as_series(other)) {
    check_same_index(s, *o);
    const BoolView b(o->column);
    return derived_bool(s, core::logic(a.span(), b.span(), op));
  }
  bool y;
  if (PyBool_Check(other.ptr())) {
    y = other.ptr() == Py_True;
  } else {
    const double x = scalar_operand(other, kBadLogicOperand);
    y = x != 0.0;
  }
  // and, or and xor are symmetric, so the operand order does not matter.
  return derived_bool(s, core::logic_scalar(a.span(), y, op));
}

nb::object series_to_numpy(const PySeries& s, const std::optional<std::string>& dtype) {
  nb::object a = column_to_numpy(s.column);
  return dtype ? a.attr("astype")(*dtype) : a;
}

nb::list series_to_list(const PySeries& s) {
  nb::list l;
  const std::size_t n = s.column.len();
  for (std::size_t i = 0; i < n; ++i) l.append(scalar_to_py(s.column, i));
  return l;
}

PySeries math_transform(const PySeries& s, MathFn fn) {
  const FloatView v(s.column);
  return derived_f64(s, core::map_math(v.span(), fn));
}

nb::object idx_label(const PySeries& s, std::optional<std::size_t> pos) {
  if (!pos) raise(PyExc_ValueError, "Encountered all NA values");
  return label_to_py(*s.index, *pos);
}

// Rows of positions taken from both the column and the index.
PySeries take_rows(const PySeries& s, std::span<const std::size_t> positions) {
  return PySeries{s.column.take(positions), s.name, std::make_shared<core::Index>(s.index->take(positions))};
}

nb::object get_item(const PySeries& s, nb::handle key) {
  const auto len = static_cast<Py_ssize_t>(s.column.len());
  if (PyIndex_Check(key.ptr())) {
    PyObject* i = PyNumber_Index(key.ptr());
    if (!i) throw nb::python_error();
    int overflow = 0;
    long long pos = PyLong_AsLongLongAndOverflow(i, &overflow);
    Py_DECREF(i);
    if (pos == -1 && PyErr_Occurred()) throw nb::python_error();
    if (overflow) raise(PyExc_IndexError, "index out of range");
    if (pos < 0) pos += len;
    if (pos < 0 || pos >= len) raise(PyExc_IndexError, "index out of range");
    return scalar_to_py(s.column, static_cast<std::size_t>(pos));
  }
  if (PySlice_Check(key.ptr())) {
    Py_ssize_t start = 0, stop = 0, step = 0;
    if (PySlice_Unpack(key.ptr(), &start, &stop, &step) < 0) throw nb::python_error();
    const Py_ssize_t count = PySlice_AdjustIndices(len, &start, &stop, step);
    std::vector<std::size_t> positions(static_cast<std::size_t>(count));
    for (Py_ssize_t k = 0; k < count; ++k) positions[static_cast<std::size_t>(k)] = static_cast<std::size_t>(start + k * step);
    return nb::cast(take_rows(s, positions));
  }
  const core::Label label = parse_label(key, *s.index);
  auto pos = s.index->position_of(label);
  if (!pos) raise(PyExc_KeyError, "label not found");
  return scalar_to_py(s.column, *pos);
}

PySeries astype(const PySeries& s, const std::string& dtype) {
  core::Result<Column> r = [&] {
    if (auto unit = core::datetime_unit_of(dtype)) return core::to_datetime_unit(s.column, *unit);
    return s.column.cast(parse_dtype(dtype));
  }();
  if (!r) value_err(r.error());
  return derived(s, std::move(*r));
}

std::string series_repr(const PySeries& s) {
  std::string name = "None";
  if (s.name) {
    name = "Some(\"";
    for (char c : *s.name) {
      if (c == '"' || c == '\\') name.push_back('\\');
      name.push_back(c);
    }
    name += "\")";
  }
  return "Series(name=" + name + ", dtype=" + std::string(core::dtype_name(s.column.dtype())) +
         ", len=" + std::to_string(s.column.len()) + ")";
}

template <class F>
auto with_view(F f) {
  return [f](const PySeries& s) {
    const FloatView v(s.column);
    return f(v.span());
  };
}

}  // namespace

void register_series(nb::module_& m) {
  nb::class_<PySeries> cls(m, "Series", "One named, indexed column of a kadmo DataFrame.");
  cls.def_prop_ro("name",
                  [](const PySeries& s) -> nb::object {
                    if (!s.name) return nb::none();
                    return nb::str(s.name->data(), s.name->size());
                  })
      .def_prop_ro("dtype",
                   [](const PySeries& s) {
                     auto n = core::dtype_name(s.column.dtype());
                     return nb::str(n.data(), n.size());
                   })
      .def_prop_ro("index", [](const PySeries& s) { return index_to_numpy(*s.index); })
      .def_prop_ro("shape", [](const PySeries& s) { return nb::make_tuple(s.column.len()); })
      .def_prop_ro("tz",
                   [](const PySeries& s) -> nb::object {
                     auto tz = s.index->tz();
                     if (!tz || tz->is_utc()) return nb::none();
                     return nb::str(tz->name().c_str());
                   })
      .def("__len__", [](const PySeries& s) { return s.column.len(); })
      .def("__repr__", &series_repr)
      .def("__bool__",
           [](const PySeries& s) {
             if (s.column.len() != 1)
               raise(PyExc_ValueError, "The truth value of a Series is ambiguous \u2014 use s.any() or s.all()");
             const BoolView b(s.column);
             return b.span()[0] != 0;
           })
      .def("__invert__",
           [](const PySeries& s) {
             const BoolView b(s.column);
             return derived_bool(s, core::invert(b.span()));
           })
      .def("__getitem__", &get_item, nb::arg("key").none())
      .def("to_list", &series_to_list, "The values as a list of Python scalars.")
      .def("tolist", &series_to_list, "The values as a list of Python scalars.")
      .def("to_numpy", &series_to_numpy, nb::arg("dtype").none() = nb::none(),
           "The values as a new NumPy array, cast with astype(dtype) when given.")
      .def(
          "__array__",
          [](const PySeries& s, std::optional<std::string> dtype, nb::handle) { return series_to_numpy(s, dtype); },
          nb::arg("dtype").none() = nb::none(), nb::arg("copy").none() = nb::none());

  // Reductions over the non-NaN values.
  cls.def("sum", with_view(core::nan_sum), "Sum of the non-NaN values (-0.0 when there are none).")
      .def("mean", with_view(core::nan_mean), "Mean of the non-NaN values.")
      .def("min", with_view(core::nan_min), "Smallest non-NaN value.")
      .def("max", with_view(core::nan_max), "Largest non-NaN value.")
      .def("var", with_view(core::nan_var), "Sample variance (ddof 1) of the non-NaN values.")
      .def("std", with_view(core::nan_std), "Sample standard deviation (ddof 1) of the non-NaN values.")
      .def("median", with_view(core::nan_median), "Median of the non-NaN values.")
      .def(
          "quantile",
          [](const PySeries& s, double q) {
            const FloatView v(s.column);
            auto r = core::nan_quantile(v.span(), q);
            if (!r) pyerr(r.error());
            return *r;
          },
          nb::arg("q") = 0.5, "Linearly interpolated quantile of the non-NaN values, 0 <= q <= 1.")
      .def("any", [](const PySeries& s) { return core::any_true(s.column); }, "Whether some value is true.")
      .def("all", [](const PySeries& s) { return core::all_true(s.column); }, "Whether no value is zero or false.")
      .def("idxmax",
           [](const PySeries& s) {
             const FloatView v(s.column);
             return idx_label(s, core::nan_argmax(v.span()));
           })
      .def("idxmin", [](const PySeries& s) {
        const FloatView v(s.column);
        return idx_label(s, core::nan_argmin(v.span()));
      });

  static constexpr std::pair<const char*, MathFn> kMath[] = {
      {"abs", MathFn::Abs},   {"ceil", MathFn::Ceil}, {"floor", MathFn::Floor}, {"sqrt", MathFn::Sqrt},
      {"exp", MathFn::Exp},   {"ln", MathFn::Ln},     {"log10", MathFn::Log10}, {"sin", MathFn::Sin},
      {"cos", MathFn::Cos},   {"tan", MathFn::Tan},   {"asin", MathFn::Asin},   {"acos", MathFn::Acos},
      {"atan", MathFn::Atan}, {"sinh", MathFn::Sinh}, {"cosh", MathFn::Cosh},   {"tanh", MathFn::Tanh},
  };
  for (const auto& [name, fn] : kMath) {
    const MathFn f = fn;
    cls.def(name, [f](const PySeries& s) { return math_transform(s, f); });
  }

  cls.def(
         "round",
         [](const PySeries& s, std::int32_t decimals) {
           const FloatView v(s.column);
           return derived_f64(s, core::round_half_away(v.span(), decimals));
         },
         nb::arg("decimals") = 0, "Round to decimals places, halves away from zero.")
      .def(
          "clip",
          [](const PySeries& s, std::optional<double> lower, std::optional<double> upper) {
            const FloatView v(s.column);
            return derived_f64(s, core::clip(v.span(), lower, upper));
          },
          nb::arg("lower").none() = nb::none(), nb::arg("upper").none() = nb::none(),
          "Bound the values below by lower, then above by upper.")
      .def(
          "shift",
          [](const PySeries& s, std::int64_t n) {
            const FloatView v(s.column);
            return derived_f64(s, core::shift(v.span(), n));
          },
          nb::arg("n") = 1, "Move the values n rows later (earlier when negative), NaN-filled.")
      .def(
          "diff",
          [](const PySeries& s, std::int64_t n) {
            const FloatView v(s.column);
            return derived_f64(s, core::diff(v.span(), n));
          },
          nb::arg("n") = 1, "Each value minus the value n rows before it (after it when negative).")
      .def("cumsum",
           [](const PySeries& s) {
             const FloatView v(s.column);
             return derived_f64(s, core::cumsum(v.span()));
           })
      .def(
          "fillna",
          [](const PySeries& s, std::optional<double> value, std::optional<std::string> method) {
            std::optional<std::string_view> m;
            if (method) m = *method;
            auto r = core::fillna(s.column, value, m);
            if (!r) pyerr(r.error());
            return derived(s, std::move(*r));
          },
          nb::arg("value").none() = nb::none(), nb::arg("method").none() = nb::none(),
          "Fill NaN with value, or by method 'ffill'/'pad' or 'bfill'/'backfill'.")
      .def("isna", [](const PySeries& s) { return derived_bool(s, core::isna(s.column)); })
      .def("notna", [](const PySeries& s) { return derived_bool(s, core::notna(s.column)); })
      .def("dropna",
           [](const PySeries& s) {
             core::Dropped d = core::dropna(s.column, *s.index);
             if (!d.index) return derived(s, std::move(d.column));
             return PySeries{std::move(d.column), s.name, std::make_shared<core::Index>(std::move(*d.index))};
           })
      .def(
          "equals", [](const PySeries& s, const PySeries& other) { return s.column.equals(other.column); },
          nb::arg("other"))
      .def("astype", &astype, nb::arg("dtype"),
           "The values cast to dtype; 'datetime64[s]' and the like read numbers as epoch times.");

  // Operators: a scalar or a Series over the same index, both operand orders.
  // NumPy scalars and arrays on the left defer to the Series' reflected
  // operator instead of turning it into an array first.
  cls.attr("__array_priority__") = 1000.0;
  static constexpr std::tuple<const char*, const char*, ArithOp> kArith[] = {
      {"__add__", "__radd__", ArithOp::Add},
      {"__sub__", "__rsub__", ArithOp::Sub},
      {"__mul__", "__rmul__", ArithOp::Mul},
      {"__truediv__", "__rtruediv__", ArithOp::Div},
  };
  for (const auto& [fwd, rev, op] : kArith) {
    const ArithOp o = op;
    cls.def(fwd, [o](const PySeries& s, nb::handle other) { return arith_op(s, other, o, false); }, nb::arg("other").none());
    cls.def(rev, [o](const PySeries& s, nb::handle other) { return arith_op(s, other, o, true); }, nb::arg("other").none());
  }
  static constexpr std::pair<const char*, CmpOp> kCmp[] = {
      {"__lt__", CmpOp::Lt}, {"__le__", CmpOp::Le}, {"__eq__", CmpOp::Eq},
      {"__ne__", CmpOp::Ne}, {"__ge__", CmpOp::Ge}, {"__gt__", CmpOp::Gt},
  };
  for (const auto& [name, op] : kCmp) {
    const CmpOp o = op;
    cls.def(name, [o](const PySeries& s, nb::handle other) { return compare_op(s, other, o); }, nb::arg("other").none());
  }
  static constexpr std::tuple<const char*, const char*, LogicOp> kLogic[] = {
      {"__and__", "__rand__", LogicOp::And},
      {"__or__", "__ror__", LogicOp::Or},
      {"__xor__", "__rxor__", LogicOp::Xor},
  };
  for (const auto& [fwd, rev, op] : kLogic) {
    const LogicOp o = op;
    cls.def(fwd, [o](const PySeries& s, nb::handle other) { return logic_op(s, other, o); }, nb::arg("other").none());
    cls.def(rev, [o](const PySeries& s, nb::handle other) { return logic_op(s, other, o); }, nb::arg("other").none());
  }
  add_series_indexers(cls);
}

}  // namespace kadmo::py
