// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "fs/Node.h"

#include "core/Errors.h"
#include "core/Texts.h"
#include "fs/Directory.h"
#include "platform/FileStatus.h"

#include <algorithm>
#include <unistd.h>

namespace quillon {

bool sameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

std::int64_t fileCount(const Node& node) {
    if (!node.directory) return 1;
    std::int64_t total = 0;
    for (const Node& child : node.children) total += fileCount(child);
    return total;
}

namespace {

bool eligibleKind(const platform::FileStatus& status, dev_t device, uid_t user) {
    if (status.owner != user) return false;
    if (status.device != device) return false;
    if (status.type() == S_IFDIR) return true;
    return status.type() == S_IFREG && status.links == 1;
}

double newestSeconds(const platform::FileStatus& status) {
    double newest = std::max(static_cast<double>(status.modified.tv_sec), static_cast<double>(status.changed.tv_sec));
    // On Linux the status-change time is set at creation and only moves
    // forward, so it is never older than the birth time; this is the rule
    // wherever a file system reports a birth time that the other two do not
    // cover.
    if (status.createdSeconds) newest = std::max(newest, static_cast<double>(*status.createdSeconds));
    return newest;
}

// The walk itself; `user` is the real user id, read once per inspection.
Node inspectAs(int parent, const std::string& name, double cutoff, dev_t device, const RunControl* control,
               uid_t user) {
    if (control) control->check();

    platform::FileStatus status;
    if (!isEntryName(name) || mayBeSubstitutedName(name) || !platform::statAt(parent, name, status))
        throw SafetyError::skip(text::cannotInspectItem);
    if (!eligibleKind(status, device, user)) throw SafetyError::skip(text::ineligibleItem);
    if (!(newestSeconds(status) < cutoff)) throw SafetyError::skip(text::recentlyChanged);

    Node node;
    node.name = name;
    node.inode = status.inode;
    node.device = status.device;
    node.directory = status.type() == S_IFDIR;
    node.modified = status.modified;
    node.changed = status.changed;
    node.bytes = static_cast<std::int64_t>(status.blocks) * 512;

    if (node.directory) {
        const platform::Descriptor directory =
            openVerifiedOrSkip(parent, name, status, text::cannotOpenItem, text::itemChangedDuringCheck);
        const std::vector<std::string> entries = names(directory.get(), control);
        node.children.reserve(entries.size());
        for (const std::string& entry : entries) {
            node.children.push_back(inspectAs(directory.get(), entry, cutoff, device, control, user));
            node.bytes += node.children.back().bytes;
        }
    }
    return node;
}

} // namespace

Node inspect(int parent, const std::string& name, double cutoff, dev_t device, const RunControl* control) {
    return inspectAs(parent, name, cutoff, device, control, ::getuid());
}

} // namespace quillon
