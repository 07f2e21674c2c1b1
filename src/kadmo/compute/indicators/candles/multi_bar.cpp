#include "kadmo/compute/indicators/candles/multi_bar.hpp"

#include "kadmo/compute/indicators/candles/scan.hpp"

namespace kadmo::compute {

using namespace candles_detail;

// Where a pattern joins its conditions with & and | rather than && and ||,
// or picks its value with when(), that is for speed: every operand is a cheap
// comparison, and evaluating them all leaves one well-predicted branch (or
// none) per bar where short-circuiting left several that random bars
// mispredict. The patterns still written with && measured faster that way.

Series cdl_3linestrike(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kNear, 3}, {kNear, 2}};
  return scan<3, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& near3, const Avg& near2) {
    const bool shape =
        b.color(i - 3) == b.color(i - 2) && b.color(i - 2) == b.color(i - 1) && b.color(i) == -b.color(i - 1) &&
        b.open(i - 2) >= b.bottom(i - 3) - near3.at(i) && b.open(i - 2) <= b.top(i - 3) + near3.at(i) &&
        b.open(i - 1) >= b.bottom(i - 2) - near2.at(i) && b.open(i - 1) <= b.top(i - 2) + near2.at(i);
    if (!shape) return 0.0;
    if (b.white(i - 1) && b.close(i - 1) > b.close(i - 2) && b.close(i - 2) > b.close(i - 3) &&
        b.open(i) > b.close(i - 1) && b.close(i) < b.open(i - 3))
      return 100.0;
    if (b.black(i - 1) && b.close(i - 1) < b.close(i - 2) && b.close(i - 2) < b.close(i - 3) &&
        b.open(i) < b.close(i - 1) && b.close(i) > b.open(i - 3))
      return -100.0;
    return 0.0;
  });
}

Series cdl_breakaway(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kBodyLong, 4}};
  return scan<4, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& blong) {
    if (!((b.body(i - 4) > blong.at(i)) & (b.color(i - 4) == b.color(i - 3)) & (b.color(i - 3) == b.color(i - 1)) &
          (b.color(i - 1) == -b.color(i))))
      return 0.0;
    if (b.black(i - 4) & b.body_gap_down(i - 3, i - 4) & (b.high(i - 2) < b.high(i - 3)) &
        (b.low(i - 2) < b.low(i - 3)) & (b.high(i - 1) < b.high(i - 2)) & (b.low(i - 1) < b.low(i - 2)) &
        (b.close(i) > b.open(i - 3)) & (b.close(i) < b.close(i - 4)))
      return 100.0;
    if (b.white(i - 4) & b.body_gap_up(i - 3, i - 4) & (b.high(i - 2) > b.high(i - 3)) &
        (b.low(i - 2) > b.low(i - 3)) & (b.high(i - 1) > b.high(i - 2)) & (b.low(i - 1) > b.low(i - 2)) &
        (b.close(i) < b.open(i - 3)) & (b.close(i) > b.close(i - 4)))
      return -100.0;
    return 0.0;
  });
}

Series cdl_ladderbottom(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kShadowVeryShort, 1}};
  return scan<4, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& vs1) {
    // Four black bars and a white one: one branch for 31 bars in 32.
    if (!(b.black(i - 4) & b.black(i - 3) & b.black(i - 2) & b.black(i - 1) & b.white(i))) return 0.0;
    return when((b.open(i - 4) > b.open(i - 3)) & (b.open(i - 3) > b.open(i - 2)) &
                    (b.close(i - 4) > b.close(i - 3)) & (b.close(i - 3) > b.close(i - 2)) &
                    (b.upper(i - 1) > vs1.at(i)) & (b.open(i) > b.open(i - 1)) & (b.close(i) > b.high(i - 1)),
                100.0);
  });
}

Series cdl_concealbabyswall(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kShadowVeryShort, 3}, {kShadowVeryShort, 2}, {kShadowVeryShort, 1}};
  return scan<3, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& vs3, const Avg& vs2, const Avg& vs1) {
    // Four black bars and a gap are rare together: one branch for most bars.
    if (!(b.black(i - 3) & b.black(i - 2) & b.black(i - 1) & b.black(i) & b.body_gap_down(i - 1, i - 2)))
      return 0.0;
    return when((b.lower(i - 3) < vs3.at(i)) & (b.upper(i - 3) < vs3.at(i)) & (b.lower(i - 2) < vs2.at(i)) &
                    (b.upper(i - 2) < vs2.at(i)) & (b.upper(i - 1) > vs1.at(i)) & (b.high(i - 1) > b.close(i - 2)) &
                    (b.high(i) > b.high(i - 1)) & (b.low(i) < b.low(i - 1)),
                100.0);
  });
}

Series cdl_mathold(In o, In h, In l, In c, double penetration) {
  static constexpr Use uses[] = {{kBodyLong, 4}, {kBodyShort, 3}, {kBodyShort, 2}, {kBodyShort, 1}};
  return scan<4, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& bl4, const Avg& bs3, const Avg& bs2,
                                       const Avg& bs1) {
    if (!(b.white(i - 4) & b.black(i - 3) & b.white(i) & b.body_gap_up(i - 3, i - 4))) return 0.0;
    const double floor = b.close(i - 4) - b.body(i - 4) * penetration;
    return b.body(i - 4) > bl4.at(i) && b.body(i - 3) < bs3.at(i) && b.body(i - 2) < bs2.at(i) &&
                   b.body(i - 1) < bs1.at(i) && b.white(i - 4) && b.black(i - 3) && b.white(i) &&
                   b.body_gap_up(i - 3, i - 4) && b.bottom(i - 2) < b.close(i - 4) &&
                   b.bottom(i - 1) < b.close(i - 4) && b.bottom(i - 2) > floor && b.bottom(i - 1) > floor &&
                   b.top(i - 2) < b.open(i - 3) && b.top(i - 1) < b.top(i - 2) && b.open(i) > b.close(i - 1) &&
                   b.close(i) > std::max(std::max(b.high(i - 3), b.high(i - 2)), b.high(i - 1))
               ? 100.0
               : 0.0;
  });
}

