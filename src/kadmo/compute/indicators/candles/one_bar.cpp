#include "kadmo/compute/indicators/candles/one_bar.hpp"

#include "kadmo/compute/indicators/candles/scan.hpp"

namespace kadmo::compute {

using namespace candles_detail;

// Where a pattern joins its conditions with & and | rather than && and ||,
// or picks its value with when(), that is for speed: every operand is a cheap
// comparison, and evaluating them all leaves one well-predicted branch (or
// none) per bar where short-circuiting left several that random bars
// mispredict. The patterns still written with && measured faster that way.

Series cdl_doji(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kBodyDoji, 0}};
  return scan<0, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& doji) {
    return b.body(i) <= doji.at(i) ? 100.0 : 0.0;
  });
}

Series cdl_dragonflydoji(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kBodyDoji, 0}, {kShadowVeryShort, 0}};
  return scan<0, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& doji, const Avg& vshort) {
    return b.body(i) <= doji.at(i) && b.upper(i) < vshort.at(i) && b.lower(i) > vshort.at(i) ? 100.0 : 0.0;
  });
}

Series cdl_gravestonedoji(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kBodyDoji, 0}, {kShadowVeryShort, 0}};
  return scan<0, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& doji, const Avg& vshort) {
    return b.body(i) <= doji.at(i) && b.lower(i) < vshort.at(i) && b.upper(i) > vshort.at(i) ? 100.0 : 0.0;
  });
}

Series cdl_longleggeddoji(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kBodyDoji, 0}, {kShadowLong, 0}};
  return scan<0, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& doji, const Avg& slong) {
    return b.body(i) <= doji.at(i) && (b.lower(i) > slong.at(i) || b.upper(i) > slong.at(i)) ? 100.0 : 0.0;
  });
}

Series cdl_rickshawman(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kBodyDoji, 0}, {kShadowLong, 0}, {kNear, 0}};
  return scan<0, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& doji, const Avg& slong,
                                       const Avg& near) {
    const double mid = b.low(i) + b.hl(i) / 2;
    return b.body(i) <= doji.at(i) && b.lower(i) > slong.at(i) && b.upper(i) > slong.at(i) &&
                   b.bottom(i) <= mid + near.at(i) && b.top(i) >= mid - near.at(i)
               ? 100.0
               : 0.0;
  });
}

namespace {

// A long body with both shadows below the given setting (marubozu, long line).
template <auto Shadow>
Series long_body_short_shadows(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kBodyLong, 0}, {Shadow, 0}};
  return scan<0, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& blong, const Avg& shadow) {
    return b.body(i) > blong.at(i) && b.upper(i) < shadow.at(i) && b.lower(i) < shadow.at(i)
               ? sgn100(b.color(i))
               : 0.0;
  });
}

}  // namespace

Series cdl_marubozu(In o, In h, In l, In c) { return long_body_short_shadows<kShadowVeryShort>(o, h, l, c); }

Series cdl_closingmarubozu(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kBodyLong, 0}, {kShadowVeryShort, 0}};
  return scan<0, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& blong, const Avg& vshort) {
    if (!(b.body(i) > blong.at(i))) return 0.0;
    if (b.white(i)) return b.upper(i) < vshort.at(i) ? 100.0 : 0.0;
    return b.lower(i) < vshort.at(i) ? -100.0 : 0.0;
  });
}

Series cdl_longline(In o, In h, In l, In c) { return long_body_short_shadows<kShadowShort>(o, h, l, c); }

Series cdl_shortline(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kBodyShort, 0}, {kShadowShort, 0}};
  return scan<0, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& bshort, const Avg& sshort) {
    return (b.body(i) < bshort.at(i)) & (b.upper(i) < sshort.at(i)) & (b.lower(i) < sshort.at(i))
               ? sgn100(b.color(i))
               : 0.0;
  });
}

Series cdl_spinningtop(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kBodyShort, 0}};
  return scan<0, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& bshort) {
    return (b.body(i) < bshort.at(i)) & (b.upper(i) > b.body(i)) & (b.lower(i) > b.body(i)) ? sgn100(b.color(i))
                                                                                         : 0.0;
  });
}

