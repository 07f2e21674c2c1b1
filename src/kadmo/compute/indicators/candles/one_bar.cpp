#include "kadmo/compute/indicators/candles/one_bar.hpp"

#include "kadmo/compute/indicators/candles/scan.hpp"

namespace kadmo::compute {

using namespace candles_detail;

Series cdl_doji(In o, In h, In l, In c) {
  const Ohlc b(o, h, l, c);
  constexpr std::size_t lb = max_period(kBodyDoji);
  if (b.size() <= lb) return b.nan_series();
  Avg doji(b, kBodyDoji, lb, 0);
  return run(b, lb, [&](std::size_t i) { return b.body(i) <= doji.at(i) ? 100.0 : 0.0; }, doji);
}

Series cdl_dragonflydoji(In o, In h, In l, In c) {
  const Ohlc b(o, h, l, c);
  constexpr std::size_t lb = max_period(kBodyDoji, kShadowVeryShort);
  if (b.size() <= lb) return b.nan_series();
  Avg doji(b, kBodyDoji, lb, 0), vshort(b, kShadowVeryShort, lb, 0);
  return run(
      b, lb,
      [&](std::size_t i) {
        return b.body(i) <= doji.at(i) && b.upper(i) < vshort.at(i) && b.lower(i) > vshort.at(i) ? 100.0 : 0.0;
      },
      doji, vshort);
}

Series cdl_gravestonedoji(In o, In h, In l, In c) {
  const Ohlc b(o, h, l, c);
  constexpr std::size_t lb = max_period(kBodyDoji, kShadowVeryShort);
  if (b.size() <= lb) return b.nan_series();
  Avg doji(b, kBodyDoji, lb, 0), vshort(b, kShadowVeryShort, lb, 0);
  return run(
      b, lb,
      [&](std::size_t i) {
        return b.body(i) <= doji.at(i) && b.lower(i) < vshort.at(i) && b.upper(i) > vshort.at(i) ? 100.0 : 0.0;
      },
      doji, vshort);
}

Series cdl_longleggeddoji(In o, In h, In l, In c) {
  const Ohlc b(o, h, l, c);
  constexpr std::size_t lb = max_period(kBodyDoji, kShadowLong);
  if (b.size() <= lb) return b.nan_series();
  Avg doji(b, kBodyDoji, lb, 0), slong(b, kShadowLong, lb, 0);
  return run(
      b, lb,
      [&](std::size_t i) {
        return b.body(i) <= doji.at(i) && (b.lower(i) > slong.at(i) || b.upper(i) > slong.at(i)) ? 100.0 : 0.0;
      },
      doji, slong);
}

Series cdl_rickshawman(In o, In h, In l, In c) {
  const Ohlc b(o, h, l, c);
  constexpr std::size_t lb = max_period(kBodyDoji, kShadowLong, kNear);
  if (b.size() <= lb) return b.nan_series();
  Avg doji(b, kBodyDoji, lb, 0), slong(b, kShadowLong, lb, 0), near(b, kNear, lb, 0);
  return run(
      b, lb,
      [&](std::size_t i) {
        const double mid = b.low(i) + b.hl(i) / 2;
        return b.body(i) <= doji.at(i) && b.lower(i) > slong.at(i) && b.upper(i) > slong.at(i) &&
                       b.bottom(i) <= mid + near.at(i) && b.top(i) >= mid - near.at(i)
                   ? 100.0
                   : 0.0;
      },
      doji, slong, near);
}

Series cdl_marubozu(In o, In h, In l, In c) {
  const Ohlc b(o, h, l, c);
  constexpr std::size_t lb = max_period(kBodyLong, kShadowVeryShort);
  if (b.size() <= lb) return b.nan_series();
  Avg blong(b, kBodyLong, lb, 0), vshort(b, kShadowVeryShort, lb, 0);
  return run(
      b, lb,
      [&](std::size_t i) {
        return b.body(i) > blong.at(i) && b.upper(i) < vshort.at(i) && b.lower(i) < vshort.at(i)
                   ? sgn100(b.color(i))
                   : 0.0;
      },
      blong, vshort);
}

Series cdl_closingmarubozu(In o, In h, In l, In c) {
  const Ohlc b(o, h, l, c);
  constexpr std::size_t lb = max_period(kBodyLong, kShadowVeryShort);
  if (b.size() <= lb) return b.nan_series();
  Avg blong(b, kBodyLong, lb, 0), vshort(b, kShadowVeryShort, lb, 0);
  return run(
      b, lb,
      [&](std::size_t i) {
        if (!(b.body(i) > blong.at(i))) return 0.0;
        if (b.white(i)) return b.upper(i) < vshort.at(i) ? 100.0 : 0.0;
        return b.lower(i) < vshort.at(i) ? -100.0 : 0.0;
      },
      blong, vshort);
}

Series cdl_longline(In o, In h, In l, In c) {
  const Ohlc b(o, h, l, c);
  constexpr std::size_t lb = max_period(kBodyLong, kShadowShort);
  if (b.size() <= lb) return b.nan_series();
  Avg blong(b, kBodyLong, lb, 0), sshort(b, kShadowShort, lb, 0);
  return run(
      b, lb,
      [&](std::size_t i) {
        return b.body(i) > blong.at(i) && b.upper(i) < sshort.at(i) && b.lower(i) < sshort.at(i)
                   ? sgn100(b.color(i))
                   : 0.0;
      },
      blong, sshort);
}

Series cdl_shortline(In o, In h, In l, In c) {
  const Ohlc b(o, h, l, c);
  constexpr std::size_t lb = max_period(kBodyShort, kShadowShort);
  if (b.size() <= lb) return b.nan_series();
  Avg bshort(b, kBodyShort, lb, 0), sshort(b, kShadowShort, lb, 0);
  return run(
      b, lb,
      [&](std::size_t i) {
        return b.body(i) < bshort.at(i) && b.upper(i) < sshort.at(i) && b.lower(i) < sshort.at(i)
                   ? sgn100(b.color(i))
                   : 0.0;
      },
      bshort, sshort);
}

Series cdl_spinningtop(In o, In h, In l, In c) {
  const Ohlc b(o, h, l, c);
  constexpr std::size_t lb = max_period(kBodyShort);
  if (b.size() <= lb) return b.nan_series();
  Avg bshort(b, kBodyShort, lb, 0);
  return run(
      b, lb,
      [&](std::size_t i) {
        return b.body(i) < bshort.at(i) && b.upper(i) > b.body(i) && b.lower(i) > b.body(i) ? sgn100(b.color(i))
                                                                                             : 0.0;
      },
      bshort);
}

Series cdl_highwave(In o, In h, In l, In c) {
  const Ohlc b(o, h, l, c);
  constexpr std::size_t lb = max_period(kBodyShort, kShadowVeryLong);
  if (b.size() <= lb) return b.nan_series();
  Avg bshort(b, kBodyShort, lb, 0), vlong(b, kShadowVeryLong, lb, 0);
  return run(
      b, lb,
      [&](std::size_t i) {
        return b.body(i) < bshort.at(i) && b.upper(i) > vlong.at(i) && b.lower(i) > vlong.at(i)
                   ? sgn100(b.color(i))
                   : 0.0;
      },
      bshort, vlong);
}

Series cdl_belthold(In o, In h, In l, In c) {
  const Ohlc b(o, h, l, c);
  constexpr std::size_t lb = max_period(kBodyLong, kShadowVeryShort);
  if (b.size() <= lb) return b.nan_series();
  Avg blong(b, kBodyLong, lb, 0), vshort(b, kShadowVeryShort, lb, 0);
  return run(
      b, lb,
      [&](std::size_t i) {
        if (!(b.body(i) > blong.at(i))) return 0.0;
        if (b.white(i)) return b.lower(i) < vshort.at(i) ? 100.0 : 0.0;
        return b.upper(i) < vshort.at(i) ? -100.0 : 0.0;
      },
      blong, vshort);
}

namespace {

// Hammer and hanging man share the shape; they differ in where the body
// stands against the previous bar.
template <class Where>
Series hammer_shape(In o, In h, In l, In c, double signal, Where where) {
  const Ohlc b(o, h, l, c);
  constexpr std::size_t lb = max_period(kBodyShort, kShadowLong, kShadowVeryShort, kNear) + 1;
  if (b.size() <= lb) return b.nan_series();
  Avg bshort(b, kBodyShort, lb, 0), slong(b, kShadowLong, lb, 0), vshort(b, kShadowVeryShort, lb, 0),
      near(b, kNear, lb, 1);
  return run(
      b, lb,
      [&](std::size_t i) {
        return b.body(i) < bshort.at(i) && b.lower(i) > slong.at(i) && b.upper(i) < vshort.at(i) &&
                       where(b, i, near.at(i))
                   ? signal
                   : 0.0;
      },
      bshort, slong, vshort, near);
}

// Inverted hammer and shooting star: long upper shadow, body gapping away.
template <class Gap>
Series inverted_shape(In o, In h, In l, In c, double signal, Gap gap) {
  const Ohlc b(o, h, l, c);
  constexpr std::size_t lb = max_period(kBodyShort, kShadowLong, kShadowVeryShort) + 1;
  if (b.size() <= lb) return b.nan_series();
  Avg bshort(b, kBodyShort, lb, 0), slong(b, kShadowLong, lb, 0), vshort(b, kShadowVeryShort, lb, 0);
  return run(
      b, lb,
      [&](std::size_t i) {
        return b.body(i) < bshort.at(i) && b.upper(i) > slong.at(i) && b.lower(i) < vshort.at(i) && gap(b, i)
                   ? signal
                   : 0.0;
      },
      bshort, slong, vshort);
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
  const Ohlc b(o, h, l, c);
  constexpr std::size_t lb = max_period(kBodyDoji, kShadowVeryShort, kShadowVeryLong);
  if (b.size() <= lb) return b.nan_series();
  Avg doji(b, kBodyDoji, lb, 0), vshort(b, kShadowVeryShort, lb, 0), vlong(b, kShadowVeryLong, lb, 0);
  return run(
      b, lb,
      [&](std::size_t i) {
        return b.body(i) <= doji.at(i) && b.upper(i) < vshort.at(i) && b.lower(i) > vlong.at(i) ? 100.0 : 0.0;
      },
      doji, vshort, vlong);
}

}  // namespace kadmo::compute
