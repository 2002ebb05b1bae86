#include "engine/Clean.h"

#include "core/Texts.h"
#include "engine/Report.h"
#include "tests/engine/CleanFixture.h"

using namespace quillon;
namespace t = quillon::testing;

namespace {

std::string locationNote(const char* word, const std::string& path, int files, int entries, std::int64_t bytes,
                         int kept) {
    return std::string(word) + ": " + path + " \u2014 " + std::to_string(files) + " files inspected, " +
           std::to_string(entries) + " eligible entries (" + size(bytes) + "), " + std::to_string(kept) +
           " recent or protected entries kept";
}

} // namespace

TEST(CleanRun, NoExistingLocationGivesNoNotesAndNothingCleared) {
    t::FixtureHome home;
    std::vector<std::string> logged;
    const Report report = clean(false, home.places, nullptr, {}, [&](const std::string& l) { logged.push_back(l); });
    EXPECT_EQ(report.checked, 0);
    EXPECT_TRUE(report.notes.empty()) << t::joined(report.notes);
    EXPECT_TRUE(logged.empty());
    EXPECT_EQ(summary(report, false).rfind(text::nothingCleared + std::string("\n"), 0), 0u);
}

TEST(CleanRun, PreviewRemovesNothingAndTheRealRunRemovesExactlyThePlannedTrees) {
    t::FixtureHome home;
    const std::string cache = home.cache("Default", "Cache", 5);
    const std::string gpu = home.cache("Default", "GPUCache", 2);
    const std::string storage = home.cache("Default", "Local Storage", 2);
    const std::string unlisted = home.cache("System Profile", "Cache", 2);
    const std::int64_t cacheBytes = t::allocatedBytes(cache);
    const std::int64_t gpuBytes = t::allocatedBytes(gpu);
    t::movePastTheSecond(home);

    const Report preview = clean(true, home.places);
    EXPECT_EQ(preview.notes, (std::vector<std::string>{locationNote("Preview", cache, 5, 1, cacheBytes, 0),
                                                       locationNote("Preview", gpu, 2, 1, gpuBytes, 0)}));
    EXPECT_EQ(preview.checked, 2);
    EXPECT_EQ(preview.files, 7);
    EXPECT_EQ(preview.skipped, 0);
    EXPECT_EQ(preview.removed, 0);
    EXPECT_EQ(preview.cleaned, 0);
    EXPECT_EQ(preview.eligible, cacheBytes + gpuBytes);
    EXPECT_TRUE(t::exists(cache + "/f0"));

    const Report real = clean(false, home.places);
    EXPECT_EQ(real.notes, (std::vector<std::string>{locationNote("Checked", cache, 5, 1, cacheBytes, 0),
                                                    "Cleared " + size(cacheBytes) + " from " + cache,
                                                    locationNote("Checked", gpu, 2, 1, gpuBytes, 0),
                                                    "Cleared " + size(gpuBytes) + " from " + gpu}));
    EXPECT_EQ(real.cleaned, 2);
    EXPECT_EQ(real.removed, preview.eligible);
    EXPECT_EQ(real.eligible, preview.eligible);
    EXPECT_FALSE(t::exists(cache));
    EXPECT_FALSE(t::exists(gpu));
    EXPECT_TRUE(t::exists(storage + "/f0"));
    EXPECT_TRUE(t::exists(unlisted + "/f0"));
    EXPECT_TRUE(t::exists(home.chrome + "/Default"));
}

