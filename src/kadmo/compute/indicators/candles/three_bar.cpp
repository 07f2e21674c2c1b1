#include "kadmo/compute/indicators/candles/three_bar.hpp"

#include "kadmo/compute/indicators/candles/scan.hpp"

namespace kadmo::compute {

using namespace candles_detail;

// Where a pattern joins its conditions with & and | rather than && and ||,
// or picks its value with when(), that is for speed: every operand is a cheap
// comparison, and evaluating them all leaves one well-predicted branch (or
// none) per bar where short-circuiting left several that random bars
// mispredict. The patterns still written with && measured faster that way.

namespace {

// Morning/evening star and their doji forms: a long first body, a small
// (or doji) star gapping away from it, and a third bar closing well into the
// first body. `dir` is +1 for the morning (bullish) forms.
template <CandleSetting Middle>
Series star(In o, In h, In l, In c, double penetration, int dir) {
  static constexpr Use uses[] = {{kBodyLong, 2}, {Middle, 1}, {kBodyShort, 0}};
  return scan<2, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& blong, const Avg& mid,
                                       const Avg& bshort) {
    const bool shape = (b.body(i - 2) > blong.at(i)) & (b.body(i - 1) <= mid.at(i)) & (b.body(i) > bshort.at(i));
    if (dir > 0)
      return when(shape & b.black(i - 2) & b.body_gap_down(i - 1, i - 2) & b.white(i) &
                      (b.close(i) > b.close(i - 2) + b.body(i - 2) * penetration),
                  100.0);
    return when(shape & b.white(i - 2) & b.body_gap_up(i - 1, i - 2) & b.black(i) &
                    (b.close(i) < b.close(i - 2) - b.body(i - 2) * penetration),
                -100.0);
  });
}

}  // namespace

Series cdl_morningstar(In o, In h, In l, In c, double penetration) {
  return star<kBodyShort>(o, h, l, c, penetration, 1);
}
Series cdl_eveningstar(In o, In h, In l, In c, double penetration) {
  return star<kBodyShort>(o, h, l, c, penetration, -1);
}
Series cdl_morningdojistar(In o, In h, In l, In c, double penetration) {
  return star<kBodyDoji>(o, h, l, c, penetration, 1);
}
Series cdl_eveningdojistar(In o, In h, In l, In c, double penetration) {
  return star<kBodyDoji>(o, h, l, c, penetration, -1);
}

Series cdl_abandonedbaby(In o, In h, In l, In c, double penetration) {
  static constexpr Use uses[] = {{kBodyLong, 2}, {kBodyDoji, 1}, {kBodyShort, 0}};
  return scan<2, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& blong, const Avg& doji,
                                       const Avg& bshort) {
    if (!((b.body(i - 2) > blong.at(i)) & (b.body(i - 1) <= doji.at(i)) & (b.body(i) > bshort.at(i)))) return 0.0;
    // The doji stands apart from both neighbours, shadows included.
    if (b.white(i - 2) & b.black(i) & (b.close(i) < b.close(i - 2) - b.body(i - 2) * penetration) &
        b.gap_up(i - 1, i - 2) & b.gap_down(i, i - 1))
      return -100.0;
    if (b.black(i - 2) & b.white(i) & (b.close(i) > b.close(i - 2) + b.body(i - 2) * penetration) &
        b.gap_down(i - 1, i - 2) & b.gap_up(i, i - 1))
      return 100.0;
    return 0.0;
  });
}

Series cdl_3inside(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kBodyLong, 2}, {kBodyShort, 1}};
  return scan<2, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& blong, const Avg& bshort) {
    const bool shape = (b.body(i - 2) > blong.at(i)) & (b.body(i - 1) <= bshort.at(i)) &
                       (b.top(i - 1) < b.top(i - 2)) & (b.bottom(i - 1) > b.bottom(i - 2));
    // The first bar's colour keeps the two apart: at most one term is not zero.
    return when(shape & b.white(i - 2) & b.black(i) & (b.close(i) < b.open(i - 2)), -100.0) +
           when(shape & b.black(i - 2) & b.white(i) & (b.close(i) > b.open(i - 2)), 100.0);
  });
}

