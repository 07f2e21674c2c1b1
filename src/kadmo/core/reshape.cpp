#include "kadmo/core/reshape.hpp"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <unordered_set>
#include <utility>

namespace kadmo::core {

namespace {

// A new frame of these columns over index (all of its length), with a copy of
// the given aliases. A frame without columns keeps the index's rows: make()
// alone would give it height 0 and refuse a non-empty index, so a placeholder
// column carries the height and is dropped again.
Result<DataFrame> frame_of(std::vector<std::string> names, std::vector<Column> cols, Index index,
                           const AliasMap* aliases) {
  Result<DataFrame> out = [&]() -> Result<DataFrame> {
    if (!cols.empty() || index.len() == 0) return DataFrame::make(std::move(names), std::move(cols), std::move(index));
    const std::size_t h = index.len();
    auto tmp = DataFrame::make({std::string()}, {Column::boolean(std::vector<std::uint8_t>(h))}, std::move(index));
    if (!tmp) return tmp;
    return tmp->without_column(0);
  }();
  if (out && aliases)
    for (const auto& [name, target] : *aliases) out->set_alias(name, target);
  return out;
}

Result<DataFrame> bool_frame(const DataFrame& df, std::vector<std::uint8_t> (*fn)(const Column&)) {
  std::vector<Column> cols;
  cols.reserve(df.width());
  for (const auto& c : df.columns()) cols.push_back(Column::boolean(fn(c)));
  return frame_of(df.names(), std::move(cols), df.index(), nullptr);
}

bool int_like(DType d) { return d == DType::Int64 || d == DType::Datetime; }

const std::vector<std::int64_t>& int_values(const Column& c) {
  return c.dtype() == DType::Int64 ? *c.i64_values() : *c.datetime_values();
}

bool cmp_i64(std::int64_t a, std::int64_t b, CmpOp op) {
  switch (op) {
    case CmpOp::Lt: return a < b;
    case CmpOp::Le: return a <= b;
    case CmpOp::Eq: return a == b;
    case CmpOp::Ne: return a != b;
    case CmpOp::Ge: return a >= b;
    case CmpOp::Gt: return a > b;
  }
  return false;
}

}  // namespace

DataFrame head(const DataFrame& df, std::size_t n) { return df.slice(0, std::min(n, df.height())); }

DataFrame tail(const DataFrame& df, std::size_t n) {
  const std::size_t h = df.height();
  return df.slice(h > n ? h - n : 0, h);
}

Result<DataFrame> isna_frame(const DataFrame& df) { return bool_frame(df, &isna); }
Result<DataFrame> notna_frame(const DataFrame& df) { return bool_frame(df, &notna); }

Result<DataFrame> fillna_frame(const DataFrame& df, std::optional<double> value,
                               std::optional<std::string_view> method) {
  // Checked up front: a frame without float columns must refuse bad
  // arguments just the same.
  if (!value && !method) return fail(KadmoError::value("fillna: pass a `value` or a `method`"));
  if (value && method) return fail(KadmoError::value("fillna: pass either `value` or `method`, not both"));
  if (method && *method != "ffill" && *method != "pad" && *method != "bfill" && *method != "backfill")
    return fail(KadmoError::value("fillna: unknown method '" + std::string(*method) + "'"));
  std::vector<Column> cols;
  cols.reserve(df.width());
  for (const auto& c : df.columns()) {
    auto f = fillna(c, value, method);
    if (!f) return fail(f.error());
    cols.push_back(std::move(*f));
  }
  return frame_of(df.names(), std::move(cols), df.index(), nullptr);
}

DataFrame dropna_frame(const DataFrame& df, DropHow how) {
  const std::size_t h = df.height(), w = df.width();
  std::vector<std::uint8_t> keep(h, 1);
  bool all_float = true;
  for (const auto& c : df.columns()) all_float = all_float && c.dtype() == DType::Float64;
  if (how == DropHow::Any) {
    for (const auto& c : df.columns())
      if (const auto* f = c.f64_values())
        for (std::size_t i = 0; i < h; ++i) keep[i] &= (*f)[i] == (*f)[i];
  } else if (all_float) {
    // A row goes only when every column is NaN there (so, with no columns,
    // every row goes, as in pandas).
    std::vector<std::size_t> missing(h, 0);
    for (const auto& c : df.columns()) {
      const auto& f = *c.f64_values();
      for (std::size_t i = 0; i < h; ++i) missing[i] += f[i] != f[i];
    }
    for (std::size_t i = 0; i < h; ++i) keep[i] = missing[i] != w;
  }
  // The mask has the frame's height, so filtering cannot fail.
  return *df.filter_mask(keep);
}

Result<DataFrame> drop_columns(const DataFrame& df, std::span<const std::string> names) {
  std::unordered_set<std::string_view> gone(names.begin(), names.end());
  std::vector<std::string> keep_names;
  std::vector<Column> keep_cols;
  for (std::size_t j = 0; j < df.width(); ++j) {
    if (gone.contains(df.names()[j])) continue;
    keep_names.push_back(df.names()[j]);
    keep_cols.push_back(df.column_at(j));
  }
  return frame_of(std::move(keep_names), std::move(keep_cols), df.index(), &df.aliases());
}

DataFrame drop_rows(const DataFrame& df, std::span<const Label> labels) {
  const Index& idx = df.index();
  const std::size_t h = df.height();
  std::vector<std::uint8_t> gone(h, 0);
  switch (idx.kind()) {
    case Index::Kind::Range:
      for (const auto& l : labels)
        if (const auto* k = std::get_if<std::int64_t>(&l); k && *k >= 0 && static_cast<std::uint64_t>(*k) < h)
          gone[static_cast<std::size_t>(*k)] = 1;
      break;
    case Index::Kind::Integer:
    case Index::Kind::Datetime: {
      std::unordered_set<std::int64_t> set;
      for (const auto& l : labels)
        if (const auto* k = std::get_if<std::int64_t>(&l)) set.insert(*k);
      const auto& v = idx.kind() == Index::Kind::Integer ? std::get<IntIndex>(idx.variant()).labels
                                                         : std::get<DatetimeIndex>(idx.variant()).ns;
      for (std::size_t i = 0; i < h; ++i) gone[i] = set.contains(v[i]);
      break;
    }
    case Index::Kind::String: {
      std::unordered_set<std::string_view> set;
      for (const auto& l : labels)
        if (const auto* s = std::get_if<std::string>(&l)) set.insert(*s);
      const auto& v = std::get<StringIndex>(idx.variant()).labels;
      for (std::size_t i = 0; i < h; ++i) gone[i] = set.contains(v[i]);
      break;
    }
  }
  std::vector<std::size_t> keep;
  keep.reserve(h);
  for (std::size_t i = 0; i < h; ++i)
    if (!gone[i]) keep.push_back(i);
  return df.take(keep);
}

Result<DataFrame> rename_columns(const DataFrame& df, const StringMap<std::string>& mapping) {
  std::vector<std::string> names = df.names();
  for (auto& n : names)
    if (auto it = mapping.find(n); it != mapping.end()) n = it->second;
  return frame_of(std::move(names), df.columns(), df.index(), &df.aliases());
}

Result<void> replace_with_datetime(DataFrame& work, std::string_view name, std::string_view unit) {
  const Column* c = work.column_ptr(name);
  if (!c) return fail(KadmoError::column_not_found(std::string(name)));
  auto converted = to_datetime_unit(*c, unit);
  if (!converted) return fail(converted.error());
  return work.set_column(name, std::move(*converted));
}

Result<DataFrame> reset_index(const DataFrame& df, bool drop) {
  std::vector<std::string> names;
  std::vector<Column> cols;
  if (!drop) {
    const Index& idx = df.index();
    names.emplace_back("index");
    switch (idx.kind()) {
      case Index::Kind::Range:
      case Index::Kind::Integer: cols.push_back(Column::i64(idx.to_i64_labels())); break;
      // Columns carry no zone: the instants stay, the zone is dropped.
      case Index::Kind::Datetime: cols.push_back(Column::datetime(idx.to_i64_labels())); break;
      case Index::Kind::String: cols.push_back(Column::str(std::get<StringIndex>(idx.variant()).labels)); break;
    }
  }
  names.insert(names.end(), df.names().begin(), df.names().end());
  cols.insert(cols.end(), df.columns().begin(), df.columns().end());
  return frame_of(std::move(names), std::move(cols), Index::range(df.height()), nullptr);
}

DataFrame sort_index(const DataFrame& df, bool ascending) {
  const Index& idx = df.index();
  const std::size_t h = df.height();
  std::vector<std::size_t> order(h);
  if (idx.kind() == Index::Kind::String) {
    const auto& v = std::get<StringIndex>(idx.variant()).labels;
    for (std::size_t i = 0; i < h; ++i) order[i] = i;
    // std::string compares bytes as unsigned char.
    if (ascending) std::stable_sort(order.begin(), order.end(), [&](auto a, auto b) { return v[a] < v[b]; });
    else std::stable_sort(order.begin(), order.end(), [&](auto a, auto b) { return v[b] < v[a]; });
  } else {
    const std::vector<std::int64_t> labels = idx.to_i64_labels();
    // Bars usually arrive in time order: a sorted index needs no sort, and
    // without ties its descending order is the reverse.
    if (std::is_sorted(labels.begin(), labels.end())) {
      const bool ties = std::adjacent_find(labels.begin(), labels.end()) != labels.end();
      if (ascending || !ties) {
        for (std::size_t i = 0; i < h; ++i) order[i] = ascending ? i : h - 1 - i;
        return df.take(order);
      }
    }
    std::vector<std::pair<std::int64_t, std::size_t>> keyed(h);
    for (std::size_t i = 0; i < h; ++i) keyed[i] = {labels[i], i};
    // Position as the tie-break keeps equal labels in their order both ways.
    if (ascending) std::sort(keyed.begin(), keyed.end());
    else
      std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
      });
    for (std::size_t i = 0; i < h; ++i) order[i] = keyed[i].second;
  }
  return df.take(order);
}

