#include "selftest/Scenarios.h"

#include "catalog/TemporaryBuild.h"
#include "core/StartupValues.h"
#include "fs/Directory.h"
#include "fs/RemoveChecked.h"
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

} // namespace

void checkTemporaryBuilds(SelfTestState& state) {
    const std::string builds = state.at("temporary-builds");
    const std::string review = builds + "/fennows-review-fixture";
    const std::string backup = builds + "/fennows-source-backup";
    const std::string bare = builds + "/fennows-build-without-metadata";
    const std::string archive = builds + "/fennows.xcarchive";
    const std::string metadata = platform::xmlPropertyList(
        {{"WorkspacePath", state.at("policy-home") + "/Documents/fennows/fennows.xcodeproj"}});

    // A build folder with caches beside products and package checkouts; a
    // source backup, a build without metadata and an archive beside it.
    for (const char* folder :
         {"/ModuleCache.noindex", "/Build/Intermediates.noindex", "/Build/Products", "/SourcePackages"}) {
        fm.createDirectory(review + folder, true);
        writeFile(review + folder + "/retained-or-generated", payload);
    }
    writeFile(review + "/info.plist", metadata);
    fm.createDirectory(backup + "/ModuleCache.noindex", true);
    writeFile(backup + "/ContentView.swift", payload);
    writeFile(backup + "/info.plist", metadata);
    fm.createDirectory(bare + "/ModuleCache.noindex", true);
    fm.createDirectory(archive + "/Products", true);
    writeFile(archive + "/Products/app", payload);
    makeSymbolicLink(review, builds + "/linked-build");

    const std::vector<Candidate> rows = temporaryBuildCandidates(builds);
    check(!rows.empty(), "no temporary build folder was found");
    for (const Candidate& row : rows) {
        check(row.temporaryBuildRoot == review, "a build row belongs to " + row.temporaryBuildRoot.value_or("nothing"));
        check(row.age == 7 * day && row.group == "Development",
              "build row " + row.path + " is not a seven-day Development row");
        check(row.path.find("/SourcePackages") == std::string::npos &&
                  row.path.find("/Build/Products") == std::string::npos,
              "build row " + row.path + " names protected build output");
    }
    const auto moduleCache = std::find_if(
        rows.begin(), rows.end(), [](const Candidate& row) { return endsWith(row.path, "/ModuleCache.noindex"); });
    const auto intermediates = std::find_if(rows.begin(), rows.end(), [](const Candidate& row) {
        return endsWith(row.path, "/Build/Intermediates.noindex");
    });
    check(moduleCache != rows.end(), "no build row for ModuleCache.noindex");
    check(intermediates != rows.end(), "no build row for Build/Intermediates.noindex");

    // Fresh build output is too new for the row's own seven days.
    {
        ScanStats stats;
        check(plan(*moduleCache, stats).empty(), "fresh build caches were planned");
    }

    // A source file in the build folder, then metadata that is a link: the
    // folder is no longer a build folder, whatever its age.
    writeFile(review + "/ContentView.swift", payload);
    expectSkip([&] {
        ScanStats stats;
        plan(agedOut(*moduleCache), stats);
    });
    removeFile(review + "/ContentView.swift");
    removeFile(review + "/info.plist");
    makeSymbolicLink(backup + "/info.plist", review + "/info.plist");
    expectSkip([&] {
        ScanStats stats;
        plan(agedOut(*moduleCache), stats);
    });
    removeFile(review + "/info.plist");
    writeFile(review + "/info.plist", metadata);

    removePlanned(*moduleCache, state);
    removePlanned(*intermediates, state);

    check(absent(review + "/ModuleCache.noindex/retained-or-generated"), "the module cache was not cleaned");
    check(absent(review + "/Build/Intermediates.noindex/retained-or-generated"),
          "the build intermediates were not cleaned");
    checkPayload(review + "/Build/Products/retained-or-generated", "the build products");
    checkPayload(review + "/SourcePackages/retained-or-generated", "the package checkouts");
    checkPayload(backup + "/ContentView.swift", "the source backup");
    checkPayload(archive + "/Products/app", "the archive");
}

} // namespace quillon::selftest
