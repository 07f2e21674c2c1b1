#include "csv.hpp"

#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/vector.h>

#include <optional>
#include <string>
#include <vector>

#include "convert.hpp"
#include "errors.hpp"
#include "kadmo/io/csv_reader.hpp"
#include "kadmo/io/csv_writer.hpp"

namespace kadmo::py {

using core::Column;
using core::KadmoError;

namespace {

std::string utf8_of(PyObject* s) {
  Py_ssize_t len = 0;
  const char* p = PyUnicode_AsUTF8AndSize(s, &len);
  if (!p) throw nb::python_error();
  return std::string(p, static_cast<std::size_t>(len));
}

std::vector<std::string> na_values_of(nb::handle obj) {
  std::vector<std::string> out;
  if (obj.is_none()) return out;
  if (PyUnicode_Check(obj.ptr())) {
    out.push_back(utf8_of(obj.ptr()));
    return out;
  }
  const auto bad = [] { raise(PyExc_TypeError, "na_values must be a string or a list of strings"); };
  if (!PyList_Check(obj.ptr())) bad();
  // Read by index: the list may not change under us (no Python code runs),
  // but its items are checked one by one.
  for (Py_ssize_t i = 0; i < PyList_GET_SIZE(obj.ptr()); ++i) {
    PyObject* item = PyList_GET_ITEM(obj.ptr(), i);
    if (!PyUnicode_Check(item)) bad();
    out.push_back(utf8_of(item));
  }
  return out;
}

// index_col as a name or as a position within width columns.
struct IndexCol {
  std::optional<std::string> name;
  std::size_t pos = 0;
};

IndexCol index_col_of(nb::handle obj, std::size_t width) {
  IndexCol out;
  if (PyUnicode_Check(obj.ptr())) {
    out.name = utf8_of(obj.ptr());
    return out;
  }
  PyObject* i = PyNumber_Index(obj.ptr());
  if (!i) {
    PyErr_Clear();
    raise(PyExc_TypeError, "index_col must be a column name or an integer position");
  }
  int overflow = 0;
  long long v = PyLong_AsLongLongAndOverflow(i, &overflow);
  Py_DECREF(i);
  const long long w = static_cast<long long>(width);
  if (!overflow && v < 0) v += w;
  if (overflow || v < 0 || v >= w) raise(PyExc_IndexError, "index out of range");
  out.pos = static_cast<std::size_t>(v);
  return out;
}

nb::object read_csv(const std::string& path, const std::optional<std::string>& sep,
                    const std::optional<std::string>& delimiter, std::optional<bool> header,
                    const std::optional<std::vector<std::string>>& parse_dates, nb::handle index_col,
                    nb::handle na_values, bool keep_default_na, const std::optional<std::string>& tz,
                    const std::optional<std::string>& date_unit) {
  const std::string d = delimiter ? *delimiter : sep ? *sep : std::string(",");
  if (d.size() != 1) raise(PyExc_ValueError, "sep / delimiter must be a single-byte character");
  io::ReadCsvOptions opts;
  opts.na_values = na_values_of(na_values);
  opts.has_headers = header.value_or(false);
  opts.keep_default_na = keep_default_na;
  opts.delimiter = d[0];
  // Columns bound for datetimes are read straight into instants. The index
  // column's hint comes first so that a parse_dates (UTC) hint on the same
  // column wins, as the conversions below would have it.
  if (!index_col.is_none() && tz && !date_unit) {
    if (auto zone = core::Tz::parse(*tz)) {
      if (PyUnicode_Check(index_col.ptr())) {
        opts.datetime_hints.push_back({utf8_of(index_col.ptr()), *zone});
      } else if (PyObject* i = PyNumber_Index(index_col.ptr())) {
        int overflow = 0;
        const long long v = PyLong_AsLongLongAndOverflow(i, &overflow);
        Py_DECREF(i);
        if (!overflow && !PyErr_Occurred()) opts.datetime_hints.push_back({static_cast<std::int64_t>(v), *zone});
        PyErr_Clear();
      } else {
        PyErr_Clear();
      }
    }
  }
  if (parse_dates)
    for (const auto& name : *parse_dates) opts.datetime_hints.push_back({name, core::Tz::utc()});

  io::CsvTable table = unwrap(io::read_csv_table(path, opts));
  std::vector<std::optional<Column>> done(table.width());

  if (parse_dates) {
    for (const auto& name : *parse_dates) {
      auto p = table.position_of(name);
      if (!p) pyerr(KadmoError::column_not_found(name));
      done[*p] = done[*p] ? unwrap(done[*p]->to_datetime_tz(core::Tz::utc()))
                          : unwrap(table.take_datetime_column(*p, core::Tz::utc()));
    }
  }

  const bool zoned = tz || date_unit;
  if (index_col.is_none()) {
    if (zoned) raise(PyExc_ValueError, "tz / date_unit require index_col (the column to use as the datetime index)");
    return nb::cast(PyDataFrame{unwrap(table.take_frame(std::move(done)))});
  }

  IndexCol ic = index_col_of(index_col, table.width());
  if (!zoned) {
    if (ic.name) {
      auto df = unwrap(table.take_frame(std::move(done)));
      return nb::cast(PyDataFrame{unwrap(df.set_index(*ic.name))});
    }
    return nb::cast(PyDataFrame{unwrap(table.take_frame_indexed(std::move(done), ic.pos))});
  }

  const core::Tz zone = unwrap(core::Tz::parse(tz.value_or("")));
  if (ic.name) {
    auto p = table.position_of(*ic.name);
    if (!p) pyerr(KadmoError::column_not_found(*ic.name));
    ic.pos = *p;
  }
  auto& col = done[ic.pos];
  if (date_unit) {
    if (!col) col = unwrap(table.take_column(ic.pos));
    col = unwrap(col->epoch_to_datetime(*date_unit));
  } else {
    col = col ? unwrap(col->to_datetime_tz(zone)) : unwrap(table.take_datetime_column(ic.pos, zone));
  }
  auto df = unwrap(table.take_frame_indexed(std::move(done), ic.pos));
  if (!zone.is_utc()) df = unwrap(df.tz_convert(zone));
  return nb::cast(PyDataFrame{std::move(df)});
}

nb::object to_csv(const PyDataFrame& self, const std::optional<std::string>& path, std::string sep, bool index,
                  bool header, std::string na_rep, std::optional<std::vector<std::string>> columns,
                  std::optional<std::string> float_format) {
  stale_guard(self.df.has_stale_computed());
  io::WriteCsvOptions o;
  o.sep = std::move(sep);
  o.index = index;
  o.header = header;
  o.na_rep = std::move(na_rep);
  o.columns = std::move(columns);
  o.float_format = std::move(float_format);
  io::TextBuffer text = unwrap(io::to_csv_text(self.df, o));
  if (!path) {
    const auto v = text.view();
    PyObject* s = PyUnicode_FromStringAndSize(v.data(), static_cast<Py_ssize_t>(v.size()));
    if (!s) throw nb::python_error();
    return nb::steal(s);
  }
  unwrap(io::write_file_replacing(*path, text.view()));
  return nb::none();
}

}  // namespace

void register_read_csv(nb::module_& m) {
  m.def("read_csv", &read_csv, nb::arg("path"), nb::arg("sep").none() = nb::none(),
        nb::arg("delimiter").none() = nb::none(), nb::arg("header").none() = true,
        nb::arg("parse_dates").none() = nb::none(), nb::arg("index_col").none() = nb::none(),
        nb::arg("na_values").none() = nb::none(), nb::arg("keep_default_na") = true,
        nb::arg("tz").none() = nb::none(), nb::arg("date_unit").none() = nb::none(),
        "Read a delimited text file into a DataFrame, one typed column per CSV column.\n\n"
        "Dtypes are inferred per column (int64, then float64, then bool, else str). parse_dates\n"
        "converts the named columns to UTC datetimes; index_col (name or position) becomes the\n"
        "row index, read as datetimes in tz or as epoch numbers in date_unit when either is given.\n\n"
        "    df = kadmo.read_csv('bars.csv', index_col='time', tz='America/New_York')");
}

void add_csv_methods(nb::class_<PyDataFrame>& cls) {
  cls.def("to_csv", &to_csv, nb::arg("path").none() = nb::none(), nb::arg("sep") = ",", nb::arg("index") = true,
          nb::arg("header") = true, nb::arg("na_rep") = "", nb::arg("columns").none() = nb::none(),
          nb::arg("float_format").none() = nb::none(),
          "Write the frame as CSV to path, or return the text when path is None.\n\n"
          "The row label comes first (header 'index'); float cells follow float_format\n"
          "('%e', '%f', '%g' with an optional '.<n>'), NaN is written as na_rep. Text fields holding\n"
          "the separator, a double quote or a line break are quoted.");
}

}  // namespace kadmo::py
