// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <sys/types.h>
#include <vector>

namespace quillon {

class RunControl;

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

// Inspects the entry `name` of the directory open on `parent` (and, for a
// directory, everything below it, depth first in sorted order) into a Node
// tree. All or nothing: the first item that fails a rule fails the whole
// inspection with that item's error. Nothing on disk is changed, and every
// descriptor opened here is closed before the call returns or throws; one
// descriptor per level of depth is open while a child is inspected.
//
// Rules, in this order, each refused with its reason (core/Texts.h): the
// item can be looked up (cannotInspectItem); it is the real user's, on
// `device`, and a directory or a regular file with exactly one link
// (ineligibleItem); the newest of its modification, status-change and
// creation seconds lies strictly before `cutoff` (recentlyChanged). A
// directory must open (cannotOpenItem) as the very item looked up
// (itemChangedDuringCheck) and list; errors of names() pass through unchanged.
// Throws CleanCancelled when `control` is cancelled.
Node inspect(int parent, const std::string& name, double cutoff, dev_t device, const RunControl* control = nullptr);

} // namespace quillon
