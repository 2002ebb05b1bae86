// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include <chrono>
#include <cstdint>
#include <ratio>

namespace quillon {

// The period of the progress easing: 1/30 s.
using EasingPeriod = std::chrono::duration<std::int64_t, std::ratio<1, 30>>;

// Each easing tick covers this share of the distance left to the target...
inline constexpr double easingShare = 0.12;
// ...and at least this many points of the 0 to 100 bar.
inline constexpr double easingMinimumStep = 0.01;

// What one tick of the window-only preview adds to its simulated fraction,
// and the stage text it shows ("…" is U+2026).
inline constexpr double previewStep = 0.01;
inline constexpr const char* previewStage = "Preview: checking caches\u2026";

// The last lines of a preview's log.
inline constexpr const char* previewFinishedLine = "PREVIEW FINISHED \u2014 no files changed.";
inline constexpr const char* previewCancelledLine = "PREVIEW CANCELLED \u2014 no files changed.";

// Returns the bar's value after one easing tick from `bar` towards `target`:
// 12 percent of the gap, at least 0.01, never past the target; a bar at or
// above the target stays where it is.
double easedProgress(double bar, double target);

// Returns how long to wait, `elapsed` after the easing timer started, until
// tick number `tick` (counted from 1) is due at `tick` x `period`: rounded up
// to the timer's whole milliseconds and never negative. Waiting this long
// before every tick keeps the ticks exactly `period` apart on average.
std::chrono::milliseconds easingDelay(std::chrono::nanoseconds elapsed, std::int64_t tick,
                                      std::chrono::duration<double> period);

} // namespace quillon
