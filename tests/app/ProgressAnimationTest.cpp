// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "app/ProgressAnimation.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

// A share of the gap, at least a hundredth, never past the target; thirty ticks a second, a late one's next at once.
TEST(ProgressAnimation, EasesTowardsTheTargetThirtyTicksASecond) {
    const double cases[][3] = {{0, 50, 6}, {6, 50, 11.28}, {10, 10.05, 10.01}, {40, 40.005, 40.005}, {40, 30, 40}};
    for (const auto& [bar, target, eased] : cases) EXPECT_DOUBLE_EQ(quillon::easedProgress(bar, target), eased) << bar;
    std::chrono::milliseconds elapsed{0};
    for (std::int64_t t = 1; t <= 30; ++t) elapsed += quillon::easingDelay(elapsed, t, quillon::EasingPeriod{1});
    EXPECT_EQ(std::pair(elapsed, quillon::easingDelay(100ms, 3, quillon::EasingPeriod{1})), std::pair(1000ms, 0ms));
}
