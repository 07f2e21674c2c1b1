#include "kadmo/core/index.hpp"

#include <algorithm>

namespace kadmo::core {

std::size_t Index::len() const {
  return std::visit(
      [](const auto& x) -> std::size_t {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, RangeIndex>) return x.n;
        else if constexpr (std::is_same_v<T, IntIndex>) return x.labels.size();
        else if constexpr (std::is_same_v<T, DatetimeIndex>) return x.ns.size();
        else return x.labels.size();
      },
      v_);
}

std::optional<std::size_t> Index::position_of(const Label& label) const {
  if (auto* s = std::get_if<StringIndex>(&v_)) {
    auto* l = std::get_if<std::string>(&label);
    if (!l) return std::nullopt;
    auto it = std::find(s->labels.begin(), s->labels.end(), *l);
    if (it == s->labels.end()) return std::nullopt;
    return static_cast<std::size_t>(it - s->labels.begin());
  }
  auto* k = std::get_if<std::int64_t>(&label);
  if (!k) return std::nullopt;
  if (auto* r = std::get_if<RangeIndex>(&v_)) {
    if (*k >= 0 && static_cast<std::uint64_t>(*k) < r->n) return static_cast<std::size_t>(*k);
    return std::nullopt;
  }
  const std::vector<std::int64_t>& labels =
      std::holds_alternative<IntIndex>(v_) ? std::get<IntIndex>(v_).labels : std::get<DatetimeIndex>(v_).ns;
  auto it = std::find(labels.begin(), labels.end(), *k);
  if (it == labels.end()) return std::nullopt;
  return static_cast<std::size_t>(it - labels.begin());
}

std::pair<std::size_t, std::size_t> Index::label_slice(const std::optional<Label>& start,
                                                       const std::optional<Label>& stop) const {
  if (auto* s = std::get_if<StringIndex>(&v_)) {
    const auto& L = s->labels;
    std::size_t lo = 0, hi = L.size();
    const std::string* a = start ? std::get_if<std::string>(&*start) : nullptr;
    const std::string* b = stop ? std::get_if<std::string>(&*stop) : nullptr;
    if (a) {
      lo = L.size();
      for (std::size_t i = 0; i < L.size(); ++i)
        if (!(L[i] < *a)) {
          lo = i;
          break;
        }
    }
    if (b)
      while (hi > 0 && L[hi - 1] > *b) --hi;
    return {lo, std::max(hi, lo)};
  }
  std::vector<std::int64_t> owned;
  const std::vector<std::int64_t>* labels = nullptr;
  std::size_t n = len();
  if (auto* i = std::get_if<IntIndex>(&v_)) labels = &i->labels;
  else if (auto* d = std::get_if<DatetimeIndex>(&v_)) labels = &d->ns;
  auto at = [&](std::size_t i) -> std::int64_t { return labels ? (*labels)[i] : static_cast<std::int64_t>(i); };
  const std::int64_t* a = start ? std::get_if<std::int64_t>(&*start) : nullptr;
  const std::int64_t* b = stop ? std::get_if<std::int64_t>(&*stop) : nullptr;
  std::size_t lo = 0, hi = n;
  if (a) {
    lo = n;
    for (std::size_t i = 0; i < n; ++i)
      if (at(i) >= *a) {
        lo = i;
        break;
      }
  }
  if (b) {
    hi = lo;
    for (std::size_t i = n; i > 0; --i)
      if (at(i - 1) <= *b) {
        hi = i;
        break;
      }
  }
  return {lo, std::max(hi, lo)};
}

Index Index::take(std::span<const std::size_t> positions) const {
  return std::visit(
      [&](const auto& x) -> Index {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, RangeIndex>) {
          std::vector<std::int64_t> out(positions.begin(), positions.end());
          return Index::integer(std::move(out));
        } else if constexpr (std::is_same_v<T, IntIndex>) {
          std::vector<std::int64_t> out;
          out.reserve(positions.size());
          for (auto p : positions) out.push_back(x.labels[p]);
          return Index::integer(std::move(out));
        } else if constexpr (std::is_same_v<T, DatetimeIndex>) {
          std::vector<std::int64_t> out;
          out.reserve(positions.size());
          for (auto p : positions) out.push_back(x.ns[p]);
          return Index::datetime(std::move(out), x.tz);
        } else {
          std::vector<std::string> out;
          out.reserve(positions.size());
          for (auto p : positions) out.push_back(x.labels[p]);
          return Index::strings(std::move(out));
        }
      },
      v_);
}

Index Index::slice(std::size_t start, std::size_t end) const {
  return std::visit(
      [&](const auto& x) -> Index {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, RangeIndex>) {
          return Index::range(end - start);
        } else if constexpr (std::is_same_v<T, IntIndex>) {
          return Index::integer({x.labels.begin() + start, x.labels.begin() + end});
        } else if constexpr (std::is_same_v<T, DatetimeIndex>) {
          return Index::datetime({x.ns.begin() + start, x.ns.begin() + end}, x.tz);
        } else {
          return Index::strings({x.labels.begin() + start, x.labels.begin() + end});
        }
      },
      v_);
}

std::vector<std::int64_t> Index::to_i64_labels() const {
  if (auto* r = std::get_if<RangeIndex>(&v_)) {
    std::vector<std::int64_t> out(r->n);
    for (std::size_t i = 0; i < r->n; ++i) out[i] = static_cast<std::int64_t>(i);
    return out;
  }
  if (auto* i = std::get_if<IntIndex>(&v_)) return i->labels;
  if (auto* d = std::get_if<DatetimeIndex>(&v_)) return d->ns;
  return {};
}

std::optional<Tz> Index::tz() const {
  if (auto* d = std::get_if<DatetimeIndex>(&v_)) return d->tz;
  return std::nullopt;
}

}  // namespace kadmo::core
