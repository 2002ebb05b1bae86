#pragma once

#include <functional>
#include <thread>

namespace quillon {

// The nice value and the I/O priority level (best-effort class, 0 highest
// to 7 lowest) of a background run's thread.
inline constexpr int backgroundNice = 10;
inline constexpr int backgroundIoLevel = 7;

// One piece of work on its own thread at low priority: the thread's CPU
// priority is lowered to backgroundNice and its disk priority to the lowest
// best-effort level before `work` starts, so that a clean yields to what the
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
