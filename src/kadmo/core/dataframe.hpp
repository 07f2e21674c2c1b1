#pragma once
// The core table: named typed columns over a shared row index, with an alias
// map and the metadata of cached directive columns. Copies share storage.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "kadmo/core/column.hpp"
#include "kadmo/core/error.hpp"
#include "kadmo/core/index.hpp"

namespace kadmo::core {

struct ComputedMeta {
  std::string directive;
  std::optional<std::vector<double>> state;
  std::uint64_t lookback = 0;
  std::uint64_t rows = 0;
  std::uint64_t origin = 0;
  bool operator==(const ComputedMeta&) const = default;
};

// Lets maps keyed by std::string be searched with a string_view.
struct StringHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
};

template <class V>
using StringMap = std::unordered_map<std::string, V, StringHash, std::equal_to<>>;

using AliasMap = StringMap<std::string>;

class DataFrame {
 public:
  DataFrame() : index_(std::make_shared<Index>(Index::range(0))), aliases_(std::make_shared<AliasMap>()) {}

  static Result<DataFrame> make(std::vector<std::string> names, std::vector<Column> columns,
                                std::optional<Index> index = std::nullopt);

  // Lookup
  std::string_view resolve(std::string_view name) const;
  std::optional<std::size_t> column_pos(std::string_view name) const;
  bool has_column(std::string_view name) const { return column_pos(name).has_value(); }
  Result<Column> column(std::string_view name) const;
  const Column* column_ptr(std::string_view name) const;

  std::size_t height() const { return height_; }
  std::size_t width() const { return columns_.size(); }
  const std::vector<std::string>& names() const { return names_; }
  const std::vector<Column>& columns() const { return columns_; }
  const Column& column_at(std::size_t i) const { return columns_[i]; }
  const Index& index() const { return *index_; }
  const std::shared_ptr<Index>& index_ptr() const { return index_; }
  const AliasMap& aliases() const { return *aliases_; }
  const std::map<std::string, ComputedMeta, std::less<>>& computed() const { return computed_; }
  const ComputedMeta* computed_meta(std::string_view name) const;
  bool has_stale_computed() const;

  // Whole-frame transforms
  DataFrame take(std::span<const std::size_t> positions) const;
  Result<DataFrame> filter_mask(std::span<const std::uint8_t> mask) const;
  DataFrame slice(std::size_t start, std::size_t end) const;
  Result<DataFrame> select(std::span<const std::string> names) const;
  Result<DataFrame> astype(std::span<const std::pair<std::string, DType>> mapping) const;
  Result<DataFrame> set_index(std::string_view name) const;
  Result<DataFrame> tz_convert(const Tz& zone) const;
  std::vector<double> to_row_major_f64() const;
  // The frame without one column; storage, index and aliases shared.
  DataFrame without_column(std::size_t pos) const;
  // Row-major values written into a caller buffer of height*width doubles.
  void to_row_major_f64(double* out) const;

  // In place
  Result<void> set_column(std::string_view name, Column column);
  Result<void> append(const DataFrame& other);
  Result<void> assign_positions(std::size_t col, std::span<const std::size_t> positions, const Column& values);
  void set_computed(const std::string& name, std::string directive, std::uint64_t lookback);
  void set_computed_state(const std::string& name, std::optional<std::vector<double>> state);
  Result<void> update_computed_tail(std::string_view name, std::size_t start, const Column& values);
  void invalidate_computed_on_write_at(std::size_t col);
  // Alias name -> target (stored as given).
  void set_alias(std::string name, std::string target);
  void set_index_value(Index index) { index_ = std::make_shared<Index>(std::move(index)); }
  ComputedMeta* computed_meta_mut(std::string_view name);
  void erase_computed(std::string_view name);

 private:
  void rebuild_positions();
  Result<DataFrame> rebuilt(std::vector<Column> columns) const;

  std::vector<std::string> names_;
  std::vector<Column> columns_;
  StringMap<std::size_t> positions_;
  std::shared_ptr<Index> index_;
  std::shared_ptr<AliasMap> aliases_;
  std::map<std::string, ComputedMeta, std::less<>> computed_;
  std::uint64_t height_ = 0;
};

}  // namespace kadmo::core
