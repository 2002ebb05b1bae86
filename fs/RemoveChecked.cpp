// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "fs/RemoveChecked.h"

#include "core/Errors.h"
#include "core/Texts.h"
#include "fs/Directory.h"
#include "platform/FileStatus.h"

#include <fcntl.h>
#include <unistd.h>

namespace quillon {

namespace {

bool sameNames(const std::vector<std::string>& listed, const std::vector<Node>& planned) {
    if (listed.size() != planned.size()) return false;
    for (std::size_t i = 0; i < listed.size(); ++i)
        if (listed[i] != planned[i].name) return false;
    return true;
}

// What stays the same throughout one removal; `user` is the real user id.
struct Walk {
    const RunControl* control;
    uid_t user;
    const HeldCheck& held;
};

// Returns whether the file `path` (relative to the removal's top) is held
// open; a lease that is taken stays held in `lease` until the caller lets go.
bool heldOpen(const Walk& walk, int parent, const Node& node, const platform::FileStatus& status,
              const std::string& path, platform::FileLease& lease) {
    lease = walk.held.lease(parent, node.name, status);
    switch (lease.answer()) {
    case platform::LeaseAnswer::taken: return false;
    case platform::LeaseAnswer::held: return true;
    case platform::LeaseAnswer::unknown: return walk.held.inPicture && walk.held.inPicture(path);
    case platform::LeaseAnswer::changed: break;
    }
    throw SafetyError::skip(text::itemChangedDuringCleanup);
}

// The walk itself; `path` is the item's path relative to the removal's top.
bool removeAs(int parent, const Node& node, std::int64_t& removed, const Walk& walk, const std::string& path) {
    const RunControl* const control = walk.control;
    if (control) control->check();

    // The owner is compared although, on Linux, a change of owner also moves
    // the status-change time compared just after it: the rule does not rest
    // on the clock.
    platform::FileStatus status;
    if (!isEntryName(node.name) || !platform::statAt(parent, node.name, status) || status.inode != node.inode ||
        status.device != node.device ||
        status.owner != walk.user || !sameTime(status.modified, node.modified) ||
        !sameTime(status.changed, node.changed))
        throw SafetyError::skip(text::itemChangedDuringCleanup);

    if (!node.directory) {
        if (status.type() != S_IFREG) throw SafetyError::skip(text::itemChangedDuringCleanup);
        platform::FileLease lease;
        if (heldOpen(walk, parent, node, status, path, lease)) return false;
        // A cancel that arrives during the look-up above is honoured here,
        // before the one step that cannot be undone.
        if (control) control->check();
        if (::unlinkat(parent, node.name.c_str(), 0) != 0) throw SafetyError::skip(text::cannotRemoveFile);
        removed += node.bytes;
        return true; // the lease is given back, on a file that no name reaches any more
    }

    if (status.type() != S_IFDIR) throw SafetyError::skip(text::itemChangedDuringCleanup);
    const platform::Descriptor directory =
        openVerifiedOrSkip(parent, node.name, status, text::cannotOpenItem, text::directoryChanged);
    if (!sameNames(names(directory.get(), control), node.children))
        throw SafetyError::skip(text::directoryChanged);

    std::int64_t childBytes = 0;
    for (const Node& child : node.children) {
        if (!removeAs(directory.get(), child, removed, walk, path + "/" + child.name)) return false;
        childBytes += child.bytes;
    }

    // Looked at again just before it goes: a folder swapped for another while
    // its children were being removed is kept.
    if (control) control->check();
    platform::FileStatus before;
    if (!platform::statAt(parent, node.name, before) || before.inode != status.inode || before.device != status.device)
        throw SafetyError::skip(text::directoryChanged);
    if (::unlinkat(parent, node.name.c_str(), AT_REMOVEDIR) != 0) throw SafetyError::skip(text::cannotRemoveDirectory);
    removed += node.bytes - childBytes;
    return true;
}

} // namespace

bool removeChecked(int parent, const Node& node, std::int64_t& removed, const RunControl* control,
                   const HeldCheck& held) {
    return removeAs(parent, node, removed, Walk{control, ::getuid(), held}, node.name);
}

} // namespace quillon
