// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "platform/Paths.h"
#include "tests/support/Fixture.h"
#include <gtest/gtest.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillon::platform;
namespace t = quillon::testing;

// A base directory is the real path of what its variable names when that is a private directory of the user,
// else the next choice, never a folder nobody named. The home takes any directory but never another in its place.
TEST(UserDirectories, AreTheNamedFolderOnlyWhenPrivateElseTheNextChoice) {
    const std::string home = t::freshDirectory("home"), own = t::freshDirectory("own"), open = t::freshDirectory("o");
    const std::string runtime = t::freshDirectory("runtime"), link = own + "-link", file = own + "/file";
    for (const std::string& dir : {home + "/.cache", home + "/.config"}) t::makeDirectories(dir);
    t::makeSymbolicLink(own, link), t::writeFile(file, ""), chmod(open.c_str(), 0770);
    // Another user's: one given away while root, else the root folder.
    const std::string foreign = geteuid() == 0 ? t::freshDirectory("foreign") : "/";
    ASSERT_TRUE(geteuid() != 0 || chown(foreign.c_str(), getuid() + 12345, 0) == 0);
    const t::ScopedVariable homeVariable("HOME", home.c_str()), runtimeVariable("XDG_RUNTIME_DIR", runtime.c_str());
    const auto temp = userTempDirectory, cache = userCacheDirectory, config = userConfigDirectory, h = homeDirectory;
    const auto state = [] { return userStateDirectory(false); };
    const std::vector<std::tuple<const char*, std::function<std::string()>, std::string, std::string>> rows = {
        {"TMPDIR", temp, link + "/", own}, {"TMPDIR", temp, open, runtime}, {"TMPDIR", temp, foreign, runtime},
        {"TMPDIR", temp, "relative", runtime}, {"TMPDIR", temp, own + "/missing", runtime},
        {"XDG_CACHE_HOME", cache, own, own}, {"XDG_CACHE_HOME", cache, open, home + "/.cache"}, {"HOME", h, open, open},
        {"XDG_CACHE_HOME", cache, "relative", home + "/.cache"}, {"XDG_STATE_HOME", state, open, ""},
        {"XDG_CONFIG_HOME", config, foreign, home + "/.config"}, {"HOME", h, link + "/./", own},
        {"HOME", h, ".", ""}, {"HOME", h, own + "/missing", ""}, {"HOME", h, file, ""}, {"HOME", h, "", ""},
    };
    for (const auto& [variable, read, value, expected] : rows) {
        const t::ScopedVariable set(variable, value.c_str());
        EXPECT_EQ(read(), expected) << variable << "=" << value;
    }
}

// A folder holds what lies below it by whole names: "/ab" is not in "/a".
TEST(PathText, WithinGoesByWholeNames) {
    const std::tuple<const char*, const char*, bool> rows[] = {
        {"/a", "/a", true}, {"/a/b", "/a", true}, {"/ab", "/a", false}, {"/a", "/a/b", false}, {"/b/a", "/a", false},
        {"/a", "/", true}};
    for (const auto& [inner, outer, inside] : rows) EXPECT_EQ(within(inner, outer), inside) << inner << " in " << outer;
}
