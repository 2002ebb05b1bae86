// inspect records an item and everything below it, all or nothing: the
// first item that fails a rule, in depth-first sorted order, fails the whole.

#include "tests/fs/FsFixture.h"

#include "core/Texts.h"
#include "fs/ItemTree.h"

#include <cstdio>
#include <fcntl.h>

namespace quillon::fstest {
namespace {

// Returns the names of a record depth first, a folder's children in brackets.
std::string shapeOf(const Node& node) {
    std::string shape = node.name + (node.directory ? "(" : "");
    for (const Node& child : node.children) shape += (&child == &node.children[0] ? "" : " ") + shapeOf(child);
    return shape + (node.directory ? ")" : "");
}

struct stat lookUp(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(::lstat(path.c_str(), &status), 0) << path;
    return status;
}

TEST(Inspect, RecordsTheTreeDepthFirstInSortedOrderWithItsBytes) {
    const Place p("top/ top/b/ top/empty/ top/C top/a top/b/y top/b/x");
    const Node node = inspect(p.fd.get(), "top", futureCutoff(), p.device);
    EXPECT_EQ(shapeOf(node), "top(C a b(x y) empty())");
    EXPECT_EQ(fileCount(node), 4);
    // Each node's bytes are its own and all below it. (The removal's tests
    // show that each node holds its item's look-up: it compares them.)
    std::int64_t bytes = 0;
    for (const char* path : {"top", "top/b", "top/empty", "top/C", "top/a", "top/b/y", "top/b/x"}) bytes += lookUp(p / path).st_blocks * 512;
    EXPECT_EQ(node.bytes, bytes);
}

struct Refusal {
    std::string shape, name;
    const char* expected;
    LookUpHook hook = {};
    dev_t deviceShift = 0; // added to the device the items must be on
};

TEST(Inspect, RefusesTheWholeTreeForItsFirstFailingItem) {
    const std::string fffd = "\xEF\xBF\xBD"; // U+FFFD, which names() also gives for bytes that are not UTF-8
    const LookUpHook bornLater = [](int, const std::string& name, struct statx& answer) {
        answer.stx_mask |= STATX_BTIME;
        if (name == "f") answer.stx_btime.tv_sec = static_cast<std::int64_t>(futureCutoff()) + 10;
    };
    const auto swap = [](int folder) { must(::renameat2(folder, "x", folder, "y", RENAME_EXCHANGE) == 0); };
    const Refusal rows[] = {
        {"f", "f", "no error"},
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
        {"f!", "f", text::recentlyChanged},
        {"d/ d/f", "d", text::recentlyChanged, bornLater},
        {"d/ d/a/ d/a/b/ d/a/b/deep! d/z", "d", text::recentlyChanged},
        {"d/! d/p|", "d", text::recentlyChanged}, // a folder's own times come before its children
        {"d/ d/a->/ d/b!", "d", text::ineligibleItem},
        {"d/ d/a! d/b->/", "d", text::recentlyChanged},
        // What opens must be what was looked at: the same inode on the same device.
        {"x/ x/a y/ y/b", "x", text::itemChangedDuringCheck, afterFirstLookUpOf("x", swap)},
        {"d/ d/f", "d", text::itemChangedDuringCheck, onNextDevice("d"), 1},
        {"d/ d/f", "d", text::cannotOpenItem, replaceAfterFirstLookUpOf("d", true)},
    };
    for (const Refusal& row : rows) {
        const Place p(row.shape);
        const ScopedLookUpHook hook(row.hook);
        EXPECT_EQ(outcome([&] { inspect(p.fd.get(), row.name, futureCutoff(), p.device + row.deviceShift); }), row.expected)
            << "'" << row.name << "' in '" << row.shape << "'";
    }
    RunControl cancelled;
    cancelled.cancel();
    const Place p("");
    EXPECT_EQ(outcome([&] { inspect(p.fd.get(), "missing", futureCutoff(), p.device, &cancelled); }), "cancelled");
}

TEST(Inspect, AnItemIsOldOnlyWhenItsNewestSecondIsBeforeTheCutoff) {
    // As on a file system without birth times (here one would be as new as
    // the status change, and hide it).
    const ScopedLookUpHook noBirthTimes([](int, const std::string&, struct statx& answer) { answer.stx_mask &= ~STATX_BTIME; });
    const Place p("old ahead"); // old: modified in 2001, its status changed now
    const auto ahead = static_cast<time_t>(t::now()) + 1000;
    const timespec times[2] = {{0, UTIME_OMIT}, {ahead, 999999999}};
    ASSERT_EQ(::utimensat(p.fd.get(), "ahead", times, AT_SYMLINK_NOFOLLOW), 0);
    const auto changed = static_cast<double>(lookUp(p / "old").st_ctim.tv_sec);
    const std::tuple<const char*, double, const char*> rows[] = {
        {"old", changed - 1, text::recentlyChanged},
        {"old", changed, text::recentlyChanged},
        {"old", changed + 1, "no error"},
        {"ahead", static_cast<double>(ahead), text::recentlyChanged},
        {"ahead", static_cast<double>(ahead) + 0.5, "no error"}, // nanoseconds play no part
    };
    for (const auto& [name, cutoff, expected] : rows)
        EXPECT_EQ(outcome([&] { inspect(p.fd.get(), name, cutoff, p.device); }), expected) << name << " " << cutoff;
}

} // namespace
} // namespace quillon::fstest
