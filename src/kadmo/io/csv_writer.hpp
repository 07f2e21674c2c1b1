#pragma once
// Writing a frame as delimited text: float formats, cell and label text,
// quoting of text fields, and replacing a file only once the text is whole.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kadmo/core/dataframe.hpp"
#include "kadmo/core/error.hpp"

namespace kadmo::io {

struct FloatFormat {
  enum class Kind : std::uint8_t {
    Shortest,     // no format, "%g": fixed, exponent form only for tiny or huge values
    ShortestExp,  // "%e"
    Exp,          // "%.<n>e"
    Fixed,        // "%f", "%.<n>f", "%.<n>g"
  };
  Kind kind = Kind::Shortest;
  std::uint32_t precision = 0;
  bool operator==(const FloatFormat&) const = default;
};

// "%e", "%f", "%g" with an optional ".<n>" (n <= 65535); anything else is
// Value "unsupported float_format \"...\"".
core::Result<FloatFormat> parse_float_format(std::string_view fmt);

// Bytes that the text of any value in format f fits in.
constexpr std::size_t float_text_max(FloatFormat f) { return 352 + f.precision; }
// Writes the text of a non-NaN value at out (float_text_max(f) bytes of room);
// returns the end.
char* write_float(char* out, double x, FloatFormat f);
std::string float_text(double x, FloatFormat f);

struct WriteCsvOptions {
  std::string sep = ",";
  bool index = true;
  bool header = true;
  std::string na_rep;
  std::optional<std::vector<std::string>> columns;
  std::optional<std::string> float_format;
};

// An owned text buffer that grows without zero-filling (large buffers grow in
// place through realloc).
class TextBuffer {
 public:
  TextBuffer() = default;
  std::string_view view() const { return {data_.get(), size_}; }
  std::size_t size() const { return size_; }
  // At least n writable bytes at the end; commit what was written.
  char* room(std::size_t n);
  void commit(std::size_t n) { size_ += n; }
  void append(std::string_view s);
  void push(char c) { *room(1) = c, ++size_; }

 private:
  struct Free {
    void operator()(char* p) const noexcept { std::free(p); }
  };
  std::unique_ptr<char, Free> data_;
  std::size_t size_ = 0;
  std::size_t cap_ = 0;
};

// Float format, then the columns (alias-aware, missing one -> ColumnNotFound),
// then the text. Text fields (names, string cells and labels) holding the
// separator, a double quote or a line break are quoted so the file reads back.
core::Result<TextBuffer> to_csv_text(const core::DataFrame& df, const WriteCsvOptions& options);

// Writes the text to a temporary file next to path and renames it over path,
// so a failed write leaves no partial file; the error text is the system's.
core::Result<void> write_file_replacing(const std::string& path, std::string_view text);

// Whether a text field needs quoting under sep, and its quoted form.
bool needs_quotes(std::string_view s, std::string_view sep);
void append_field(TextBuffer& out, std::string_view s, std::string_view sep);

}  // namespace kadmo::io
