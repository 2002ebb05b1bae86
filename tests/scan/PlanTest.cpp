// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

// plan checks a location's root, computes its cutoff once and applies its scan mode; nothing on disk changes.

#include "tests/fs/FsFixture.h"

#include "catalog/TemporaryBuild.h"
#include "core/StartupValues.h"
#include "scan/Plan.h"

namespace quillon::fstest {
namespace {

// Returns the outcome of planning `candidate` at `now`, as listed() gives it.
std::string planned(const Candidate& candidate, const std::string& base, double now = platform::wallClock()) {
    ScanStats stats;
    return listed(base, stats, [&] { return plan(candidate, stats, nullptr, now); });
}

TEST(Plan, RefusesARootThatIsNotAPrivateRealDirectoryOrInAFailingBuildFolder) {
    const ScanMode children = ScanMode::oldChildren;
    const std::string refused = text::rootNotPrivate;
    const std::tuple<ScanMode, const char*, LookUpHook, std::string> rows[] = {
        {children, "cache", {}, "cache/a (1, 0)"}, {ScanMode::whole, "link", {}, refused}, {children, "f", {}, refused},
        {children, "missing", {}, refused}, {children, "a/..", {}, refused},
        {children, "alias/cache", {}, cannotOpen("alias", ENOTDIR)}, // as openDirectory refuses it
        {children, "cache", ownedByAnother("cache"), refused}, {children, "cache", onNextDevice("cache"), refused},
        {children, "cache", replaceOnLookUpOf("cache", false), text::rootChanged},
        {children, "cache", replaceOnLookUpOf("cache", true), text::cannotOpenCacheRoot},
    };
    for (const auto& [mode, path, hook, expected] : rows) {
        const Place p("cache/ cache/a f a/ a/cache/ alias->a link->cache");
        const ScopedLookUpHook scoped(hook);
        EXPECT_EQ(planned(Candidate(p / path, -100, Group::development, mode), p.path), expected) << path;
    }
    // Inside a temporary build folder, the folder is checked first.
    const Place p("build/ build/a");
    const std::string refusal = outcome([&] { validateTemporaryBuildRoot(p.path); });
    EXPECT_EQ(planned(Candidate(p / "build", -100, Group::development, children, {}, p.path), p.path), refusal);
}

TEST(Plan, AppliesEachScanModeWithTheCutoffOfItsAge) {
    const std::string shape = "r/ r/a/ r/a/1 r/a/2 r/b/ r/b/1! r/c.log r/d/ r/d/e.log";
    const double now = platform::wallClock(), far = static_cast<double>(farFuture);
    const std::tuple<std::string, ScanMode, std::optional<std::string>, double, double, const char*> rows[] = {
        {"old/ old/x old/y/ old/y/z", ScanMode::whole, {}, -100, now, "old (2, 0)"},
        {shape, ScanMode::whole, {}, -100, now, text::recentlyChanged},
        {shape, ScanMode::oldChildren, {}, -100, now, "r/a r/c.log r/d (4, 1)"},
        {shape, ScanMode::oldFiles, "\\.log$", -100, now, "r/c.log r/d/e.log (5, 3)"},
        {shape, ScanMode::oldTopFiles, "\\.log$", -100, now, "r/c.log (1, 0)"},
        // Seen from a week after farFuture, b/1 is a week old, but not more.
        {shape, ScanMode::oldFiles, {}, 7 * day, far + 7 * day, "r/a/1 r/a/2 r/c.log r/d/e.log (5, 1)"},
        {shape, ScanMode::oldFiles, {}, 7 * day, far + 7 * day + 1, "r/a/1 r/a/2 r/b/1 r/c.log r/d/e.log (5, 0)"},
    };
    for (const auto& [tree, mode, pattern, age, when, expected] : rows) {
        const Place p(tree);
        const std::string root = tree.substr(0, tree.find('/'));
        EXPECT_EQ(planned(Candidate(p / root, age, Group::development, mode, pattern), p.path, when), expected) << tree;
    }
}

} // namespace
} // namespace quillon::fstest
