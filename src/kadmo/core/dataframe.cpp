#include "kadmo/core/dataframe.hpp"

#include <algorithm>
#include <cmath>

namespace kadmo::core {

Result<DataFrame> DataFrame::make(std::vector<std::string> names, std::vector<Column> columns,
                                  std::optional<Index> index) {
  if (names.size() != columns.size())
    return fail(KadmoError::shape(std::to_string(names.size()) + " names but " + std::to_string(columns.size()) +
                                  " columns"));
  const std::size_t h = columns.empty() ? 0 : columns[0].len();
  for (std::size_t i = 0; i < columns.size(); ++i)
    if (columns[i].len() != h)
      return fail(KadmoError::shape("column \"" + names[i] + "\" has length " + std::to_string(columns[i].len()) +
                                    " but frame height is " + std::to_string(h)));
  if (index && index->len() != h)
    return fail(KadmoError::shape("index length " + std::to_string(index->len()) + " != frame height " +
                                  std::to_string(h)));
  DataFrame df;
  df.names_ = std::move(names);
  df.columns_ = std::move(columns);
  df.height_ = h;
  df.index_ = std::make_shared<Index>(index ? std::move(*index) : Index::range(h));
  df.rebuild_positions();
  return df;
}

void DataFrame::rebuild_positions() {
  positions_.clear();
  for (std::size_t i = 0; i < names_.size(); ++i) positions_[names_[i]] = i;
}

std::string_view DataFrame::resolve(std::string_view name) const {
  auto it = aliases_->find(name);
  return it == aliases_->end() ? name : std::string_view(it->second);
}

std::optional<std::size_t> DataFrame::column_pos(std::string_view name) const {
  auto it = positions_.find(resolve(name));
  if (it == positions_.end()) return std::nullopt;
  return it->second;
}

Result<Column> DataFrame::column(std::string_view name) const {
  if (auto p = column_pos(name)) return columns_[*p];
  return fail(KadmoError::column_not_found(std::string(name)));
}

const Column* DataFrame::column_ptr(std::string_view name) const {
  auto p = column_pos(name);
  return p ? &columns_[*p] : nullptr;
}

const ComputedMeta* DataFrame::computed_meta(std::string_view name) const {
  auto it = computed_.find(name);
  return it == computed_.end() ? nullptr : &it->second;
}

ComputedMeta* DataFrame::computed_meta_mut(std::string_view name) {
  auto it = computed_.find(name);
  return it == computed_.end() ? nullptr : &it->second;
}

void DataFrame::erase_computed(std::string_view name) {
  if (auto it = computed_.find(name); it != computed_.end()) computed_.erase(it);
}

bool DataFrame::has_stale_computed() const {
  for (const auto& [_, m] : computed_)
    if (m.rows < height_) return true;
  return false;
}

DataFrame DataFrame::take(std::span<const std::size_t> positions) const {
  DataFrame out;
  out.names_ = names_;
  out.positions_ = positions_;
  out.columns_.reserve(columns_.size());
  for (const auto& c : columns_) out.columns_.push_back(c.take(positions));
  out.index_ = std::make_shared<Index>(index_->take(positions));
  out.aliases_ = aliases_;
  out.height_ = positions.size();
  return out;
}

Result<DataFrame> DataFrame::filter_mask(std::span<const std::uint8_t> mask) const {
  if (mask.size() != height_)
    return fail(KadmoError::shape("boolean mask length " + std::to_string(mask.size()) + " != frame height " +
                                  std::to_string(height_)));
  std::vector<std::size_t> pos;
  for (std::size_t i = 0; i < mask.size(); ++i)
    if (mask[i]) pos.push_back(i);
  return take(pos);
}

DataFrame DataFrame::slice(std::size_t start, std::size_t end) const {
  start = std::min<std::size_t>(start, height_);
  end = std::max(start, std::min<std::size_t>(end, height_));
  const std::uint64_t h = end - start;
  DataFrame out;
  out.names_ = names_;
  out.positions_ = positions_;
  out.columns_.reserve(columns_.size());
  for (const auto& c : columns_) out.columns_.push_back(c.slice(start, end));
  out.index_ = std::make_shared<Index>(index_->slice(start, end));
  out.aliases_ = aliases_;
  out.height_ = h;
  for (const auto& [name, m] : computed_) {
    if (h < m.lookback) continue;
    ComputedMeta k = m;
    k.rows = std::min<std::uint64_t>(h, m.rows > start ? m.rows - start : 0);
    k.origin = m.origin + start;
    if (end < m.rows) k.state.reset();
    out.computed_.emplace(name, std::move(k));
  }
  return out;
}

Result<DataFrame> DataFrame::select(std::span<const std::string> names) const {
  DataFrame out;
  for (const auto& n : names) {
    auto p = column_pos(n);
    if (!p) return fail(KadmoError::column_not_found(n));
    out.names_.push_back(n);
    out.columns_.push_back(columns_[*p]);
  }
  out.rebuild_positions();
  out.index_ = index_;
  out.aliases_ = aliases_;
  out.height_ = height_;
  return out;
}

Result<DataFrame> DataFrame::astype(std::span<const std::pair<std::string, DType>> mapping) const {
  std::vector<Column> cols = columns_;
  for (const auto& [name, dt] : mapping) {
    auto p = column_pos(name);
    if (!p) return fail(KadmoError::column_not_found(name));
    auto c = columns_[*p].cast(dt);
    if (!c) return fail(c.error());
    cols[*p] = std::move(*c);
  }
  return rebuilt(std::move(cols));
}

Result<DataFrame> DataFrame::rebuilt(std::vector<Column> columns) const {
  auto df = make(names_, std::move(columns), *index_);
  if (!df) return df;
  df->aliases_ = aliases_;
  return df;
}

Result<DataFrame> DataFrame::set_index(std::string_view name) const {
  auto p = column_pos(name);
  if (!p) return fail(KadmoError::column_not_found(std::string(name)));
  const Column& c = columns_[*p];
  Index idx;
  if (auto* v = c.i64_values()) idx = Index::integer(*v);
  else if (auto* s = c.str_values()) idx = Index::strings(*s);
  else if (auto* d = c.datetime_values()) idx = Index::datetime(*d, Tz::utc());
  else
    return fail(KadmoError::dtype("cannot use a " + std::string(dtype_name(c.dtype())) +
                                  " column as an index (only datetime / int64 / string)"));
  DataFrame out;
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    if (i == *p) continue;
    out.names_.push_back(names_[i]);
    out.columns_.push_back(columns_[i]);
  }
  out.rebuild_positions();
  out.index_ = std::make_shared<Index>(std::move(idx));
  out.aliases_ = aliases_;
  out.height_ = height_;
  return out;
}

