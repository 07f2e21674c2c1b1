#include "kadmo/core/selection.hpp"

namespace kadmo::core {

std::optional<std::size_t> normalize_position(std::int64_t i, std::size_t n) {
  // Compare in unsigned space so that huge n and INT64_MIN stay exact.
  if (i < 0) {
    const std::uint64_t back = static_cast<std::uint64_t>(-(i + 1)) + 1;
    if (back > n) return std::nullopt;
    return n - static_cast<std::size_t>(back);
  }
  if (static_cast<std::uint64_t>(i) >= n) return std::nullopt;
  return static_cast<std::size_t>(i);
}

std::vector<std::size_t> mask_positions(std::span<const std::uint8_t> mask) {
  // Branch-free: a random mask would mispredict every other row.
  std::vector<std::size_t> out(mask.size());
  std::size_t k = 0;
  for (std::size_t i = 0; i < mask.size(); ++i) {
    out[k] = i;
    k += mask[i] != 0;
  }
  out.resize(k);
  return out;
}

std::vector<std::size_t> inclusive_positions(std::optional<std::size_t> start, std::optional<std::size_t> stop,
                                             std::size_t width) {
  std::vector<std::size_t> out;
  if (width == 0) return out;
  const std::size_t a = start.value_or(0), b = stop.value_or(width - 1);
  for (std::size_t j = a; j <= b && j < width; ++j) out.push_back(j);
  return out;
}

bool is_all_rows(std::span<const std::size_t> rows, std::size_t n) {
  if (rows.size() != n) return false;
  for (std::size_t i = 0; i < n; ++i)
    if (rows[i] != i) return false;
  return true;
}

Column take_rows(const Column& c, std::span<const std::size_t> rows) {
  if (is_all_rows(rows, c.len())) return c;
  return c.take(rows);
}

std::shared_ptr<Index> take_index(const std::shared_ptr<Index>& idx, std::span<const std::size_t> rows) {
  if (is_all_rows(rows, idx->len())) return idx;
  return std::make_shared<Index>(idx->take(rows));
}

Result<DataFrame> project(const DataFrame& df, std::span<const std::size_t> cols, std::span<const std::string> names,
                          std::span<const std::size_t> rows) {
  if (cols.size() != names.size())
    return fail(KadmoError::shape(std::to_string(names.size()) + " names but " + std::to_string(cols.size()) +
                                  " columns"));
  const bool all_rows = is_all_rows(rows, df.height());
  bool by_name = true;
  for (std::size_t k = 0; k < cols.size() && by_name; ++k) by_name = df.column_pos(names[k]) == cols[k];
  if (by_name) {
    // select keeps the row count even with no columns, which a rebuilt
    // frame could not.
    auto sel = df.select(names);
    if (!sel) return fail(sel.error());
    if (all_rows) return std::move(*sel);
    return sel->take(rows);
  }
  // Duplicate names: a name lookup would find the last one, so gather by
  // position and rebuild.
  std::vector<std::string> out_names(names.begin(), names.end());
  std::vector<Column> out_cols;
  out_cols.reserve(cols.size());
  for (auto j : cols) out_cols.push_back(take_rows(df.column_at(j), rows));
  auto out = DataFrame::make(std::move(out_names), std::move(out_cols), *take_index(df.index_ptr(), rows));
  if (!out) return out;
  for (const auto& [alias, target] : df.aliases()) out->set_alias(alias, target);
  return out;
}

}  // namespace kadmo::core
