#include "kadmo/compute/indicators/candles/two_bar.hpp"

#include "kadmo/compute/indicators/candles/scan.hpp"

namespace kadmo::compute {

using namespace candles_detail;

Series cdl_engulfing(In o, In h, In l, In c) {
  const Ohlc b(o, h, l, c);
  constexpr std::size_t lb = 2;
  if (b.size() <= lb) return b.nan_series();
  return run(b, lb, [&](std::size_t i) {
    const double o1 = b.open(i - 1), c1 = b.close(i - 1), o2 = b.open(i), c2 = b.close(i);
    const bool bull = b.white(i) && b.black(i - 1) && ((c2 >= o1 && o2 < c1) || (c2 > o1 && o2 <= c1));
    const bool bear = b.black(i) && b.white(i - 1) && ((o2 >= c1 && c2 < o1) || (o2 > c1 && c2 <= o1));
    if (!bull && !bear) return 0.0;
    // An engulfing that only matches an edge of the first body is weaker.
    const double strength = (o2 != c1 && c2 != o1) ? 100.0 : 80.0;
    return b.color(i) * strength;
  });
}

namespace {

// Harami and harami cross: a long first body holding a small (or doji)
// second one; touching an edge weakens the signal.
Series harami_like(In o, In h, In l, In c, CandleSetting small) {
  const Ohlc b(o, h, l, c);
  const std::size_t lb = std::max(small.period, kBodyLong.period) + 1;
  if (b.size() <= lb) return b.nan_series();
  Avg blong(b, kBodyLong, lb, 1), second(b, small, lb, 0);
  return run(
      b, lb,
      [&](std::size_t i) {
        if (!(b.body(i - 1) > blong.at(i) && b.body(i) <= second.at(i))) return 0.0;
        const double sign = -b.color(i - 1);
        if (b.top(i) < b.top(i - 1) && b.bottom(i) > b.bottom(i - 1)) return sign * 100.0;
        if (b.top(i) <= b.top(i - 1) && b.bottom(i) >= b.bottom(i - 1)) return sign * 80.0;
        return 0.0;
      },
      blong, second);
}

}  // namespace

Series cdl_harami(In o, In h, In l, In c) { return harami_like(o, h, l, c, kBodyShort); }
Series cdl_haramicross(In o, In h, In l, In c) { return harami_like(o, h, l, c, kBodyDoji); }

Series cdl_dojistar(In o, In h, In l, In c) {
  const Ohlc b(o, h, l, c);
  constexpr std::size_t lb = max_period(kBodyDoji, kBodyLong) + 1;
  if (b.size() <= lb) return b.nan_series();
  Avg blong(b, kBodyLong, lb, 1), doji(b, kBodyDoji, lb, 0);
  return run(
      b, lb,
      [&](std::size_t i) {
        if (!(b.body(i - 1) > blong.at(i) && b.body(i) <= doji.at(i))) return 0.0;
        if (b.white(i - 1) && b.body_gap_up(i, i - 1)) return -100.0;
        if (b.black(i - 1) && b.body_gap_down(i, i - 1)) return 100.0;
        return 0.0;
      },
      blong, doji);
}

Series cdl_piercing(In o, In h, In l, In c) {
  const Ohlc b(o, h, l, c);
  constexpr std::size_t lb = max_period(kBodyLong) + 1;
  if (b.size() <= lb) return b.nan_series();
  Avg long1(b, kBodyLong, lb, 1), long2(b, kBodyLong, lb, 0);
  return run(
      b, lb,
      [&](std::size_t i) {
        return b.black(i - 1) && b.body(i - 1) > long1.at(i) && b.white(i) && b.body(i) > long2.at(i) &&
                       b.open(i) < b.low(i - 1) && b.close(i) < b.open(i - 1) &&
                       b.close(i) > b.close(i - 1) + b.body(i - 1) * 0.5
                   ? 100.0
                   : 0.0;
      },
      long1, long2);
}

Series cdl_darkcloudcover(In o, In h, In l, In c, double penetration) {
  const Ohlc b(o, h, l, c);
  constexpr std::size_t lb = max_period(kBodyLong) + 1;
  if (b.size() <= lb) return b.nan_series();
  Avg blong(b, kBodyLong, lb, 1);
  return run(
      b, lb,
      [&](std::size_t i) {
        return b.white(i - 1) && b.body(i - 1) > blong.at(i) && b.black(i) && b.open(i) > b.high(i - 1) &&
                       b.close(i) > b.open(i - 1) && b.close(i) < b.close(i - 1) - b.body(i - 1) * penetration
                   ? -100.0
                   : 0.0;
      },
      blong);
}

Series cdl_homingpigeon(In o, In h, In l, In c) {
  const Ohlc b(o, h, l, c);
  constexpr std::size_t lb = max_period(kBodyShort, kBodyLong) + 1;
  if (b.size() <= lb) return b.nan_series();
  Avg blong(b, kBodyLong, lb, 1), bshort(b, kBodyShort, lb, 0);
  return run(
      b, lb,
      [&](std::size_t i) {
        return b.black(i - 1) && b.black(i) && b.body(i - 1) > blong.at(i) && b.body(i) <= bshort.at(i) &&
                       b.open(i) < b.open(i - 1) && b.close(i) > b.close(i - 1)
                   ? 100.0
                   : 0.0;
      },
      blong, bshort);
}

Series cdl_matchinglow(In o, In h, In l, In c) {
  const Ohlc b(o, h, l, c);
  constexpr std::size_t lb = max_period(kEqual) + 1;
  if (b.size() <= lb) return b.nan_series();
  Avg equal(b, kEqual, lb, 1);
  return run(
      b, lb,
      [&](std::size_t i) {
        return b.black(i - 1) && b.black(i) && b.close(i) <= b.close(i - 1) + equal.at(i) &&
                       b.close(i) >= b.close(i - 1) - equal.at(i)
                   ? 100.0
                   : 0.0;
      },
      equal);
}

namespace {

// In-neck, on-neck and thrusting: a long black bar, then a white bar opening
// under its low; they differ only in where the white bar closes.
template <class Close>
Series neck_like(In o, In h, In l, In c, Close closes) {
  const Ohlc b(o, h, l, c);
  constexpr std::size_t lb = max_period(kEqual, kBodyLong) + 1;
  if (b.size() <= lb) return b.nan_series();
  Avg equal(b, kEqual, lb, 1), blong(b, kBodyLong, lb, 1);
  return run(
      b, lb,
      [&](std::size_t i) {
        return b.black(i - 1) && b.body(i - 1) > blong.at(i) && b.white(i) && b.open(i) < b.low(i - 1) &&
                       closes(b, i, equal.at(i))
                   ? -100.0
                   : 0.0;
      },
      equal, blong);
}

}  // namespace

Series cdl_inneck(In o, In h, In l, In c) {
  return neck_like(o, h, l, c, [](const Ohlc& b, std::size_t i, double eq) {
    return b.close(i) <= b.close(i - 1) + eq && b.close(i) >= b.close(i - 1);
  });
}

Series cdl_onneck(In o, In h, In l, In c) {
  return neck_like(o, h, l, c, [](const Ohlc& b, std::size_t i, double eq) {
    return b.close(i) <= b.low(i - 1) + eq && b.close(i) >= b.low(i - 1) - eq;
  });
}

Series cdl_thrusting(In o, In h, In l, In c) {
  return neck_like(o, h, l, c, [](const Ohlc& b, std::size_t i, double eq) {
    return b.close(i) > b.close(i - 1) + eq && b.close(i) <= b.close(i - 1) + b.body(i - 1) * 0.5;
  });
}

namespace {

// Two marubozu of opposite colours with a candle gap between them; the
// caller picks the sign.
template <class Sign>
Series kicking_like(In o, In h, In l, In c, Sign sign) {
  const Ohlc b(o, h, l, c);
  constexpr std::size_t lb = max_period(kShadowVeryShort, kBodyLong) + 1;
  if (b.size() <= lb) return b.nan_series();
  Avg vs1(b, kShadowVeryShort, lb, 1), vs2(b, kShadowVeryShort, lb, 0), bl1(b, kBodyLong, lb, 1),
      bl2(b, kBodyLong, lb, 0);
  return run(
      b, lb,
      [&](std::size_t i) {
        const bool ok = b.color(i - 1) == -b.color(i) && b.body(i - 1) > bl1.at(i) && b.upper(i - 1) < vs1.at(i) &&
                        b.lower(i - 1) < vs1.at(i) && b.body(i) > bl2.at(i) && b.upper(i) < vs2.at(i) &&
                        b.lower(i) < vs2.at(i) &&
                        ((b.black(i - 1) && b.gap_up(i, i - 1)) || (b.white(i - 1) && b.gap_down(i, i - 1)));
        return ok ? sign(b, i) : 0.0;
      },
      vs1, vs2, bl1, bl2);
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
  const Ohlc b(o, h, l, c);
  constexpr std::size_t lb = max_period(kShadowVeryShort, kBodyLong, kEqual) + 1;
  if (b.size() <= lb) return b.nan_series();
  Avg vshort(b, kShadowVeryShort, lb, 0), blong(b, kBodyLong, lb, 0), equal(b, kEqual, lb, 1);
  return run(
      b, lb,
      [&](std::size_t i) {
        if (!(b.color(i - 1) == -b.color(i) && b.open(i) <= b.open(i - 1) + equal.at(i) &&
              b.open(i) >= b.open(i - 1) - equal.at(i) && b.body(i) > blong.at(i)))
          return 0.0;
        if (b.white(i)) return b.lower(i) < vshort.at(i) ? 100.0 : 0.0;
        return b.upper(i) < vshort.at(i) ? -100.0 : 0.0;
      },
      vshort, blong, equal);
}

Series cdl_counterattack(In o, In h, In l, In c) {
  const Ohlc b(o, h, l, c);
  constexpr std::size_t lb = max_period(kEqual, kBodyLong) + 1;
  if (b.size() <= lb) return b.nan_series();
  Avg equal(b, kEqual, lb, 1), bl1(b, kBodyLong, lb, 1), bl2(b, kBodyLong, lb, 0);
  return run(
      b, lb,
      [&](std::size_t i) {
        return b.color(i - 1) == -b.color(i) && b.body(i - 1) > bl1.at(i) && b.body(i) > bl2.at(i) &&
                       b.close(i) <= b.close(i - 1) + equal.at(i) && b.close(i) >= b.close(i - 1) - equal.at(i)
                   ? sgn100(b.color(i))
                   : 0.0;
      },
      equal, bl1, bl2);
}

}  // namespace kadmo::compute
