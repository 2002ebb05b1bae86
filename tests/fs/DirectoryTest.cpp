// openDirectory walks from "/" one component at a time and never follows a
// symbolic link; openVerified opens only the directory a look-up saw; names
// lists a directory sorted, whole, without "." and "..".

#include "tests/fs/FsTestSupport.h"

#include <cstring>
#include <sys/socket.h>

namespace quillon::fstest {
namespace {

std::string cannotOpen(const std::string& piece, int error) {
    return text::cannotOpenComponent + piece + ": " + std::strerror(error);
}

// The error number of a guarded open of `name` in `dir`: the platform's own
// answer for a symbolic link (ELOOP or ENOTDIR, depending on the system).
int guardedOpenError(const std::string& dir, const std::string& name) {
    const platform::Descriptor parent(::open(dir.c_str(), guardedOpenFlags));
    const platform::Descriptor child(::openat(parent.get(), name.c_str(), guardedOpenFlags));
    return child ? 0 : errno;
}

struct stat statOfDescriptor(int fd) {
    struct stat status {};
    if (::fstat(fd, &status) != 0) throw std::runtime_error("fstat");
    return status;
}

bool sameItem(int fd, const std::string& path) {
    const struct stat opened = statOfDescriptor(fd);
    const struct stat named = lookUp(path);
    return opened.st_ino == named.st_ino && opened.st_dev == named.st_dev;
}

// ---- openDirectory: what opens --------------------------------------------

using OpenDirectory = FsTest;

TEST_F(OpenDirectory, RootAloneOpensTheRoot) {
    const platform::Descriptor root = openDirectory("/");
    ASSERT_TRUE(root);
    EXPECT_TRUE(sameItem(root.get(), "/"));
}

TEST_F(OpenDirectory, RepeatedAndTrailingSlashesOpenTheSameDirectory) {
    const std::string base = t::freshDirectory("slashes");
    t::makeDirectory(base + "/a/b");
    const platform::Descriptor plain = openDirectory(base + "/a/b");
    const platform::Descriptor doubled = openDirectory("/" + base + "//a//b/");
    EXPECT_TRUE(sameItem(plain.get(), base + "/a/b"));
    EXPECT_TRUE(sameItem(doubled.get(), base + "/a/b"));
}

TEST_F(OpenDirectory, DescriptorCarriesTheGuardedFlags) {
    const std::string base = t::freshDirectory("flags");
    const platform::Descriptor fd = openDirectory(base);
    const int status = ::fcntl(fd.get(), F_GETFL);
    EXPECT_EQ(status & (O_ACCMODE | O_NOFOLLOW | O_DIRECTORY), O_RDONLY | O_NOFOLLOW | O_DIRECTORY);
    // Close-on-exec, or it would leak into ps and lsof.
    EXPECT_NE(::fcntl(fd.get(), F_GETFD) & FD_CLOEXEC, 0);
}

TEST_F(OpenDirectory, DeepPathOpensWithoutKeepingDescriptors) {
    std::string path = t::freshDirectory("deep");
    for (int level = 0; level < 40; ++level) path += "/d" + std::to_string(level);
    t::makeDirectory(path);
    const platform::Descriptor fd = openDirectory(path);
    EXPECT_TRUE(sameItem(fd.get(), path));
    // Only the result stays open.
    EXPECT_EQ(t::openDescriptorCount(), descriptorsBefore_ + 1);
}

// ---- openDirectory: what is refused ---------------------------------------

TEST_F(OpenDirectory, RelativeAndEmptyPathsAreInvalid) {
    for (const std::string path : {"", "tmp", "./tmp", "tmp/x", " /tmp"})
        EXPECT_EQ(outcome([&] { openDirectory(path); }), text::invalidPath) << "path '" << path << "'";
}

TEST_F(OpenDirectory, DotAndDotDotComponentsAreInvalid) {
    const std::string base = t::freshDirectory("dots");
    t::makeDirectory(base + "/a");
    t::makeDirectory(base + "/b");
    // /a/../b would name an existing directory; it must still be refused,
    // after the descriptor already opened for a has been closed (FsTest
    // checks the count).
    EXPECT_EQ(outcome([&] { openDirectory(base + "/a/../b"); }), text::invalidPath);
    EXPECT_EQ(outcome([&] { openDirectory(base + "/a/./b"); }), text::invalidPath);
    EXPECT_EQ(outcome([&] { openDirectory(base + "/a/.."); }), text::invalidPath);
    EXPECT_EQ(outcome([&] { openDirectory("/.."); }), text::invalidPath);
    EXPECT_EQ(outcome([&] { openDirectory("/."); }), text::invalidPath);
    // Names that merely begin with dots are ordinary components.
    t::makeDirectory(base + "/...");
    t::makeDirectory(base + "/..hidden");
    EXPECT_EQ(outcome([&] { openDirectory(base + "/.../"); }), "no error");
    EXPECT_EQ(outcome([&] { openDirectory(base + "/..hidden"); }), "no error");
}

TEST_F(OpenDirectory, ComponentsAreWalkedInOrder) {
    // The missing first component fails before the ".." after it is seen.
    const std::string base = t::freshDirectory("order");
    EXPECT_EQ(outcome([&] { openDirectory(base + "/missing/../b"); }), cannotOpen("missing", ENOENT));
}

TEST_F(OpenDirectory, SymbolicLinkAsLastComponentIsRefused) {
    const std::string base = t::freshDirectory("lastlink");
    t::makeDirectory(base + "/real");
    t::makeSymlink(base + "/real", base + "/link");
    const int error = guardedOpenError(base, "link");
    ASSERT_NE(error, 0);
    EXPECT_EQ(outcome([&] { openDirectory(base + "/link"); }), cannotOpen("link", error));
    EXPECT_EQ(outcome([&] { openDirectory(base + "/link/"); }), cannotOpen("link", error));
}

TEST_F(OpenDirectory, SymbolicLinkAsMiddleComponentIsRefused) {
    const std::string base = t::freshDirectory("middlelink");
    t::makeDirectory(base + "/real/inner");
    t::makeSymlink("real", base + "/link"); // relative target, too
    const int error = guardedOpenError(base, "link");
    ASSERT_NE(error, 0);
    EXPECT_EQ(outcome([&] { openDirectory(base + "/link/inner"); }), cannotOpen("link", error));
}

TEST_F(OpenDirectory, FileAndMissingComponentsAreRefusedByName) {
    const std::string base = t::freshDirectory("notdir");
    t::writeFile(base + "/file", "x");
    EXPECT_EQ(outcome([&] { openDirectory(base + "/file"); }), cannotOpen("file", ENOTDIR));
    EXPECT_EQ(outcome([&] { openDirectory(base + "/file/below"); }), cannotOpen("file", ENOTDIR));
    EXPECT_EQ(outcome([&] { openDirectory(base + "/missing/below"); }), cannotOpen("missing", ENOENT));
}

TEST_F(OpenDirectory, ComponentWithoutPermissionIsRefusedByName) {
    // "locked" is root's and private (0700): "nobody" cannot open it.
    const std::string base = t::freshDirectory("permission");
    t::makeDirectory(base + "/locked/inner");
    ASSERT_EQ(::chmod((base + "/locked").c_str(), 0700), 0);
    bool skipped = false;
    const std::string result = runAsNobody(
        [&] {
            const int before = t::openDescriptorCount();
            std::string text = outcome([&] { openDirectory(base + "/locked/inner"); });
            if (t::openDescriptorCount() != before) text += " (descriptor left open)";
            return text;
        },
        skipped);
    if (skipped) GTEST_SKIP() << "needs root and a 'nobody' account";
    EXPECT_EQ(result, cannotOpen("locked", EACCES));
}

// ---- openVerified: the open that must find what the look-up saw ------------

using OpenVerified = FsTest;

TEST_F(OpenVerified, OpensOnlyTheDirectoryThatWasLookedAt) {
    const std::string base = t::freshDirectory("verified");
    t::makeDirectory(base + "/dir");
    t::makeDirectory(base + "/other");
    t::writeFile(base + "/file", "payload");
    t::makeSymlink(base + "/dir", base + "/link");
    platform::FileStatus dir, other, file;
    const platform::Descriptor parent = openDirectory(base);
    ASSERT_TRUE(platform::statAt(parent.get(), "dir", dir) && platform::statAt(parent.get(), "other", other) &&
                platform::statAt(parent.get(), "file", file));
    platform::FileStatus otherDevice = dir, otherInode = dir;
    otherDevice.device += 1;
    otherInode.inode += 1;

    struct Case {
        const char* label;
        const char* name;
        platform::FileStatus looked;
        VerifiedOpen expected;
    };
    const Case cases[] = {
        {"the same directory", "dir", dir, VerifiedOpen::opened},
        {"another directory in its place", "dir", other, VerifiedOpen::changed},
        {"same inode, other device", "dir", otherDevice, VerifiedOpen::changed},
        {"same device, other inode", "dir", otherInode, VerifiedOpen::changed},
        {"a link to it in its place", "link", dir, VerifiedOpen::cannotOpen},
        {"a file", "file", file, VerifiedOpen::cannotOpen},
        {"gone", "missing", dir, VerifiedOpen::cannotOpen},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const VerifiedDirectory opened = openVerified(parent.get(), c.name, c.looked);
        EXPECT_EQ(opened.outcome, c.expected);
        EXPECT_EQ(static_cast<bool>(opened.descriptor), c.expected == VerifiedOpen::opened);
        if (opened.descriptor) {
            EXPECT_TRUE(sameItem(opened.descriptor.get(), base + "/dir"));
            const int flags = ::fcntl(opened.descriptor.get(), F_GETFL);
            EXPECT_EQ(flags & (O_ACCMODE | O_NOFOLLOW | O_DIRECTORY), O_RDONLY | O_NOFOLLOW | O_DIRECTORY);
            EXPECT_EQ(::fcntl(opened.descriptor.get(), F_GETFD), FD_CLOEXEC);
        }
    }
}

// ---- names -------------------------------------------------------------------

using Names = FsTest;

std::vector<std::string> listing(const std::string& path, const RunControl* control = nullptr) {
    const platform::Descriptor fd = openDirectory(path);
    return names(fd.get(), control);
}

TEST_F(Names, EmptyDirectoryGivesNoNames) {
    EXPECT_TRUE(listing(t::freshDirectory("empty")).empty());
}

TEST_F(Names, EntriesComeBackSortedWithoutDotEntries) {
    const std::string base = t::freshDirectory("sorted");
    t::writeFile(base + "/b", "");
    t::writeFile(base + "/a", "");
    t::makeDirectory(base + "/C");
    EXPECT_EQ(listing(base), (std::vector<std::string>{"C", "a", "b"}));
    // Names that only begin with dots are kept.
    t::writeFile(base + "/.hidden", "");
    t::writeFile(base + "/..x", "");
    t::makeDirectory(base + "/...");
    EXPECT_EQ(listing(base), (std::vector<std::string>{"...", "..x", ".hidden", "C", "a", "b"}));
}

TEST_F(Names, OrderIsByScalarValueAfterCompositionAndNamesStayAsOnDisk) {
    const std::string base = t::freshDirectory("unicode");
    const std::string decomposed = "a\xCC\x88";     // a + U+0308, composes to U+00E4
    const std::string fullwidth = "\xEF\xBD\x9E";   // U+FF5E
    const std::string emoji = "\xF0\x9F\x98\x80";   // U+1F600 (before U+FF5E in UTF-16 order)
    for (const std::string& name : {std::string("z"), decomposed, fullwidth, emoji, std::string("b")})
        t::writeFile(base + "/" + name, "");
    // The decomposed name sorts as U+00E4 (after "z"; as bytes it would come
    // before "b"), and comes back with its own bytes so that it can be looked
    // up again.
    EXPECT_EQ(listing(base), (std::vector<std::string>{"b", "z", decomposed, fullwidth, emoji}));
}

TEST_F(Names, BytesThatAreNotUtf8BecomeReplacementCharacters) {
    const std::string base = t::freshDirectory("notutf8");
    t::writeFile(base + "/\xFF", "");
    t::writeFile(base + "/\xEF\xBF\xBD", ""); // literally U+FFFD
    t::writeFile(base + "/ab\xC3z", "");
    EXPECT_EQ(listing(base), (std::vector<std::string>{"ab\xEF\xBF\xBDz", "\xEF\xBF\xBD", "\xEF\xBF\xBD"}));
}

TEST_F(Names, LargeDirectoryIsListedWhole) {
    const std::string base = t::freshDirectory("large");
    std::vector<std::string> expected;
    for (int i = 0; i < 3000; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "entry-%05d", i);
        expected.emplace_back(name);
        t::writeFile(base + "/" + name, "");
    }
    EXPECT_EQ(listing(base), expected);
}

TEST_F(Names, CallerDescriptorStaysOpenAndCanBeListedAgain) {
    const std::string base = t::freshDirectory("again");
    t::writeFile(base + "/one", "");
    t::writeFile(base + "/two", "");
    const platform::Descriptor fd = openDirectory(base);
    EXPECT_EQ(names(fd.get()), (std::vector<std::string>{"one", "two"}));
    EXPECT_NE(::fcntl(fd.get(), F_GETFD), -1);
    // The shared read position is rewound: a second listing is whole too.
    EXPECT_EQ(names(fd.get()), (std::vector<std::string>{"one", "two"}));
}

TEST_F(Names, CancelledRunThrowsBeforeOpeningAnything) {
    RunControl control;
    control.cancel();
    // With no valid descriptor at all, the cancellation is still what comes
    // out: it is checked first.
    EXPECT_EQ(outcome([&] { names(-1, &control); }), "CleanCancelled");
    const std::string base = t::freshDirectory("cancelled");
    t::writeFile(base + "/entry", "");
    EXPECT_EQ(outcome([&] { listing(base, &control); }), "CleanCancelled");
}

TEST_F(Names, DescriptorsThatCannotBeListedAreRefused) {
    EXPECT_EQ(outcome([] { names(-1); }), text::cannotReadDirectory);
    const std::string base = t::freshDirectory("badfd");
    t::writeFile(base + "/file", "x");
    const platform::Descriptor file(::open((base + "/file").c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(file);
    EXPECT_EQ(outcome([&] { names(file.get()); }), text::cannotReadDirectory);
    EXPECT_NE(::fcntl(file.get(), F_GETFD), -1) << "the caller's descriptor was closed";
    const platform::Descriptor socketFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    ASSERT_TRUE(socketFd);
    EXPECT_EQ(outcome([&] { names(socketFd.get()); }), text::cannotReadDirectory);
}

} // namespace
} // namespace quillon::fstest