Series cdl_risefall3methods(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kBodyLong, 4}, {kBodyShort, 3}, {kBodyShort, 2}, {kBodyShort, 1}, {kBodyLong, 0}};
  return scan<4, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& bl4, const Avg& bs3, const Avg& bs2,
                                       const Avg& bs1, const Avg& bl0) {
    if (!(b.body(i - 4) > bl4.at(i) && b.body(i - 3) < bs3.at(i) && b.body(i - 2) < bs2.at(i) &&
          b.body(i - 1) < bs1.at(i) && b.body(i) > bl0.at(i) && b.color(i - 4) == -b.color(i - 3) &&
          b.color(i - 3) == b.color(i - 2) && b.color(i - 2) == b.color(i - 1) && b.color(i - 1) == -b.color(i)))
      return 0.0;
    for (std::size_t k = 1; k <= 3; ++k)
      if (!(b.bottom(i - k) < b.high(i - 4) && b.top(i - k) > b.low(i - 4))) return 0.0;
    // Multiplying by the colour turns the falling test into a rising one
    // for a black first bar.
    const double d = b.color(i - 4);
    return b.close(i - 2) * d < b.close(i - 3) * d && b.close(i - 1) * d < b.close(i - 2) * d &&
                   b.open(i) * d > b.close(i - 1) * d && b.close(i) * d > b.close(i - 4) * d
               ? d * 100.0
               : 0.0;
  });
}

Series cdl_xsidegap3methods(In o, In h, In l, In c) {
  return scan<2>(o, h, l, c, [&](const Ohlc& b, std::size_t i) {
    return b.color(i - 2) == b.color(i - 1) && b.color(i - 1) == -b.color(i) && b.open(i) < b.top_sel(i - 1) &&
                   b.open(i) > b.bottom_sel(i - 1) && b.close(i) < b.top_sel(i - 2) &&
                   b.close(i) > b.bottom_sel(i - 2) &&
                   ((b.white(i - 2) && b.body_gap_up_sel(i - 1, i - 2)) ||
                    (b.black(i - 2) && b.body_gap_down_sel(i - 1, i - 2)))
               ? sgn100(b.color(i - 2))
               : 0.0;
  });
}

namespace {

// Shared walk of the hikkake family. `pattern(i)` returns +-100 for a
// pattern at bar i (0 otherwise); after one, a close beyond the high (after
// +100) or the low (after -100) of bar p - 1 within three bars of the pattern
// bar p confirms it once with +-200. Bars from `scan_from` on are examined so
// a pattern just before the first output can still be confirmed there.
template <class Pattern>
Series hikkake_walk(const Ohlc& b, std::size_t lb, std::size_t scan_from, Pattern&& pattern) {
  Series out = b.nan_series();
  double signal = 0.0;
  std::size_t at = 0;
  bool live = false;
  for (std::size_t i = scan_from; i < b.size(); ++i) {
    double v = 0.0;
    const double p = pattern(i);
    if (p != 0.0) {
      signal = p;
      at = i;
      live = true;
      v = p;
    } else if (live && i <= at + 3 &&
               ((signal > 0 && b.close(i) > b.high(at - 1)) || (signal < 0 && b.close(i) < b.low(at - 1)))) {
      v = 2.0 * signal;
      live = false;
    }
    if (i >= lb) out[i] = v;
  }
  b.mask(out, lb);
  return out;
}

}  // namespace

Series cdl_hikkake(In o, In h, In l, In c) {
  Ohlc b(o, h, l, c);
  constexpr std::size_t lb = 5;
  if (b.size() <= lb) return b.nan_series();
  b.flag_bad();
  return hikkake_walk(b, lb, lb - 3, [&](std::size_t i) {
    if (!((b.high(i - 1) < b.high(i - 2)) & (b.low(i - 1) > b.low(i - 2)))) return 0.0;
    if ((b.high(i) < b.high(i - 1)) & (b.low(i) < b.low(i - 1))) return 100.0;
    if ((b.high(i) > b.high(i - 1)) & (b.low(i) > b.low(i - 1))) return -100.0;
    return 0.0;
  });
}

Series cdl_hikkakemod(In o, In h, In l, In c) {
  Ohlc b(o, h, l, c);
  constexpr std::size_t lb = std::max<std::size_t>(1, kNear.period) + 5;
  if (b.size() <= lb) return b.nan_series();
  b.flag_bad();
  // `near` of bar i - 2, from the running series that starts at bar 5.
  const Series near = candle_average_series(h, l, b.size());
  return hikkake_walk(b, lb, lb - 3, [&](std::size_t i) {
    if (!((b.high(i - 2) < b.high(i - 3)) & (b.low(i - 2) > b.low(i - 3)) & (b.high(i - 1) < b.high(i - 2)) &
          (b.low(i - 1) > b.low(i - 2))))
      return 0.0;
    const double nr = near[i - 2];
    if ((b.high(i) < b.high(i - 1)) & (b.low(i) < b.low(i - 1)) & (b.close(i - 2) <= b.low(i - 2) + nr)) return 100.0;
    if ((b.high(i) > b.high(i - 1)) & (b.low(i) > b.low(i - 1)) & (b.close(i - 2) >= b.high(i - 2) - nr))
      return -100.0;
    return 0.0;
  });
}

}  // namespace kadmo::compute
