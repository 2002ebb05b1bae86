#include "app/ProgressAnimation.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

using namespace std::chrono_literals;

TEST(ProgressAnimation, EasesATwelfthOfTheGapAtLeastAHundredthNeverPastTheTarget) {
    const struct {
        double bar, target, eased;
    } cases[] = {{0, 50, 6}, {6, 50, 11.28}, {10, 10.05, 10.01}, {40, 40.005, 40.005}, {40, 30, 40}, {99, 99, 99}};
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(easedProgress(c.bar, c.target), c.eased) << c.bar << " " << c.target;
}

// A millisecond timer keeps exactly thirty ticks a second, and a late tick's
// successor, already due, follows at once.
TEST(ProgressAnimation, EasingDelayKeepsThirtyTicksASecond) {
    std::chrono::milliseconds elapsed{0};
    for (std::int64_t tick = 1; tick <= 30; ++tick) {
        const std::chrono::milliseconds wait = easingDelay(elapsed, tick, EasingPeriod{1});
        EXPECT_TRUE(wait == 33ms || wait == 34ms) << tick << ": " << wait.count();
        elapsed += wait;
    }
    EXPECT_EQ(elapsed, 1000ms);
    EXPECT_EQ(easingDelay(100ms, 3, EasingPeriod{1}), 0ms);
}

} // namespace
} // namespace quillon