TEST(CleanRun, ProgressRunsFromZeroToOneWithTheGroupsStageTextAndInspectingLinesAreLogOnly) {
    t::FixtureHome home;
    const std::string cache = home.cache("Default");
    t::makeDirectory(home.places.home + "/Library/Caches/com.apple.dt.Xcode");
    t::movePastTheSecond(home);
    std::vector<std::pair<double, std::string>> progress;
    std::vector<std::string> logged;
    const Report report = clean(
        true, home.places, nullptr, [&](double f, const std::string& s) { progress.emplace_back(f, s); },
        [&](const std::string& l) { logged.push_back(l); });
    ASSERT_EQ(report.checked, 2) << t::joined(report.notes);
    EXPECT_EQ(progress, (std::vector<std::pair<double, std::string>>{{0.0, text::buildCachesStage},
                                                                     {0.5, text::buildCachesStage},
                                                                     {0.5, "Checking Chrome caches\u2026"},
                                                                     {1.0, "Checking Chrome caches\u2026"}}));
    ASSERT_EQ(logged.size(), 4u);
    EXPECT_EQ(logged[0], text::inspectingPrefix + home.places.home + "/Library/Caches/com.apple.dt.Xcode");
    EXPECT_EQ(logged[2], text::inspectingPrefix + cache);
    EXPECT_EQ(std::vector<std::string>({logged[1], logged[3]}), report.notes);
}

TEST(CleanRun, EmptyPlanCountsAsSkippedAndStillGetsItsNote) {
    t::FixtureHome home;
    const std::string logs = home.places.home + "/Library/Logs";
    t::makeDirectory(logs);
    const Report report = clean(true, home.places);
    EXPECT_EQ(report.notes, std::vector<std::string>{locationNote("Preview", logs, 0, 0, 0, 0)});
    EXPECT_EQ(report.skipped, 1);
}

TEST(CleanRun, RefusedLocationIsKeptWithTheDescribedReason) {
    t::FixtureHome home;
    const std::string cache = home.cache("Default");
    t::writeFile(cache + "/fresh", "x");
    t::setModificationTime(cache + "/fresh", t::now() + 1000);
    const Report report = clean(false, home.places);
    EXPECT_EQ(report.notes, std::vector<std::string>{t::keptNote(cache, text::recentlyChanged)});
    EXPECT_EQ(report.skipped, 1);
    EXPECT_TRUE(t::exists(cache + "/f0"));
}

TEST(CleanRun, LinkedLocationIsKeptAndItsTargetUntouched) {
    t::FixtureHome home;
    const std::string victim = t::freshDirectory("victim");
    t::writeFile(victim + "/precious", "x");
    t::makeDirectory(home.chrome + "/Default");
    t::makeSymlink(victim, home.chrome + "/Default/Cache");
    t::movePastTheSecond(home);
    const Report report = clean(false, home.places);
    EXPECT_EQ(report.notes, std::vector<std::string>{t::keptNote(home.chrome + "/Default/Cache", text::rootNotPrivate)});
    EXPECT_EQ(t::readFile(victim + "/precious"), "x");
}

TEST(CleanRun, PreviewCountsEveryItemOnceEvenWhereTwoLocationsWouldShareAFolder) {
    t::FixtureHome home;
    // The configuration folder inside the thumbnail cache: the editor's log
    // folder lies inside the folder of the normal-size thumbnails.
    const std::string thumbnails = home.places.cache + "/thumbnails";
    home.places.config = thumbnails + "/normal/config";
    const std::string logs = home.places.config + "/Code/logs/20261206T123845";
    for (const std::string& folder : {logs, thumbnails + "/large", home.places.cache + "/mesa_shader_cache/b1"})
        t::makeDirectory(folder);
    for (const std::string& file : {logs + "/main.log", thumbnails + "/normal/4b2a.png", thumbnails + "/large/9c1e.png",
                                    home.places.cache + "/mesa_shader_cache/b1/cb48fe83"})
        t::writeFile(file, std::string(5000, 'x'));
    home.places.clockShift = 100 * 86400.0; // everything is past every threshold

    const Report preview = clean(true, home.places);
    const Report real = clean(false, home.places);
    EXPECT_GT(real.removed, 0);
    EXPECT_EQ(preview.eligible, real.removed) << t::joined(preview.notes) << t::joined(real.notes);
    EXPECT_EQ(real.skipped, 0) << t::joined(real.notes);
    EXPECT_FALSE(t::exists(logs + "/main.log"));
    EXPECT_FALSE(t::exists(home.places.cache + "/mesa_shader_cache/b1"));
}
