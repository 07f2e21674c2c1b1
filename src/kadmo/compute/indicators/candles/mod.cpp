#include "kadmo/compute/indicators/candles/mod.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include "kadmo/compute/indicators/candles/multi_bar.hpp"
#include "kadmo/compute/indicators/candles/one_bar.hpp"
#include "kadmo/compute/indicators/candles/scan.hpp"
#include "kadmo/compute/indicators/candles/three_bar.hpp"
#include "kadmo/compute/indicators/candles/two_bar.hpp"

namespace kadmo::compute {

double range(RangeKind kind, In open, In high, In low, In close, std::size_t j) {
  switch (kind) {
    case RangeKind::RealBody: return std::fabs(close[j] - open[j]);
    case RangeKind::HighLow: return high[j] - low[j];
    case RangeKind::Shadows: return uppershadow(open, high, close, j) + lowershadow(open, low, close, j);
  }
  return candles_detail::kNaN;
}

double uppershadow(In open, In high, In close, std::size_t j) {
  return high[j] - (close[j] >= open[j] ? close[j] : open[j]);
}

double lowershadow(In open, In low, In close, std::size_t j) {
  return (close[j] >= open[j] ? open[j] : close[j]) - low[j];
}

double candle_average(const CandleSetting& s, In open, In high, In low, In close, std::size_t j) {
  double base = 0.0;
  if (s.period == 0) {
    base = range(s.kind, open, high, low, close, j);
  } else if (j >= s.period) {
    double sum = 0.0;
    for (std::size_t k = j - s.period; k < j; ++k) sum += range(s.kind, open, high, low, close, k);
    base = sum / static_cast<double>(s.period);
  }
  return s.factor * base / (s.kind == RangeKind::Shadows ? 2.0 : 1.0);
}

Series candle_average_series(In high, In low, std::size_t len) {
  constexpr std::size_t p = kNear.period;
  const std::size_t n = std::min({len, high.size(), low.size()});
  Series out(len, 0.0);
  // Non-finite ranges are left out of the window sum; the threshold is NaN
  // while one is inside the window.
  auto bad = [&](std::size_t k) { return !std::isfinite(high[k] - low[k]); };
  double total = 0.0;
  std::size_t missing = 0;
  for (std::size_t k = 0; k < std::min(p, n); ++k) {
    if (bad(k)) ++missing; else total += high[k] - low[k];
  }
  for (std::size_t j = p; j < n; ++j) {
    out[j] = missing != 0 ? candles_detail::kNaN : kNear.factor * (total / static_cast<double>(p));
    const std::size_t old = j - p;
    if (!bad(j) && !bad(old)) {
      total += (high[j] - low[j]) - (high[old] - low[old]);
    } else {
      if (bad(j)) ++missing; else total += high[j] - low[j];
      if (bad(old)) --missing; else total -= high[old] - low[old];
    }
  }
  for (std::size_t j = n; j < len; ++j) out[j] = candles_detail::kNaN;
  return out;
}

namespace {

template <Series (*F)(In, In, In, In)>
Series plain(In open, In high, In low, In close, double) {
  return F(open, high, low, close);
}

// Sorted by name for binary search.
const std::array<CandlePattern, 61> kPatterns = {{
    {"2crows", &plain<&cdl_2crows>, 12, std::nullopt},
    {"3blackcrows", &plain<&cdl_3blackcrows>, 13, std::nullopt},
    {"3inside", &plain<&cdl_3inside>, 12, std::nullopt},
    {"3linestrike", &plain<&cdl_3linestrike>, 8, std::nullopt},
    {"3outside", &plain<&cdl_3outside>, 3, std::nullopt},
    {"3starsinsouth", &plain<&cdl_3starsinsouth>, 12, std::nullopt},
    {"3whitesoldiers", &plain<&cdl_3whitesoldiers>, 12, std::nullopt},
    {"abandonedbaby", &cdl_abandonedbaby, 12, 0.3},
    {"advanceblock", &plain<&cdl_advanceblock>, 12, std::nullopt},
    {"belthold", &plain<&cdl_belthold>, 10, std::nullopt},
    {"breakaway", &plain<&cdl_breakaway>, 14, std::nullopt},
    {"closingmarubozu", &plain<&cdl_closingmarubozu>, 10, std::nullopt},
    {"concealbabyswall", &plain<&cdl_concealbabyswall>, 13, std::nullopt},
    {"counterattack", &plain<&cdl_counterattack>, 11, std::nullopt},
    {"darkcloudcover", &cdl_darkcloudcover, 11, 0.5},
    {"doji", &plain<&cdl_doji>, 10, std::nullopt},
    {"dojistar", &plain<&cdl_dojistar>, 11, std::nullopt},
    {"dragonflydoji", &plain<&cdl_dragonflydoji>, 10, std::nullopt},
    {"engulfing", &plain<&cdl_engulfing>, 2, std::nullopt},
    {"eveningdojistar", &cdl_eveningdojistar, 12, 0.3},
    {"eveningstar", &cdl_eveningstar, 12, 0.3},
    {"gapsidesidewhite", &plain<&cdl_gapsidesidewhite>, 7, std::nullopt},
    {"gravestonedoji", &plain<&cdl_gravestonedoji>, 10, std::nullopt},
    {"hammer", &plain<&cdl_hammer>, 11, std::nullopt},
    {"hangingman", &plain<&cdl_hangingman>, 11, std::nullopt},
    {"harami", &plain<&cdl_harami>, 11, std::nullopt},
    {"haramicross", &plain<&cdl_haramicross>, 11, std::nullopt},
    {"highwave", &plain<&cdl_highwave>, 10, std::nullopt},
    {"hikkake", &plain<&cdl_hikkake>, 5, std::nullopt},
    {"hikkakemod", &plain<&cdl_hikkakemod>, 10, std::nullopt},
    {"homingpigeon", &plain<&cdl_homingpigeon>, 11, std::nullopt},
    {"identical3crows", &plain<&cdl_identical3crows>, 12, std::nullopt},
    {"inneck", &plain<&cdl_inneck>, 11, std::nullopt},
    {"invertedhammer", &plain<&cdl_invertedhammer>, 11, std::nullopt},
    {"kicking", &plain<&cdl_kicking>, 11, std::nullopt},
    {"kickingbylength", &plain<&cdl_kickingbylength>, 11, std::nullopt},
    {"ladderbottom", &plain<&cdl_ladderbottom>, 14, std::nullopt},
    {"longleggeddoji", &plain<&cdl_longleggeddoji>, 10, std::nullopt},
    {"longline", &plain<&cdl_longline>, 10, std::nullopt},
    {"marubozu", &plain<&cdl_marubozu>, 10, std::nullopt},
    {"matchinglow", &plain<&cdl_matchinglow>, 6, std::nullopt},
    {"mathold", &cdl_mathold, 14, 0.5},
    {"morningdojistar", &cdl_morningdojistar, 12, 0.3},
    {"morningstar", &cdl_morningstar, 12, 0.3},
    {"onneck", &plain<&cdl_onneck>, 11, std::nullopt},
    {"piercing", &plain<&cdl_piercing>, 11, std::nullopt},
    {"rickshawman", &plain<&cdl_rickshawman>, 10, std::nullopt},
    {"risefall3methods", &plain<&cdl_risefall3methods>, 14, std::nullopt},
    {"separatinglines", &plain<&cdl_separatinglines>, 11, std::nullopt},
    {"shootingstar", &plain<&cdl_shootingstar>, 11, std::nullopt},
    {"shortline", &plain<&cdl_shortline>, 10, std::nullopt},
    {"spinningtop", &plain<&cdl_spinningtop>, 10, std::nullopt},
    {"stalledpattern", &plain<&cdl_stalledpattern>, 12, std::nullopt},
    {"sticksandwich", &plain<&cdl_sticksandwich>, 7, std::nullopt},
    {"takuri", &plain<&cdl_takuri>, 10, std::nullopt},
    {"tasukigap", &plain<&cdl_tasukigap>, 7, std::nullopt},
    {"thrusting", &plain<&cdl_thrusting>, 11, std::nullopt},
    {"tristar", &plain<&cdl_tristar>, 12, std::nullopt},
    {"unique3river", &plain<&cdl_unique3river>, 12, std::nullopt},
    {"upsidegap2crows", &plain<&cdl_upsidegap2crows>, 12, std::nullopt},
    {"xsidegap3methods", &plain<&cdl_xsidegap3methods>, 2, std::nullopt},
}};

}  // namespace

const CandlePattern* candle_pattern(std::string_view name) {
  auto it = std::ranges::lower_bound(kPatterns, name, {}, &CandlePattern::name);
  if (it == kPatterns.end() || it->name != name) return nullptr;
  return &*it;
}

std::span<const CandlePattern> candle_patterns() { return kPatterns; }

}  // namespace kadmo::compute