Result<DataFrame> DataFrame::tz_convert(const Tz& zone) const {
  auto* d = std::get_if<DatetimeIndex>(&index_->variant());
  if (!d) return fail(KadmoError::dtype("tz_convert requires a DatetimeIndex"));
  DataFrame out = *this;
  out.index_ = std::make_shared<Index>(Index::datetime(d->ns, zone));
  return out;
}

void DataFrame::to_row_major_f64(double* out) const {
  const std::size_t w = columns_.size();
  // Rows in blocks so each output cache line is written while it is hot.
  constexpr std::size_t kBlock = 512;
  for (std::size_t r0 = 0; r0 < height_; r0 += kBlock) {
    const std::size_t r1 = std::min<std::size_t>(height_, r0 + kBlock);
    for (std::size_t j = 0; j < w; ++j) {
      std::visit(
          [&](const auto& s) {
            using T = typename std::decay_t<decltype(s)>::value_type;
            const auto& v = *s.data;
            double* o = out + r0 * w + j;
            for (std::size_t i = r0; i < r1; ++i, o += w) {
              if constexpr (std::is_same_v<T, std::string>) *o = kNaN;
              else *o = static_cast<double>(v[i]);
            }
          },
          columns_[j].variant());
    }
  }
}

std::vector<double> DataFrame::to_row_major_f64() const {
  std::vector<double> out(height_ * columns_.size());
  to_row_major_f64(out.data());
  return out;
}

DataFrame DataFrame::without_column(std::size_t pos) const {
  DataFrame out;
  out.names_.reserve(names_.size());
  out.columns_.reserve(columns_.size());
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    if (i == pos) continue;
    out.names_.push_back(names_[i]);
    out.columns_.push_back(columns_[i]);
  }
  out.rebuild_positions();
  out.index_ = index_;
  out.aliases_ = aliases_;
  out.height_ = height_;
  return out;
}

Result<void> DataFrame::set_column(std::string_view name, Column column) {
  if (columns_.empty()) {
    height_ = column.len();
    if (index_->len() != height_) index_ = std::make_shared<Index>(Index::range(height_));
  } else if (column.len() != height_) {
    return fail(KadmoError::shape("new column \"" + std::string(name) + "\" has length " +
                                  std::to_string(column.len()) + " but frame height is " + std::to_string(height_)));
  }
  if (auto p = column_pos(name)) {
    columns_[*p] = std::move(column);
  } else {
    positions_[std::string(name)] = names_.size();
    names_.emplace_back(name);
    columns_.push_back(std::move(column));
  }
  return {};
}