Series cdl_3outside(In o, In h, In l, In c) {
  return scan<3>(o, h, l, c, [&](const Ohlc& b, std::size_t i) {
    if (b.white(i - 1) & b.black(i - 2) & (b.close(i - 1) > b.open(i - 2)) & (b.open(i - 1) < b.close(i - 2)) &
        (b.close(i) > b.close(i - 1)))
      return 100.0;
    if (b.black(i - 1) & b.white(i - 2) & (b.open(i - 1) > b.close(i - 2)) & (b.close(i - 1) < b.open(i - 2)) &
        (b.close(i) < b.close(i - 1)))
      return -100.0;
    return 0.0;
  });
}

Series cdl_2crows(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kBodyLong, 2}};
  return scan<2, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& blong) {
    return b.white(i - 2) & (b.body(i - 2) > blong.at(i)) & b.black(i - 1) & b.body_gap_up(i - 1, i - 2) &
                   b.black(i) & (b.open(i) < b.open(i - 1)) & (b.open(i) > b.close(i - 1)) &
                   (b.close(i) > b.open(i - 2)) & (b.close(i) < b.close(i - 2))
               ? -100.0
               : 0.0;
  });
}

Series cdl_upsidegap2crows(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kBodyLong, 2}, {kBodyShort, 1}};
  return scan<2, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& blong, const Avg& bshort) {
    return b.white(i - 2) & (b.body(i - 2) > blong.at(i)) & b.black(i - 1) & (b.body(i - 1) <= bshort.at(i)) &
                   b.body_gap_up_sel(i - 1, i - 2) & b.black(i) & (b.open(i) > b.open(i - 1)) &
                   (b.close(i) < b.close(i - 1)) & (b.close(i) > b.close(i - 2))
               ? -100.0
               : 0.0;
  });
}

Series cdl_3blackcrows(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kShadowVeryShort, 2}, {kShadowVeryShort, 1}, {kShadowVeryShort, 0}};
  return scan<3, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& vs2, const Avg& vs1, const Avg& vs0) {
    // The colours alone rule out fifteen bars in sixteen with one branch.
    if (!(b.white(i - 3) & b.black(i - 2) & b.black(i - 1) & b.black(i))) return 0.0;
    return b.lower(i - 2) < vs2.at(i) && b.lower(i - 1) < vs1.at(i) && b.lower(i) < vs0.at(i) &&
                   b.open(i - 1) < b.open(i - 2) && b.open(i - 1) > b.close(i - 2) && b.open(i) < b.open(i - 1) &&
                   b.open(i) > b.close(i - 1) && b.high(i - 3) > b.close(i - 2) &&
                   b.close(i - 2) > b.close(i - 1) && b.close(i - 1) > b.close(i)
               ? -100.0
               : 0.0;
  });
}

Series cdl_identical3crows(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kShadowVeryShort, 2}, {kShadowVeryShort, 1}, {kShadowVeryShort, 0}, {kEqual, 2},
                                 {kEqual, 1}};
  return scan<2, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& vs2, const Avg& vs1, const Avg& vs0,
                                       const Avg& eq2, const Avg& eq1) {
    return b.black(i - 2) & (b.lower(i - 2) < vs2.at(i)) & b.black(i - 1) & (b.lower(i - 1) < vs1.at(i)) &
                   b.black(i) & (b.lower(i) < vs0.at(i)) & (b.close(i - 2) > b.close(i - 1)) &
                   (b.close(i - 1) > b.close(i)) & (b.open(i - 1) <= b.close(i - 2) + eq2.at(i)) &
                   (b.open(i - 1) >= b.close(i - 2) - eq2.at(i)) & (b.open(i) <= b.close(i - 1) + eq1.at(i)) &
                   (b.open(i) >= b.close(i - 1) - eq1.at(i))
               ? -100.0
               : 0.0;
  });
}

