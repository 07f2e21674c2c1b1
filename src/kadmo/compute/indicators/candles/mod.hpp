#pragma once
// Candlestick pattern recognition over open, high, low and close: the shared
// candle settings (what counts as a long body, a short shadow, "near"), the
// range helpers, and the table of pattern names.
//
// Outputs hold NaN for the warm-up (the lookback), then 0 where the pattern is
// absent and +-100 (+-80 for the weak engulfing/harami forms, +-200 for a
// hikkake confirmation) where it is found. A bar with a non-finite price
// cannot be classified: every output whose window [i - lookback, i] touches
// one is NaN, and the body/shadow averages leave it out, so one bad bar does
// not switch the recognisers off for the rest of the series.

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace kadmo::compute {

using In = std::span<const double>;
using Series = std::vector<double>;

enum class RangeKind { RealBody, HighLow, Shadows };

// Threshold = factor * (mean range over the `period` bars before the tested
// bar, or the tested bar's own range when period is 0), halved for Shadows.
struct CandleSetting {
  RangeKind kind;
  std::size_t period;
  double factor;
};

inline constexpr CandleSetting kBodyLong{RangeKind::RealBody, 10, 1.0};
inline constexpr CandleSetting kBodyShort{RangeKind::RealBody, 10, 1.0};
inline constexpr CandleSetting kBodyDoji{RangeKind::HighLow, 10, 0.1};
inline constexpr CandleSetting kShadowLong{RangeKind::RealBody, 0, 1.0};
inline constexpr CandleSetting kShadowVeryLong{RangeKind::RealBody, 0, 2.0};
inline constexpr CandleSetting kShadowShort{RangeKind::Shadows, 10, 1.0};
inline constexpr CandleSetting kShadowVeryShort{RangeKind::HighLow, 10, 0.1};
inline constexpr CandleSetting kNear{RangeKind::HighLow, 5, 0.2};
inline constexpr CandleSetting kFar{RangeKind::HighLow, 5, 0.6};
inline constexpr CandleSetting kEqual{RangeKind::HighLow, 5, 0.05};

double range(RangeKind kind, In open, In high, In low, In close, std::size_t j);
double uppershadow(In open, In high, In close, std::size_t j);
double lowershadow(In open, In low, In close, std::size_t j);

// Threshold of `s` at bar j, summed afresh (0 averaged part when j < period).
// The pattern functions keep running sums instead; this is the reference.
double candle_average(const CandleSetting& s, In open, In high, In low, In close, std::size_t j);

// The `near` threshold of every bar from a running sum (0 for the first 5).
Series candle_average_series(In high, In low, std::size_t len);

// Uniform signature of the dispatch table; patterns without a penetration
// ignore the last argument.
using CandleFn = Series (*)(In open, In high, In low, In close, double penetration);

struct CandlePattern {
  std::string_view name;
  CandleFn fn;
  std::size_t lookback;
  std::optional<double> penetration;  // default, for the seven that take one
};

// Exact, case-sensitive name ("doji", "3blackcrows"); nullptr when unknown.
const CandlePattern* candle_pattern(std::string_view name);
std::span<const CandlePattern> candle_patterns();

}  // namespace kadmo::compute
