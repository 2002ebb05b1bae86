// inspect records an item and everything below it, all or nothing,
// under the ownership, kind and age rules; the first failing item's error is
// the error of the whole inspection.

#include "tests/fs/FsTestSupport.h"

#include "platform/FileStatus.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <linux/fs.h>
#include <sys/socket.h>
#include <sys/sysmacros.h>
#include <sys/un.h>

namespace quillon::fstest {
namespace {

const std::string replacement = "\xEF\xBF\xBD"; // U+FFFD

struct Place : TestDirectory {
    using TestDirectory::TestDirectory;

    Node inspectOld(const std::string& name, const RunControl* control = nullptr) const {
        return inspect(fd.get(), name, futureCutoff(), device, control);
    }
    std::string refusalOf(const std::string& name, double cutoff) const {
        return outcome([&] { inspect(fd.get(), name, cutoff, device); });
    }
    std::string refusalOf(const std::string& name) const { return refusalOf(name, futureCutoff()); }
};

// The newest of modification, status-change and birth seconds, as the age
// rule reads them.
std::int64_t newestSeconds(const std::string& path) {
    platform::FileStatus status;
    if (!platform::statAt(AT_FDCWD, path, status)) throw std::runtime_error("statx " + path);
    std::int64_t newest = std::max<std::int64_t>(status.modified.tv_sec, status.changed.tv_sec);
    if (status.createdSeconds) newest = std::max(newest, *status.createdSeconds);
    return newest;
}

std::vector<std::string> childNames(const Node& node) {
    std::vector<std::string> result;
    for (const Node& child : node.children) result.push_back(child.name);
    return result;
}

// ---- what a node records ---------------------------------------------------

using InspectRecord = FsTest;

TEST_F(InspectRecord, FileNodeHoldsTheStatusLookedUpByName) {
    Place place("record");
    t::writeFile(place / "file", std::string(10000, 'x'));
    const struct stat status = lookUp(place / "file");
    const Node node = place.inspectOld("file");
    EXPECT_EQ(node.name, "file");
    EXPECT_EQ(node.inode, status.st_ino);
    EXPECT_EQ(node.device, status.st_dev);
    EXPECT_FALSE(node.directory);
    EXPECT_TRUE(sameTime(node.modified, status.st_mtim));
    EXPECT_TRUE(sameTime(node.changed, status.st_ctim));
    EXPECT_EQ(node.bytes, static_cast<std::int64_t>(status.st_blocks) * 512);
    EXPECT_GT(node.bytes, 0);
    EXPECT_TRUE(node.children.empty());
    EXPECT_EQ(fileCount(node), 1);
}

TEST_F(InspectRecord, DirectoryTreeIsDepthFirstInSortedOrderWithSummedBytes) {
    Place place("tree");
    const std::string top = place / "top";
    t::makeDirectory(top + "/b");
    t::makeDirectory(top + "/empty");
    t::writeFile(top + "/C", std::string(5000, 'c'));
    t::writeFile(top + "/a", "a");
    t::writeFile(top + "/b/y", std::string(20000, 'y'));
    t::writeFile(top + "/b/x", "");
    const std::vector<std::string> all = {top,        top + "/b", top + "/empty", top + "/C",
                                          top + "/a", top + "/b/y", top + "/b/x"};
    std::int64_t expectedBytes = 0;
    std::vector<struct stat> before;
    for (const std::string& path : all) {
        expectedBytes += allocatedBytes(path);
        before.push_back(lookUp(path));
    }

    const Node node = place.inspectOld("top");
    EXPECT_TRUE(node.directory);
    EXPECT_EQ(childNames(node), (std::vector<std::string>{"C", "a", "b", "empty"}));
    EXPECT_EQ(childNames(node.children[2]), (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(node.children[2].bytes,
              allocatedBytes(top + "/b") + allocatedBytes(top + "/b/x") + allocatedBytes(top + "/b/y"));
    EXPECT_EQ(node.bytes, expectedBytes);
    EXPECT_EQ(fileCount(node), 4);
    EXPECT_EQ(node.children[2].children[1].inode, lookUp(top + "/b/y").st_ino);

    // Nothing on disk was changed by the inspection.
    for (std::size_t i = 0; i < all.size(); ++i) {
        const struct stat after = lookUp(all[i]);
        EXPECT_EQ(after.st_ino, before[i].st_ino) << all[i];
        EXPECT_TRUE(sameTime(after.st_mtim, before[i].st_mtim)) << all[i];
        EXPECT_TRUE(sameTime(after.st_ctim, before[i].st_ctim)) << all[i];
    }
}

TEST_F(InspectRecord, EmptyDirectoryHasNoChildrenNoFilesAndItsOwnBytes) {
    Place place("emptydir");
    t::makeDirectory(place / "empty");
    const Node node = place.inspectOld("empty");
    EXPECT_TRUE(node.directory);
    EXPECT_TRUE(node.children.empty());
    EXPECT_EQ(fileCount(node), 0);
    EXPECT_EQ(node.bytes, allocatedBytes(place / "empty"));
}

TEST_F(InspectRecord, DirectoriesAreAcceptedWithAnyLinkCount) {
    Place place("dirlinks");
    for (const char* sub : {"/many/a", "/many/b", "/many/c"}) t::makeDirectory(place.path + sub);
    ASSERT_GT(lookUp(place / "many").st_nlink, 2u);
    EXPECT_EQ(place.refusalOf("many"), "no error");
}

// ---- ownership and kind ----------------------------------------------------

using InspectKind = FsTest;

TEST_F(InspectKind, HardLinkedFileIsRefusedAlsoInsideADirectory) {
    Place place("hardlink");
    t::makeDirectory(place / "dir");
    t::writeFile(place / "dir/file", "payload");
    t::makeHardLink(place / "dir/file", place / "second");
    EXPECT_EQ(place.refusalOf("second"), text::ineligibleItem);
    EXPECT_EQ(place.refusalOf("dir"), text::ineligibleItem);
    // With its second link gone the same file passes.
    ASSERT_EQ(::unlink((place / "second").c_str()), 0);
    EXPECT_EQ(place.refusalOf("dir"), "no error");
}

TEST_F(InspectKind, SymbolicLinksAreRefusedWhateverTheyPointAt) {
    Place place("symlinks");
    t::writeFile(place / "old-file", "payload");
    t::setModificationTime(place / "old-file", longAgo);
    t::makeDirectory(place / "old-dir");
    t::makeSymlink(place / "old-file", place / "to-file");
    t::makeSymlink("old-dir", place / "to-dir");
    t::makeSymlink(place / "missing", place / "dangling");
    for (const char* name : {"to-file", "to-dir", "dangling"}) EXPECT_EQ(place.refusalOf(name), text::ineligibleItem) << name;
    t::makeDirectory(place / "holder");
    t::makeSymlink(place / "old-file", place / "holder/link");
    EXPECT_EQ(place.refusalOf("holder"), text::ineligibleItem);
}

TEST_F(InspectKind, PipesSocketsAndDevicesAreRefused) {
    Place place("special");
    ASSERT_EQ(::mkfifo((place / "pipe").c_str(), 0600), 0);
    EXPECT_EQ(place.refusalOf("pipe"), text::ineligibleItem);

    const platform::Descriptor sock(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = place / "socket";
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    ASSERT_EQ(::bind(sock.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(place.refusalOf("socket"), text::ineligibleItem);

    if (::mknod((place / "null").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0) {
        EXPECT_EQ(place.refusalOf("null"), text::ineligibleItem);
    }
}

TEST_F(InspectKind, ItemsOfAnotherOwnerAreRefusedAtAnyDepth) {
    if (::getuid() != 0) GTEST_SKIP() << "needs root to give items away";
    Place place("owner");
    t::writeFile(place / "file", "payload");
    t::makeDirectory(place / "dir");
    t::makeDirectory(place / "tree/a/b");
    t::writeFile(place / "tree/a/b/deep", "payload");
    t::writeFile(place / "tree/z", "payload");
    ASSERT_TRUE(giveToNobody(place / "file"));
    ASSERT_TRUE(giveToNobody(place / "dir"));
    ASSERT_TRUE(giveToNobody(place / "tree/a/b/deep"));
    EXPECT_EQ(place.refusalOf("file"), text::ineligibleItem);
    EXPECT_EQ(place.refusalOf("dir"), text::ineligibleItem);
    EXPECT_EQ(place.refusalOf("tree"), text::ineligibleItem);
}

TEST_F(InspectKind, ItemsOnAnotherDeviceAreRefused) {
    Place place("device");
    t::writeFile(place / "file", "payload");
    t::makeDirectory(place / "dir/sub");
    const dev_t other = place.device + 1;
    EXPECT_EQ(outcome([&] { inspect(place.fd.get(), "file", futureCutoff(), other); }), text::ineligibleItem);
    EXPECT_EQ(outcome([&] { inspect(place.fd.get(), "dir", futureCutoff(), other); }), text::ineligibleItem);
    // A real mount point: /proc is its own file system.
    if (::getuid() == 0 && deviceOf("/proc") != deviceOf("/")) {
        const platform::Descriptor root = openDirectory("/");
        EXPECT_EQ(outcome([&] { inspect(root.get(), "proc", futureCutoff(), deviceOf("/")); }), text::ineligibleItem);
    }
}

TEST_F(InspectKind, MissingItemsCannotBeInspected) {
    Place place("missing");
    EXPECT_EQ(place.refusalOf("missing"), text::cannotInspectItem);
    EXPECT_EQ(place.refusalOf(""), text::cannotInspectItem);
}

TEST_F(InspectKind, NamesThatAreNotOneEntryAreRefused) {
    // A name with a slash would be walked by the kernel, through a link in
    // its middle; "." and ".." name the parent and its parent; a NUL would
    // cut the name short and find another item.
    Place place("entryname");
    t::makeDirectory(place / "real");
    writeOldFile(place / "real/file", "payload");
    writeOldFile(place / "file", "payload");
    t::makeSymlink("real", place / "link");
    for (const std::string& name : {std::string("link/file"), std::string("real/file"), std::string("."),
                                    std::string(".."), std::string("file\0x", 6)})
        EXPECT_EQ(place.refusalOf(name), text::cannotInspectItem) << name;
}

// ---- the age rule ----------------------------------------------------------

using InspectAge = FsTest;

TEST_F(InspectAge, CutoffIsExclusiveInWholeSeconds) {
    Place place("cutoff");
    t::writeFile(place / "file", "payload");
    const auto newest = static_cast<double>(newestSeconds(place / "file"));
    EXPECT_EQ(place.refusalOf("file", newest), text::recentlyChanged);
    EXPECT_EQ(place.refusalOf("file", newest - 1), text::recentlyChanged);
    EXPECT_EQ(place.refusalOf("file", newest + 1), "no error");
    EXPECT_EQ(place.refusalOf("file", newest + 0.5), "no error");
}

TEST_F(InspectAge, NanosecondsPlayNoPart) {
    // A modification time of F.999999999 counts as F: a cutoff of F + 0.5
    // lets it pass.
    Place place("nanos");
    t::writeFile(place / "file", "payload");
    const auto future = static_cast<time_t>(t::now()) + 1000;
    setTimes(place / "file", timespec{future, 0}, timespec{future, 999999999});
    EXPECT_EQ(place.refusalOf("file", static_cast<double>(future)), text::recentlyChanged);
    EXPECT_EQ(place.refusalOf("file", static_cast<double>(future) + 0.5), "no error");
}

TEST_F(InspectAge, AccessTimeIsNotLookedAt) {
    Place place("atime");
    t::writeFile(place / "file", "payload");
    const auto future = static_cast<time_t>(t::now()) + 1000;
    setTimes(place / "file", timespec{future, 0}, timespec{static_cast<time_t>(longAgo), 0});
    EXPECT_EQ(place.refusalOf("file"), "no error");
}

TEST_F(InspectAge, FutureModificationTimeIsRecent) {
    Place place("futuremtime");
    t::writeFile(place / "file", "payload");
    t::setModificationTime(place / "file", t::now() + 1000);
    EXPECT_EQ(place.refusalOf("file"), text::recentlyChanged);
}

TEST_F(InspectAge, RecentStatusChangeOnAnOldFileIsRefused) {
    Place place("ctime");
    writeOldFile(place / "changed", "payload");
    writeOldFile(place / "untouched", "payload");
    waitPastSecond(std::max(newestSeconds(place / "changed"), newestSeconds(place / "untouched")));
    ASSERT_EQ(::chmod((place / "changed").c_str(), 0600), 0);
    // Only the status-change time moved on: the modification time is still
    // from 2001.
    ASSERT_EQ(lookUp(place / "changed").st_mtim.tv_sec, static_cast<time_t>(longAgo));
    const auto cutoff = static_cast<double>(lookUp(place / "changed").st_ctim.tv_sec);
    EXPECT_EQ(place.refusalOf("changed", cutoff), text::recentlyChanged);
    EXPECT_EQ(place.refusalOf("untouched", cutoff), "no error");
}

TEST_F(InspectAge, DirectoryThatRecentlyLostOrGainedAnEntryIsRefused) {
    Place place("direntries");
    for (const char* dir : {"lost", "gained", "control"}) {
        t::makeDirectory(place / dir);
        writeOldFile(place / (std::string(dir) + "/a"), "payload");
        writeOldFile(place / (std::string(dir) + "/b"), "payload");
        t::setModificationTime(place / dir, longAgo);
    }
    writeOldFile(place / "elsewhere", "payload");
    std::int64_t newest = 0;
    for (const char* item : {"lost", "gained", "control", "lost/a", "lost/b", "gained/a", "gained/b", "control/a",
                             "control/b", "elsewhere"})
        newest = std::max(newest, newestSeconds(place / item));
    waitPastSecond(newest);
    ASSERT_EQ(::unlink((place / "lost/b").c_str()), 0);
    // The arrival is a second link of a file: were the children looked at
    // before the directory's own times, the message would be "Linked, ...".
    t::makeHardLink(place / "elsewhere", place / "gained/c");
    const auto cutoff = static_cast<double>(
        std::min(lookUp(place / "lost").st_mtim.tv_sec, lookUp(place / "gained").st_mtim.tv_sec));
    ASSERT_GT(cutoff, static_cast<double>(newest));
    EXPECT_EQ(place.refusalOf("lost", cutoff), text::recentlyChanged);
    EXPECT_EQ(place.refusalOf("gained", cutoff), text::recentlyChanged);
    EXPECT_EQ(place.refusalOf("control", cutoff), "no error");
}

TEST_F(InspectAge, DirectoryOwnTimesAreCheckedBeforeItsChildren) {
    Place place("dirfirst");
    t::makeDirectory(place / "dir");
    ASSERT_EQ(::mkfifo((place / "dir/pipe").c_str(), 0600), 0);
    t::setModificationTime(place / "dir", t::now() + 1000);
    EXPECT_EQ(place.refusalOf("dir"), text::recentlyChanged);
}

TEST_F(InspectAge, RecentFileDeepInAnOldTreeFailsTheWholeTree) {
    Place place("deeprecent");
    t::makeDirectory(place / "top/a/b/c/d");
    t::makeDirectory(place / "top/z");
    for (const char* file : {"top/first", "top/a/one", "top/a/b/two", "top/a/b/c/d/deep", "top/z/last"})
        writeOldFile(place / file, "payload");
    t::setModificationTime(place / "top/a/b/c/d/deep", t::now() + 1000);
    EXPECT_EQ(place.refusalOf("top"), text::recentlyChanged);
    // The rest of the tree on its own is fine.
    const platform::Descriptor z = openDirectory(place / "top");
    EXPECT_EQ(outcome([&] { inspect(z.get(), "z", futureCutoff(), place.device); }), "no error");
    EXPECT_EQ(outcome([&] { inspect(z.get(), "first", futureCutoff(), place.device); }), "no error");
}

TEST_F(InspectAge, FirstFailingItemInSortedOrderGivesTheMessage) {
    Place place("firstfailure");
    t::makeDirectory(place / "one");
    t::makeSymlink("/", place / "one/a-link");
    t::writeFile(place / "one/b-recent", "payload");
    t::setModificationTime(place / "one/b-recent", t::now() + 1000);
    t::makeDirectory(place / "two");
    t::makeSymlink("/", place / "two/b-link");
    t::writeFile(place / "two/a-recent", "payload");
    t::setModificationTime(place / "two/a-recent", t::now() + 1000);
    EXPECT_EQ(place.refusalOf("one"), text::ineligibleItem);
    EXPECT_EQ(place.refusalOf("two"), text::recentlyChanged);
}

// ---- names that cannot be looked up again ---------------------------------

using InspectNames = FsTest;

TEST_F(InspectNames, NamesThatAreNotUtf8AreRefusedAndNothingElseIsTakenInTheirPlace) {
    Place place("badnames");
    t::makeDirectory(place / "mixed");
    writeOldFile(place / "mixed/\xFF", "invalid name");
    writeOldFile(place / ("mixed/" + replacement), "literal U+FFFD");
    const platform::Descriptor mixed = openDirectory(place / "mixed");
    const std::vector<std::string> listed = names(mixed.get());
    ASSERT_EQ(listed, (std::vector<std::string>{replacement, replacement}));
    // Looking the listed name up would find the literal U+FFFD file, which is
    // not the one the first entry stands for: it is refused instead.
    for (const std::string& name : listed)
        EXPECT_EQ(outcome([&] { inspect(mixed.get(), name, futureCutoff(), place.device); }), text::cannotInspectItem);
    EXPECT_EQ(place.refusalOf("mixed"), text::cannotInspectItem);
    EXPECT_EQ(t::readFile(place / "mixed/\xFF"), "invalid name");
    EXPECT_EQ(t::readFile(place / ("mixed/" + replacement)), "literal U+FFFD");
}

TEST_F(InspectNames, AnyNameWithAReplacementCharacterIsRefused) {
    Place place("fffd");
    t::makeDirectory(place / "invalid-only");
    writeOldFile(place / "invalid-only/x\xFEy", "payload");
    t::makeDirectory(place / "literal-only");
    writeOldFile(place / ("literal-only/x" + replacement + "y"), "payload");
    EXPECT_EQ(place.refusalOf("invalid-only"), text::cannotInspectItem);
    EXPECT_EQ(place.refusalOf("literal-only"), text::cannotInspectItem);
    EXPECT_TRUE(t::exists(place / "invalid-only/x\xFEy"));
}

TEST_F(InspectNames, DecomposedNamesAreLookedUpWithTheirOwnBytes) {
    Place place("nfd");
    t::makeDirectory(place / "dir");
    writeOldFile(place / "dir/a\xCC\x88", "payload");
    const Node node = place.inspectOld("dir");
    EXPECT_EQ(childNames(node), (std::vector<std::string>{"a\xCC\x88"}));
}

// ---- cancellation and failure paths ---------------------------------------

using InspectFailure = FsTest;

TEST_F(InspectFailure, CancelledRunThrowsBeforeTheLookUp) {
    Place place("cancel");
    t::makeDirectory(place / "dir");
    RunControl control;
    control.cancel();
    EXPECT_EQ(outcome([&] { place.inspectOld("missing", &control); }), "CleanCancelled");
    EXPECT_EQ(outcome([&] { place.inspectOld("dir", &control); }), "CleanCancelled");
    RunControl running;
    EXPECT_EQ(outcome([&] { place.inspectOld("dir", &running); }), "no error");
}

TEST_F(InspectFailure, UnreadableDirectoryCannotBeOpened) {
    if (::getuid() != 0) GTEST_SKIP() << "needs root to give items away";
    Place place("unreadable");
    t::makeDirectory(place / "locked");
    t::writeFile(place / "owned-by-root", "payload");
    ASSERT_EQ(::chmod((place / "locked").c_str(), 0300), 0); // search and write, no read
    ASSERT_TRUE(giveToNobody(place / "locked"));
    bool skipped = false;
    const std::string result = runAsNobody(
        [&] {
            const int before = t::openDescriptorCount();
            std::string text = place.refusalOf("locked") + "|" + place.refusalOf("owned-by-root");
            if (t::openDescriptorCount() != before) text += " (descriptor left open)";
            return text;
        },
        skipped);
    if (skipped) GTEST_SKIP() << "needs root and a 'nobody' account";
    EXPECT_EQ(result, std::string(text::cannotOpenItem) + "|" + text::ineligibleItem);
}

TEST_F(InspectFailure, OpenedDirectoryMustBeTheOneLookedUp) {
    // Two directories trade places as fast as they can while "x" is
    // inspected over and over. Whatever comes back must be consistent: a node
    // recorded with the inode of one directory holds that directory's
    // entries, never the other's.
    Place place("swap");
    t::makeDirectory(place / "x");
    t::makeDirectory(place / "y");
    writeOldFile(place / "x/only-in-first", "payload");
    writeOldFile(place / "y/only-in-second", "payload");
    const ino_t first = lookUp(place / "x").st_ino;
    std::atomic<bool> stop{false};
    std::thread swapper([&] {
        while (!stop) ::renameat2(place.fd.get(), "x", place.fd.get(), "y", RENAME_EXCHANGE);
    });
    int succeeded = 0, caught = 0, inconsistent = 0;
    std::string unexpected;
    const double until = t::now() + 2.0;
    while (t::now() < until) {
        try {
            const Node node = place.inspectOld("x");
            ++succeeded;
            const std::string expected = node.inode == first ? "only-in-first" : "only-in-second";
            if (node.children.size() != 1 || node.children[0].name != expected) ++inconsistent;
        } catch (const SafetyError& error) {
            if (error.reason() == text::itemChangedDuringCheck) ++caught;
            else if (error.reason() != text::cannotInspectItem) unexpected = error.reason();
        }
    }
    stop = true;
    swapper.join();
    EXPECT_EQ(inconsistent, 0);
    EXPECT_EQ(unexpected, "");
    EXPECT_GT(succeeded, 0);
    std::printf("  swap race: %d consistent inspections, %d swaps caught by the identity check\n", succeeded, caught);
}

} // namespace
} // namespace quillon::fstest