Series cdl_3whitesoldiers(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kShadowVeryShort, 2}, {kShadowVeryShort, 1}, {kShadowVeryShort, 0}, {kNear, 2},
                                 {kNear, 1}, {kFar, 2}, {kFar, 1}, {kBodyShort, 0}};
  return scan<2, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& vs2, const Avg& vs1, const Avg& vs0,
                                       const Avg& near2, const Avg& near1, const Avg& far2, const Avg& far1,
                                       const Avg& bshort) {
    return b.white(i - 2) & (b.upper_sel(i - 2) < vs2.at(i)) & b.white(i - 1) & (b.upper_sel(i - 1) < vs1.at(i)) &
                   b.white(i) & (b.upper_sel(i) < vs0.at(i)) & (b.close(i) > b.close(i - 1)) &
                   (b.close(i - 1) > b.close(i - 2)) & (b.open(i - 1) > b.open(i - 2)) &
                   (b.open(i - 1) <= b.close(i - 2) + near2.at(i)) & (b.open(i) > b.open(i - 1)) &
                   (b.open(i) <= b.close(i - 1) + near1.at(i)) & (b.body(i - 1) > b.body(i - 2) - far2.at(i)) &
                   (b.body(i) > b.body(i - 1) - far1.at(i)) & (b.body(i) > bshort.at(i))
               ? 100.0
               : 0.0;
  });
}

Series cdl_advanceblock(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kNear, 2}, {kNear, 1}, {kFar, 2}, {kFar, 1}, {kShadowShort, 2}, {kShadowShort, 1},
                                 {kShadowShort, 0}, {kShadowLong, 0}, {kBodyLong, 2}};
  return scan<2, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& near2, const Avg& near1,
                                       const Avg& far2, const Avg& far1, const Avg& ss2, const Avg& ss1, const Avg& ss0,
                                       const Avg& sl0, const Avg& blong) {
    const bool climb = b.white(i - 2) && b.white(i - 1) && b.white(i) && b.close(i) > b.close(i - 1) &&
                       b.close(i - 1) > b.close(i - 2) && b.open(i - 1) > b.open(i - 2) &&
                       b.open(i - 1) <= b.close(i - 2) + near2.at(i) && b.open(i) > b.open(i - 1) &&
                       b.open(i) <= b.close(i - 1) + near1.at(i) && b.body(i - 2) > blong.at(i) &&
                       b.upper(i - 2) < ss2.at(i);
    if (!climb) return 0.0;
    const double b1 = b.body(i - 2), b2 = b.body(i - 1), b3 = b.body(i);
    const bool weakens = (b2 < b1 - far2.at(i) && b3 < b2 + near1.at(i)) || (b3 < b2 - far1.at(i)) ||
                         (b3 < b2 && b2 < b1 && (b.upper(i) > ss0.at(i) || b.upper(i - 1) > ss1.at(i))) ||
                         (b3 < b2 && b.upper(i) > sl0.at(i));
    return weakens ? -100.0 : 0.0;
  });
}

Series cdl_stalledpattern(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kBodyLong, 2}, {kBodyLong, 1}, {kBodyShort, 0}, {kShadowVeryShort, 1}, {kNear, 2},
                                 {kNear, 1}};
  return scan<2, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& bl2, const Avg& bl1, const Avg& bshort,
                                       const Avg& vs1, const Avg& near2, const Avg& near1) {
    return b.white(i - 2) & b.white(i - 1) & b.white(i) & (b.close(i) > b.close(i - 1)) &
                   (b.close(i - 1) > b.close(i - 2)) & (b.body(i - 2) > bl2.at(i)) & (b.body(i - 1) > bl1.at(i)) &
                   (b.upper_sel(i - 1) < vs1.at(i)) & (b.open(i - 1) > b.open(i - 2)) &
                   (b.open(i - 1) <= b.close(i - 2) + near2.at(i)) & (b.body(i) < bshort.at(i)) &
                   (b.open(i) >= b.close(i - 1) - b.body(i) - near1.at(i))
               ? -100.0
               : 0.0;
  });
}

Series cdl_sticksandwich(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kEqual, 2}};
  return scan<2, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& equal) {
    return b.black(i - 2) & b.white(i - 1) & b.black(i) & (b.low(i - 1) > b.close(i - 2)) &
                   (b.close(i) <= b.close(i - 2) + equal.at(i)) & (b.close(i) >= b.close(i - 2) - equal.at(i))
               ? 100.0
               : 0.0;
  });
}

