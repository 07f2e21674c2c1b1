#include "kadmo/io/csv_writer.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>
#include <system_error>
#include <variant>

#include "kadmo/core/tz.hpp"

namespace kadmo::io {

using core::Column;
using core::DType;
using core::KadmoError;
using core::Result;
using core::fail;

// ---------------------------------------------------------------- floats

Result<FloatFormat> parse_float_format(std::string_view fmt) {
  const auto unsupported = [&] { return fail(KadmoError::value("unsupported float_format " + core::quoted(fmt))); };
  if (fmt.size() < 2 || fmt[0] != '%') return unsupported();
  std::string_view rest = fmt.substr(1);
  std::optional<std::uint32_t> precision;
  if (rest[0] == '.') {
    std::size_t i = 1;
    std::uint32_t n = 0;
    while (i < rest.size() && rest[i] >= '0' && rest[i] <= '9') {
      n = n * 10 + static_cast<std::uint32_t>(rest[i] - '0');
      if (n > 65535) return unsupported();
      ++i;
    }
    if (i == 1) return unsupported();  // "%.e"
    precision = n;
    rest = rest.substr(i);
  }
  if (rest.size() != 1) return unsupported();
  switch (rest[0]) {
    case 'e':
      return precision ? FloatFormat{FloatFormat::Kind::Exp, *precision} : FloatFormat{FloatFormat::Kind::ShortestExp, 0};
    case 'f': return FloatFormat{FloatFormat::Kind::Fixed, precision.value_or(6)};
    case 'g':
      // "%.<n>g" means n digits after the point here, not n significant digits.
      return precision ? FloatFormat{FloatFormat::Kind::Fixed, *precision} : FloatFormat{FloatFormat::Kind::Shortest, 0};
    default: return unsupported();
  }
}

namespace {

// "1.5e+16" -> "1.5e16", "1e-05" -> "1e-5": no plus sign, no zero padding.
char* tidy_exponent(char* begin, char* end) {
  char* e = static_cast<char*>(std::memchr(begin, 'e', static_cast<std::size_t>(end - begin)));
  if (!e) return end;
  char* w = e + 1;
  const char* r = e + 1;
  if (*r == '+') ++r;
  else if (*r == '-') *w++ = *r++;
  while (r + 1 < end && *r == '0') ++r;
  while (r < end) *w++ = *r++;
  return w;
}

}  // namespace

char* write_float(char* out, double x, FloatFormat f) {
  char* const lim = out + float_text_max(f);
  switch (f.kind) {
    case FloatFormat::Kind::Shortest: {
      const double a = std::fabs(x);
      if (std::isinf(x) || (a != 0.0 && (a < 1e-4 || a >= 1e16)))
        return tidy_exponent(out, std::to_chars(out, lim, x, std::chars_format::scientific).ptr);
      char* end = std::to_chars(out, lim, x, std::chars_format::fixed).ptr;
      if (!std::memchr(out, '.', static_cast<std::size_t>(end - out))) {
        *end++ = '.';
        *end++ = '0';
      }
      return end;
    }
    case FloatFormat::Kind::ShortestExp:
      return tidy_exponent(out, std::to_chars(out, lim, x, std::chars_format::scientific).ptr);
    case FloatFormat::Kind::Exp:
      return tidy_exponent(out,
                           std::to_chars(out, lim, x, std::chars_format::scientific, static_cast<int>(f.precision)).ptr);
    case FloatFormat::Kind::Fixed:
      return std::to_chars(out, lim, x, std::chars_format::fixed, static_cast<int>(f.precision)).ptr;
  }
  return out;
}

std::string float_text(double x, FloatFormat f) {
  std::string s(float_text_max(f), '\0');
  s.resize(static_cast<std::size_t>(write_float(s.data(), x, f) - s.data()));
  return s;
}

// ---------------------------------------------------------------- buffer

char* TextBuffer::room(std::size_t n) {
  if (cap_ - size_ < n) {
    std::size_t ncap = cap_ < 4096 ? 4096 : cap_ * 2;
    while (ncap - size_ < n) ncap *= 2;
    char* p = static_cast<char*>(std::realloc(data_.get(), ncap));
    if (!p) throw std::bad_alloc();
    (void)data_.release();
    data_.reset(p);
    cap_ = ncap;
  }
  return data_.get() + size_;
}

void TextBuffer::append(std::string_view s) {
  if (s.empty()) return;
  std::memcpy(room(s.size()), s.data(), s.size());
  size_ += s.size();
}

// ---------------------------------------------------------------- fields

bool needs_quotes(std::string_view s, std::string_view sep) {
  if (s.find_first_of("\"\n\r") != std::string_view::npos) return true;
  return !sep.empty() && s.find(sep) != std::string_view::npos;
}

void append_field(TextBuffer& out, std::string_view s, std::string_view sep) {
  if (!needs_quotes(s, sep)) {
    out.append(s);
    return;
  }
  out.push('"');
  for (std::size_t i = 0;;) {
    const std::size_t q = s.find('"', i);
    if (q == std::string_view::npos) {
      out.append(s.substr(i));
      break;
    }
    out.append(s.substr(i, q + 1 - i));
    out.push('"');
    i = q + 1;
  }
  out.push('"');
}

// ---------------------------------------------------------------- text

namespace {

struct ColumnRef {
  const Column* column;
  DType dtype;
};

void append_i64(TextBuffer& out, std::int64_t v) {
  char* p = out.room(24);
  out.commit(static_cast<std::size_t>(std::to_chars(p, p + 24, v).ptr - p));
}

void append_datetime(TextBuffer& out, std::int64_t ns, const core::Tz& tz) {
  char* p = out.room(core::kFormatNsMax);
  out.commit(core::format_ns_into(ns, tz, p));
}

}  // namespace

Result<TextBuffer> to_csv_text(const core::DataFrame& df, const WriteCsvOptions& options) {
  FloatFormat ff;
  if (options.float_format) {
    auto f = parse_float_format(*options.float_format);
    if (!f) return fail(std::move(f.error()));
    ff = *f;
  }

  std::vector<std::size_t> positions;
  if (options.columns) {
    for (const auto& name : *options.columns) {
      auto p = df.column_pos(name);
      if (!p) return fail(KadmoError::column_not_found(name));
      positions.push_back(*p);
    }
  } else {
    for (std::size_t i = 0; i < df.width(); ++i) positions.push_back(i);
  }
  std::vector<ColumnRef> cols;
  cols.reserve(positions.size());
  for (std::size_t p : positions) cols.push_back({&df.column_at(p), df.column_at(p).dtype()});

  const std::string_view sep = options.sep;
  const std::size_t h = df.height();
  TextBuffer out;
  out.room(h * (cols.size() + 1) * 12 + 256);

  if (options.header) {
    bool first = true;
    if (options.index) {
      out.append("index");
      first = false;
    }
    for (std::size_t p : positions) {
      if (!first) out.append(sep);
      first = false;
      append_field(out, df.names()[p], sep);
    }
    out.push('\n');
  }

  const core::Index& idx = df.index();
  const std::size_t float_room = float_text_max(ff);
  for (std::size_t r = 0; r < h; ++r) {
    bool first = true;
    if (options.index) {
      std::visit(
          [&](const auto& ix) {
            using T = std::decay_t<decltype(ix)>;
            if constexpr (std::is_same_v<T, core::RangeIndex>) append_i64(out, static_cast<std::int64_t>(r));
            else if constexpr (std::is_same_v<T, core::IntIndex>) append_i64(out, ix.labels[r]);
            else if constexpr (std::is_same_v<T, core::DatetimeIndex>) append_datetime(out, ix.ns[r], ix.tz);
            else append_field(out, ix.labels[r], sep);
          },
          idx.variant());
      first = false;
    }
    for (const ColumnRef& c : cols) {
      if (!first) out.append(sep);
      first = false;
      switch (c.dtype) {
        case DType::Float64: {
          const double x = (*c.column->f64_values())[r];
          if (std::isnan(x)) {
            out.append(options.na_rep);
          } else {
            char* p = out.room(float_room);
            out.commit(static_cast<std::size_t>(write_float(p, x, ff) - p));
          }
          break;
        }
        case DType::Bool: out.append((*c.column->bool_values())[r] ? "True" : "False"); break;
        case DType::Int64: append_i64(out, (*c.column->i64_values())[r]); break;
        case DType::Datetime: append_datetime(out, (*c.column->datetime_values())[r], core::Tz::utc()); break;
        case DType::Object: append_field(out, (*c.column->str_values())[r], sep); break;
      }
    }
    out.push('\n');
  }
  return out;
}

// ---------------------------------------------------------------- file

namespace {

std::string os_error(int e) { return std::system_category().message(e); }

struct FdCloser {
  int fd = -1;
  ~FdCloser() {
    if (fd >= 0) ::close(fd);
  }
};

int write_all(int fd, std::string_view text) {
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t k = ::write(fd, p, left < (std::size_t{1} << 30) ? left : (std::size_t{1} << 30));
    if (k < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    p += k;
    left -= static_cast<std::size_t>(k);
  }
  return 0;
}

Result<void> os_fail(int e) { return fail(KadmoError::value(os_error(e))); }

// Devices, pipes and the like are written in place: there is nothing to
// rename over them.
Result<void> write_in_place(const std::string& path, std::string_view text) {
  FdCloser f;
  do f.fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  while (f.fd < 0 && errno == EINTR);
  if (f.fd < 0) return os_fail(errno);
  if (int e = write_all(f.fd, text)) return os_fail(e);
  const int fd = f.fd;
  f.fd = -1;
  if (::close(fd) != 0 && errno != EINTR) return os_fail(errno);
  return {};
}

}  // namespace

Result<void> write_file_replacing(const std::string& path_in, std::string_view text) {
  if (path_in.find('\0') != std::string::npos) return fail(KadmoError::value("embedded null byte"));
  std::string path = path_in;
  struct stat st {};
  bool exists = ::stat(path.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) return os_fail(EISDIR);
  if (exists && !S_ISREG(st.st_mode)) return write_in_place(path, text);
  // Replace the file a symbolic link points at, not the link.
  struct stat lst {};
  if (exists && ::lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
    if (char* real = ::realpath(path.c_str(), nullptr)) {
      path = real;
      std::free(real);
    }
  }

  const std::size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
  static std::atomic<unsigned> counter{0};
  std::string tmp;
  FdCloser f;
  for (int attempt = 0; attempt < 100 && f.fd < 0; ++attempt) {
    tmp = dir + (slash == std::string::npos ? "/" : "") + ".kadmo-csv-" + std::to_string(::getpid()) + "-" +
          std::to_string(counter.fetch_add(1)) + ".tmp";
    f.fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (f.fd < 0 && errno != EEXIST && errno != EINTR) {
      // A writable file in a directory we may not create files in.
      if (exists && (errno == EACCES || errno == EPERM)) return write_in_place(path, text);
      return os_fail(errno);
    }
  }
  if (f.fd < 0) return os_fail(EEXIST);

  const auto abandon = [&](int e) {
    if (f.fd >= 0) ::close(f.fd);
    f.fd = -1;
    ::unlink(tmp.c_str());
    return os_fail(e);
  };
  if (exists) (void)::fchmod(f.fd, st.st_mode & 07777);
  if (int e = write_all(f.fd, text)) return abandon(e);
  const int fd = f.fd;
  f.fd = -1;
  if (::close(fd) != 0 && errno != EINTR) return abandon(errno);
  if (::rename(tmp.c_str(), path.c_str()) != 0) return abandon(errno);
  return {};
}

}  // namespace kadmo::io
