// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include "core/RunControl.h"
#include "guard/Cadence.h"

#include <functional>
#include <future>
#include <string>
#include <vector>

namespace quillon {

// A run's picture of the paths its user's processes hold open: one picture
// for the whole run, read again only when its cadence says so (Cadence.h),
// and sorted so that "is this item or anything below it open?" is two binary
// searches. A reading may be started ahead, in the background, so that it
// overlaps work the run does anyway; it is then taken before the picture is
// next used.
class OpenPaths {
public:
    using Query = std::function<std::vector<std::string>(const RunControl*)>;
    using Now = std::function<Cadence::Clock::time_point()>;

    // Reads through `query` (openPaths() in a real run), keeping the cadence
    // by `now`. Neither is called before the first prefetch() or refresh().
    OpenPaths(Query query, Now now) : query_(std::move(query)), now_(std::move(now)) {}
    // Waits for a reading started ahead, and drops it.
    ~OpenPaths();
    OpenPaths(const OpenPaths&) = delete;
    OpenPaths& operator=(const OpenPaths&) = delete;

    // Starts a reading on a thread of its own when one is due and none is
    // started yet; the query must then be safe to call from that thread.
    void prefetch(const RunControl* control);
    // Takes a reading started ahead, then reads the picture again when the
    // cadence says it is time. Throws what the query throws.
    void refresh(const RunControl* control);
    // Returns whether `path` itself or anything below it is open.
    bool holds(const std::string& path) const;

private:
    struct Reading {
        std::vector<std::string> paths;
        Cadence::Clock::time_point start, end;
    };
    Reading read(const RunControl* control) const;
    void take(Reading reading);
    // Takes a reading started ahead, waiting for it to end. Throws what the
    // query threw; the picture is then still due.
    void settle();

    Query query_;
    Now now_;
    std::vector<std::string> paths_;
    Cadence cadence_;
    std::future<Reading> ahead_;
};

} // namespace quillon
