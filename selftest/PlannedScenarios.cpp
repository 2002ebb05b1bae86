// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "selftest/Scenarios.h"

#include "catalog/Candidate.h"
#include "fs/Directory.h"
#include "fs/Node.h"
#include "fs/RemoveChecked.h"
#include "platform/Clock.h"
#include "platform/Folders.h"
#include "scan/Plan.h"
#include "selftest/Fixtures.h"
#include "selftest/SelfTestError.h"

namespace quillon::selftest {

namespace {

// Checks that `items` is exactly one planned item named `name`.
void checkSinglePlanned(const std::vector<PlannedItem>& items, const std::string& name, const std::string& location) {
    check(items.size() == 1, "planning " + location + " gave " + std::to_string(items.size()) + " items, not 1");
    check(items.front().node.name == name,
          "planning " + location + " gave \"" + items.front().node.name + "\", not \"" + name + "\"");
}

void checkLateArrivals(SelfTestState& state) {
    const std::string siblings = state.at("siblings");
    platform::makeFolder(siblings + "/old-entry", true);
    platform::makeFolder(siblings + "/new-entry", true);
    writeFile(siblings + "/old-entry/cache", payload);
    writeFile(siblings + "/new-entry/cache", payload);
    const double future = platform::wallClock() + 1000;
    setModificationTime(siblings + "/new-entry/cache", future);
    setModificationTime(siblings, future);

    ScanStats stats;
    const std::vector<PlannedItem> items =
        plan(Candidate(siblings, -100, Group::development, ScanMode::oldChildren), stats);
    checkSinglePlanned(items, "old-entry", "\"siblings\"");

    // A file that appears in a planned folder after planning keeps the folder.
    writeFile(siblings + "/old-entry/arrived-later", payload);
    const platform::Descriptor parent = openDirectory(siblings);
    expectSkip([&] { removeChecked(parent.get(), items.front().node, state.removed); });
    for (const char* kept : {"/old-entry/cache", "/old-entry/arrived-later", "/new-entry/cache"})
        check(nameExists(siblings + kept), "\"siblings" + std::string(kept) + "\" was removed");
}

void checkReplacedDirectory(SelfTestState& state) {
    const std::string replacement = state.at("replacement");
    platform::makeFolder(replacement, false);
    const Node node = inspect(state.rootDescriptor, "replacement", platform::wallClock() + 100, state.device);

    // The folder is swapped for a link to the fixture folder itself: a
    // removal that followed it would empty the whole tree.
    removeEmptyDirectory(replacement);
    makeSymbolicLink(state.root, replacement);
    expectSkip([&] { removeChecked(state.rootDescriptor, node, state.removed); });
    std::string content;
    try {
        content = readFile(state.at("recent"));
    } catch (const std::exception&) {
        check(false, "\"recent\" is gone after a folder was replaced by a link");
    }
    check(content == "changed and retained", "\"recent\" changed after a folder was replaced by a link");
}

void checkMixedDirectory(SelfTestState& state) {
    const std::string mixed = state.at("mixed");
    platform::makeFolder(mixed, false);
    for (const char* name : {"/old.log", "/new.log", "/important.txt"}) writeFile(mixed + name, payload);
    setModificationTime(mixed + "/new.log", platform::wallClock() + 1000);
    makeSymbolicLink(state.root, mixed + "/outside");

    ScanStats stats;
    const std::vector<PlannedItem> items =
        plan(Candidate(mixed, -100, Group::logs, ScanMode::oldFiles, std::string("\\.log$")), stats);
    checkSinglePlanned(items, "old.log", "\"mixed\"");

    const platform::Descriptor parent = openDirectory(mixed);
    removeChecked(parent.get(), items.front().node, state.removed);
    for (const std::string& kept : {mixed + "/new.log", mixed + "/important.txt", state.at("recent")}) {
        // Named first: GCC 12 warns falsely (-Wrestrict, at -O3) when a
        // literal is prepended to a temporary string.
        const std::string name = kept.substr(state.root.size() + 1);
        check(nameExists(kept), "\"" + name + "\" was removed with \"mixed/old.log\"");
    }
}

} // namespace

void checkPlannedRemovals(SelfTestState& state) {
    checkLateArrivals(state);
    checkReplacedDirectory(state);
    checkMixedDirectory(state);
}

} // namespace quillon::selftest
