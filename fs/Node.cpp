// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "fs/Node.h"

namespace quillon {

bool sameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

std::int64_t fileCount(const Node& node) {
    if (!node.directory) return 1;
    std::int64_t total = 0;
    for (const Node& child : node.children) total += fileCount(child);
    return total;
}

} // namespace quillon