namespace {

Result<Index> appended_index(const Index& a, const Index& b) {
  const bool sa = a.kind() == Index::Kind::String, sb = b.kind() == Index::Kind::String;
  if (sa != sb) return fail(KadmoError::shape("cannot append a string index to a non-string index"));
  if (sa) {
    auto out = std::get<StringIndex>(a.variant()).labels;
    const auto& l = std::get<StringIndex>(b.variant()).labels;
    out.insert(out.end(), l.begin(), l.end());
    return Index::strings(std::move(out));
  }
  if (a.kind() == b.kind()) {
    if (a.kind() == Index::Kind::Range) return Index::range(a.len() + b.len());
    if (a.kind() == Index::Kind::Datetime) {
      const auto& da = std::get<DatetimeIndex>(a.variant());
      auto out = da.ns;
      const auto& l = std::get<DatetimeIndex>(b.variant()).ns;
      out.insert(out.end(), l.begin(), l.end());
      return Index::datetime(std::move(out), da.tz);
    }
  }
  auto out = a.to_i64_labels();
  auto l = b.to_i64_labels();
  out.insert(out.end(), l.begin(), l.end());
  return Index::integer(std::move(out));
}

// Grows the index in place when it is unshared and the kinds allow it, so an
// append of one bar stays O(1) amortised.
bool append_index_in_place(Index& a, const Index& b) {
  if (a.kind() != b.kind()) return false;
  switch (a.kind()) {
    case Index::Kind::Range: std::get<RangeIndex>(a.variant()).n += b.len(); return true;
    case Index::Kind::Integer: {
      auto& v = std::get<IntIndex>(a.variant()).labels;
      const auto& l = std::get<IntIndex>(b.variant()).labels;
      if (&v == &l) return false;
      v.insert(v.end(), l.begin(), l.end());
      return true;
    }
    case Index::Kind::Datetime: {
      auto& v = std::get<DatetimeIndex>(a.variant()).ns;
      const auto& l = std::get<DatetimeIndex>(b.variant()).ns;
      if (&v == &l) return false;
      v.insert(v.end(), l.begin(), l.end());
      return true;
    }
    case Index::Kind::String: {
      auto& v = std::get<StringIndex>(a.variant()).labels;
      const auto& l = std::get<StringIndex>(b.variant()).labels;
      if (&v == &l) return false;
      v.insert(v.end(), l.begin(), l.end());
      return true;
    }
  }
  return false;
}

}  // namespace

Result<void> DataFrame::append(const DataFrame& other_in) {
  if (&other_in == this) {
    DataFrame snapshot = *this;
    return append(snapshot);
  }
  const DataFrame& other = other_in;
  // Validate everything first so a failure leaves the frame untouched.
  enum class Plan : std::uint8_t { Values, PadFloat, PadBool, IntToFloat };
  std::vector<Plan> plan(columns_.size());
  std::vector<const Column*> sources(columns_.size(), nullptr);
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    const Column& mine = columns_[i];
    if (const Column* theirs = other.column_ptr(names_[i])) {
      if (theirs->dtype() != mine.dtype())
        return fail(KadmoError::dtype("cannot append a " + std::string(dtype_name(theirs->dtype())) +
                                      " column onto a " + std::string(dtype_name(mine.dtype())) + " column"));
      plan[i] = Plan::Values;
      sources[i] = theirs;
      continue;
    }
    const bool computed = computed_.contains(names_[i]);
    const DType d = mine.dtype();
    if (d == DType::Float64) plan[i] = Plan::PadFloat;
    else if (d == DType::Bool && computed) plan[i] = Plan::PadBool;
    else if (d == DType::Int64 && !computed) plan[i] = Plan::IntToFloat;
    else
      return fail(KadmoError::dtype("cannot append: column \"" + names_[i] + "\" (" + std::string(dtype_name(d)) +
                                    ") is missing from the appended frame and has no missing-value representation"));
  }
  const bool same_kind = index_->kind() == other.index_->kind();
  std::optional<Index> new_index;
  if (!same_kind || index_.use_count() > 1 || index_ == other.index_) {
    auto idx = appended_index(*index_, *other.index_);
    if (!idx) return fail(idx.error());
    new_index = std::move(*idx);
  }
  const std::size_t add = other.height_;
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    Column& c = columns_[i];
    switch (plan[i]) {
      case Plan::Values: c.append_values(*sources[i]); break;
      case Plan::PadFloat:
      case Plan::PadBool: (void)c.append_missing(add); break;
      case Plan::IntToFloat: {
        std::vector<double> f = c.to_f64_vec();
        f.insert(f.end(), add, kNaN);
        c = Column::f64(std::move(f));
        break;
      }
    }
  }
  if (new_index) index_ = std::make_shared<Index>(std::move(*new_index));
  else append_index_in_place(*index_, *other.index_);
  height_ += add;
  return {};
}

