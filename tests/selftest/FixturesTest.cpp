// The fixture steps of the self-test: its random folder names, its folder
// that removes itself without following links, and its file steps.

#include "selftest/Fixtures.h"

#include "platform/PlatformError.h"
#include "tests/support/Fixture.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sys/stat.h>

namespace st = quillon::selftest;
namespace t = quillon::testing;

namespace {

struct stat statusOf(const std::string& path) {
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0) throw std::runtime_error("lstat " + path);
    return status;
}

} // namespace

TEST(RandomUuid, HasTheVersionFourTextForm) {
    const std::string uuid = st::randomUuid();
    EXPECT_EQ(uuid.size(), 36u);
    EXPECT_TRUE(
        std::regex_match(uuid, std::regex("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}")))
        << uuid;
}

TEST(RandomUuid, IsNewEachTime) {
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) seen.insert(st::randomUuid());
    EXPECT_EQ(seen.size(), 100u);
}

TEST(FixtureTree, CreatesItsFolder) {
    const std::string path = t::freshDirectory("tree") + "/quillon-tests-a";
    const st::FixtureTree tree(path);
    EXPECT_EQ(tree.path(), path);
    EXPECT_TRUE(S_ISDIR(statusOf(path).st_mode));
}

TEST(FixtureTree, NeverCreatesMissingParents) {
    const std::string parent = t::freshDirectory("tree") + "/missing";
    EXPECT_THROW(st::FixtureTree(parent + "/quillon-tests-a"), quillon::platform::PlatformError);
    EXPECT_FALSE(t::exists(parent));
}

TEST(FixtureTree, RefusesAFolderThatExistsAndLeavesItAlone) {
    const std::string path = t::freshDirectory("tree") + "/quillon-tests-a";
    t::makeDirectory(path);
    t::writeFile(path + "/someone-elses", "data");
    EXPECT_THROW(st::FixtureTree{path}, quillon::platform::PlatformError);
    EXPECT_EQ(t::readFile(path + "/someone-elses"), "data");
}

TEST(FixtureTree, RemovesEverythingBelowItWhenItEnds) {
    const std::string path = t::freshDirectory("tree") + "/quillon-tests-a";
    {
        const st::FixtureTree tree(path);
        t::makeDirectory(path + "/deep/er");
        t::writeFile(path + "/deep/er/file", "keep me");
        t::makeSymlink(path + "/deep", path + "/link");
    }
    EXPECT_FALSE(t::exists(path));
}

