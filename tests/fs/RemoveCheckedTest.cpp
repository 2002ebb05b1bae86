// removeChecked deletes exactly what an inspection recorded,
// comparing the disk with the record right before each single deletion; the
// first difference stops the whole tree, and what went before stays deleted
// and counted.

#include "tests/fs/FsTestSupport.h"

#include <cstdio>

namespace quillon::fstest {
namespace {

struct Place : TestDirectory {
    using TestDirectory::TestDirectory;

    Node plan(const std::string& name) const { return inspect(fd.get(), name, futureCutoff(), device); }

    std::string remove(const Node& node, std::int64_t& removed, const RunControl* control = nullptr) const {
        return outcome([&] { removeChecked(fd.get(), node, removed, control); });
    }
};

// Makes `dir` with old files `names`, each holding `size` bytes, and old
// times on the directory itself.
void makeOldDirectory(const std::string& dir, const std::vector<std::string>& names, std::size_t size = 100) {
    t::makeDirectory(dir);
    for (const std::string& name : names) writeOldFile(dir + "/" + name, std::string(size, 'p'));
    t::setModificationTime(dir, longAgo);
}

// Waits long enough that a change made now gets a different status-change
// time even where time stamps are coarse.
void letTheClockMove() { std::this_thread::sleep_for(std::chrono::milliseconds(20)); }

// ---- complete removals -----------------------------------------------------

using RemoveWhole = FsTest;

TEST_F(RemoveWhole, TreeGoesAndTheCounterGrowsByItsRecordedBytes) {
    Place place("whole");
    const std::string top = place / "top";
    t::makeDirectory(top + "/a");
    t::makeDirectory(top + "/b-empty");
    t::makeDirectory(top + "/d/e");
    t::writeFile(top + "/a/x", std::string(9000, 'x'));
    t::writeFile(top + "/a/y", "y");
    t::writeFile(top + "/c", std::string(70000, 'c'));
    t::writeFile(top + "/d/e/f", "f");
    t::writeFile(place / "neighbour", "stays");
    const Node node = place.plan("top");
    std::int64_t removed = 1000; // the counter is added to, never reset
    EXPECT_EQ(place.remove(node, removed), "no error");
    EXPECT_EQ(removed, 1000 + node.bytes);
    EXPECT_FALSE(t::exists(top));
    EXPECT_EQ(t::readFile(place / "neighbour"), "stays");
    EXPECT_EQ(names(place.fd.get()), (std::vector<std::string>{"neighbour"}));
}

TEST_F(RemoveWhole, SingleFileAndEmptyDirectory) {
    Place place("single");
    t::writeFile(place / "file", std::string(5000, 'f'));
    t::makeDirectory(place / "empty");
    const Node file = place.plan("file");
    const Node empty = place.plan("empty");
    std::int64_t removed = 0;
    EXPECT_EQ(place.remove(file, removed), "no error");
    EXPECT_EQ(removed, file.bytes);
    EXPECT_EQ(place.remove(empty, removed), "no error");
    EXPECT_EQ(removed, file.bytes + empty.bytes);
    EXPECT_TRUE(names(place.fd.get()).empty());
}

// ---- a file that changed after planning stays -----------------------------

using RemoveChangedFile = FsTest;

TEST_F(RemoveChangedFile, RewrittenFileStays) {
    Place place("rewritten");
    writeOldFile(place / "file", "planned");
    const Node node = place.plan("file");
    t::writeFile(place / "file", "rewritten"); // same inode, new times
    ASSERT_EQ(lookUp(place / "file").st_ino, node.inode);
    std::int64_t removed = 0;
    EXPECT_EQ(place.remove(node, removed), text::itemChangedDuringCleanup);
    EXPECT_EQ(removed, 0);
    EXPECT_EQ(t::readFile(place / "file"), "rewritten");
}

TEST_F(RemoveChangedFile, FileReplacedByAnotherInodeStays) {
    Place place("replaced");
    writeOldFile(place / "file", "planned");
    const Node node = place.plan("file");
    writeOldFile(place / "other", "replacement"); // same old modification time
    ASSERT_EQ(::rename((place / "other").c_str(), (place / "file").c_str()), 0);
    std::int64_t removed = 0;
    EXPECT_EQ(place.remove(node, removed), text::itemChangedDuringCleanup);
    EXPECT_EQ(removed, 0);
    EXPECT_EQ(t::readFile(place / "file"), "replacement");
}

TEST_F(RemoveChangedFile, FileReplacedByASymbolicLinkStaysAndItsTargetToo) {
    Place place("filelink");
    writeOldFile(place / "file", "planned");
    writeOldFile(place / "target", "target");
    const Node node = place.plan("file");
    ASSERT_EQ(::unlink((place / "file").c_str()), 0);
    t::makeSymlink(place / "target", place / "file");
    std::int64_t removed = 0;
    EXPECT_EQ(place.remove(node, removed), text::itemChangedDuringCleanup);
    EXPECT_TRUE(t::exists(place / "file"));
    EXPECT_EQ(t::readFile(place / "target"), "target");
}

TEST_F(RemoveChangedFile, GoneFileStopsTheRemoval) {
    Place place("gone");
    writeOldFile(place / "file", "planned");
    const Node node = place.plan("file");
    ASSERT_EQ(::unlink((place / "file").c_str()), 0);
    std::int64_t removed = 0;
    EXPECT_EQ(place.remove(node, removed), text::itemChangedDuringCleanup);
    EXPECT_EQ(removed, 0);
}

TEST_F(RemoveChangedFile, RecordNamesThatAreNotOneEntryAreRefused) {
    // Records made by hand with the true identity of real/file, under names
    // that would reach it through a link or a walk.
    Place place("entryname");
    t::makeDirectory(place / "real");
    writeOldFile(place / "real/file", "payload");
    t::makeSymlink("real", place / "link");
    const platform::Descriptor real = openDirectory(place / "real");
    const Node truth = inspect(real.get(), "file", futureCutoff(), place.device);
    std::int64_t removed = 0;
    for (const std::string& name : {std::string("link/file"), std::string("real/file"), std::string("../real/file")}) {
        Node node = truth;
        node.name = name;
        EXPECT_EQ(place.remove(node, removed), text::itemChangedDuringCleanup) << name;
    }
    Node dot = place.plan("real");
    dot.name = ".";
    EXPECT_EQ(outcome([&] { removeChecked(real.get(), dot, removed); }), text::itemChangedDuringCleanup);
    EXPECT_EQ(removed, 0);
    EXPECT_EQ(t::readFile(place / "real/file"), "payload");
}

TEST_F(RemoveChangedFile, StatusChangeAloneKeepsTheFile) {
    Place place("chmod");
    writeOldFile(place / "file", "planned");
    const Node node = place.plan("file");
    letTheClockMove();
    ASSERT_EQ(::chmod((place / "file").c_str(), 0600), 0);
    ASSERT_FALSE(sameTime(lookUp(place / "file").st_ctim, node.changed));
    std::int64_t removed = 0;
    EXPECT_EQ(place.remove(node, removed), text::itemChangedDuringCleanup);
    EXPECT_TRUE(t::exists(place / "file"));
}

TEST_F(RemoveChangedFile, FileGivenToAnotherOwnerStays) {
    if (::getuid() != 0) GTEST_SKIP() << "needs root to give items away";
    Place place("chown");
    writeOldFile(place / "file", "planned");
    const Node node = place.plan("file");
    ASSERT_TRUE(giveToNobody(place / "file"));
    std::int64_t removed = 0;
    EXPECT_EQ(place.remove(node, removed), text::itemChangedDuringCleanup);
    EXPECT_TRUE(t::exists(place / "file"));
}

TEST_F(RemoveChangedFile, EveryRecordedIdentityFieldIsCompared) {
    // The disk is unchanged; the record differs in one field at a time.
    Place place("fields");
    writeOldFile(place / "file", "planned");
    t::makeDirectory(place / "dir");
    const Node file = place.plan("file");
    const Node dir = place.plan("dir");
    const auto otherNanos = [](long ns) { return ns == 0 ? 1L : ns - 1; };
    std::vector<std::pair<std::string, Node>> variants;
    for (const Node& original : {file, dir}) {
        Node n = original;
        n.inode += 1;
        variants.emplace_back(original.name + " inode", n);
        n = original;
        n.device += 1;
        variants.emplace_back(original.name + " device", n);
        n = original;
        n.modified.tv_sec += 1;
        variants.emplace_back(original.name + " modified seconds", n);
        n = original;
        n.modified.tv_nsec = otherNanos(n.modified.tv_nsec);
        variants.emplace_back(original.name + " modified nanoseconds", n);
        n = original;
        n.changed.tv_sec -= 1;
        variants.emplace_back(original.name + " changed seconds", n);
        n = original;
        n.changed.tv_nsec = otherNanos(n.changed.tv_nsec);
        variants.emplace_back(original.name + " changed nanoseconds", n);
        n = original;
        n.directory = !n.directory;
        variants.emplace_back(original.name + " type", n);
    }
    std::int64_t removed = 0;
    for (const auto& [label, node] : variants) EXPECT_EQ(place.remove(node, removed), text::itemChangedDuringCleanup) << label;
    EXPECT_EQ(removed, 0);
    EXPECT_TRUE(t::exists(place / "file"));
    EXPECT_TRUE(t::exists(place / "dir"));
    // The true records still remove both.
    EXPECT_EQ(place.remove(file, removed), "no error");
    EXPECT_EQ(place.remove(dir, removed), "no error");
    EXPECT_EQ(removed, file.bytes + dir.bytes);
}

// ---- a directory that changed after planning stays whole ------------------

using RemoveChangedDirectory = FsTest;

TEST_F(RemoveChangedDirectory, DirectoryGainingAnEntryStaysWhole) {
    Place place("gaining");
    makeOldDirectory(place / "dir", {"a", "b"});
    const Node node = place.plan("dir");
    writeOldFile(place / "dir/arrived", "new");
    std::int64_t removed = 0;
    // The directory's own modification time moved on, which step 2 sees
    // before the listing is compared.
    EXPECT_EQ(place.remove(node, removed), text::itemChangedDuringCleanup);
    EXPECT_EQ(removed, 0);
    EXPECT_EQ(names(openDirectory(place / "dir").get()), (std::vector<std::string>{"a", "arrived", "b"}));
}

TEST_F(RemoveChangedDirectory, DirectoryLosingAnEntryStaysWhole) {
    Place place("losing");
    makeOldDirectory(place / "dir", {"a", "b", "c"});
    const Node node = place.plan("dir");
    ASSERT_EQ(::unlink((place / "dir/b").c_str()), 0);
    std::int64_t removed = 0;
    EXPECT_EQ(place.remove(node, removed), text::itemChangedDuringCleanup);
    EXPECT_EQ(removed, 0);
    EXPECT_EQ(names(openDirectory(place / "dir").get()), (std::vector<std::string>{"a", "c"}));
}

TEST_F(RemoveChangedDirectory, NestedDirectoryGainingAnEntryStopsBeforeIt) {
    // Only the inner directory changed; its parent's times did not.
    Place place("nested");
    t::makeDirectory(place / "top");
    makeOldDirectory(place / "top/inner", {"x", "y"});
    t::setModificationTime(place / "top", longAgo);
    const Node node = place.plan("top");
    writeOldFile(place / "top/inner/z", "new");
    std::int64_t removed = 0;
    EXPECT_EQ(place.remove(node, removed), text::itemChangedDuringCleanup);
    EXPECT_EQ(removed, 0);
    EXPECT_EQ(names(openDirectory(place / "top/inner").get()), (std::vector<std::string>{"x", "y", "z"}));
}

TEST_F(RemoveChangedDirectory, ListingMustMatchThePlannedEntriesExactly) {
    // The directory itself is unchanged (its times too: a change inside one
    // time-stamp tick looks like this); the record's entries differ.
    Place place("listing");
    makeOldDirectory(place / "dir", {"a", "b", "c"});
    const Node planned = place.plan("dir");
    std::vector<std::pair<std::string, Node>> variants;
    Node n = planned;
    n.children.erase(n.children.begin() + 1); // an entry arrived after planning
    variants.emplace_back("entry arrived", n);
    n = planned;
    n.children.push_back(Node{"d", 1, planned.device, false, {}, {}, 0, {}}); // an entry vanished
    variants.emplace_back("entry vanished", n);
    n = planned;
    n.children[2].name = "c2"; // same count, other name
    variants.emplace_back("entry renamed", n);
    n = planned;
    std::swap(n.children[0], n.children[1]); // other order
    variants.emplace_back("entries reordered", n);
    std::int64_t removed = 0;
    for (const auto& [label, node] : variants) EXPECT_EQ(place.remove(node, removed), text::directoryChanged) << label;
    EXPECT_EQ(removed, 0);
    EXPECT_EQ(names(openDirectory(place / "dir").get()), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(place.remove(planned, removed), "no error");
    EXPECT_EQ(removed, planned.bytes);
}

TEST_F(RemoveChangedDirectory, ThirdOfFiveChangedFilesStopsThere) {
    Place place("fifth");
    t::makeDirectory(place / "dir");
    const std::vector<std::string> files = {"f1", "f2", "f3", "f4", "f5"};
    for (std::size_t i = 0; i < files.size(); ++i)
        writeOldFile(place / ("dir/" + files[i]), std::string(5000 * (i + 1), 'p'));
    const Node node = place.plan("dir");
    ASSERT_EQ(node.children.size(), 5u);
    t::writeFile(place / "dir/f3", "changed after planning");
    std::int64_t removed = 0;
    EXPECT_EQ(place.remove(node, removed), text::itemChangedDuringCleanup);
    EXPECT_EQ(removed, node.children[0].bytes + node.children[1].bytes);
    EXPECT_GT(removed, 0);
    EXPECT_EQ(names(openDirectory(place / "dir").get()), (std::vector<std::string>{"f3", "f4", "f5"}));
    EXPECT_EQ(t::readFile(place / "dir/f3"), "changed after planning");
}

TEST_F(RemoveChangedDirectory, DirectorySwappedForASymbolicLinkLeavesTheTargetWhole) {
    Place place("swapped");
    makeOldDirectory(place / "victim", {"a", "b"});
    makeOldDirectory(place / "target", {"a", "b"}); // same names as the planned ones
    const Node node = place.plan("victim");
    // The planned directory moves away and a link to it, and then a link to
    // another directory with the same entries, stands in its place.
    ASSERT_EQ(::rename((place / "victim").c_str(), (place / "moved").c_str()), 0);
    for (const char* target : {"moved", "target"}) {
        t::makeSymlink(target, place / "victim");
        std::int64_t removed = 0;
        EXPECT_EQ(place.remove(node, removed), text::itemChangedDuringCleanup) << target;
        EXPECT_EQ(removed, 0);
        EXPECT_EQ(names(openDirectory(place / target).get()), (std::vector<std::string>{"a", "b"})) << target;
        ASSERT_EQ(::unlink((place / "victim").c_str()), 0);
    }
}

TEST_F(RemoveChangedDirectory, SubdirectorySwappedForASymbolicLinkDeepInTheTree) {
    Place place("deepswap");
    t::makeDirectory(place / "top");
    makeOldDirectory(place / "top/a-first", {"file"});
    t::makeDirectory(place / "top/b");
    makeOldDirectory(place / "top/b/sub", {"x", "y"});
    t::setModificationTime(place / "top/b", longAgo);
    t::setModificationTime(place / "top", longAgo);
    makeOldDirectory(place / "outside", {"x", "y"});
    const Node node = place.plan("top");
    ASSERT_EQ(node.children[0].name, "a-first");
    ASSERT_EQ(::rename((place / "top/b/sub").c_str(), (place / "moved-sub").c_str()), 0);
    t::makeSymlink(place / "outside", place / "top/b/sub");
    std::int64_t removed = 0;
    EXPECT_EQ(place.remove(node, removed), text::itemChangedDuringCleanup);
    // a-first came before the change in sorted order: it is gone and counted.
    EXPECT_FALSE(t::exists(place / "top/a-first"));
    EXPECT_EQ(removed, node.children[0].bytes);
    EXPECT_EQ(names(openDirectory(place / "outside").get()), (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(names(openDirectory(place / "moved-sub").get()), (std::vector<std::string>{"x", "y"}));
    EXPECT_TRUE(t::exists(place / "top/b/sub"));
}

TEST_F(RemoveChangedDirectory, DirectoryReplacedByAFileStays) {
    Place place("dirtofile");
    makeOldDirectory(place / "dir", {});
    const Node node = place.plan("dir");
    ASSERT_EQ(::rmdir((place / "dir").c_str()), 0);
    writeOldFile(place / "dir", "a file now");
    std::int64_t removed = 0;
    EXPECT_EQ(place.remove(node, removed), text::itemChangedDuringCleanup);
    EXPECT_EQ(t::readFile(place / "dir"), "a file now");
}

// ---- cancellation ----------------------------------------------------------

using RemoveCancelled = FsTest;

TEST_F(RemoveCancelled, CancellingBetweenTwoFilesStopsBeforeTheSecond) {
    Place place("cancelbetween");
    t::makeDirectory(place / "dir");
    writeOldFile(place / "dir/first", std::string(5000, 'a'));
    writeOldFile(place / "dir/second", std::string(5000, 'b'));
    const platform::Descriptor dir = openDirectory(place / "dir");
    const Node first = inspect(dir.get(), "first", futureCutoff(), place.device);
    const Node second = inspect(dir.get(), "second", futureCutoff(), place.device);
    RunControl control;
    std::int64_t removed = 0;
    EXPECT_EQ(outcome([&] { removeChecked(dir.get(), first, removed, &control); }), "no error");
    EXPECT_EQ(removed, first.bytes);
    control.cancel();
    EXPECT_EQ(outcome([&] { removeChecked(dir.get(), second, removed, &control); }), "CleanCancelled");
    EXPECT_EQ(removed, first.bytes);
    EXPECT_EQ(names(dir.get()), (std::vector<std::string>{"second"}));
}

TEST_F(RemoveCancelled, CancelledRunRemovesNothing) {
    Place place("cancelled");
    makeOldDirectory(place / "dir", {"a", "b"});
    const Node node = place.plan("dir");
    RunControl control;
    control.cancel();
    std::int64_t removed = 0;
    EXPECT_EQ(place.remove(node, removed, &control), "CleanCancelled");
    EXPECT_EQ(removed, 0);
    EXPECT_EQ(names(openDirectory(place / "dir").get()), (std::vector<std::string>{"a", "b"}));
    // The same token not cancelled lets it through.
    RunControl running;
    EXPECT_EQ(place.remove(node, removed, &running), "no error");
    EXPECT_EQ(removed, node.bytes);
}

// ---- failures of the system calls themselves ------------------------------

using RemoveRefused = FsTest;

TEST_F(RemoveRefused, ItemsThatCannotBeRemovedOrOpenedStayAndNothingLeaks) {
    // Root may remove anything, so these run as "nobody" in a directory that
    // belongs to it but that it may not write.
    if (::getuid() != 0) GTEST_SKIP() << "needs root to give items away";
    Place place("refused");
    const std::string locked = place / "locked";
    t::makeDirectory(locked + "/empty");
    t::makeDirectory(locked + "/closed");
    writeOldFile(locked + "/file", "payload");
    for (const char* item : {"", "/empty", "/closed", "/file"}) ASSERT_TRUE(giveToNobody(locked + item));
    ASSERT_EQ(::chmod((locked + "/closed").c_str(), 0), 0);
    ASSERT_EQ(::chmod(locked.c_str(), 0555), 0);
    const platform::Descriptor lockedFd = openDirectory(locked);
    // "closed" cannot be inspected by its owner (no read permission), so its
    // record is made by hand from its status.
    const struct stat closedStatus = lookUp(locked + "/closed");
    const Node closed{"closed",           closedStatus.st_ino, closedStatus.st_dev, true, closedStatus.st_mtim,
                      closedStatus.st_ctim, 0,                 {}};
    bool skipped = false;
    const std::string result = runAsNobody(
        [&] {
            const int before = t::openDescriptorCount();
            std::int64_t removed = 0;
            std::string text;
            for (const char* name : {"file", "empty"}) {
                text += outcome([&] {
                    const Node node = inspect(lockedFd.get(), name, futureCutoff(), place.device);
                    removeChecked(lockedFd.get(), node, removed);
                });
                text += "|";
            }
            text += outcome([&] { removeChecked(lockedFd.get(), closed, removed); });
            if (removed != 0) text += " (counted " + std::to_string(removed) + ")";
            if (t::openDescriptorCount() != before) text += " (descriptor left open)";
            return text;
        },
        skipped);
    if (skipped) GTEST_SKIP() << "needs a 'nobody' account";
    EXPECT_EQ(result, std::string(text::cannotRemoveFile) + "|" + text::cannotRemoveDirectory + "|" + text::cannotOpenItem);
    for (const char* item : {"/empty", "/closed", "/file"}) EXPECT_TRUE(t::exists(locked + item)) << item;
}

} // namespace
} // namespace quillon::fstest