Result<void> DataFrame::assign_positions(std::size_t col, std::span<const std::size_t> positions,
                                         const Column& values) {
  if (col >= columns_.size())
    return fail(KadmoError::shape("column position " + std::to_string(col) + " is out of range (width " +
                                  std::to_string(columns_.size()) + ")"));
  const std::size_t nv = values.len();
  if (nv != 1 && nv != positions.size())
    return fail(KadmoError::shape("cannot assign " + std::to_string(nv) + " values to " +
                                  std::to_string(positions.size()) + " selected rows"));
  for (auto p : positions)
    if (p >= height_)
      return fail(KadmoError::shape("row position " + std::to_string(p) + " is out of range (height " +
                                    std::to_string(height_) + ")"));
  Column& c = columns_[col];
  const DType cd = c.dtype(), vd = values.dtype();
  auto value_at = [&](std::size_t k) { return nv == 1 ? 0 : k; };
  auto mismatch = [&] {
    return fail(KadmoError::dtype("cannot assign " + std::string(dtype_name(vd)) + " values into a " +
                                  std::string(dtype_name(cd)) + " column"));
  };
  if (cd == DType::Float64) {
    if (vd != DType::Float64 && vd != DType::Int64) return mismatch();
    auto src = values.to_f64_vec();
    auto* dst = c.f64_mut();
    for (std::size_t k = 0; k < positions.size(); ++k) (*dst)[positions[k]] = src[value_at(k)];
  } else if (cd == DType::Int64 && vd == DType::Float64) {
    const auto& src = *values.f64_values();
    // Whole numbers inside the int64 range stay int; anything else (fractions,
    // NaN, values an int64 cannot hold) turns the column into float64.
    bool whole = std::all_of(src.begin(), src.end(), [](double x) {
      return std::isfinite(x) && std::trunc(x) == x && x >= -9223372036854775808.0 && x < 9223372036854775808.0;
    });
    if (whole) {
      auto* dst = c.i64_mut();
      for (std::size_t k = 0; k < positions.size(); ++k)
        (*dst)[positions[k]] = saturating_f64_to_i64(src[value_at(k)]);
    } else {
      auto f = c.to_f64_vec();
      for (std::size_t k = 0; k < positions.size(); ++k) f[positions[k]] = src[value_at(k)];
      c = Column::f64(std::move(f));
    }
  } else if (cd != vd) {
    return mismatch();
  } else {
    std::visit(
        [&](auto& s) {
          using S = std::decay_t<decltype(s)>;
          const auto& src = *std::get<S>(values.variant()).data;
          auto copy_src = src;  // values may alias the destination storage
          if (s.data.use_count() > 1) s.data = std::make_shared<std::vector<typename S::value_type>>(*s.data);
          for (std::size_t k = 0; k < positions.size(); ++k) (*s.data)[positions[k]] = copy_src[value_at(k)];
        },
        c.variant_mut());
  }
  invalidate_computed_on_write_at(col);
  return {};
}

void DataFrame::set_computed(const std::string& name, std::string directive, std::uint64_t lookback) {
  computed_[name] = ComputedMeta{std::move(directive), std::nullopt, lookback, height_, 0};
}

void DataFrame::set_computed_state(const std::string& name, std::optional<std::vector<double>> state) {
  if (auto* m = computed_meta_mut(name)) m->state = std::move(state);
}

Result<void> DataFrame::update_computed_tail(std::string_view name, std::size_t start, const Column& values) {
  auto it = positions_.find(name);
  if (it == positions_.end()) return fail(KadmoError::column_not_found(std::string(name)));
  Column& c = columns_[it->second];
  if (c.dtype() != values.dtype() || (values.dtype() != DType::Float64 && values.dtype() != DType::Bool))
    return fail(KadmoError::dtype("computed tail dtype " + std::string(dtype_name(values.dtype())) +
                                  " does not match column \"" + std::string(name) + "\" dtype " +
                                  std::string(dtype_name(c.dtype()))));
  const std::size_t n = c.len();
  if (auto* src = values.f64_values()) {
    auto* dst = c.f64_mut();
    for (std::size_t i = 0; i < src->size() && start + i < n; ++i) (*dst)[start + i] = (*src)[i];
  } else {
    const auto& s = *values.bool_values();
    auto* dst = c.bool_mut();
    for (std::size_t i = 0; i < s.size() && start + i < n; ++i) (*dst)[start + i] = s[i];
  }
  if (auto* m = computed_meta_mut(name)) m->rows = height_;
  return {};
}

void DataFrame::invalidate_computed_on_write_at(std::size_t col) {
  if (col < names_.size()) erase_computed(names_[col]);
  for (auto& [_, m] : computed_) {
    m.rows = 0;
    m.state.reset();
  }
}

void DataFrame::set_alias(std::string name, std::string target) {
  if (aliases_.use_count() > 1) aliases_ = std::make_shared<AliasMap>(*aliases_);
  (*aliases_)[std::move(name)] = std::move(target);
}

}  // namespace kadmo::core
