// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "catalog/Catalogue.h"
#include "catalog/Rows.h"
#include "platform/Paths.h"
#include "core/StartupValues.h"
#include "tests/support/Fixture.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <array>
#include <sys/stat.h>

using namespace quillon;
namespace t = quillon::testing;

namespace {
// The five bases of a catalogue, each a folder of its own in a fresh fixture folder named by its number.
enum Base { home, temp, cache, shared, config };
using Folders = std::array<std::string, 5>;
Folders freshBases(const std::string& root = t::freshDirectory("bases")) {
    for (const char* base : {"/0", "/1", "/2", "/3", "/4"}) t::makeDirectories(root + base);
    return {root + "/0", root + "/1", root + "/2", root + "/3", root + "/4"};
}
Bases basesOf(const Folders& b, const std::string& logs = {}) {
    return {b[home], b[temp], b[cache], b[shared], b[config], logs};
}
std::vector<Candidate> rowsOf(const Folders& b, const std::string& logs = {}) { return candidates(basesOf(b, logs)); }
using platform::within;
bool below(const std::string& p, const std::string& base) { return !base.empty() && p != base && within(p, base); }
// Whether anything `row` may plan lies in `folder`.
bool reaches(const Candidate& row, const std::string& folder) {
    return within(row.path, folder) || (row.mode != ScanMode::oldTopFiles && within(folder, row.path));
}
} // namespace

// Rules of every row, whatever the listings hold. A listed folder gives rows for the entries
// its rule names (second: "=" the folder, "" none reaching it, else the folder's entry of that name), nothing that
// reaches another entry, profile or settings data, or the program's own log folder; browser profiles go by the exact
// rule ("user-" for Atlas only). However the bases lie in one another, no item is reached by two locations (a
// preview would count it twice) and the first row of a path wins; an empty base takes away its own rows only.
TEST(Catalogue, RowsLieBelowABaseAreGuardedFollowTheListingRulesAndReachNoItemOfAnotherRowHoweverTheBasesLie) {
    const Folders b = freshBases();
    const std::string h = b[home], lib = h + "/Library/", tmp = b[temp] + "/", c = b[cache], cf = b[config];
    const std::string dd = lib + "Developer/Xcode/DerivedData/", pnpm = lib + "Caches/pnpm/", logs = lib + "Logs/";
    const std::string figma = lib + "Application Support/Figma/DesktopProfile/", chromium = cf + "/chromium/";
    const std::string flatpak = h + "/.var/app/org.chromium.Chromium/config/chromium/";
    const std::pair<std::string, std::string> listed[] = {
        {dd + "MyApp-abc", "Index.noindex"}, {tmp + "IPATool-123.tmp", "="}, {tmp + "XcodeDistPipeline.x", "="},
        {tmp + "IPATool-.tmp", ""}, {tmp + "IPATool-1.tmp.bak", ""}, {pnpm + "v3", "metadata-full"}, {pnpm + "V3", ""},
        {pnpm + "v10x", ""}, {figma + "v12", "GPUCache"}, {figma + "vx", ""}, {logs + "Example", "="},
        {lib + "Logs", "="}, {c + "/yarn/.tmp", ""}, {c + "/pnpm/dlx", ""}, {chromium + "Profile 2", "Code Cache"},
        {chromium + "My Profile 2", ""}, {chromium + "Profile", ""}, {chromium + "Partitions/.a", "GPUCache"},
        {chromium + "user-1", ""}, {chromium + "Default/Partitions/x", "ShaderCache"},
        {chromium + "Default/IndexedDB", ""}, {flatpak + "Default", "GPUCache"}, {cf + "/Code/User", ""},
        {h + "/snap/firefox/common/.cache/mozilla/firefox/p", "startupCache"}, {c + "/thumbnails/fail", ""},
        {c + "/thumbnails/normal/state", ""},
    };
    for (const auto& [folder, entry] : listed) t::makeDirectories(folder);
    for (const char* folder : {"/Code/logs", "/UnityHub/Partitions/p"}) t::makeDirectories(cf + folder);
    for (const std::string& build : {tmp + "T", b[shared] + "/S"}) {
        t::makeDirectories(build);
        t::writeFile(build + "/info.plist", t::readFile(QUILLON_METADATA_CORPUS "/accepted-valid.xml"));
    }
    const std::string state = c + "/thumbnails/normal/state/quillon";
    const std::vector<Candidate> all = rowsOf(b, state);
    for (const auto& [folder, entry] : listed) {
        const std::string row = entry == "=" ? folder : folder + "/" + entry;
        const auto found = [&](auto& r) { return entry.empty() ? reaches(r, folder) : r.path == row; };
        EXPECT_NE(std::any_of(all.begin(), all.end(), found), entry.empty()) << folder;
    }
    for (const Candidate& row : all) {
        EXPECT_TRUE(std::any_of(b.begin(), b.end(), [&](auto& base) { return below(row.path, base); })) << row.path;
        EXPECT_EQ(row.pattern.has_value(), row.group == Group::logs) << row.path;
        EXPECT_TRUE(row.age > 0 || row.mode == ScanMode::whole) << row.path; // a file written now may be in use
    }
    // Temporary builds first, from the root whose name sorts first ("1").
    EXPECT_EQ(all[0].temporaryBuildRoot, b[temp] + "/T");
    EXPECT_EQ(all[temporaryBuildCaches.size()].temporaryBuildRoot, b[shared] + "/S");
    EXPECT_EQ(rowsOf({b[home], b[shared], b[cache], b[temp], b[config]})[0].temporaryBuildRoot, b[temp] + "/T");
    const std::pair<Base, std::string> arrangements[] = {
        {home, ""}, {temp, ""}, {cache, ""}, {shared, ""}, {config, ""},      // missing
        {cache, b[config]}, {cache, b[home] + "/.cache/pip/inside"},           // one folder for both; in a location
        {config, b[cache] + "/thumbnails/normal/conf"}, {cache, b[config] + "/Code/logs"}, // in or holding earlier
        {temp, b[home] + "/Library/Logs"}, // leftovers of exports that are logs too
    };
    for (const auto& [base, folder] : arrangements) {
        Folders nested = b;
        nested[base] = folder;
        const std::string leftover = folder + "/IPATool.tmp";
        if (!folder.empty()) t::makeDirectories(leftover);
        const std::vector<Candidate> rows = rowsOf(nested, state);
        for (std::size_t i = 0; i < rows.size(); ++i)
            for (std::size_t j = i + 1; j < rows.size(); ++j)
                EXPECT_FALSE(reaches(rows[i], rows[j].path) && reaches(rows[j], rows[i].path))
                    << rows[i].path << " and " << rows[j].path;
        if (folder.empty()) {
            std::vector<Candidate> expected = all;
            std::erase_if(expected, [&](auto& row) { return below(row.path, b[base]); });
            EXPECT_EQ(rows, expected) << "without base " << base;
        } else if (base == temp) { // the leftover is a development row, not a log folder's
            const auto development = [&](auto& r) { return r.path == leftover && r.group == Group::development; };
            EXPECT_TRUE(std::ranges::any_of(rows, development));
        }
    }
}

