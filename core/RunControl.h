// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include <atomic>

namespace quillon {

// The cancellation token of one run, shared by the window (which cancels)
// and the worker (which polls). Once cancelled it stays cancelled; a new run
// gets a new token. Every operation is one atomic read or write of the flag,
// cheap enough to ask before every file of a walk.
class RunControl {
public:
    RunControl() = default;
    RunControl(const RunControl&) = delete;
    RunControl& operator=(const RunControl&) = delete;

    // Returns whether cancellation was requested.
    bool isCancelled() const;

    // Requests cancellation; calling it again changes nothing.
    void cancel();

    // Throws CleanCancelled when cancellation was requested.
    void check() const;

private:
    std::atomic<bool> cancelled_{false};
};

} // namespace quillon