Series cdl_highwave(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kBodyShort, 0}, {kShadowVeryLong, 0}};
  return scan<0, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& bshort, const Avg& vlong) {
    return (b.body(i) < bshort.at(i)) & (b.upper(i) > vlong.at(i)) & (b.lower(i) > vlong.at(i))
               ? sgn100(b.color(i))
               : 0.0;
  });
}

Series cdl_belthold(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kBodyLong, 0}, {kShadowVeryShort, 0}};
  return scan<0, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& blong, const Avg& vshort) {
    if (!(b.body(i) > blong.at(i))) return 0.0;
    if (b.white(i)) return b.lower(i) < vshort.at(i) ? 100.0 : 0.0;
    return b.upper(i) < vshort.at(i) ? -100.0 : 0.0;
  });
}

namespace {

// Hammer and hanging man share the shape; they differ in where the body
// stands against the previous bar.
template <class Where>
Series hammer_shape(In o, In h, In l, In c, double signal, Where where) {
  static constexpr Use uses[] = {{kBodyShort, 0}, {kShadowLong, 0}, {kShadowVeryShort, 0}, {kNear, 1}};
  return scan<1, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& bshort, const Avg& slong,
                                       const Avg& vshort, const Avg& near) {
    return (b.body(i) < bshort.at(i)) & (b.lower(i) > slong.at(i)) & (b.upper(i) < vshort.at(i)) &
                   where(b, i, near.at(i))
               ? signal
               : 0.0;
  });
}

// Inverted hammer and shooting star: long upper shadow, body gapping away.
template <class Gap>
Series inverted_shape(In o, In h, In l, In c, double signal, Gap gap) {
  static constexpr Use uses[] = {{kBodyShort, 0}, {kShadowVeryShort, 0}};
  return scan<1, uses>(o, h, l, c, [=](const Ohlc& b, std::size_t i, const Avg& bshort, const Avg& vshort) {
    // The gap is rare on most data and needs no threshold: testing it alone
    // first leaves one well-predicted branch for most bars, and the long
    // shadow's threshold is worked out only for the bars past it.
    if (!gap(b, i)) return 0.0;
    return when((b.body(i) < bshort.at(i)) & (b.upper(i) > own_threshold<kShadowLong>(b, i)) &
                    (b.lower(i) < vshort.at(i)),
                signal);
  });
}

}  // namespace

Series cdl_hammer(In o, In h, In l, In c) {
  return hammer_shape(o, h, l, c, 100.0,
                      [](const Ohlc& b, std::size_t i, double near) { return b.bottom(i) <= b.low(i - 1) + near; });
}

Series cdl_hangingman(In o, In h, In l, In c) {
  return hammer_shape(o, h, l, c, -100.0,
                      [](const Ohlc& b, std::size_t i, double near) { return b.bottom(i) >= b.high(i - 1) - near; });
}

Series cdl_invertedhammer(In o, In h, In l, In c) {
  return inverted_shape(o, h, l, c, 100.0, [](const Ohlc& b, std::size_t i) { return b.body_gap_down(i, i - 1); });
}

Series cdl_shootingstar(In o, In h, In l, In c) {
  return inverted_shape(o, h, l, c, -100.0, [](const Ohlc& b, std::size_t i) { return b.body_gap_up(i, i - 1); });
}

Series cdl_takuri(In o, In h, In l, In c) {
  static constexpr Use uses[] = {{kBodyDoji, 0}, {kShadowVeryShort, 0}, {kShadowVeryLong, 0}};
  return scan<0, uses>(o, h, l, c, [&](const Ohlc& b, std::size_t i, const Avg& doji, const Avg& vshort,
                                       const Avg& vlong) {
    return b.body(i) <= doji.at(i) && b.upper(i) < vshort.at(i) && b.lower(i) > vlong.at(i) ? 100.0 : 0.0;
  });
}

}  // namespace kadmo::compute
