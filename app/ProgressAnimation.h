#pragma once

namespace quillon {

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

} // namespace quillon
