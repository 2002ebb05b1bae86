// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include <functional>
#include <thread>

namespace quillon {

// The nice value and the I/O priority level (best-effort class, 0 highest
// to 7 lowest) of a background run's thread.
inline constexpr int backgroundNice = 10;
inline constexpr int backgroundIoLevel = 7;

// The kernel's encoding of I/O priorities (glibc has no wrapper for them):
// ioprio_set(ioprioWhoProcess, thread id, class << ioprioClassShift | level).
inline constexpr int ioprioWhoProcess = 1;
inline constexpr int ioprioClassBestEffort = 2;
inline constexpr int ioprioClassShift = 13;

// One piece of work on its own thread at low priority: the thread's CPU
// priority is lowered to backgroundNice and its disk priority to the lowest
// best-effort level before `work` starts (a thread already nicer than
// that keeps its own value), so that a clean yields to what the
// user is doing. Child processes started by the work inherit both.
class BackgroundRun {
public:
    // Starts `work` at once on a new thread.
    explicit BackgroundRun(std::function<void()> work);
    // Waits for the work to end.
    ~BackgroundRun();
    BackgroundRun(const BackgroundRun&) = delete;
    BackgroundRun& operator=(const BackgroundRun&) = delete;

private:
    std::thread thread_;
};

} // namespace quillon
