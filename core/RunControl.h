// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include <mutex>

namespace quillon {

// The cancellation token of one run, shared by the window (which cancels)
// and the worker (which polls). Once cancelled it stays cancelled; a new run
// gets a new token. Every operation takes the token's own lock only for the
// single read or write of the flag.
class RunControl {
public:
    RunControl() = default;
    RunControl(const RunControl&) = delete;
    RunControl& operator=(const RunControl&) = delete;

    // Returns whether cancellation was requested.
    bool isCancelled() const;

    // Requests cancellation; calling it again changes nothing.
    void cancel();

    // Throws CleanCancelled when cancellation was requested (after the lock
    // is released).
    void check() const;

private:
    mutable std::mutex lock_;
    bool cancelled_ = false;
};

} // namespace quillon