// On the base "/" (HOME=/ for root) a row is its base's row spelled without the base, so never with a doubled slash
// (the kernel names open files "/.nv/...", never "//.nv/..."). A folder refused as a base (a group-writable
// ~/.cache) is reached under no spelling; a row inside an earlier row's reach (an odd cache base) is left out.
TEST(CatalogueSpelling, RootBasesDoubleNoSlashAndNoRowReachesARefusedOrEarlierRowsFolder) {
    const Folders b = freshBases();
    const std::vector<Candidate> all = rowsOf(b);
    std::vector<Candidate> linux; // the Linux rows come last
    appendLinuxRows(linux, basesOf(b));
    EXPECT_TRUE(linux.size() < all.size() && std::equal(linux.rbegin(), linux.rend(), all.rbegin()));
    for (const Base base : {home, temp, cache, config}) {
        Folders rooted = b;
        rooted[base] = "/";
        const std::vector<Candidate> rows = rowsOf(rooted);
        for (const Candidate& row : all) {
            const auto same = [&](auto& r) { return r.path == row.path.substr(b[base].size()) && r.mode == row.mode; };
            EXPECT_TRUE(!below(row.path, b[base]) || std::ranges::any_of(rows, same)) << row.path << " on /";
        }
    }
    // A cache base inside the first row of the home, which holds its subfolders: every cache row comes later.
    const auto first = std::ranges::find_if(all, [&](auto& row) { return below(row.path, b[home]); });
    const Folders nested{b[home], b[temp], first->path + "/c", b[shared], b[config]};
    EXPECT_FALSE(std::ranges::any_of(rowsOf(nested), [&](auto& row) { return below(row.path, nested[cache]); }));
    const std::string dotCache = b[home] + "/.cache";
    t::makeDirectories(dotCache);
    const t::ScopedVariable homeVariable("HOME", b[home].c_str()), cacheVariable("XDG_CACHE_HOME", nullptr);
    const auto reachesDotCache = [&](const Candidate& row) { return reaches(row, dotCache); };
    ASSERT_TRUE(std::any_of(all.begin(), all.end(), reachesDotCache));
    chmod(dotCache.c_str(), 0770);
    EXPECT_FALSE(std::ranges::any_of(rowsOf(b), reachesDotCache));
}
