#include "app/BackgroundRun.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace quillon {

namespace {

// Linux keeps nice values and I/O priorities per thread, so both calls below
// touch this thread only. glibc has no wrapper for ioprio_set.
constexpr int ioprioWhoProcess = 1;
constexpr int ioprioClassBestEffort = 2;
constexpr int ioprioClassShift = 13;

void lowerThisThreadsPriority() {
    const auto thread = static_cast<id_t>(gettid());
    // Failures leave the thread at normal priority, which is still correct.
    (void)setpriority(PRIO_PROCESS, thread, backgroundNice);
    (void)syscall(SYS_ioprio_set, ioprioWhoProcess, static_cast<int>(thread),
                  (ioprioClassBestEffort << ioprioClassShift) | backgroundIoLevel);
}

} // namespace

BackgroundRun::BackgroundRun(std::function<void()> work)
    : thread_([work = std::move(work)] {
          lowerThisThreadsPriority();
          work();
      }) {}

BackgroundRun::~BackgroundRun() {
    if (thread_.joinable()) thread_.join();
}

} // namespace quillon
