// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include "core/RunControl.h"
#include "fs/Node.h"
#include "platform/Lease.h"

#include <cstdint>
#include <functional>
#include <string>

namespace quillon {

// How a removal asks, right before a file goes, whether another program
// holds it open.
struct HeldCheck {
    // Takes a write lease on the entry `name` of the directory open on
    // `parent`, which a look-up has just found to be the regular file
    // `looked` (see platform::leaseFile); tests give their own answers.
    std::function<platform::FileLease(int parent, const std::string& name, const platform::FileStatus& looked)>
        lease = platform::leaseFile;
    // Asked only where the lease gives no answer (LeaseAnswer::unknown):
    // returns whether the run's picture of open files shows the file at
    // `path`, relative to the directory given to removeChecked, open. None:
    // nothing is known to be open.
    std::function<bool(const std::string& path)> inPicture{};
};

// Removes exactly what `node` records, an entry of the directory open on
// `parent`, comparing the disk with the record again right before each
// single deletion: same inode, device, owner and type, the very same
// modification and status-change times, and for a directory exactly the
// planned entries. Depth first, children in sorted order, each directory
// right after its last child. The first difference stops the whole tree;
// what was already deleted stays deleted and its bytes are in `removed`,
// which grows by each item's recorded share at the moment it goes.
// `parent` stays open and the caller's; every descriptor opened here is
// closed before the call returns or throws.
//
// Each file is unlinked while a write lease on it is held (`held`), so that
// a file that any process holds open, maps or runs at that instant is kept
// with no window; where the kernel cannot answer, the picture decides.
// Returns true when the whole item went, false when a file of it is held:
// that file and the folders above it stay, what went before it stays
// removed and counted, and nothing after it is touched.
//
// Throws CleanCancelled (at the start of each item, just before a file is
// unlinked, before a directory is removed), or SafetyError with the reason
// itemChangedDuringCleanup, cannotRemoveFile, cannotOpenItem,
// directoryChanged or cannotRemoveDirectory (core/Texts.h); errors of
// names() pass through unchanged.
bool removeChecked(int parent, const Node& node, std::int64_t& removed, const RunControl* control = nullptr,
                   const HeldCheck& held = {});

} // namespace quillon
