// plan checks a location's root, computes its cutoff once and applies its
// scan mode; nothing on disk changes.

#include "tests/fs/FsFixture.h"

#include "catalog/TemporaryBuild.h"
#include "core/StartupValues.h"
#include "core/Texts.h"
#include "scan/Plan.h"

#include <cstring>
#include <tuple>

namespace quillon::fstest {
namespace {

// Returns the outcome of planning `candidate` at `now`, or the planned paths
// relative to `base` and the counters: "a b (files, kept)".
std::string planned(const Candidate& candidate, const std::string& base, double now = t::now()) {
    ScanStats stats;
    std::string text;
    const std::string error = outcome([&] {
        for (const PlannedItem& item : plan(candidate, stats, nullptr, now))
            text += (item.parentPath + "/" + item.node.name).substr(base.size() + 1) + " ";
    });
    return error != "no error" ? error : text + "(" + std::to_string(stats.files) + ", " + std::to_string(stats.kept) + ")";
}

TEST(Plan, RefusesARootThatIsNotAPrivateRealDirectory) {
    const std::string cannotOpen = text::cannotOpenComponent;
    const std::tuple<ScanMode, const char*, LookUpHook, std::string> rows[] = {
        {ScanMode::oldChildren, "cache", {}, "cache/a (1, 0)"},
        {ScanMode::whole, "link", {}, text::rootNotPrivate},
        {ScanMode::oldChildren, "link", {}, text::rootNotPrivate},
        {ScanMode::oldFiles, "link", {}, text::rootNotPrivate},
        {ScanMode::oldTopFiles, "link", {}, text::rootNotPrivate},
        {ScanMode::oldChildren, "f", {}, text::rootNotPrivate},
        {ScanMode::oldChildren, "missing", {}, text::rootNotPrivate},
        {ScanMode::oldChildren, "a/..", {}, text::rootNotPrivate},
        {ScanMode::oldChildren, "a/../a/cache", {}, text::invalidPath},
        {ScanMode::oldChildren, "alias/cache", {}, cannotOpen + "alias: " + std::strerror(ENOTDIR)},
        {ScanMode::oldChildren, "gone/missing", {}, cannotOpen + "gone: " + std::strerror(ENOENT)},
        {ScanMode::oldChildren, "cache", ownedByAnother("cache"), text::rootNotPrivate},
        {ScanMode::oldChildren, "cache", onNextDevice("cache"), text::rootNotPrivate},
        {ScanMode::oldChildren, "cache", replaceAfterFirstLookUpOf("cache", false), text::rootChanged},
        {ScanMode::oldChildren, "cache", replaceAfterFirstLookUpOf("cache", true), text::cannotOpenCacheRoot},
    };
    for (const auto& [mode, path, hook, expected] : rows) {
        const Place p("cache/ cache/a f a/ a/cache/ alias->a link->cache");
        const ScopedLookUpHook scoped(hook);
        EXPECT_EQ(planned(Candidate(p / path, -100, "Tests", mode), p.path), expected) << path;
    }
    EXPECT_EQ(planned(Candidate("relative/cache", -100, "Tests"), ""), text::invalidPath);
}

TEST(Plan, AppliesEachScanMode) {
    const std::string shape = "cache/ cache/a/ cache/a/1 cache/a/2 cache/b/ cache/b/1! cache/c.log cache/d/ cache/d/e.log";
    const std::tuple<std::string, ScanMode, std::optional<std::string>, const char*> rows[] = {
        {"old/ old/x old/y/ old/y/z", ScanMode::whole, {}, "old (2, 0)"},
        {shape, ScanMode::whole, {}, text::recentlyChanged},
        {shape, ScanMode::oldChildren, {}, "cache/a cache/c.log cache/d (4, 1)"},
        {shape, ScanMode::oldFiles, "\\.log$", "cache/c.log cache/d/e.log (5, 3)"},
        {shape, ScanMode::oldTopFiles, "\\.log$", "cache/c.log (1, 0)"},
    };
    for (const auto& [tree, mode, pattern, expected] : rows) {
        const Place p(tree);
        const std::string root = tree.substr(0, tree.find('/'));
        EXPECT_EQ(planned(Candidate(p / root, -100, "Tests", mode, pattern), p.path), expected) << tree;
    }
}

TEST(Plan, TakesTheCutoffFromTheGivenTimeAndTheLocationsAge) {
    // Status-change times cannot be set back, so the clock moves forward
    // instead: seen from ten days ahead, these files are six and eight days old.
    const double ahead = t::now() + 10 * day;
    const Place p("cache/ cache/six cache/eight");
    t::setModificationTime(p / "cache/six", ahead - 6 * day);
    t::setModificationTime(p / "cache/eight", ahead - 8 * day);
    EXPECT_EQ(planned(Candidate(p / "cache", 7 * day, "Tests", ScanMode::oldFiles), p.path, ahead),
              "cache/eight (2, 1)");
}

TEST(Plan, ChecksATemporaryBuildRootFirst) {
    const Place p("build/ build/cache/ build/cache/a");
    const std::string refusal = outcome([&] { validateTemporaryBuildRoot(p / "build"); });
    ASSERT_NE(refusal, "no error");
    const Candidate candidate(p / "build/cache", -100, "Tests", ScanMode::oldChildren, {}, p / "build");
    EXPECT_EQ(planned(candidate, p.path), refusal);
}

} // namespace
} // namespace quillon::fstest
