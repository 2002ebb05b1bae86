// plan checks a location's root, computes its cutoff once and applies its
// scan mode; nothing on disk changes.

#include "tests/fs/FsFixture.h"

#include "catalog/TemporaryBuild.h"
#include "core/StartupValues.h"
#include "scan/Plan.h"

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
    const std::string counts = "(" + std::to_string(stats.files) + ", " + std::to_string(stats.kept) + ")";
    return error != "no error" ? error : text + counts;
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
        {ScanMode::oldChildren, "cache", replaceOnLookUpOf("cache", false), text::rootChanged},
        {ScanMode::oldChildren, "cache", replaceOnLookUpOf("cache", true), text::cannotOpenCacheRoot},
    };
    for (const auto& [mode, path, hook, expected] : rows) {
        const Place p("cache/ cache/a f a/ a/cache/ alias->a link->cache");
        const ScopedLookUpHook scoped(hook);
        EXPECT_EQ(planned(Candidate(p / path, -100, "Tests", mode), p.path), expected) << path;
    }
    EXPECT_EQ(planned(Candidate("relative/cache", -100, "Tests"), ""), text::invalidPath);
}

TEST(Plan, AppliesEachScanModeWithTheCutoffOfItsAge) {
    const std::string shape = "cache/ cache/a/ cache/a/1 cache/a/2 cache/b/ cache/b/1! cache/c.log cache/d/ "
                              "cache/d/e.log";
    const double now = t::now(), far = static_cast<double>(farFuture);
    const std::tuple<std::string, ScanMode, std::optional<std::string>, double, double, const char*> rows[] = {
        {"old/ old/x old/y/ old/y/z", ScanMode::whole, {}, -100, now, "old (2, 0)"},
        {shape, ScanMode::whole, {}, -100, now, text::recentlyChanged},
        {shape, ScanMode::oldChildren, {}, -100, now, "cache/a cache/c.log cache/d (4, 1)"},
        {shape, ScanMode::oldFiles, "\\.log$", -100, now, "cache/c.log cache/d/e.log (5, 3)"},
        {shape, ScanMode::oldTopFiles, "\\.log$", -100, now, "cache/c.log (1, 0)"},
        // Seen from a week after farFuture, b/1 is a week old, but not more.
        {shape, ScanMode::oldFiles, {}, 7 * day, far + 7 * day, "cache/a/1 cache/a/2 cache/c.log cache/d/e.log (5, 1)"},
        {shape, ScanMode::oldFiles, {}, 7 * day, far + 7 * day + 1,
         "cache/a/1 cache/a/2 cache/b/1 cache/c.log cache/d/e.log (5, 0)"},
    };
    for (const auto& [tree, mode, pattern, age, when, expected] : rows) {
        const Place p(tree);
        const std::string root = tree.substr(0, tree.find('/'));
        EXPECT_EQ(planned(Candidate(p / root, age, "Tests", mode, pattern), p.path, when), expected) << tree;
    }
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
