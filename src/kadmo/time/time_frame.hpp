#pragma once
// Sampling periods of OHLCV bars and their period keys: two instants get the
// same key exactly when they fall in the same bar of the period, seen in a
// zone. Cumulation groups fine bars by key and rolls over on a key change.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "kadmo/core/error.hpp"
#include "kadmo/core/tz.hpp"

namespace kadmo::time {

// The order matters: the cumulation rule compares positions.
enum class TimeFrame : std::uint8_t { s1, m1, m3, m5, m15, m30, H1, H2, H4, H6, H8, H12, D1, D3, W1, M1, Y1 };

inline constexpr std::size_t kTimeFrameCount = 17;

inline constexpr std::array<TimeFrame, kTimeFrameCount> kAllTimeFrames = {
    TimeFrame::s1, TimeFrame::m1, TimeFrame::m3,  TimeFrame::m5,  TimeFrame::m15, TimeFrame::m30,
    TimeFrame::H1, TimeFrame::H2, TimeFrame::H4,  TimeFrame::H6,  TimeFrame::H8,  TimeFrame::H12,
    TimeFrame::D1, TimeFrame::D3, TimeFrame::W1,  TimeFrame::M1,  TimeFrame::Y1};

constexpr std::size_t position(TimeFrame tf) { return static_cast<std::size_t>(tf); }

// "1s", "15m", "4h", "1d", "1w", "1M", "1y": the canonical label.
std::string_view label(TimeFrame tf);
// The Python constant name: "s1", "m15", "H4", "D1", "W1", "M1", "Y1".
std::string_view constant_name(TimeFrame tf);
// Fixed length in seconds; nothing for the calendar month and year.
std::optional<std::int64_t> seconds(TimeFrame tf);

// Exact match of the accepted spellings (no trimming); a Value error naming
// the text otherwise.
core::Result<TimeFrame> parse_time_frame(std::string_view text);

// Period key of an instant (UTC ns) in the calendar of tz. Defined for every
// int64 instant: the civil year stays within 1677..2262, so no term overflows.
std::int64_t unify_tz(TimeFrame tf, std::int64_t ns, const core::Tz& tz);

// Whether a frame already sampled at `source` can be cumulated to `target`;
// a Value error with the user-facing reason otherwise.
core::Result<void> check_cumulation(TimeFrame source, TimeFrame target);

}  // namespace kadmo::time
