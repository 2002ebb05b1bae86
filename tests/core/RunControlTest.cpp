#include "core/Errors.h"
#include "core/RunControl.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using quillon::CleanCancelled;
using quillon::RunControl;

TEST(RunControl, NewTokenIsNotCancelled) {
    RunControl control;
    EXPECT_FALSE(control.isCancelled());
    EXPECT_NO_THROW(control.check());
}

TEST(RunControl, CancelStaysCancelled) {
    RunControl control;
    control.cancel();
    EXPECT_TRUE(control.isCancelled());
    EXPECT_THROW(control.check(), CleanCancelled);
    control.cancel();
    EXPECT_TRUE(control.isCancelled());
    EXPECT_THROW(control.check(), CleanCancelled);
}

TEST(RunControl, CancelFromAnotherThreadEndsAPollingLoop) {
    RunControl control;
    std::atomic<bool> started{false};
    std::atomic<bool> stoppedByCancel{false};
    std::thread worker([&] {
        try {
            for (;;) {
                started = true;
                control.check();
            }
        } catch (const CleanCancelled&) {
            stoppedByCancel = true;
        }
    });
    while (!started) std::this_thread::yield();
    control.cancel();
    worker.join();
    EXPECT_TRUE(stoppedByCancel);
}
