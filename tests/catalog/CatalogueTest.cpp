#include "catalog/Catalogue.h"
#include "catalog/LinuxCatalogue.h"
#include "core/StartupValues.h"
#include "guard/RunningTools.h"
#include "tests/support/Fixture.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <array>

using namespace quillon;
namespace t = quillon::testing;

namespace {
// The five bases of a catalogue, each a folder of its own in a fresh fixture folder.
enum Base { home, temp, cache, shared, config };
using Bases = std::array<std::string, 5>;
Bases freshBases() {
    const std::string root = t::freshDirectory("bases");
    Bases bases = {root + "/home", root + "/temp", root + "/cache", root + "/shared", root + "/config"};
    for (const std::string& base : bases) t::makeDirectory(base);
    return bases;
}

std::vector<Candidate> rowsOf(const Bases& b) { return candidates(b[home], b[temp], b[cache], b[shared], b[config]); }
bool within(const std::string& inner, const std::string& outer) {
    return inner.rfind(outer, 0) == 0 && (inner.size() == outer.size() || inner[outer.size()] == '/');
}

// Whether anything `row` may plan lies in `folder`.
bool reaches(const Candidate& row, const std::string& folder) {
    return within(row.path, folder) || (row.mode != ScanMode::oldTopFiles && within(folder, row.path));
}

// The order of the families of Linux rows; the browser engines are every other group.
int familyRank(const std::string& group) {
    if (group == "JavaScript" || group == "Python") return 1;
    return group == "Development" ? 0 : group == "GPU" ? 3 : group == "Thumbnail" ? 4 : group == "Logs" ? 5 : 2;
}
} // namespace

// Rules of every row, whatever the listings hold. The Linux rows come last, in the order of their families.
TEST(Catalogue, EveryRowLiesBelowABaseAndIsGuardedAndAnEmptyBaseTakesAwayItsOwnRowsOnly) {
    const Bases b = freshBases();
    for (const std::string& build : {b[temp] + "/T", b[shared] + "/S"}) {
        t::makeDirectory(build);
        t::writeFile(build + "/info.plist", "<plist><dict><key>WorkspacePath</key><string>/A.xcodeproj</string></dict></plist>");
    }
    for (const char* folder : {"/chromium/Default", "/Code/logs", "/UnityHub/Partitions/p"}) t::makeDirectory(b[config] + folder);
    const std::vector<Candidate> all = rowsOf(b);
    std::vector<Candidate> linux;
    appendLinuxRows(linux, {b[home], b[config], b[cache]});
    ASSERT_LT(linux.size(), all.size());
    EXPECT_TRUE(std::equal(linux.begin(), linux.end(), all.end() - static_cast<std::ptrdiff_t>(linux.size())));
    for (std::size_t i = 1; i < linux.size(); ++i)
        EXPECT_LE(familyRank(linux[i - 1].group), familyRank(linux[i].group)) << linux[i].path;
    const auto below = [](const std::string& path, const std::string& base) { return !base.empty() && path != base && within(path, base); };
    for (const Candidate& row : all) {
        EXPECT_TRUE(std::any_of(b.begin(), b.end(), [&](auto& base) { return below(row.path, base); })) << row.path;
        EXPECT_FALSE(busyTools(row.group, std::set<std::string>{})) << row.group << " has no rule";
        EXPECT_EQ(row.pattern.has_value(), row.group == "Logs") << row.path;
        EXPECT_TRUE(row.age > 0 || row.mode == ScanMode::whole) << row.path; // a file written now may be in use
    }
    for (std::size_t emptied = 0; emptied < b.size(); ++emptied) {
        Bases without = b;
        std::vector<Candidate> expected;
        without[emptied].clear();
        std::copy_if(all.begin(), all.end(), std::back_inserter(expected), [&](auto& row) { return !below(row.path, b[emptied]); });
        EXPECT_EQ(rowsOf(without), expected) << "without base " << emptied;
    }
    // Temporary builds first, from the root whose name sorts first ("shared"); one root searched once.
    EXPECT_EQ(all[0].temporaryBuildRoot, b[shared] + "/S");
    EXPECT_EQ(all[temporaryBuildCaches.size()].temporaryBuildRoot, b[temp] + "/T");
    EXPECT_EQ(candidates(b[home], b[shared], b[cache], b[temp], b[config])[0].temporaryBuildRoot, b[shared] + "/S");
    const std::vector<Candidate> once = candidates(b[home], b[temp], b[cache], b[temp], b[config]);
    EXPECT_EQ(std::count_if(once.begin(), once.end(), [](auto& row) { return row.temporaryBuildRoot; }), temporaryBuildCaches.size());
}

