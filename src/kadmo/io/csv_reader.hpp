#pragma once
// Reading delimited text into typed columns.
//
// The file is streamed through a small buffer once. Each column is converted
// while it is read under the dtype its cells so far allow (int64, widened to
// float64 when a float or a missing cell arrives, bool, or text), so no cell
// is kept as text unless its column is text. A column whose cells later rule
// out what was kept (an int column meeting "abc") is read again as text in a
// second pass over the same bytes; its dtype is then inferred from all of its
// cells, exactly as if every cell had been kept.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "kadmo/core/column.hpp"
#include "kadmo/core/dataframe.hpp"
#include "kadmo/core/error.hpp"
#include "kadmo/core/tz.hpp"

namespace kadmo::io {

// A column that the caller will convert to datetimes in a zone: reading it
// straight into instants saves one string per cell. The result is the same as
// converting the inferred column afterwards (errors included).
struct DatetimeHint {
  std::variant<std::string, std::int64_t> column;  // name (the last of that name) or position (negative from the end)
  core::Tz zone;
};

struct ReadCsvOptions {
  // Extra missing-value tokens.
  std::vector<std::string> na_values;
  // The first record holds the column names.
  bool has_headers = true;
  // Also use the default missing-value tokens.
  bool keep_default_na = true;
  char delimiter = ',';
  std::vector<DatetimeHint> datetime_hints;
};

// The tokens read as missing when keep_default_na is on (exact, case-sensitive).
inline constexpr std::string_view kDefaultNaTokens[] = {
    "",     "#N/A", "#N/A N/A", "#NA",  "-1.#IND", "-1.#QNAN", "-NaN", "-nan", "1.#IND", "1.#QNAN",
    "<NA>", "N/A",  "NA",       "NULL", "NaN",     "None",     "n/a",  "nan",  "null"};

// Missing-value membership; most cells are rejected by length and first and
// last byte before any hashing.
class TokenSet {
 public:
  TokenSet() = default;
  explicit TokenSet(const ReadCsvOptions& opts);
  bool contains(std::string_view s) const {
    if (s.empty()) return has_empty_;
    if (s.size() < kShort) {
      const auto f = static_cast<unsigned char>(s.front()), l = static_cast<unsigned char>(s.back());
      if (!(first_[s.size()][f >> 6] >> (f & 63) & 1) || !(last_[s.size()][l >> 6] >> (l & 63) & 1)) return false;
    } else if (!has_long_) {
      return false;
    }
    return set_.find(s) != set_.end();
  }
  // Some token could be a number or a datetime text (only characters of
  // those forms); when none is, a cell read as either needs no lookup.
  bool may_hold_number() const { return numeric_like_; }

 private:
  static constexpr std::size_t kShort = 64;
  core::StringMap<char> set_;
  std::uint64_t first_[kShort][4] = {};
  std::uint64_t last_[kShort][4] = {};
  bool has_empty_ = false;
  bool has_long_ = false;
  bool numeric_like_ = false;
};

class CsvTable {
 public:
  const std::vector<std::string>& names() const { return names_; }
  std::size_t width() const { return names_.size(); }
  std::size_t rows() const { return rows_; }

  // The column with its inferred dtype.
  core::Result<core::Column> take_column(std::size_t i);
  // What take_column(i) then to_datetime_tz(zone) gives (free for a column
  // named by a DatetimeHint in that zone).
  core::Result<core::Column> take_datetime_column(std::size_t i, const core::Tz& zone);
  // The frame of every column with a range index; done[i], when set, is
  // column i already converted by the caller.
  core::Result<core::DataFrame> take_frame(std::vector<std::optional<core::Column>> done = {});
  // The same with column index_pos moved into the row index (its dtype rules
  // and errors are DataFrame::set_index's); works for duplicated names too.
  core::Result<core::DataFrame> take_frame_indexed(std::vector<std::optional<core::Column>> done,
                                                   std::size_t index_pos);
  // Position of the column a name finds: the last one of that name.
  std::optional<std::size_t> position_of(std::string_view name) const;

 private:
  friend class Reader;
  friend core::Result<CsvTable> read_csv_table(const std::string&, const ReadCsvOptions&);

  std::string path_;
  ReadCsvOptions options_;
  std::uint64_t end_offset_ = 0;  // bytes the records came from
  std::vector<std::string> names_;
  std::vector<core::Column> columns_;
  // Set for a column read straight into instants of that zone.
  std::vector<std::optional<core::Tz>> zoned_;
  std::size_t rows_ = 0;
};

// Reads the records of a file (errors of kind Value with the messages users
// see) and types the columns.
core::Result<CsvTable> read_csv_table(const std::string& path, const ReadCsvOptions& options);

// The whole read: records, inference, a frame with a range index.
core::Result<core::DataFrame> read_csv(const std::string& path, const ReadCsvOptions& options);

// Inference over a column's cell texts: int64, float64, bool, else the texts.
core::Column infer_column(std::vector<std::string>&& cells, const TokenSet& tokens);

// Reading of one trimmed cell: an optional sign and ASCII digits within
// int64; a float text (decimal or exponent form, inf, infinity, nan).
bool parse_int_cell(std::string_view s, std::int64_t& out);
bool parse_float_cell(std::string_view s, double& out);

// Position of the first byte of s that is not part of valid UTF-8 (s.size()
// when all of it is valid).
std::size_t utf8_valid_up_to(std::string_view s);

}  // namespace kadmo::io
