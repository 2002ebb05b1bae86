#include "platform/Paths.h"
#include "tests/support/Fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillon::platform;
namespace t = quillon::testing;

namespace {

// Sets an environment variable for the life of one test.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old, had_ = true;
        if (value) setenv(name, value, 1);
        else unsetenv(name);
    }
    ~ScopedVariable() {
        if (had_) setenv(name_.c_str(), old_.c_str(), 1);
        else unsetenv(name_.c_str());
    }

private:
    std::string name_, old_;
    bool had_ = false;
};

std::string privateDirectory() {
    const std::string path = t::freshDirectory("private");
    chmod(path.c_str(), 0700);
    return path;
}

} // namespace

TEST(UserTemp, UsesTmpdirWhenPrivate) {
    const std::string dir = privateDirectory();
    ScopedVariable tmp("TMPDIR", dir.c_str());
    EXPECT_EQ(userTempDirectory(), dir);
}

TEST(UserTemp, ResolvesALinkToOwnPrivateDirectoryAndDropsTrailingSlash) {
    const std::string dir = privateDirectory();
    const std::string link = t::freshDirectory("links") + "/tmp-link";
    t::makeSymlink(dir, link);
    ScopedVariable tmp("TMPDIR", (link + "/").c_str());
    EXPECT_EQ(userTempDirectory(), dir);
}

TEST(UserTemp, PassesOverGroupWritableRelativeAndMissingDirectories) {
    const std::string runtime = privateDirectory();
    ScopedVariable xdg("XDG_RUNTIME_DIR", runtime.c_str());
    const std::string open = t::freshDirectory("open");
    chmod(open.c_str(), 0770);
    for (const std::string& bad : {open, std::string("relative/dir"), t::fixtureRoot() + "/missing"}) {
        ScopedVariable tmp("TMPDIR", bad.c_str());
        EXPECT_EQ(userTempDirectory(), runtime) << bad;
    }
}

TEST(UserTemp, PassesOverALinkToSomeoneElsesDirectory) {
    unsigned uid = 0, gid = 0;
    if (!t::unprivilegedAccount(uid, gid) || geteuid() != 0) GTEST_SKIP() << "needs root and a second account";
    const std::string foreign = privateDirectory();
    ASSERT_EQ(chown(foreign.c_str(), uid, gid), 0);
    const std::string link = t::freshDirectory("links") + "/foreign";
    t::makeSymlink(foreign, link);
    const std::string runtime = privateDirectory();
    ScopedVariable tmp("TMPDIR", link.c_str());
    ScopedVariable xdg("XDG_RUNTIME_DIR", runtime.c_str());
    EXPECT_EQ(userTempDirectory(), runtime);
}

TEST(UserTemp, FallsBackToAPrivateFolderInSharedTemp) {
    ScopedVariable tmp("TMPDIR", nullptr);
    ScopedVariable xdg("XDG_RUNTIME_DIR", nullptr);
    const std::string expected = "/tmp/quillon-" + std::to_string(getuid());
    const std::string got = userTempDirectory();
    ASSERT_EQ(got, expected);
    struct stat status {};
    ASSERT_EQ(lstat(got.c_str(), &status), 0);
    EXPECT_TRUE(S_ISDIR(status.st_mode));
    EXPECT_EQ(status.st_mode & 07777, 0700u);
}

TEST(UserTemp, RefusesAFallbackThatOthersCouldUse) {
    ScopedVariable tmp("TMPDIR", nullptr);
    ScopedVariable xdg("XDG_RUNTIME_DIR", nullptr);
    const std::string fallback = "/tmp/quillon-" + std::to_string(getuid());
    ASSERT_FALSE(userTempDirectory().empty()); // makes it
    ASSERT_EQ(chmod(fallback.c_str(), 0755), 0);
    EXPECT_EQ(userTempDirectory(), "");
    ASSERT_EQ(chmod(fallback.c_str(), 0700), 0);
}

TEST(UserCache, PrefersXdgCacheHomeThenHomeCache) {
    const std::string home = privateDirectory();
    t::makeDirectory(home + "/.cache");
    chmod((home + "/.cache").c_str(), 0700);
    const std::string xdg = privateDirectory();
    ScopedVariable h("HOME", home.c_str());
    {
        ScopedVariable c("XDG_CACHE_HOME", xdg.c_str());
        EXPECT_EQ(userCacheDirectory(), xdg);
    }
    {
        ScopedVariable c("XDG_CACHE_HOME", "relative");
        EXPECT_EQ(userCacheDirectory(), home + "/.cache");
    }
    {
        ScopedVariable c("XDG_CACHE_HOME", nullptr);
        rmdir((home + "/.cache").c_str());
        EXPECT_EQ(userCacheDirectory(), "");
    }
}

TEST(Home, IsTheRealPathOfHomeOrNoHomeButNeverAnotherFolder) {
    const std::string home = privateDirectory();
    const std::string parent = home.substr(0, home.rfind('/'));
    const std::string name = home.substr(home.rfind('/') + 1);
    const std::string shared = t::freshDirectory("shared");
    chmod(shared.c_str(), 0775);
    const std::string link = t::freshDirectory("links") + "/home";
    t::makeSymlink(home, link);
    const std::string file = t::freshDirectory("file") + "/plain";
    t::writeFile(file, "");
    const std::vector<std::pair<std::string, std::string>> rows = {
        {home, home},
        {parent + "//" + name, home},
        {parent + "/./" + name, home},
        {home + "/", home},
        {link, home},
        // Group-writable is still the folder it was pointed at.
        {shared, shared},
        {"relative/home", ""},
        {t::fixtureRoot() + "/missing", ""},
        {file, ""},
        {"", ""},
    };
    for (const auto& [value, expected] : rows) {
        ScopedVariable h("HOME", value.c_str());
        EXPECT_EQ(homeDirectory(), expected) << value;
    }
}

TEST(Home, WithoutHomeIsTheRealPathOfTheAccountEntry) {
    const passwd* entry = getpwuid(getuid());
    ASSERT_NE(entry, nullptr);
    ScopedVariable h("HOME", nullptr);
    EXPECT_EQ(homeDirectory(), realPath(entry->pw_dir));
}