Result<DataFrame> tz_localize(const DataFrame& df, const Tz& tz) {
  const auto* d = std::get_if<DatetimeIndex>(&df.index().variant());
  if (!d) return fail(KadmoError::dtype("tz_localize requires a DatetimeIndex"));
  std::vector<std::int64_t> out;
  out.reserve(d->ns.size());
  for (std::int64_t ns : d->ns) {
    const CivilParts p = civil_parts_tz(ns, d->tz);
    auto utc = tz.wall_to_utc_ns(p.year, p.month, p.day, p.hour, p.minute, p.second);
    if (!utc) {
      char buf[128];
      std::snprintf(buf, sizeof buf, "wall-clock %04lld-%02lld-%02lld %02lld:%02lld:%02lld",
                    static_cast<long long>(p.year), static_cast<long long>(p.month), static_cast<long long>(p.day),
                    static_cast<long long>(p.hour), static_cast<long long>(p.minute),
                    static_cast<long long>(p.second));
      // Near the ends of the nanosecond range the instant may simply not fit;
      // calling that a daylight-saving gap would mislead. Zone offsets stay
      // below a day, and only named zones have gaps.
      constexpr std::int64_t kDay = 86'400'000'000'000;
      auto naive = Tz::utc().wall_to_utc_ns(p.year, p.month, p.day, p.hour, p.minute, p.second);
      const bool out_of_range = tz.kind() != Tz::Kind::Named || !naive ||
                                *naive < std::numeric_limits<std::int64_t>::min() + kDay ||
                                *naive > std::numeric_limits<std::int64_t>::max() - kDay;
      if (out_of_range)
        return fail(KadmoError::value(std::string(buf) + " in " + tz.name() +
                                      " is outside the datetime64[ns] range"));
      return fail(KadmoError::value(std::string(buf) + " does not exist in " + tz.name()));
    }
    out.push_back(*utc);
  }
  DataFrame result = df;
  result.set_index_value(Index::datetime(std::move(out), tz));
  return result;
}

