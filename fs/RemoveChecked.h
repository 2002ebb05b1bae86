#pragma once

#include "core/RunControl.h"
#include "fs/Node.h"

#include <cstdint>

namespace quillon {

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
// Throws CleanCancelled (at the start of each item, just before a file is
// unlinked, before a directory is removed), or SafetyError with the reason
// itemChangedDuringCleanup, cannotRemoveFile, cannotOpenItem,
// directoryChanged or cannotRemoveDirectory (core/Texts.h); errors of
// names() pass through unchanged.
void removeChecked(int parent, const Node& node, std::int64_t& removed, const RunControl* control = nullptr);

} // namespace quillon