Series cdl_tristar(In o, In h, In l, In c) {
  Ohlc b(o, h, l, c);
  constexpr std::size_t lb = max_period(kBodyDoji) + 2;
  if (b.size() <= lb) return b.nan_series();
  // All three bodies are measured against the first bar's doji threshold.
  Avg doji(b, kBodyDoji, lb, 2);
  return run(
      b, lb,
      [&](std::size_t i) {
        const double t = doji.at(i);
        if (!((b.body(i - 2) <= t) & (b.body(i - 1) <= t) & (b.body(i) <= t))) return 0.0;
        double r = 0.0;
        if (b.body_gap_up(i - 1, i - 2) & (b.top(i) < b.top(i - 1))) r = -100.0;
        if (b.body_gap_down(i - 1, i - 2) & (b.bottom(i) > b.bottom(i - 1))) r = 100.0;
        return r;
      },
      doji);
}

Series cdl_unique3river(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kBodyLong, 2}, {kBodyShort, 0}};
  return scan<2, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& blong, const Avg& bshort) {
    return (b.body(i - 2) > blong.at(i)) & b.black(i - 2) & b.black(i - 1) & (b.close(i - 1) > b.close(i - 2)) &
                   (b.open(i - 1) <= b.open(i - 2)) & (b.low(i - 1) < b.low(i - 2)) & (b.body(i) < bshort.at(i)) &
                   b.white(i) & (b.open(i) > b.low(i - 1))
               ? 100.0
               : 0.0;
  });
}

Series cdl_tasukigap(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kNear, 1}};
  return scan<2, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& near) {
    // Body gaps are rare: most bars leave after this one branch.
    if (!(b.body_gap_up(i - 1, i - 2) | b.body_gap_down(i - 1, i - 2))) return 0.0;
    const bool same_size = std::fabs(b.body(i - 1) - b.body(i)) < near.at(i);
    const bool up = b.body_gap_up(i - 1, i - 2) && b.white(i - 1) && b.black(i) &&
                    b.open(i) < b.close(i - 1) && b.open(i) > b.open(i - 1) && b.close(i) < b.open(i - 1) &&
                    b.close(i) > b.top(i - 2) && same_size;
    const bool down = b.body_gap_down(i - 1, i - 2) && b.black(i - 1) && b.white(i) &&
                      b.open(i) < b.open(i - 1) && b.open(i) > b.close(i - 1) && b.close(i) > b.open(i - 1) &&
                      b.close(i) < b.bottom(i - 2) && same_size;
    return up || down ? sgn100(b.color(i - 1)) : 0.0;
  });
}

Series cdl_gapsidesidewhite(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kNear, 1}, {kEqual, 1}};
  return scan<2, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& near, const Avg& equal) {
    const bool up = b.body_gap_up(i - 1, i - 2) && b.body_gap_up(i, i - 2);
    const bool down = b.body_gap_down(i - 1, i - 2) && b.body_gap_down(i, i - 2);
    return (up || down) && b.white(i - 1) && b.white(i) && b.body(i) >= b.body(i - 1) - near.at(i) &&
                   b.body(i) <= b.body(i - 1) + near.at(i) && b.open(i) >= b.open(i - 1) - equal.at(i) &&
                   b.open(i) <= b.open(i - 1) + equal.at(i)
               ? (up ? 100.0 : -100.0)
               : 0.0;
  });
}

Series cdl_3starsinsouth(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kBodyLong, 2}, {kShadowLong, 2}, {kShadowVeryShort, 1}, {kShadowVeryShort, 0},
                                 {kBodyShort, 0}};
  return scan<2, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& blong, const Avg& slong, const Avg& vs1,
                                       const Avg& vs0, const Avg& bshort) {
    if (!(b.black(i - 2) & b.black(i - 1) & b.black(i))) return 0.0;
    return b.body(i - 2) > blong.at(i) &&
                   b.lower(i - 2) > slong.at(i) && b.body(i - 1) < b.body(i - 2) &&
                   b.open(i - 1) > b.close(i - 2) && b.open(i - 1) <= b.high(i - 2) &&
                   b.low(i - 1) < b.close(i - 2) && b.low(i - 1) >= b.low(i - 2) &&
                   b.lower(i - 1) > vs1.at(i) && b.body(i) < bshort.at(i) && b.lower(i) < vs0.at(i) &&
                   b.upper(i) < vs0.at(i) && b.low(i) > b.low(i - 1) && b.high(i) < b.high(i - 1)
               ? 100.0
               : 0.0;
  });
}

}  // namespace kadmo::compute
