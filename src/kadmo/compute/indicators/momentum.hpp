#pragma once
// Aroon, balance of power, CCI, IMI, MFI, momentum and rates of change, TRIX,
// Williams' %R and the ultimate oscillator, with TRIX's resume and the
// lookback of each.
//
// The window sums (CCI's mean, IMI, MFI, the ultimate oscillator) count a
// missing value only while it is inside the window: a running sum that took
// the NaN in would stay NaN for every later row.

#include <cstddef>
#include <optional>
#include <span>

#include "kadmo/compute/kernels.hpp"

namespace kadmo::compute {

using In = std::span<const double>;

// --- batch ---------------------------------------------------------------
Series aroon_up(In high, std::size_t n);
Series aroon_down(In low, std::size_t n);
Series aroonosc(In high, In low, std::size_t n);
Series bop(In open, In high, In low, In close);
Series cci(In high, In low, In close, std::size_t n);
Series imi(In open, In close, std::size_t n);
Series mfi(In high, In low, In close, In volume, std::size_t n);
Series mom(In x, std::size_t n);
Series roc(In x, std::size_t n);
Series rocp(In x, std::size_t n);
Series rocr(In x, std::size_t n);
Series rocr100(In x, std::size_t n);
Series trix(In x, std::size_t n);
Series willr(In high, In low, In close, std::size_t n);
Series ultosc(In high, In low, In close, std::size_t p1, std::size_t p2, std::size_t p3);

// --- resume (the state is tema_final_state's: e1, e2, e3) ------------------
Resumed trix_resume(In x, std::size_t n, std::size_t start, const State& state);

// --- lookback (leading NaN count on complete input; periods >= 1) ---------
constexpr std::size_t aroon_lookback(std::size_t n) { return n; }
constexpr std::size_t aroonosc_lookback(std::size_t n) { return n; }
constexpr std::size_t bop_lookback() { return 0; }
constexpr std::size_t cci_lookback(std::size_t n) { return n - 1; }
constexpr std::size_t imi_lookback(std::size_t n) { return n - 1; }
constexpr std::size_t mfi_lookback(std::size_t n) { return n; }
constexpr std::size_t mom_lookback(std::size_t n) { return n; }
constexpr std::size_t roc_lookback(std::size_t n) { return n; }
constexpr std::size_t trix_lookback(std::size_t n) { return 3 * (n - 1) + 1; }
constexpr std::size_t willr_lookback(std::size_t n) { return n - 1; }
constexpr std::size_t ultosc_lookback(std::size_t p1, std::size_t p2, std::size_t p3) {
  std::size_t m = p1 > p2 ? p1 : p2;
  return m > p3 ? m : p3;
}

}  // namespace kadmo::compute
