#include "kadmo/compute/indicators/candles/two_bar.hpp"

#include "kadmo/compute/indicators/candles/scan.hpp"

namespace kadmo::compute {

using namespace candles_detail;

// Where a pattern joins its conditions with & and | rather than && and ||,
// or picks its value with when(), that is for speed: every operand is a cheap
// comparison, and evaluating them all leaves one well-predicted branch (or
// none) per bar where short-circuiting left several that random bars
// mispredict. The patterns still written with && measured faster that way.

Series cdl_engulfing(In o, In h, In l, In c) {
  return scan<2>(o, h, l, c, [&](const Ohlc& b, std::size_t i) {
    const double o1 = b.open(i - 1), c1 = b.close(i - 1), o2 = b.open(i), c2 = b.close(i);
    const bool bull = b.white(i) & b.black(i - 1) & (((c2 >= o1) & (o2 < c1)) | ((c2 > o1) & (o2 <= c1)));
    const bool bear = b.black(i) & b.white(i - 1) & (((o2 >= c1) & (c2 < o1)) | ((o2 > c1) & (c2 <= o1)));
    if (!bull & !bear) return 0.0;
    // An engulfing that only matches an edge of the first body is weaker.
    const double strength = ((o2 != c1) & (c2 != o1)) ? 100.0 : 80.0;
    return b.color(i) * strength;
  });
}

namespace {

// Harami and harami cross: a long first body holding a small (or doji)
// second one; touching an edge weakens the signal.
template <CandleSetting Small>
Series harami_like(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kBodyLong, 1}, {Small, 0}};
  return scan<1, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& blong, const Avg& second) {
    if (!((b.body(i - 1) > blong.at(i)) & (b.body(i) <= second.at(i)))) return 0.0;
    const double sign = -b.color(i - 1);
    if ((b.top(i) < b.top(i - 1)) & (b.bottom(i) > b.bottom(i - 1))) return sign * 100.0;
    if ((b.top(i) <= b.top(i - 1)) & (b.bottom(i) >= b.bottom(i - 1))) return sign * 80.0;
    return 0.0;
  });
}

}  // namespace

Series cdl_harami(In o, In h, In l, In c) { return harami_like<kBodyShort>(o, h, l, c); }
Series cdl_haramicross(In o, In h, In l, In c) { return harami_like<kBodyDoji>(o, h, l, c); }

Series cdl_dojistar(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kBodyLong, 1}, {kBodyDoji, 0}};
  return scan<1, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& blong, const Avg& doji) {
    if (!((b.body(i - 1) > blong.at(i)) & (b.body(i) <= doji.at(i)))) return 0.0;
    if (b.white(i - 1) & b.body_gap_up(i, i - 1)) return -100.0;
    if (b.black(i - 1) & b.body_gap_down(i, i - 1)) return 100.0;
    return 0.0;
  });
}

Series cdl_piercing(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kBodyLong, 1}, {kBodyLong, 0}};
  return scan<1, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& long1, const Avg& long2) {
    return b.black(i - 1) & (b.body(i - 1) > long1.at(i)) & b.white(i) & (b.body(i) > long2.at(i)) &
                   (b.open(i) < b.low(i - 1)) & (b.close(i) < b.open(i - 1)) &
                   (b.close(i) > b.close(i - 1) + b.body(i - 1) * 0.5)
               ? 100.0
               : 0.0;
  });
}

Series cdl_darkcloudcover(In o, In h, In l, In c, double penetration) {
  static constexpr Use uses[] = {{kBodyLong, 1}};
  return scan<1, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& blong) {
    return b.white(i - 1) & (b.body(i - 1) > blong.at(i)) & b.black(i) & (b.open(i) > b.high(i - 1)) &
                   (b.close(i) > b.open(i - 1)) & (b.close(i) < b.close(i - 1) - b.body(i - 1) * penetration)
               ? -100.0
               : 0.0;
  });
}

Series cdl_homingpigeon(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kBodyLong, 1}, {kBodyShort, 0}};
  return scan<1, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& blong, const Avg& bshort) {
    return b.black(i - 1) & b.black(i) & (b.body(i - 1) > blong.at(i)) & (b.body(i) <= bshort.at(i)) &
                   (b.open(i) < b.open(i - 1)) & (b.close(i) > b.close(i - 1))
               ? 100.0
               : 0.0;
  });
}

