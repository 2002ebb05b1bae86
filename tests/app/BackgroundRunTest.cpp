#include "app/BackgroundRun.h"

#include <gtest/gtest.h>

#include <atomic>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace quillon {
namespace {

TEST(BackgroundRun, RunsTheWorkOnAnotherThread) {
    std::atomic<pid_t> worker{0};
    { BackgroundRun run([&] { worker = gettid(); }); }
    EXPECT_NE(worker.load(), 0);
    EXPECT_NE(worker.load(), gettid());
}

TEST(BackgroundRun, LowersTheThreadsCpuPriority) {
    std::atomic<int> nice{0};
    const int mine = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    { BackgroundRun run([&] { nice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())); }); }
    EXPECT_EQ(nice.load(), std::max(mine, backgroundNice));
}

TEST(BackgroundRun, LowersTheThreadsDiskPriorityToTheLowestBestEffortLevel) {
    std::atomic<long> priority{-1};
    {
        BackgroundRun run([&] { priority = syscall(SYS_ioprio_get, ioprioWhoProcess, static_cast<int>(gettid())); });
    }
    EXPECT_EQ(priority.load(), (ioprioClassBestEffort << ioprioClassShift) | backgroundIoLevel);
}

TEST(BackgroundRun, LeavesTheCallersPriorityAlone) {
    const int before = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    { BackgroundRun run([] {}); }
    EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())), before);
}

TEST(BackgroundRun, WaitsForTheWorkWhenDropped) {
    std::atomic<bool> done{false};
    {
        BackgroundRun run([&] {
            usleep(50'000);
            done = true;
        });
    }
    EXPECT_TRUE(done.load());
}

} // namespace
} // namespace quillon
