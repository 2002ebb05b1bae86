#include "platform/Paths.h"
#include "tests/support/Fixture.h"
#include "tests/support/OwnUser.h"

#include <gtest/gtest.h>

#include <functional>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillon::platform;
namespace t = quillon::testing;

namespace {

std::string directory(const char* label, mode_t mode) {
    const std::string path = t::freshDirectory(label);
    chmod(path.c_str(), mode);
    return path;
}

} // namespace

TEST(PathText, ComponentsAndExtensionsIgnoreATrailingSlash) {
    const std::vector<std::pair<std::string, std::string>> rows = {
        {lastPathComponent("/a/b//"), "b"},          {lastPathComponent("//"), "/"},
        {lastPathComponent(""), ""},                 {lastPathComponent("b"), "b"},
        {deletingLastPathComponent("/a//b/"), "/a"}, {deletingLastPathComponent("/a"), "/"},
        {deletingLastPathComponent("a"), ""},        {deletingLastPathComponent("a/b"), "a"},
        {pathExtension("/x/App.xcodeproj/"), "xcodeproj"}, {pathExtension("/x/a.tar.gz"), "gz"},
        {pathExtension("/x.d/file"), ""},            {pathExtension("/x/.hidden"), ""},
        {pathExtension("/x/name."), ""},
    };
    for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i].first, rows[i].second) << "row " << i;
}

// Each base directory is the real path of the folder its variable names when
// that is a private directory of the user; otherwise the next choice, and
// never a folder nobody pointed at. The home alone takes any directory.
TEST(UserDirectories, AreTheNamedFolderOnlyWhenPrivateElseTheNextChoice) {
    const std::string home = directory("home", 0700), runtime = directory("runtime", 0700);
    const std::string own = directory("own", 0700), open = directory("open", 0770), link = own + "-link";
    t::makeSymlink(own, link);
    for (const char* sub : {"/.cache", "/.config"}) t::makeDirectory(home + sub);
    for (const char* sub : {"/.cache", "/.config"}) chmod((home + sub).c_str(), 0700);
    const std::string file = own + "/file", missing = own + "/missing";
    t::writeFile(file, "");
    // Another user's: one given away while root, else the root folder.
    const std::string foreign = geteuid() == 0 ? directory("foreign", 0700) : "/";
    ASSERT_TRUE(geteuid() != 0 || chown(foreign.c_str(), getuid() + 12345, 0) == 0);
    const t::ScopedVariable homeVariable("HOME", home.c_str()), runtimeVariable("XDG_RUNTIME_DIR", runtime.c_str());
    struct Row {
        const char* variable;
        std::function<std::string()> read;
        std::string value, expected;
    };
    const std::vector<Row> rows = {
        {"TMPDIR", userTempDirectory, own, own},
        {"TMPDIR", userTempDirectory, link + "/", own},
        {"TMPDIR", userTempDirectory, open, runtime},
        {"TMPDIR", userTempDirectory, foreign, runtime},
        {"TMPDIR", userTempDirectory, "relative/dir", runtime},
        {"TMPDIR", userTempDirectory, missing, runtime},
        {"XDG_CACHE_HOME", userCacheDirectory, link, own},
        {"XDG_CACHE_HOME", userCacheDirectory, open, home + "/.cache"},
        {"XDG_CACHE_HOME", userCacheDirectory, "relative", home + "/.cache"},
        {"XDG_CONFIG_HOME", userConfigDirectory, foreign, home + "/.config"},
        {"XDG_CONFIG_HOME", userConfigDirectory, own, own},
        {"XDG_STATE_HOME", [] { return userStateDirectory(false); }, open, ""},
        {"HOME", homeDirectory, home, home},
        {"HOME", homeDirectory, own + "/./../" + own.substr(own.rfind('/') + 1) + "/", own},
        {"HOME", homeDirectory, link, own},
        {"HOME", homeDirectory, open, open},
        {"HOME", homeDirectory, "relative/home", ""},
        {"HOME", homeDirectory, missing, ""},
        {"HOME", homeDirectory, file, ""},
        {"HOME", homeDirectory, "", ""},
    };
    for (const Row& row : rows) {
        const t::ScopedVariable variable(row.variable, row.value.c_str());
        EXPECT_EQ(row.read(), row.expected) << row.variable << "=" << row.value;
    }
    // Asked to, the state directory's missing folders are made, each private.
    const t::ScopedVariable state("XDG_STATE_HOME", open.c_str());
    EXPECT_EQ(userStateDirectory(true), home + "/.local/state");
    struct stat status {};
    for (const std::string& made : {home + "/.local", home + "/.local/state"})
        EXPECT_TRUE(lstat(made.c_str(), &status) == 0 && (status.st_mode & 07777) == 0700) << made;
}

// The fallback lies in the shared /tmp, so it is tried in a mount namespace
// of its own, on a tmpfs over /tmp; the real /tmp is never touched.
TEST(UserDirectories, TheFallbackTemporaryFolderIsPrivateOrNone) {
    const t::ScopedVariable tmpdir("TMPDIR", nullptr), runtime("XDG_RUNTIME_DIR", nullptr);
    const std::string outcome = t::asUserOfItsOwn(
        [](uid_t) {
            if (geteuid() != 0 || unshare(CLONE_NEWNS) != 0 ||
                mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                mount("quillon-test", "/tmp", "tmpfs", 0, "size=1m,mode=1777") != 0)
                _exit(0); // no answer: skipped
        },
        [] {
            const std::string fallback = "/tmp/quillon-" + std::to_string(getuid());
            std::string answer = userTempDirectory() == fallback ? "made" : "not made";
            struct stat status {};
            if (lstat(fallback.c_str(), &status) == 0 && (status.st_mode & 07777) == 0700) answer += " private";
            chmod(fallback.c_str(), 0755);
            return answer + (userTempDirectory().empty() ? ", then refused" : ", then used");
        });
    if (outcome.empty()) GTEST_SKIP() << "needs root to put a tmpfs over /tmp in a namespace of its own";
    EXPECT_EQ(outcome, "made private, then refused");
}