// A listed folder gives rows for the entries its rule names, nothing that reaches another entry, profile or settings
// data, or the program's own log folder. Browser profiles go by the exact rule ("user-" for Atlas only).
TEST(Catalogue, ListedFoldersGiveRowsOnlyForTheEntriesTheirRulesName) {
    const Bases b = freshBases();
    const std::string dd = b[home] + "/Library/Developer/Xcode/DerivedData/", tmp = b[temp] + "/", c = b[cache];
    const std::string pnpm = b[home] + "/Library/Caches/pnpm/", logs = b[home] + "/Library/Logs/", cf = b[config];
    const std::string figma = b[home] + "/Library/Application Support/Figma/DesktopProfile/", chromium = cf + "/chromium/";
    const std::string atlas = b[home] + "/Library/Application Support/com.openai.atlas/browser-data/host/";
    const std::string flatpak = b[home] + "/.var/app/org.chromium.Chromium/config/chromium/", snap = b[home] + "/snap/firefox/";
    const std::vector<std::pair<std::string, std::string>> rows = { // folder made, row expected ("": none reaches it)
        {dd + "MyApp-abc", dd + "MyApp-abc/Index.noindex"}, {tmp + "IPATool-123.tmp", tmp + "IPATool-123.tmp"},
        {tmp + "XcodeDistPipeline.x", tmp + "XcodeDistPipeline.x"}, {tmp + "e.xcdistributionlogs", tmp + "e.xcdistributionlogs"},
        {tmp + "IPATool-.tmp", ""}, {logs + "Example/x", b[home] + "/Library/Logs"}, {tmp + "IPATool-1.tmp.bak", ""},
        {pnpm + "v3", pnpm + "v3/metadata-full"}, {pnpm + "V3", ""}, {pnpm + "v10x", ""},
        {figma + "v12", figma + "v12/GPUCache"}, {figma + "vx", ""}, {logs + "Example", logs + "Example"}, {logs + "Quillon", ""},
        {c + "/yarn/v6", c + "/yarn/v6"}, {c + "/yarn/.tmp", ""}, {c + "/pnpm/metadata-v1.3", c + "/pnpm/metadata-v1.3"},
        {c + "/pnpm/dlx", ""}, {c + "/mozilla/firefox/k.default/x", c + "/mozilla/firefox/k.default/cache2"},
        {chromium + "Profile 2/x", chromium + "Profile 2/Code Cache"}, {chromium + "My Profile 2", ""}, {chromium + "Profile", ""},
        {chromium + "Partitions/.a", chromium + "Partitions/.a/GPUCache"}, {chromium + "user-1", ""}, {atlas + "user-1", atlas + "user-1/Cache"},
        {chromium + "Default/Partitions/x", chromium + "Default/Partitions/x/ShaderCache"}, {chromium + "Default/IndexedDB", ""},
        {flatpak + "Default/Local Storage", flatpak + "Default/GPUCache"}, {cf + "/Code/User", ""}, {cf + "/Code/CachedData", ""},
        {snap + "common/.cache/mozilla/firefox/p", snap + "common/.cache/mozilla/firefox/p/startupCache"},
        {c + "/thumbnails/fail", ""}, {c + "/thumbnails/normal/state", ""}, {c + "/thumbnails/large", c + "/thumbnails/large"},
    };
    for (const auto& [folder, row] : rows) t::makeDirectory(folder);
    const t::ScopedVariable state("XDG_STATE_HOME", (c + "/thumbnails/normal/state").c_str());
    const std::vector<Candidate> all = rowsOf(b);
    for (const auto& [folder, row] : rows)
        EXPECT_NE(std::any_of(all.begin(), all.end(), [&](auto& r) { return row.empty() ? reaches(r, folder) : r.path == row; }),
                  row.empty()) << folder;
}

// However the bases lie in one another, no item is reached by two locations (a preview would count it twice),
// and the first row of a path wins.
TEST(Catalogue, NoItemBelongsToTwoLocationsHoweverTheBasesNest) {
    const Bases b = freshBases();
    const std::pair<Base, std::string> arrangements[] = {
        {cache, b[config]},                             // one folder for both
        {cache, b[home] + "/.cache/pip/inside"},        // inside an earlier location
        {config, b[cache] + "/thumbnails/normal/conf"}, // a later location inside an earlier one
        {cache, b[config] + "/Code/logs"},              // a later location holding earlier ones
        {temp, b[home] + "/Library/Logs"},              // leftovers of exports that are log folders too
    };
    for (const auto& [base, folder] : arrangements) {
        Bases nested = b;
        nested[base] = folder;
        t::makeDirectory(folder + "/IPATool.tmp");
        const std::vector<Candidate> rows = rowsOf(nested);
        for (std::size_t i = 0; i < rows.size(); ++i)
            for (std::size_t j = i + 1; j < rows.size(); ++j)
                EXPECT_FALSE(within(rows[j].path, rows[i].path) ? reaches(rows[i], rows[j].path) : reaches(rows[j], rows[i].path))
                    << rows[i].path << " and " << rows[j].path;
        const auto leftover = std::find_if(rows.begin(), rows.end(), [&](auto& row) { return row.path == folder + "/IPATool.tmp"; });
        EXPECT_TRUE(base != temp || (leftover != rows.end() && leftover->group == "Development"));
    }
}
