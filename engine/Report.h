// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include "core/Group.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace quillon {

// The outcome of one clean run.
struct Report {
    bool cancelled = false;          // the run stopped because cancellation was requested
    std::int64_t removed = 0;        // bytes actually removed
    std::int64_t eligible = 0;       // bytes of the items that passed every guard
    int cleaned = 0;                 // planned items removed (0 in a preview)
    int skipped = 0;                 // locations where something, or everything, was kept
    int checked = 0;                 // locations the run started on
    std::int64_t files = 0;          // files inspected in all locations
    std::set<Group> busyGroups;      // groups found busy
    std::vector<std::string> notes;  // one line per event worth telling, in order
    std::int64_t freeBefore = 0;     // free space when the run began
    std::int64_t freeAfter = 0;      // free space when the run ended
};

// Returns the summary text of a report: a headline, the free space and the
// location counts, and a line naming the busy groups that the summary names
// (core/Group.h: not the development, package and log groups), in the
// character order of their names.
std::string summary(const Report& report, bool dryRun);

// Returns a byte count written for people; the one formatting of byte
// amounts in every text of the program.
std::string size(std::int64_t bytes);

// Returns the bytes available to the user on the volume of `home` (the home
// directory of the run's bases), or 0 when it cannot be queried.
std::int64_t freeSpace(const std::string& home);

} // namespace quillon
