// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "selftest/Scenarios.h"

#include "catalog/TemporaryBuild.h"
#include "core/StartupValues.h"
#include "fs/Directory.h"
#include "fs/RemoveChecked.h"
#include "platform/Folders.h"
#include "platform/PropertyList.h"
#include "scan/Plan.h"
#include "selftest/Fixtures.h"
#include "selftest/SelfTestError.h"

#include <algorithm>

namespace quillon::selftest {

namespace {

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The same location, planned as if everything in it were old.
Candidate agedOut(const Candidate& row) {
    return Candidate(row.path, -100, row.group, row.mode, std::nullopt, row.temporaryBuildRoot);
}

// Removes every item that planning `row` as old gives, each through a fresh
// descriptor of its folder.
void removePlanned(const Candidate& row, SelfTestState& state) {
    ScanStats stats;
    for (const PlannedItem& item : plan(agedOut(row), stats)) {
        const platform::Descriptor parent = openDirectory(item.parentPath);
        removeChecked(parent.get(), item.node, state.removed);
    }
}

void checkPayload(const std::string& path, const std::string& label) {
    check(readFile(path) == payload, label + " changed");
}

// The fixture: a build folder with caches beside products and package
// checkouts; a source backup, a build without metadata and an archive
// beside it, and a link to the build folder.
struct BuildFixture {
    std::string builds;
    std::string review;
    std::string backup;
    std::string archive;
    std::string metadata;
};

BuildFixture makeBuildFixture(const SelfTestState& state) {
    BuildFixture f;
    f.builds = state.at("temporary-builds");
    f.review = f.builds + "/fennows-review-fixture";
    f.backup = f.builds + "/fennows-source-backup";
    f.archive = f.builds + "/fennows.xcarchive";
    f.metadata = platform::xmlPropertyList(
        {{"WorkspacePath", state.at("policy-home") + "/Documents/fennows/fennows.xcodeproj"}});
    const std::string bare = f.builds + "/fennows-build-without-metadata";

    for (const char* folder :
         {"/ModuleCache.noindex", "/Build/Intermediates.noindex", "/Build/Products", "/SourcePackages"}) {
        platform::makeFolder(f.review + folder, true);
        writeFile(f.review + folder + "/retained-or-generated", payload);
    }
    writeFile(f.review + "/info.plist", f.metadata);
    platform::makeFolder(f.backup + "/ModuleCache.noindex", true);
    writeFile(f.backup + "/ContentView.swift", payload);
    writeFile(f.backup + "/info.plist", f.metadata);
    platform::makeFolder(bare + "/ModuleCache.noindex", true);
    platform::makeFolder(f.archive + "/Products", true);
    writeFile(f.archive + "/Products/app", payload);
    makeSymbolicLink(f.review, f.builds + "/linked-build");
    return f;
}

// Every row found belongs to the build folder, is a seven-day Development
// row and names no build output that must stay.
void checkBuildRows(const std::vector<Candidate>& rows, const std::string& review) {
    check(!rows.empty(), "no temporary build folder was found");
    for (const Candidate& row : rows) {
        check(row.temporaryBuildRoot == review, "a build row belongs to " + row.temporaryBuildRoot.value_or("nothing"));
        check(row.age == 7 * day && row.group == Group::development,
              "build row " + row.path + " is not a seven-day Development row");
        check(row.path.find("/SourcePackages") == std::string::npos &&
                  row.path.find("/Build/Products") == std::string::npos,
              "build row " + row.path + " names protected build output");
    }
}

// Returns the row of the cache folder `name` (below the build folder).
const Candidate& buildRow(const std::vector<Candidate>& rows, const std::string& name) {
    const auto row = std::find_if(rows.begin(), rows.end(),
                                  [&](const Candidate& candidate) { return endsWith(candidate.path, "/" + name); });
    check(row != rows.end(), "no build row for " + name);
    return *row;
}

// A source file in the build folder, then metadata that is a link: the
// folder is no longer a build folder, whatever its age. Restores the folder.
void checkRevalidation(const BuildFixture& f, const Candidate& moduleCache) {
    writeFile(f.review + "/ContentView.swift", payload);
    expectSkip([&] {
        ScanStats stats;
        plan(agedOut(moduleCache), stats);
    });
    removeFile(f.review + "/ContentView.swift");
    removeFile(f.review + "/info.plist");
    makeSymbolicLink(f.backup + "/info.plist", f.review + "/info.plist");
    expectSkip([&] {
        ScanStats stats;
        plan(agedOut(moduleCache), stats);
    });
    removeFile(f.review + "/info.plist");
    writeFile(f.review + "/info.plist", f.metadata);
}

} // namespace

void checkTemporaryBuilds(SelfTestState& state) {
    const BuildFixture f = makeBuildFixture(state);
    const std::vector<Candidate> rows = temporaryBuildCandidates(f.builds);
    checkBuildRows(rows, f.review);
    const Candidate& moduleCache = buildRow(rows, "ModuleCache.noindex");
    const Candidate& intermediates = buildRow(rows, "Build/Intermediates.noindex");

    // Fresh build output is too new for the row's own seven days.
    {
        ScanStats stats;
        check(plan(moduleCache, stats).empty(), "fresh build caches were planned");
    }
    checkRevalidation(f, moduleCache);

    removePlanned(moduleCache, state);
    removePlanned(intermediates, state);

    check(absent(f.review + "/ModuleCache.noindex/retained-or-generated"), "the module cache was not cleaned");
    check(absent(f.review + "/Build/Intermediates.noindex/retained-or-generated"),
          "the build intermediates were not cleaned");
    checkPayload(f.review + "/Build/Products/retained-or-generated", "the build products");
    checkPayload(f.review + "/SourcePackages/retained-or-generated", "the package checkouts");
    checkPayload(f.backup + "/ContentView.swift", "the source backup");
    checkPayload(f.archive + "/Products/app", "the archive");
}

} // namespace quillon::selftest
