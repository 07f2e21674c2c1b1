#pragma once
// Position of a window's extreme, tracked incrementally: a new value takes
// the place when it beats (or, with Ties, equals) the current extreme; when
// the extreme leaves the window the window is rescanned from its oldest row.
// A missing current extreme is replaced by any present value, so a missing
// value holds the place only while the window has nothing else.

#include <cmath>
#include <cstddef>

#include "kadmo/compute/kernels.hpp"

namespace kadmo::compute::detail {

template <bool Max>
inline bool beats(double v, double e) {
  return Max ? v > e : v < e;
}
template <bool Max>
inline bool beats_or_ties(double v, double e) {
  return Max ? v >= e : v <= e;
}

// ScanTies: whether an equal later value takes the place during a rescan.
template <bool Max, bool ScanTies>
struct ExtremeTracker {
  std::size_t idx = 0;
  double val = kNaN;
  bool any = false;  // idx/val hold a row

  // Row t with the window t - w + 1 .. t (t + 1 >= w).
  inline void step(const double* x, std::size_t t, std::size_t w) {
    const std::size_t trailing = t + 1 - w;
    if (!any || idx < trailing) {
      any = true;
      idx = trailing;
      val = x[trailing];
      for (std::size_t i = trailing + 1; i <= t; ++i) {
        const double v = x[i];
        if ((ScanTies ? beats_or_ties<Max>(v, val) : beats<Max>(v, val)) || (std::isnan(val) && !std::isnan(v))) {
          idx = i;
          val = v;
        }
      }
      return;
    }
    const double v = x[t];
    if (beats_or_ties<Max>(v, val) || (std::isnan(val) && !std::isnan(v))) {
      idx = t;
      val = v;
    }
  }
};

}  // namespace kadmo::compute::detail
