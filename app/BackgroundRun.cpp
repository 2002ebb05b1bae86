// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "app/BackgroundRun.h"

#include <cerrno>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace quillon {

namespace {

// Linux keeps nice values and I/O priorities per thread, so the calls below
// touch this thread only.

void lowerThisThreadsPriority() {
    const auto thread = static_cast<id_t>(gettid());
    // Never raise it: a program started with a higher nice value keeps it.
    // Failures leave the thread where it was, which is still correct.
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, thread);
    if (errno == 0 && current < backgroundNice) (void)setpriority(PRIO_PROCESS, thread, backgroundNice);
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
