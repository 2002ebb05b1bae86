// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

// The summary's exact text: which headline wins, the body's counts, and which busy groups are named, in what order.

#include "engine/Report.h"

#include "core/Texts.h"

#include <gtest/gtest.h>

using quillon::Group;
using quillon::Report;

TEST(Summary, HeadlineBodyAndBusyLine) {
    const auto body = [](const std::string& free, const std::string& count) {
        return "\n\nAvailable space: " + free + "\nChecked " + count +
               " cache and log locations.\nKept recent, active or protected items in " + count + " locations.";
    };
    const std::string zero = body("Zero KB", "0"), none = quillon::text::nothingCleared + zero;
    const std::tuple<void (*)(Report&), bool, std::string> rows[] = {
        {[](Report& r) { r.removed = 1'500'000, r.skipped = 1, r.checked = 1, r.freeAfter = 2'000'000; }, false,
         "Cleared 1.5 MB of disposable files." + body("2 MB", "1")}, // a count of one keeps the plural words
        {[](Report& r) { r.cleaned = 1; }, false, "Cleared Zero KB of disposable files." + zero},
        {[](Report& r) { r.removed = 9, r.eligible = 1500; }, true, "Preview: 2 KB eligible for cleanup." + zero},
        {[](Report& r) { r.cancelled = true, r.removed = 1000; }, true,
         "Cleanup cancelled. Cleared 1 KB before stopping." + zero},
        {[](Report& r) { r.busyGroups = {Group::logs, Group::packageDownloads}; }, false, none},
        {[](Report& r) { r.busyGroups = {Group::spotify, Group::logs, Group::figma, Group::vsCode, Group::unityHub}; },
         false, none + "\nRunning apps skipped: Figma, Spotify, Unity Hub, VS Code."},
    };
    for (const auto& [set, dryRun, text] : rows) {
        Report report;
        EXPECT_EQ(quillon::summary((set(report), report), dryRun), text);
    }
}
