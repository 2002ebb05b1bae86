// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "selftest/Scenarios.h"

#include "catalog/Catalogue.h"
#include "core/StartupValues.h"
#include "engine/Clean.h"
#include "guard/RunningTools.h"
#include "platform/Folders.h"
#include "platform/Paths.h"
#include "scan/Plan.h"
#include "selftest/Fixtures.h"
#include "selftest/SelfTestError.h"

#include <algorithm>
#include <set>

namespace quillon::selftest {

namespace {

struct ToolRule {
    Group group;
    std::set<std::string> running;
    bool busy;
};

// Places the catalogue must never name, wherever the home directory is.
constexpr const char* forbiddenFragments[] = {
    "/.codex/",         "/.cache/codex-runtimes",
    "/.npm/_npx",       "/SourcePackages",
    "/Build/Products",  "/Archives",
    "/Trash",           "/Downloads",
    "/Documents",       "/Local Storage",
    "/IndexedDB",       "/Service Worker",
    "/PersistentCache",
};
constexpr const char* forbiddenPrefixes[] = {"/Library/", "/private/var/vm", "/private/var/db"};

void checkRealCatalogue() {
    for (const Candidate& candidate : candidates(currentPlaces().bases)) {
        for (const char* fragment : forbiddenFragments)
            check(candidate.path.find(fragment) == std::string::npos,
                  "catalogue path " + candidate.path + " contains \"" + fragment + "\"");
        for (const char* prefix : forbiddenPrefixes)
            check(candidate.path.rfind(prefix, 0) != 0,
                  "catalogue path " + candidate.path + " begins with \"" + prefix + "\"");
    }
}

bool hasPath(const std::vector<Candidate>& rows, const std::string& path) {
    return std::any_of(rows.begin(), rows.end(), [&](const Candidate& row) { return row.path == path; });
}

bool hasRow(const std::vector<Candidate>& rows, const std::string& path, const auto& matches) {
    return std::any_of(rows.begin(), rows.end(),
                       [&](const Candidate& row) { return row.path == path && matches(row); });
}

void checkFixtureCatalogue(const SelfTestState& state) {
    const std::string home = state.at("policy-home");
    const std::string temp = state.at("policy-temp");
    const std::string cache = state.at("policy-cache");
    const std::string atlas = home + "/Library/Application Support/com.openai.atlas/browser-data/host/user-fixture";
    const std::string logs = home + "/Library/Logs";
    for (const std::string& folder :
         {atlas + "/GPUCache", atlas + "/Local Storage", atlas + "/Service Worker", logs + "/Example",
          logs + "/DiagnosticReports", logs + "/Quillon", temp + "/export.xcdistributionlogs"})
        platform::makeFolder(folder, true);

    Bases bases = currentPlaces().bases;
    bases.home = home, bases.temp = bases.sharedTemp = temp, bases.cache = cache;
    const std::vector<Candidate> rows = candidates(bases);
    check(hasRow(rows, atlas + "/GPUCache", [](const Candidate& row) { return row.group == Group::atlas; }),
          "no Atlas row for the Atlas profile's GPUCache");
    check(!hasPath(rows, atlas + "/Local Storage"), "the catalogue names an Atlas profile's Local Storage");
    check(!hasPath(rows, atlas + "/Service Worker"), "the catalogue names an Atlas profile's Service Worker");
    check(hasRow(rows, cache + "/clang/ModuleCache", [](const Candidate& row) { return row.age == 7 * day; }),
          "no seven-day row for the clang module cache");
    check(hasRow(rows, temp + "/export.xcdistributionlogs", [](const Candidate& row) { return row.age == 30 * day; }),
          "no thirty-day row for the distribution logs");
    check(!hasPath(rows, logs + "/Quillon"), "the catalogue names the program's own log folder");

    // The program's own log stays, even though it is an old log by name.
    writeFile(logs + "/old.log", payload);
    writeFile(logs + "/Quillon/LastRun.log", payload);
    {
        ScanStats stats;
        const std::vector<PlannedItem> items =
            plan(Candidate(logs, -100, Group::logs, ScanMode::oldTopFiles, std::string("\\.log$")), stats);
        check(items.size() == 1, "planning the logs folder gave " + std::to_string(items.size()) + " items, not 1");
        check(items.front().node.name == "old.log",
              "planning the logs folder gave \"" + items.front().node.name + "\"");
    }

    // Crash reports are found by their own row, and only crash reports.
    const auto reports = std::find_if(rows.begin(), rows.end(),
                                      [&](const Candidate& row) { return row.path == logs + "/DiagnosticReports"; });
    check(reports != rows.end(), "no row for the crash reports folder");
    check(reports->age == 90 * day, "the crash reports row is not ninety days old");
    writeFile(reports->path + "/old.ips", payload);
    writeFile(reports->path + "/evidence.zip", payload);
    ScanStats stats;
    const std::vector<PlannedItem> items =
        plan(Candidate(reports->path, -100, Group::logs, reports->mode, reports->pattern), stats);
    check(items.size() == 1, "planning the crash reports gave " + std::to_string(items.size()) + " items, not 1");
    check(items.front().node.name == "old.ips", "planning the crash reports gave \"" + items.front().node.name + "\"");
}

} // namespace

void checkRunningTools() {
    const ToolRule rules[] = {
        {Group::figma, {"figma helper (renderer)"}, true},
        {Group::figma, {"figma_agent"}, false},
        {Group::chrome, {"google chrome helper"}, true},
        {Group::chrome, {"chrome_crashpad_handler"}, false},
        {Group::vsCode, {"code helper (renderer)"}, true},
        {Group::vsCode, {"codex"}, false},
        {Group::vsCode, {"codesign"}, false},
        {Group::javaScript, {"npm exec something"}, true},
        {Group::development, {"xcbbuildservice"}, true},
        {Group::development, {"cc"}, true},
        {Group::atlas, {"atlas helper (renderer)"}, true},
        {Group::safari, {"com.apple.webkit.networking"}, true},
        {Group::blender, {"blender-thumbnailer"}, true},
        {Group::nucleo, {"codex"}, false},
    };
    for (const ToolRule& rule : rules) {
        const std::string running = rule.running.empty() ? "nothing" : "\"" + *rule.running.begin() + "\"";
        check(busyTools(rule.group, rule.running) == rule.busy,
              "group \"" + std::string(about(rule.group).name) + "\" with " + running + " running is " +
                  (rule.busy ? "not busy" : "busy"));
    }
}

void checkCatalogue(const SelfTestState& state) {
    checkRealCatalogue();
    checkFixtureCatalogue(state);
}

} // namespace quillon::selftest
