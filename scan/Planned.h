// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include "fs/Node.h"

#include <cstdint>
#include <string>

namespace quillon {

// One planned removal: the inspected item and the absolute path of the
// directory that holds it (reopened from "/" right before the removal).
struct PlannedItem {
    std::string parentPath;
    Node node;
};

// Counters of one location's scan, owned by the caller and updated in place;
// never undone when the scan ends with an error.
struct ScanStats {
    std::int64_t files = 0; // files looked at (old-file scan) or planned (other modes)
    std::int64_t kept = 0;  // entries that had to be left where they are
};

} // namespace quillon
