// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <sys/types.h>
#include <vector>

namespace quillon {

// One inspected item and, for a directory, its whole subtree: the plan of
// what may be removed, and the record the removal compares the disk with.
struct Node {
    std::string name;          // one component, the item's name in its parent
    ino_t inode = 0;
    dev_t device = 0;
    bool directory = false;    // false: a regular file
    timespec modified{};       // st_mtim as looked up by name
    timespec changed{};        // st_ctim as looked up by name
    std::int64_t bytes = 0;    // allocated bytes of the item and all its children
    std::vector<Node> children; // in the sorted order of names(); empty for a file
};

// Returns whether two times are the same to the nanosecond.
bool sameTime(const timespec& a, const timespec& b);

// Returns the number of files a tree holds: 1 for a file, the sum over the
// children for a directory (directories themselves are never counted).
std::int64_t fileCount(const Node& node);

} // namespace quillon
