// A whole clean run: preview and real run agree, progress and log lines come
// in step with the locations, cancellation stops between locations, and the
// run lock keeps a second run out (see CleanGuardsTest.cpp for the guards).

#include "tests/engine/CleanFixture.h"

#include "platform/Descriptor.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <functional>

using namespace quillon;
namespace t = quillon::testing;

namespace {

// Two locations in catalogue order, a build cache and a browser cache, each
// one item, and a browser folder beside them that no location names.
struct TwoLocations {
    std::string build, browser, unlisted;
    explicit TwoLocations(const CleanPlaces& places) {
        build = places.home + "/Library/Caches/com.apple.dt.Xcode";
        const std::string profile = places.home + "/Library/Application Support/Google/Chrome/Default";
        browser = profile + "/Cache";
        unlisted = profile + "/Local Storage";
        for (const std::string& folder : {build, browser, unlisted}) {
            t::makeDirectory(folder);
            t::writeFile(folder + "/f0", "x");
        }
        t::writeFile(browser + "/f1", "x");
    }
};

// Takes a lock on the run's lock file that conflicts with the run's own,
// even from this process (an open file description lock).
platform::Descriptor holdLock(const std::string& temp) {
    platform::Descriptor file(::open((temp + "/" + lockFileName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    struct flock region {};
    region.l_type = F_WRLCK;
    region.l_whence = SEEK_SET;
    if (!file || ::fcntl(file.get(), F_OFD_SETLK, &region) != 0) return {};
    return file;
}

} // namespace

TEST(CleanRun, PreviewCountsWhatTheRealRunRemovesAndBothHonourOpenFiles) {
    CleanPlaces places = t::fixturePlaces();
    t::movePastEveryThreshold(places);
    const TwoLocations at(places);
    places.guard.openFiles = [&](const RunControl*) { return std::vector<std::string>{at.browser + "/f1"}; };
    std::vector<Report> reports;
    for (const bool dryRun : {true, false}) {
        SCOPED_TRACE(dryRun ? "preview" : "real run");
        std::vector<std::pair<double, std::string>> progress;
        std::vector<std::string> logged;
        reports.push_back(clean(
            dryRun, places, nullptr, [&](double f, const std::string& stage) { progress.emplace_back(f, stage); },
            [&](const std::string& line) { logged.push_back(line); }));
        const Report& report = reports.back();
        const std::string browserStage = "Checking Chrome caches\u2026";
        EXPECT_EQ(progress, (std::vector<std::pair<double, std::string>>{
                                {0.0, text::buildCachesStage}, {0.5, text::buildCachesStage},
                                {0.5, browserStage}, {1.0, browserStage}}));
        // "Inspecting" lines go to the log only, each before its location's
        // notes: the location note, and after a removal the "Cleared" note.
        std::vector<std::string> expected = report.notes;
        expected.insert(expected.begin() + (dryRun ? 1 : 2), text::inspectingPrefix + at.browser);
        expected.insert(expected.begin(), text::inspectingPrefix + at.build);
        EXPECT_EQ(logged, expected);
        ASSERT_EQ(report.notes.size(), dryRun ? 2u : 3u);
        EXPECT_EQ(report.notes[0].rfind((dryRun ? "Preview: " : "Checked: ") + at.build + " \u2014 1 files", 0), 0u);
        EXPECT_EQ(report.checked, 2);
        EXPECT_EQ(report.files, 3);
        EXPECT_EQ(report.skipped, 1); // the browser cache, held open
        EXPECT_EQ(report.cleaned, dryRun ? 0 : 1);
        EXPECT_EQ(t::exists(at.build), dryRun);
    }
    EXPECT_GT(reports[0].eligible, 0);
    EXPECT_EQ(reports[0].removed, 0);
    EXPECT_EQ(reports[1].removed, reports[0].eligible);
    EXPECT_EQ(reports[1].notes[1], t::clearedNote(reports[0].eligible, at.build));
    for (const std::string& kept : {at.browser + "/f0", at.unlisted + "/f0"}) EXPECT_TRUE(t::exists(kept)) << kept;
}

TEST(CleanRun, CancelledBetweenLocationsStartsNoFurtherLocation) {
    CleanPlaces places = t::fixturePlaces();
    t::movePastEveryThreshold(places);
    const TwoLocations at(places);
    RunControl control;
    int progressCalls = 0;
    const Report report = clean(false, places, &control, [&](double fraction, const std::string&) {
        ++progressCalls;
        if (fraction == 0.5) control.cancel(); // the first location is done
    });
    EXPECT_TRUE(report.cancelled);
    EXPECT_EQ(report.checked, 1);
    EXPECT_EQ(progressCalls, 2);
    EXPECT_EQ(report.notes.back(), text::cancelledBetweenLocations);
    EXPECT_FALSE(t::exists(at.build));
    EXPECT_TRUE(t::exists(at.browser + "/f0"));
}

TEST(CleanLock, RunThatCannotStartOrLockNotesWhyAndTouchesNothing) {
    const std::string elsewhere = t::freshDirectory("elsewhere") + "/target";
    struct Row {
        const char* label;
        std::function<platform::Descriptor(CleanPlaces&, RunControl&)> setUp;
        const char* note;
    };
    const Row rows[] = {
        {"cancelled before the start", [](CleanPlaces&, RunControl& c) { return c.cancel(), platform::Descriptor(); },
         text::cancelledBeforeStart},
        {"lock held by another run", [](CleanPlaces& p, RunControl&) { return holdLock(p.temp); },
         text::anotherCleanupRunning},
        {"lock file is a link",
         [&](CleanPlaces& p, RunControl&) { return t::makeSymlink(elsewhere, p.temp + "/" + lockFileName), platform::Descriptor(); },
         text::noCleanupLock},
        {"no temporary folder", [](CleanPlaces& p, RunControl&) { return p.temp.clear(), platform::Descriptor(); },
         text::noCleanupLock},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        CleanPlaces places = t::fixturePlaces();
        t::movePastEveryThreshold(places);
        const std::string temp = places.temp;
        const TwoLocations at(places);
        RunControl control;
        const platform::Descriptor held = row.setUp(places, control);
        std::vector<std::string> logged;
        const Report report = clean(false, places, &control, {}, [&](const std::string& l) { logged.push_back(l); });
        EXPECT_EQ(report.notes, std::vector<std::string>{row.note});
        EXPECT_EQ(logged, report.notes);
        EXPECT_EQ(report.cancelled, row.note == text::cancelledBeforeStart);
        EXPECT_EQ(report.skipped, report.cancelled ? 0 : 1);
        EXPECT_EQ(report.checked, 0);
        EXPECT_TRUE(t::exists(at.build + "/f0"));
        if (report.cancelled) {
            EXPECT_FALSE(t::exists(temp + "/" + lockFileName)); // not even made
        }
    }
    EXPECT_FALSE(t::exists(elsewhere));
}

TEST(CleanLock, RunWithoutLocationsNotesNothingAndLetsGoOfTheLock) {
    const CleanPlaces places = t::fixturePlaces();
    const Report report = clean(false, places);
    EXPECT_EQ(report.checked, 0);
    EXPECT_EQ(report.notes, std::vector<std::string>{});
    EXPECT_TRUE(holdLock(places.temp));
}
