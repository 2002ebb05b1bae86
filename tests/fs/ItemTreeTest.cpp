// inspect records an item and everything below it, all or nothing: the first item that fails a rule, in depth-first
// sorted order, fails the whole.

#include "tests/fs/FsFixture.h"

#include "fs/ItemTree.h"

namespace quillon::fstest {
namespace {

// Returns the names of a record depth first, a folder's children in brackets.
std::string shapeOf(const Node& node) {
    std::string shape = node.name + (node.directory ? "(" : "");
    for (const Node& child : node.children) shape += (&child == &node.children[0] ? "" : " ") + shapeOf(child);
    return shape + (node.directory ? ")" : "");
}

TEST(Inspect, RecordsTheTreeDepthFirstInSortedOrderWithItsBytes) {
    const Place p("top/ top/b/ top/empty/ top/C top/a top/b/y top/b/x");
    const Node node = inspect(p.fd.get(), "top", futureCutoff(), p.device);
    EXPECT_EQ(shapeOf(node), "top(C a b(x y) empty())");
    EXPECT_EQ(fileCount(node), 4);
    // Bytes are the item's own and all below it. (The removal compares the rest.)
    std::int64_t bytes = 0;
    for (const char* path : {"top", "top/b", "top/empty", "top/C", "top/a", "top/b/y", "top/b/x"})
        bytes += recordOf(p.fd.get(), path).bytes;
    EXPECT_EQ(node.bytes, bytes);
}

struct Refusal {
    std::string shape, name;
    const char* expected;
    LookUpHook hook = {};
    dev_t deviceShift = 0; // added to the device the items must be on
    double cutoff = futureCutoff();
};

// `name` looks as if its status changed, or it was born, at farFuture.
LookUpHook stampedLater(const std::string& name, statx_timestamp statx::*stamp) {
    return [name, stamp](int, const std::string& looked, struct statx& answer) {
        answer.stx_mask |= STATX_BTIME;
        if (looked == name) (answer.*stamp).tv_sec = farFuture;
    };
}

TEST(Inspect, RefusesTheWholeTreeForItsFirstFailingItem) {
    const auto far = static_cast<double>(farFuture);
    const auto swap = [](int folder) { must(::renameat2(folder, "x", folder, "y", RENAME_EXCHANGE) == 0); };
    const Refusal rows[] = {
        {"d/ d/a/ d/b/ d/c/", "d", "no error"}, // a folder has many links
        {"", "missing", text::cannotInspectItem},
        {"", ".", text::cannotInspectItem},
        {"", "..", text::cannotInspectItem},
        {"d/ d/f l->d", "l/f", text::cannotInspectItem},
        {"f", std::string("f\0x", 3), text::cannotInspectItem},
        {"d/ d/\xFF d/" + fffd, "d", text::cannotInspectItem},
        {"f h=>f", "f", text::ineligibleItem},
        {"d/ d/f h=>d/f", "d", text::ineligibleItem},
        {"f l->f", "l", text::ineligibleItem},
        {"d/ d/l->/", "d", text::ineligibleItem},
        {"p|", "p", text::ineligibleItem},
        {"f", "f", text::ineligibleItem, ownedByAnother("f")},
        {"d/ d/f", "d", text::ineligibleItem, ownedByAnother("f")},
        {"f", "f", text::ineligibleItem, {}, 1},
        {"d/ d/f", "d", text::ineligibleItem, {}, 1},
        {"f!", "f", text::recentlyChanged, {}, 0, far}, // the cutoff's own second is too late
        {"f!", "f", "no error", {}, 0, far + 0.5},      // nanoseconds play no part
        {"f", "f", text::recentlyChanged, stampedLater("f", &statx::stx_ctime), 0, far},
        {"f", "f", "no error", stampedLater("f", &statx::stx_ctime), 0, far + 1},
        {"d/ d/f", "d", text::recentlyChanged, stampedLater("f", &statx::stx_btime), 0, far},
        {"d/ d/a/ d/a/b/ d/a/b/deep! d/z", "d", text::recentlyChanged},
        {"d/! d/p|", "d", text::recentlyChanged}, // a folder's own times come before its children
        {"d/ d/a->/ d/b!", "d", text::ineligibleItem},
        {"d/ d/a! d/b->/", "d", text::recentlyChanged},
        // What opens must be what was looked at: the same inode on the same device.
        {"x/ x/a y/ y/b", "x", text::itemChangedDuringCheck, onFirstLookUpOf("x", swap)},
        {"d/ d/f", "d", text::itemChangedDuringCheck, onNextDevice("d"), 1},
        {"d/ d/f", "d", text::cannotOpenItem, replaceOnLookUpOf("d", true)},
    };
    for (const Refusal& row : rows) {
        const Place p(row.shape);
        const ScopedLookUpHook hook(row.hook);
        EXPECT_EQ(outcome([&] { inspect(p.fd.get(), row.name, row.cutoff, p.device + row.deviceShift); }), row.expected)
            << "'" << row.name << "' in '" << row.shape << "'";
    }
    RunControl cancelled;
    cancelled.cancel();
    const Place p("");
    EXPECT_EQ(outcome([&] { inspect(p.fd.get(), "missing", futureCutoff(), p.device, &cancelled); }), "cancelled");
}

} // namespace
} // namespace quillon::fstest
