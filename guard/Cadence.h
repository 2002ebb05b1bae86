// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include <chrono>

namespace quillon {

// How often a run reads one of the guard's queries again (the running set,
// the open files): not until a small multiple of the last reading's own
// duration has passed since it ended. A reading that took d is already up to
// d old when it ends, so reading more often buys no freshness, only cost.
class Cadence {
public:
    using Clock = std::chrono::steady_clock;

    // Returns whether a reading is due at `now`: before the first reading
    // always, afterwards once the time since the last one ended is at least
    // its duration times the re-read factor (see Cadence.cpp).
    bool due(Clock::time_point now) const;
    // Records a reading that began at `start` and ended at `end`.
    void read(Clock::time_point start, Clock::time_point end);

private:
    bool read_ = false;
    Clock::time_point end_{};
    Clock::duration duration_{};
};

} // namespace quillon
