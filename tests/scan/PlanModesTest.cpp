#include "scan/Plan.h"

#include "core/Errors.h"
#include "core/StartupValues.h"
#include "core/Texts.h"
#include "platform/PropertyList.h"
#include "tests/scan/ScanFixture.h"

#include <atomic>
#include <thread>

using namespace quillon;
namespace t = quillon::testing;

namespace {

std::vector<std::string> namesOf(const std::vector<PlannedItem>& items) {
    std::vector<std::string> names;
    for (const PlannedItem& item : items) names.push_back(item.node.name);
    return names;
}

} // namespace

TEST(PlanWhole, PlansTheRootAsOneTreeWithItsParentPath) {
    const std::string dir = t::freshDirectory("whole");
    t::makeDirectory(dir + "/cache/sub");
    t::writeFile(dir + "/cache/a", "a");
    t::writeFile(dir + "/cache/sub/b", "b");
    ScanStats stats;
    const auto items = plan(Candidate(dir + "/cache", -100, "Chrome"), stats);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].parentPath, dir);
    EXPECT_EQ(items[0].node.name, "cache");
    EXPECT_EQ(stats.files, 2);
    EXPECT_EQ(stats.kept, 0);
}

TEST(PlanWhole, OneRecentFileDeepInsideRefusesTheWholeLocationWithItsReason) {
    const std::string dir = t::freshDirectory("whole");
    t::makeDirectory(dir + "/cache/a/b");
    t::writeFile(dir + "/cache/old", "x");
    t::writeFile(dir + "/cache/a/b/new", "x");
    t::makeRecent(dir + "/cache/a/b/new");
    ScanStats stats;
    try {
        plan(Candidate(dir + "/cache", -100, "Chrome"), stats);
        FAIL() << "a location with a recent file must not be planned";
    } catch (const SafetyError& error) {
        EXPECT_EQ(error.reason(), text::recentlyChanged);
    }
    EXPECT_EQ(stats.files, 0);
}

TEST(PlanChildren, PlansEachOldEntryAndCountsTheRecentOneAsKept) {
    const std::string dir = t::freshDirectory("children");
    const std::string root = dir + "/cache";
    t::makeDirectory(root + "/a");
    t::makeDirectory(root + "/b");
    t::writeFile(root + "/a/1", "x");
    t::writeFile(root + "/a/2", "x");
    t::writeFile(root + "/b/1", "x");
    t::writeFile(root + "/c", "x");
    t::makeRecent(root + "/b/1");
    ScanStats stats;
    const auto items = plan(Candidate(root, -100, "Development", ScanMode::oldChildren), stats);
    EXPECT_EQ(namesOf(items), (std::vector<std::string>{"a", "c"}));
    for (const PlannedItem& item : items) EXPECT_EQ(item.parentPath, root);
    EXPECT_EQ(stats.files, 3);
    EXPECT_EQ(stats.kept, 1);
    EXPECT_TRUE(t::exists(root)); // the location itself is never planned
}

TEST(PlanChildren, EmptyRootPlansNothing) {
    const std::string root = t::freshDirectory("children");
    ScanStats stats;
    EXPECT_TRUE(plan(Candidate(root, -100, "Development", ScanMode::oldChildren), stats).empty());
    EXPECT_EQ(stats.files, 0);
    EXPECT_EQ(stats.kept, 0);
}

TEST(PlanTopFiles, PlansOnlyFilesDirectlyInsideTheRoot) {
    const std::string root = t::freshDirectory("top");
    t::makeDirectory(root + "/Quillon");
    t::writeFile(root + "/Quillon/LastRun.log", "x");
    t::writeFile(root + "/old.log", "x");
    t::writeFile(root + "/notes.txt", "x");
    ScanStats stats;
    const auto items = plan(Candidate(root, -100, "Logs", ScanMode::oldTopFiles, std::string("\\.log$")), stats);
    EXPECT_EQ(namesOf(items), std::vector<std::string>{"old.log"});
    EXPECT_EQ(stats.files, 2);
    EXPECT_EQ(stats.kept, 1);
}

TEST(PlanFiles, PlansMatchingFilesAtAnyDepth) {
    const std::string root = t::freshDirectory("files");
    t::makeDirectory(root + "/one/two");
    t::writeFile(root + "/one/two/deep.log", "x");
    ScanStats stats;
    const auto items = plan(Candidate(root, -100, "Logs", ScanMode::oldFiles, std::string("\\.log$")), stats);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].parentPath, root + "/one/two");
}

TEST(PlanAge, SevenDayThresholdKeepsSixDayOldAndPlansEightDayOld) {
    // Status-change times cannot be set back, so the clock moves forward
    // instead: as seen from ten days ahead, these files are 6 and 8 days old.
    const double ahead = t::now() + 10 * day;
    const std::string root = t::freshDirectory("age");
    t::writeFile(root + "/six", "x");
    t::writeFile(root + "/eight", "x");
    t::setModificationTime(root + "/six", ahead - 6 * day);
    t::setModificationTime(root + "/eight", ahead - 8 * day);
    ScanStats stats;
    const auto items = plan(Candidate(root, 7 * day, "Python", ScanMode::oldFiles), stats, nullptr, ahead);
    EXPECT_EQ(namesOf(items), std::vector<std::string>{"eight"});
    EXPECT_EQ(stats.kept, 1);
}

TEST(PlanTemporaryBuild, RootThatBecameInvalidAfterTheCatalogueIsRefusedBeforeAnythingIsOpened) {
    const std::string temp = t::freshDirectory("temp");
    const std::string build = temp + "/MyApp-build";
    t::makeDirectory(build + "/ModuleCache.noindex/old");
    t::writeFile(build + "/info.plist", platform::xmlPropertyList({{"WorkspacePath", "/src/MyApp/MyApp.xcodeproj"}}));
    const Candidate candidate(build + "/ModuleCache.noindex", -100, "Development", ScanMode::oldChildren, std::nullopt,
                              build);
    ScanStats stats;
    ASSERT_EQ(plan(candidate, stats).size(), 1u);
    t::writeFile(build + "/ContentView.swift", "struct ContentView {}");
    try {
        plan(candidate, stats);
        FAIL() << "a build directory holding a source file must be refused";
    } catch (const SafetyError& error) {
        EXPECT_EQ(error.reason(), text::unrecognizedBuildContents);
    }
}

TEST(PlanCancel, CancellationDuringAScanDropsEverythingFoundSoFar) {
    const std::string root = t::freshDirectory("cancel");
    for (int d = 0; d < 40; ++d) {
        const std::string sub = root + "/d" + std::to_string(d);
        t::makeDirectory(sub);
        for (int f = 0; f < 250; ++f) t::writeFile(sub + "/f" + std::to_string(f), "");
    }
    // The token is cancelled from another thread while the scan runs; a scan
    // that ignored it would run to its end and return items.
    bool cancelledMidway = false;
    for (int attempt = 0; attempt < 5 && !cancelledMidway; ++attempt) {
        RunControl control;
        std::atomic<bool> started{false};
        std::thread canceller([&] {
            while (!started) std::this_thread::yield();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            control.cancel();
        });
        ScanStats stats;
        try {
            started = true;
            plan(Candidate(root, -100, "Logs", ScanMode::oldFiles), stats, &control);
        } catch (const CleanCancelled&) {
            cancelledMidway = stats.files > 0 && stats.files < 10000;
        }
        canceller.join();
    }
    EXPECT_TRUE(cancelledMidway);
}
