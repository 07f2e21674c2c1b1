#pragma once
// Incremental evaluation: the saved indicator state of a cached directive
// column and the continuation of its values from that state.

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "kadmo/core/dataframe.hpp"
#include "kadmo/directive/exec.hpp"
#include "kadmo/directive/types.hpp"

namespace kadmo::directive {

using ResumeState = std::vector<double>;

// The command view of a node: Ident (non-empty) or Command; nothing else.
struct CommandView {
  std::string name;  // lowercased, cdl -> style
  std::optional<std::string_view> sub;  // as written
  ArgList args;
  std::span<const Node> series;
};
std::optional<CommandView> as_command(const Node& node);

std::optional<ResumeState> initial_state(const core::DataFrame& frame, const Node& node);

// Values of rows from_row..n-1 (a float column of n - from_row values) and
// the new state; nothing when the state cannot be resumed.
std::optional<std::pair<core::Column, ResumeState>> execute_resume(const core::DataFrame& frame, const Node& node,
                                                                   const ResumeState& state, std::size_t from_row,
                                                                   std::uint64_t origin);

std::optional<std::uint64_t> default_period(std::string_view text, std::string_view name);

// Full evaluation together with the state after the last row, in one pass
// over the data: the short warm-up prefix is evaluated directly, the rest is
// resumed from the prefix's state (resumed values equal the batch values bit
// for bit). Nothing when the node has no state; callers then evaluate and
// take the state separately.
std::optional<std::pair<core::Column, ResumeState>> execute_with_state(const core::DataFrame& frame, const Node& node);

// ---- the incremental column of the command registry ----

using ResumedTail = std::optional<std::pair<std::vector<double>, ResumeState>>;

struct ResumeHook {
  std::optional<ResumeState> (*state)(const CommandInput& in);
  ResumedTail (*resume)(const CommandInput& in, const ResumeState& state, std::size_t from_row, std::uint64_t origin);
};

namespace resume_hooks {
extern const ResumeHook ema, smma, dema, tema, kama, t3, macd, macd_signal, macd_histogram, macdfix,
    macdfix_signal, macdfix_histogram, sar, sarext, atr, natr, rsi, cmo, kdj_k, kdj_d, kdj_j, stochrsi_k,
    stochrsi_d, dx, adx, adxr, plus_di, minus_di, plus_dm, minus_dm, trix, obv, ad, adosc, maxindex, minindex,
    mama, mama_fama, ht_dcperiod, ht_phasor, ht_phasor_quadrature, ht_dcphase, ht_sine, ht_sine_lead, ht_trendline,
    ht_trendmode;
}  // namespace resume_hooks

}  // namespace kadmo::directive
