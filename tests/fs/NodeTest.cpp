// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

// inspect records an item and everything below it, all or nothing: the first item that fails a rule, in depth-first
// sorted order, fails the whole.

#include "tests/fs/FsFixture.h"

#include "fs/Node.h"

namespace quillon::fstest {
namespace {

// Returns the names of a record depth first, a folder's children in brackets.
std::string shapeOf(const Node& node) {
    std::string shape = node.name + (node.directory ? "(" : "");
    for (const Node& child : node.children) shape += (&child == &node.children[0] ? "" : " ") + shapeOf(child);
    return shape + (node.directory ? ")" : "");
}

struct Row { // on success, `expected` is the record's shape and file count; the shift is added to the items' device
    std::string shape, name, expected;
    LookUpHook hook = {}; dev_t deviceShift = 0; double cutoff = futureCutoff(); const RunControl* control = nullptr;
};

// `name` looks as if its status changed, or it was born, at farFuture.
LookUpHook stampedLater(const std::string& name, statx_timestamp statx::*stamp) {
    return [name, stamp](int, const std::string& looked, struct statx& answer) {
        answer.stx_mask |= STATX_BTIME;
        if (looked == name) (answer.*stamp).tv_sec = farFuture;
    };
}

TEST(InspectNode, RecordsTheTreeDepthFirstInSortedOrderOrRefusesItForItsFirstFailingItem) {
    const auto far = static_cast<double>(farFuture);
    const auto swap = [](int folder) { must(::renameat2(folder, "x", folder, "y", RENAME_EXCHANGE) == 0); };
    const std::string unknown = text::cannotInspectItem, ineligible = text::ineligibleItem;
    const std::string recent = text::recentlyChanged;
    RunControl cancelled;
    cancelled.cancel();
    const Row rows[] = {
        {"top/ top/b/ top/e/ top/C top/a top/b/y top/b/x", "top", "top(C a b(x y) e()) 4"}, // a folder has many links
        {"", "missing", unknown}, {"", ".", unknown}, {"", "..", unknown}, {"d/ d/f l->d", "l/f", unknown},
        {"f", std::string("f\0x", 3), unknown}, {"d/ d/\xFF d/" + fffd, "d", unknown},
        {"f h=>f", "f", ineligible}, {"d/ d/f h=>d/f", "d", ineligible}, {"f l->f", "l", ineligible},
        {"d/ d/l->/", "d", ineligible}, {"p|", "p", ineligible}, {"f", "f", ineligible, {}, 1},
        {"f", "f", ineligible, ownedByAnother("f")}, {"d/ d/f", "d", ineligible, ownedByAnother("f")},
        {"f!", "f", recent, {}, 0, far}, // the cutoff's own second is too late
        {"f!", "f", "f 1", {}, 0, far + 0.5}, // nanoseconds play no part
        {"f", "f", recent, stampedLater("f", &statx::stx_ctime), 0, far},
        {"f", "f", "f 1", stampedLater("f", &statx::stx_ctime), 0, far + 1},
        {"d/ d/f", "d", recent, stampedLater("f", &statx::stx_btime), 0, far},
        {"d/ d/a/ d/a/b/ d/a/b/deep! d/z", "d", recent}, {"d/ d/a->/ d/b!", "d", ineligible},
        {"d/! d/p|", "d", recent}, {"d/ d/a! d/b->/", "d", recent}, // a folder's own times come before its children
        // What opens must be what was looked at: the same inode on the same device.
        {"x/ x/a y/ y/b", "x", text::itemChangedDuringCheck, onFirstLookUpOf("x", swap)},
        {"d/ d/f", "d", text::itemChangedDuringCheck, onNextDevice("d"), 1},
        {"d/ d/f", "d", text::cannotOpenItem, replaceOnLookUpOf("d", true)},
        {"", "missing", "cancelled", {}, 0, 0, &cancelled}, // before anything is looked at
    };
    for (const Row& row : rows) {
        const Place p(row.shape);
        const ScopedLookUpHook hook(row.hook);
        std::string record; // and its bytes are the item's own and all below it
        const std::string error = outcome([&] {
            const Node node = inspect(p.fd.get(), row.name, row.cutoff, p.device + row.deviceShift, row.control);
            std::int64_t bytes = 0;
            std::istringstream words(row.shape);
            for (std::string word; words >> word;) bytes += recordOf(p.fd.get(), word.substr(0, word.find('!'))).bytes;
            record = shapeOf(node) + " " + std::to_string(fileCount(node)) + (node.bytes == bytes ? "" : " bad bytes");
        });
        EXPECT_EQ(error == "no error" ? record : error, row.expected) << row.name << " in " << row.shape;
    }
}

} // namespace
} // namespace quillon::fstest