bool frame_equals(const DataFrame& a, const DataFrame& b) {
  if (a.height() != b.height() || a.names() != b.names()) return false;
  if (a.index_ptr() != b.index_ptr() && !(a.index() == b.index())) return false;
  for (std::size_t j = 0; j < a.width(); ++j)
    if (!a.column_at(j).equals(b.column_at(j))) return false;
  return true;
}

Result<DataFrame> compare_frames(const DataFrame& a, const DataFrame& b, CmpOp op) {
  if (a.names() != b.names()) return fail(KadmoError::value("cannot compare DataFrames with different columns"));
  if (a.index_ptr() != b.index_ptr() && !(a.index() == b.index()))
    return fail(KadmoError::value(
        "operands have different indexes; kadmo aligns by position, not by label \xe2\x80\x94 reindex or slice them "
        "to a common index first"));
  std::vector<Column> cols;
  cols.reserve(a.width());
  for (std::size_t j = 0; j < a.width(); ++j) {
    const Column &x = a.column_at(j), &y = b.column_at(j);
    if (int_like(x.dtype()) && x.dtype() == y.dtype()) {
      // Nanosecond counts and large ints are not exact as doubles; compare
      // them as the integers they are.
      const auto &u = int_values(x), &v = int_values(y);
      std::vector<std::uint8_t> out(u.size());
      for (std::size_t i = 0; i < u.size(); ++i) out[i] = cmp_i64(u[i], v[i], op);
      cols.push_back(Column::boolean(std::move(out)));
    } else {
      const FloatView fx(x), fy(y);
      cols.push_back(Column::boolean(compare(fx.span(), fy.span(), op)));
    }
  }
  return frame_of(a.names(), std::move(cols), a.index(), nullptr);
}

Result<DataFrame> compare_frame_scalar(const DataFrame& a, double x, CmpOp op) {
  std::vector<Column> cols;
  cols.reserve(a.width());
  for (const auto& c : a.columns()) {
    const FloatView f(c);
    cols.push_back(Column::boolean(compare_scalar(f.span(), x, op)));
  }
  return frame_of(a.names(), std::move(cols), a.index(), nullptr);
}

}  // namespace kadmo::core
