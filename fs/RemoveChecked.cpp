#include "fs/RemoveChecked.h"

#include "core/Errors.h"
#include "core/Texts.h"
#include "fs/Directory.h"
#include "fs/Seams.h"
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

// The walk itself; `user` is the real user id, read once per removal.
void removeAs(int parent, const Node& node, std::int64_t& removed, const RunControl* control, uid_t user) {
    if (control) control->check();
    if (node.directory) seams::beforeDirectoryRemoval(parent, node.name);

    // The owner is compared although, on Linux, a change of owner also moves
    // the status-change time compared just after it: the rule does not rest
    // on the clock.
    platform::FileStatus status;
    if (!isEntryName(node.name) || !platform::statAt(parent, node.name, status) || status.inode != node.inode ||
        status.device != node.device ||
        status.owner != user || !sameTime(status.modified, node.modified) ||
        !sameTime(status.changed, node.changed))
        throw SafetyError::skip(text::itemChangedDuringCleanup);

    if (!node.directory) {
        if (status.type() != S_IFREG) throw SafetyError::skip(text::itemChangedDuringCleanup);
        // A cancel that arrives during the look-up above is honoured here,
        // before the one step that cannot be undone.
        if (control) control->check();
        if (::unlinkat(parent, node.name.c_str(), 0) != 0) throw SafetyError::skip(text::cannotRemoveFile);
        removed += node.bytes;
        return;
    }

    if (status.type() != S_IFDIR) throw SafetyError::skip(text::itemChangedDuringCleanup);
    const platform::Descriptor directory =
        openVerifiedOrSkip(parent, node.name, status, text::cannotOpenItem, text::directoryChanged);
    if (!sameNames(names(directory.get(), control), node.children))
        throw SafetyError::skip(text::directoryChanged);

    std::int64_t childBytes = 0;
    for (const Node& child : node.children) {
        removeAs(directory.get(), child, removed, control, user);
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
}

} // namespace

void removeChecked(int parent, const Node& node, std::int64_t& removed, const RunControl* control) {
    removeAs(parent, node, removed, seams::removalControl(control), ::getuid());
}

} // namespace quillon