TEST(FixtureTree, IsRemovedWhenAnErrorLeavesItsScope) {
    const std::string path = t::freshDirectory("tree") + "/quillon-tests-a";
    try {
        const st::FixtureTree tree(path);
        t::writeFile(path + "/file", "keep me");
        throw std::runtime_error("a check failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_FALSE(t::exists(path));
}

TEST(FixtureTree, NeverFollowsALinkWhenItIsRemoved) {
    const std::string base = t::freshDirectory("tree");
    t::makeDirectory(base + "/outside");
    t::writeFile(base + "/outside/precious", "keep me");
    {
        const st::FixtureTree tree(base + "/quillon-tests-a");
        t::makeSymlink(base + "/outside", base + "/quillon-tests-a/outside");
        t::makeSymlink(base + "/outside/precious", base + "/quillon-tests-a/precious");
    }
    EXPECT_FALSE(t::exists(base + "/quillon-tests-a"));
    EXPECT_EQ(t::readFile(base + "/outside/precious"), "keep me");
}

TEST(WriteFile, CreatesOrReplacesTheWholeContent) {
    const std::string path = t::freshDirectory("files") + "/file";
    st::writeFile(path, "a longer first text");
    st::writeFile(path, "keep me");
    EXPECT_EQ(t::readFile(path), "keep me");
}

TEST(WriteFile, NeverWritesThroughALink) {
    const std::string base = t::freshDirectory("files");
    t::writeFile(base + "/target", "keep me");
    t::makeSymlink(base + "/target", base + "/link");
    EXPECT_THROW(st::writeFile(base + "/link", "changed"), quillon::platform::PlatformError);
    EXPECT_EQ(t::readFile(base + "/target"), "keep me");
}

TEST(OverwriteInPlace, KeepsTheInodeAndReplacesTheContent) {
    const std::string path = t::freshDirectory("files") + "/recent";
    t::writeFile(path, "keep me");
    const ino_t before = statusOf(path).st_ino;
    st::overwriteInPlace(path, "changed and retained");
    EXPECT_EQ(statusOf(path).st_ino, before);
    EXPECT_EQ(t::readFile(path), "changed and retained");
}

TEST(OverwriteInPlace, RefusesAFileThatDoesNotExist) {
    const std::string path = t::freshDirectory("files") + "/missing";
    EXPECT_THROW(st::overwriteInPlace(path, "text"), quillon::platform::PlatformError);
    EXPECT_FALSE(t::exists(path));
}

TEST(ReadFile, ReportsAMissingFileAsAPlatformError) {
    const std::string path = t::freshDirectory("files") + "/missing";
    try {
        st::readFile(path);
        FAIL() << "no error";
    } catch (const quillon::platform::PlatformError& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot open " + path + ": No such file or directory");
    }
}

TEST(MakeHardLink, GivesTheFileASecondName) {
    const std::string base = t::freshDirectory("files");
    t::writeFile(base + "/recent", "keep me");
    st::makeHardLink(base + "/recent", base + "/hardlink");
    EXPECT_EQ(statusOf(base + "/recent").st_nlink, 2u);
    EXPECT_EQ(statusOf(base + "/hardlink").st_ino, statusOf(base + "/recent").st_ino);
}

TEST(MakeSymbolicLink, StoresTheTargetText) {
    const std::string base = t::freshDirectory("files");
    st::makeSymbolicLink("recent", base + "/link");
    char target[64] = {};
    ASSERT_EQ(readlink((base + "/link").c_str(), target, sizeof target - 1), 6);
    EXPECT_STREQ(target, "recent");
}

TEST(SetModificationTime, DatesTheLinkItselfAndNotItsTarget) {
    const std::string base = t::freshDirectory("files");
    t::writeFile(base + "/target", "keep me");
    t::makeSymlink(base + "/target", base + "/link");
    const time_t targetBefore = statusOf(base + "/target").st_mtime;
    const double future = t::now() + 1000;
    st::setModificationTime(base + "/link", future);
    EXPECT_EQ(statusOf(base + "/link").st_mtime, static_cast<time_t>(future));
    EXPECT_EQ(statusOf(base + "/target").st_mtime, targetBefore);
}

TEST(SetModificationTime, LeavesTheAccessTimeAlone) {
    const std::string path = t::freshDirectory("files") + "/file";
    t::writeFile(path, "keep me");
    t::setModificationTime(path, 1000000000);
    st::setModificationTime(path, t::now() + 1000);
    EXPECT_EQ(statusOf(path).st_atime, 1000000000);
}

TEST(RemoveFile, RemovesALinkAndNotItsTarget) {
    const std::string base = t::freshDirectory("files");
    t::writeFile(base + "/target", "keep me");
    t::makeSymlink(base + "/target", base + "/link");
    st::removeFile(base + "/link");
    EXPECT_FALSE(t::exists(base + "/link"));
    EXPECT_EQ(t::readFile(base + "/target"), "keep me");
}

TEST(RemoveEmptyDirectory, RefusesAFolderWithContent) {
    const std::string base = t::freshDirectory("files");
    t::makeDirectory(base + "/full");
    t::writeFile(base + "/full/file", "keep me");
    EXPECT_THROW(st::removeEmptyDirectory(base + "/full"), quillon::platform::PlatformError);
    EXPECT_TRUE(t::exists(base + "/full/file"));
}

TEST(Exists, FollowsAFinalLink) {
    const std::string base = t::freshDirectory("files");
    t::makeSymlink(base + "/nothing", base + "/dangling");
    t::writeFile(base + "/file", "keep me");
    t::makeSymlink(base + "/file", base + "/link");
    EXPECT_FALSE(st::exists(base + "/dangling"));
    EXPECT_TRUE(st::exists(base + "/link"));
}

TEST(Absent, IsFalseEvenForADanglingLink) {
    const std::string base = t::freshDirectory("files");
    t::makeSymlink(base + "/nothing", base + "/dangling");
    EXPECT_FALSE(st::absent(base + "/dangling"));
    EXPECT_TRUE(st::absent(base + "/nothing"));
}
