#include "engine/Report.h"

#include "core/Texts.h"

#include <gtest/gtest.h>

using quillon::Report;
using quillon::summary;

namespace {

const std::string body(const char* free, int checked, int skipped) {
    return std::string("\n\nAvailable space: ") + free + "\nChecked " + std::to_string(checked) +
           " cache and log locations.\nKept recent, active or protected items in " + std::to_string(skipped) +
           " locations.";
}

} // namespace

TEST(Summary, NewReportSaysNothingCouldBeCleared) {
    EXPECT_EQ(summary(Report{}, false), quillon::text::nothingCleared + body("Zero KB", 0, 0));
}

TEST(Summary, RemovedBytesOrCleanedItemsEachGiveTheClearedHeadline) {
    Report bytesOnly;
    bytesOnly.removed = 1'500'000;
    bytesOnly.freeAfter = 2'000'000;
    bytesOnly.checked = 1;
    EXPECT_EQ(summary(bytesOnly, false), "Cleared 1.5 MB of disposable files." + body("2 MB", 1, 0));
    Report itemsOnly;
    itemsOnly.cleaned = 1;
    EXPECT_EQ(summary(itemsOnly, false), "Cleared Zero KB of disposable files." + body("Zero KB", 0, 0));
}

TEST(Summary, PreviewHeadlineNamesEligibleBytes) {
    Report report;
    report.eligible = 1500;
    report.removed = 999; // a preview never reads it
    EXPECT_EQ(summary(report, true), "Preview: 2 KB eligible for cleanup." + body("Zero KB", 0, 0));
}

TEST(Summary, CancelledHeadlineWinsOverThePreviewHeadline) {
    Report report;
    report.cancelled = true;
    report.removed = 1000;
    report.eligible = 5000;
    EXPECT_EQ(summary(report, true), "Cleanup cancelled. Cleared 1 KB before stopping." + body("Zero KB", 0, 0));
    EXPECT_EQ(summary(report, false), "Cleanup cancelled. Cleared 1 KB before stopping." + body("Zero KB", 0, 0));
}

TEST(Summary, CountOfOneKeepsThePluralWords) {
    Report report;
    report.checked = 1;
    report.skipped = 1;
    EXPECT_EQ(summary(report, false), quillon::text::nothingCleared + body("Zero KB", 1, 1));
}

TEST(Summary, DeveloperAndLogGroupsAreNeverNamedAsBusy) {
    Report report;
    report.busyGroups = {"Logs", "Python", "Development", "JavaScript", "Package downloads"};
    EXPECT_EQ(summary(report, false), quillon::text::nothingCleared + body("Zero KB", 0, 0));
}

TEST(Summary, BusyApplicationsAreNamedInCharacterCodeOrder) {
    Report report;
    report.busyGroups = {"Spotify", "Logs", "Figma", "VS Code", "Unity Hub"};
    EXPECT_EQ(summary(report, false), quillon::text::nothingCleared + body("Zero KB", 0, 0) +
                                          "\nRunning apps skipped: Figma, Spotify, Unity Hub, VS Code.");
}
