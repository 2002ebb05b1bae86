// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

// The arithmetic of the bar's easing; the controller's timers apply it.

#include "app/ProgressAnimation.h"

#include <algorithm>
#include <cmath>

namespace quillon {

double easedProgress(double bar, double target) {
    const double gap = target - bar;
    if (gap <= 0) return bar;
    return std::min(target, bar + std::max(gap * easingShare, easingMinimumStep));
}

std::chrono::milliseconds easingDelay(std::chrono::nanoseconds elapsed, std::int64_t tick,
                                      std::chrono::duration<double> period) {
    const std::chrono::duration<double> due = period * static_cast<double>(tick);
    const double wait = std::chrono::duration<double, std::milli>(due - elapsed).count();
    return std::chrono::milliseconds(wait <= 0 ? 0 : static_cast<std::int64_t>(std::ceil(wait - 1e-6)));
}

} // namespace quillon