Series cdl_matchinglow(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kEqual, 1}};
  return scan<1, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& equal) {
    return b.black(i - 1) & b.black(i) & (b.close(i) <= b.close(i - 1) + equal.at(i)) &
                   (b.close(i) >= b.close(i - 1) - equal.at(i))
               ? 100.0
               : 0.0;
  });
}

namespace {

// In-neck, on-neck and thrusting: a long black bar, then a white bar opening
// under its low; they differ only in where the white bar closes.
template <class Close>
Series neck_like(In o, In h, In l, In c, Close closes) {
  static constexpr Use uses[] = {{kEqual, 1}, {kBodyLong, 1}};
  return scan<1, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& equal, const Avg& blong) {
    return b.black(i - 1) & (b.body(i - 1) > blong.at(i)) & b.white(i) & (b.open(i) < b.low(i - 1)) &
                   closes(b, i, equal.at(i))
               ? -100.0
               : 0.0;
  });
}

}  // namespace

Series cdl_inneck(In o, In h, In l, In c) {
  return neck_like(o, h, l, c, [](const Ohlc& b, std::size_t i, double eq) {
    return (b.close(i) <= b.close(i - 1) + eq) & (b.close(i) >= b.close(i - 1));
  });
}

Series cdl_onneck(In o, In h, In l, In c) {
  return neck_like(o, h, l, c, [](const Ohlc& b, std::size_t i, double eq) {
    return (b.close(i) <= b.low(i - 1) + eq) & (b.close(i) >= b.low(i - 1) - eq);
  });
}

Series cdl_thrusting(In o, In h, In l, In c) {
  return neck_like(o, h, l, c, [](const Ohlc& b, std::size_t i, double eq) {
    return (b.close(i) > b.close(i - 1) + eq) & (b.close(i) <= b.close(i - 1) + b.body(i - 1) * 0.5);
  });
}

namespace {

// Two marubozu of opposite colours with a candle gap between them; the
// caller picks the sign.
template <class Sign>
Series kicking_like(In o, In h, In l, In c, Sign sign) {
  static constexpr Use uses[] = {{kShadowVeryShort, 1}, {kShadowVeryShort, 0}, {kBodyLong, 1}, {kBodyLong, 0}};
  return scan<1, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& vs1, const Avg& vs2, const Avg& bl1,
                                       const Avg& bl2) {
    const bool ok = (b.color(i - 1) == -b.color(i)) & (b.body(i - 1) > bl1.at(i)) & (b.upper(i - 1) < vs1.at(i)) &
                    (b.lower(i - 1) < vs1.at(i)) & (b.body(i) > bl2.at(i)) & (b.upper(i) < vs2.at(i)) &
                    (b.lower(i) < vs2.at(i)) &
                    ((b.black(i - 1) & b.gap_up(i, i - 1)) | (b.white(i - 1) & b.gap_down(i, i - 1)));
    return ok ? sign(b, i) : 0.0;
  });
}

}  // namespace

Series cdl_kicking(In o, In h, In l, In c) {
  return kicking_like(o, h, l, c, [](const Ohlc& b, std::size_t i) { return sgn100(b.color(i)); });
}

Series cdl_kickingbylength(In o, In h, In l, In c) {
  return kicking_like(o, h, l, c, [](const Ohlc& b, std::size_t i) {
    return sgn100(b.color(b.body(i) > b.body(i - 1) ? i : i - 1));
  });
}

Series cdl_separatinglines(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kShadowVeryShort, 0}, {kBodyLong, 0}, {kEqual, 1}};
  return scan<1, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& vshort, const Avg& blong,
                                       const Avg& equal) {
    if (!(b.color(i - 1) == -b.color(i) && b.open(i) <= b.open(i - 1) + equal.at(i) &&
          b.open(i) >= b.open(i - 1) - equal.at(i) && b.body(i) > blong.at(i)))
      return 0.0;
    if (b.white(i)) return b.lower(i) < vshort.at(i) ? 100.0 : 0.0;
    return b.upper(i) < vshort.at(i) ? -100.0 : 0.0;
  });
}

Series cdl_counterattack(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kEqual, 1}, {kBodyLong, 1}, {kBodyLong, 0}};
  return scan<1, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& equal, const Avg& bl1, const Avg& bl2) {
    return (b.color(i - 1) == -b.color(i)) & (b.body(i - 1) > bl1.at(i)) & (b.body(i) > bl2.at(i)) &
                   (b.close(i) <= b.close(i - 1) + equal.at(i)) & (b.close(i) >= b.close(i - 1) - equal.at(i))
               ? sgn100(b.color(i))
               : 0.0;
  });
}

}  // namespace kadmo::compute
