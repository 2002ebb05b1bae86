#include "app/ProgressAnimation.h"

#include "core/Texts.h"
#include "tests/app/AppTestSupport.h"

#include <QSignalSpy>
#include <QTimer>

namespace quillon {
namespace {

namespace t = quillon::testing;

TEST(EasedProgress, FirstTickTowardsFiftyFromZeroReachesSix) { EXPECT_DOUBLE_EQ(easedProgress(0, 50), 6.0); }

TEST(EasedProgress, SecondTickTowardsFiftyReaches11_28) {
    EXPECT_DOUBLE_EQ(easedProgress(easedProgress(0, 50), 50), 11.28);
}

TEST(EasedProgress, GapOfFiveThousandthsLandsExactlyOnTarget) { EXPECT_EQ(easedProgress(40, 40.005), 40.005); }

TEST(EasedProgress, SmallGapMovesAtLeastOneHundredthOfAPoint) { EXPECT_DOUBLE_EQ(easedProgress(10, 10.05), 10.01); }

TEST(EasedProgress, TargetBelowBarLeavesBarWhereItIs) { EXPECT_EQ(easedProgress(40, 30), 40.0); }

TEST(EasedProgress, BarOnTargetStays) { EXPECT_EQ(easedProgress(99, 99), 99.0); }

TEST(EasingDelay, KeepsThirtyTicksASecondOnAMillisecondTimer) {
    using namespace std::chrono_literals;
    const std::chrono::duration<double> period = DelegateSettings{}.easingInterval;
    std::chrono::milliseconds now{0};
    for (std::int64_t tick = 1; tick <= 30; ++tick) {
        const std::chrono::milliseconds wait = easingDelay(now, tick, period);
        EXPECT_TRUE(wait == 33ms || wait == 34ms) << "tick " << tick << ": " << wait.count() << " ms";
        now += wait;
    }
    EXPECT_EQ(now, 1000ms);
    // A tick that came late is followed at once by a successor already due.
    EXPECT_EQ(easingDelay(100ms, 3, period), 0ms);
}

class EasingTimerTest : public t::DelegateTest {};

TEST_F(EasingTimerTest, MovesBarFromZeroToSixThenTo11_28TowardsFifty) {
    AppDelegate& window = delegate();
    QSignalSpy moves(&window, &AppDelegate::progressChanged);
    window.update(0.5, text::buildCachesStage);
    window.startProgressTimer();
    ASSERT_TRUE(t::waitUntil([&] { return moves.count() >= 2; }));
    EXPECT_DOUBLE_EQ(moves.at(0).at(0).toDouble(), 6.0);
    EXPECT_DOUBLE_EQ(moves.at(1).at(0).toDouble(), 11.28);
}

TEST_F(EasingTimerTest, NeverMovesTheBarBackwards) {
    AppDelegate& window = delegate();
    QSignalSpy moves(&window, &AppDelegate::progressChanged);
    window.update(0.3, text::buildCachesStage);
    window.startProgressTimer();
    ASSERT_TRUE(t::waitUntil([&] { return window.progress() >= 29.9; }));
    window.update(0.1, text::buildCachesStage);
    t::spinFor(std::chrono::milliseconds(200));
    for (int i = 1; i < moves.count(); ++i)
        EXPECT_GT(moves.at(i).at(0).toDouble(), moves.at(i - 1).at(0).toDouble());
}

TEST_F(EasingTimerTest, ShowsTheEasedValueOnTheBarInHundredthsOfAPoint) {
    AppDelegate& window = delegate();
    window.update(0.5, text::buildCachesStage);
    window.startProgressTimer();
    ASSERT_TRUE(t::waitUntil([&] { return window.progress() >= 11.28; }));
    window.cancelOrClose(); // freezes the bar
    EXPECT_EQ(progressBar()->value(), static_cast<int>(std::lround(window.progress() * 100)));
}

TEST_F(EasingTimerTest, SecondStartCreatesNoSecondTimer) {
    AppDelegate& window = delegate();
    window.startProgressTimer();
    const QList<QTimer*> first = window.findChildren<QTimer*>();
    window.startProgressTimer();
    const QList<QTimer*> second = window.findChildren<QTimer*>();
    ASSERT_EQ(first.size(), 1);
    EXPECT_EQ(second, first);
}

TEST_F(EasingTimerTest, BarRunsToHundredAfterACompletedRunAndTheTimerEnds) {
    AppDelegate& window = delegate();
    window.startProgressTimer();
    window.finish(completed(0, 1000, 0));
    ASSERT_TRUE(t::waitUntil([&] {
        t::flushDeferredDeletes();
        return window.findChildren<QTimer*>().isEmpty();
    }));
    EXPECT_EQ(window.progress(), 100.0);
    EXPECT_EQ(progressBar()->value(), 10000);
}

TEST_F(EasingTimerTest, KeepsRunningWhileTheRunIsNotFinished) {
    AppDelegate& window = delegate();
    window.update(1.0, text::olderLogsStage);
    window.startProgressTimer();
    ASSERT_TRUE(t::waitUntil([&] { return window.progress() >= 99.0; }));
    t::flushDeferredDeletes();
    EXPECT_EQ(window.findChildren<QTimer*>().size(), 1);
}

} // namespace
} // namespace quillon
