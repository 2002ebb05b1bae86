#include "engine/Clean.h"

#include "core/Texts.h"
#include "engine/Report.h"
#include "tests/engine/CleanFixture.h"

#include <atomic>

using namespace quillon;
namespace t = quillon::testing;

TEST(CleanCancel, CancelledBeforeStartTouchesNothingNotEvenTheLock) {
    t::FixtureHome home;
    const std::string cache = home.cache("Default");
    t::movePastTheSecond(home);
    RunControl control;
    control.cancel();
    std::vector<std::string> logged;
    const Report report = clean(false, home.places, &control, {}, [&](const std::string& l) { logged.push_back(l); });
    EXPECT_TRUE(report.cancelled);
    EXPECT_EQ(report.notes, std::vector<std::string>{text::cancelledBeforeStart});
    EXPECT_EQ(logged, report.notes);
    EXPECT_EQ(report.checked, 0);
    EXPECT_FALSE(t::exists(home.places.temp + "/" + lockFileName));
    EXPECT_TRUE(t::exists(cache + "/f0"));
    EXPECT_EQ(summary(report, false).rfind("Cleanup cancelled. Cleared Zero KB before stopping.\n", 0), 0u);
}

TEST(CleanCancel, CancelledBetweenLocationsStartsNoFurtherLocation) {
    t::FixtureHome home;
    const std::string first = home.cache("Default", "Cache");
    const std::string second = home.cache("Default", "GPUCache");
    t::movePastTheSecond(home);
    RunControl control;
    std::vector<std::pair<double, std::string>> progress;
    const Report report = clean(false, home.places, &control, [&](double fraction, const std::string& stage) {
        progress.emplace_back(fraction, stage);
        if (fraction == 0.5) control.cancel(); // the end of the first location
    });
    EXPECT_TRUE(report.cancelled);
    EXPECT_EQ(report.checked, 1);
    ASSERT_EQ(report.notes.size(), 3u);
    EXPECT_EQ(report.notes[1], "Cleared " + size(report.removed) + " from " + first);
    EXPECT_EQ(report.notes[2], text::cancelledBetweenLocations);
    EXPECT_FALSE(t::exists(first));
    EXPECT_TRUE(t::exists(second + "/f0"));
    EXPECT_EQ(progress.size(), 2u); // no progress after the cancellation
}

TEST(CleanCancel, CancelledInsideALocationStopsItAndStartsNoLaterOne) {
    t::FixtureHome home;
    // Seen from a year ahead, every file made here is old enough.
    home.places.clockShift = 365 * 86400.0;
    const std::string reports = home.places.home + "/Library/Logs/DiagnosticReports";
    const std::string later = home.places.home + "/.npm/_logs";
    t::makeDirectory(reports);
    t::makeDirectory(later);
    for (int i = 0; i < 40; ++i)
        t::writeFile(reports + "/report-" + (i < 10 ? "0" : "") + std::to_string(i) + ".ips", std::string(5000, 'x'));
    t::writeFile(later + "/debug.log", "x");
    RunControl control;
    // Cancelled while the open files are read again before item 32: the
    // removal of that item sees it, and the 32 before it stay removed.
    int readings = 0;
    home.places.guard.openFiles = [&](const RunControl*) {
        if (++readings == 2) control.cancel();
        return std::vector<std::string>{};
    };
    const Report report = clean(false, home.places, &control);

    int left = 0;
    for (int i = 0; i < 40; ++i)
        left += t::exists(reports + "/report-" + (i < 10 ? "0" : "") + std::to_string(i) + ".ips") ? 1 : 0;
    EXPECT_TRUE(report.cancelled);
    EXPECT_EQ(left, 8);
    EXPECT_EQ(report.cleaned, 32);
    // The logs folder itself comes first, then the reports folder stops.
    ASSERT_EQ(report.notes.size(), 3u) << t::joined(report.notes);
    EXPECT_EQ(report.notes[0].rfind("Checked: " + home.places.home + "/Library/Logs \u2014 ", 0), 0u);
    EXPECT_EQ(report.notes[1], "Cancelled at " + reports + ". No further files will be removed.");
    EXPECT_EQ(report.notes[2], "Cleared " + size(report.removed) + " from " + reports);
    EXPECT_EQ(report.checked, 2);
    EXPECT_TRUE(t::exists(later + "/debug.log"));
}

TEST(CleanCancel, AgeThresholdsHoldInARealRun) {
    t::FixtureHome home;
    const std::string reports = home.places.home + "/Library/Logs/DiagnosticReports";
    t::makeDirectory(reports);
    t::writeFile(reports + "/young.ips", "x");
    t::writeFile(reports + "/old.ips", "x");
    t::writeFile(reports + "/old.txt", "x");
    // Ninety days is the threshold: seen from 100 days ahead, a file dated
    // 5 days ahead of now is 95 days old and one dated 20 days ahead is 80.
    home.places.clockShift = 100 * 86400.0;
    t::setModificationTime(reports + "/young.ips", t::now() + 20 * 86400.0);
    t::setModificationTime(reports + "/old.ips", t::now() + 5 * 86400.0);
    const Report report = clean(false, home.places);
    EXPECT_TRUE(t::exists(reports + "/young.ips"));
    EXPECT_FALSE(t::exists(reports + "/old.ips")) << t::joined(report.notes);
    EXPECT_TRUE(t::exists(reports + "/old.txt"));
    EXPECT_EQ(report.cleaned, 1);
}
