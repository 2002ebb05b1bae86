// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "catalog/Browser.h"
#include "catalog/Catalogue.h"
#include "catalog/Rows.h"
#include "engine/Clean.h"
#include "platform/Paths.h"
#include "tests/support/Fixture.h"
#include "tests/support/Processes.h"
#include "tests/support/ReadmeTables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <regex>

using namespace quillon;
namespace t = quillon::testing;

namespace {

// Profiles, mail, settings, downloads the user chose, games and hand-made artifacts, by base (c, x: the user's
// configuration and cache folders, h: home), beside folders whose names are no version or profile.
const std::vector<std::string> neighbours = {
    "c/Signal/attachments.noindex/a", "c/Signal/sql/db.sqlite", "c/Slack/Local Storage/leveldb/l", "c/Slack/Cookies",
    "c/Slack/IndexedDB/i", "c/spotify/Users/u/prefs", "x/spotify/Storage/s",
    "c/JetBrains/IntelliJIdea2024.1/options/o", "h/.local/share/JetBrains/IntelliJIdea2024.1/p",
    "x/JetBrains/Toolbox/t", "x/JetBrains/IntelliJIdea/t", "h/.gradle/gradle.properties", "h/.gradle/init.d/i.gradle",
    "h/.gradle/native/n", "h/.gradle/caches/jars-9/j", "h/.m2/repository/r.jar", "h/.thunderbird/p.default/Mail/Inbox",
    "x/thunderbird/p.default/cache2x/e", "h/.local/share/Steam/steamapps/common/Game/g",
    "h/.local/share/Steam/userdata/1/save", "x/uv/archive-v0/a/f", "h/.yarn/berry/cache/p.zip",
    "h/go/pkg/mod/example.com/m@v1.0.0/go.mod", "h/.var/app/com.discordapp.Discord/config/discord/Local Storage/l"};

std::string rewritten(std::string text, const std::vector<std::pair<std::string, std::string>>& rules) {
    for (const auto& [from, to] : rules) text = std::regex_replace(text, std::regex(from), to);
    return text;
}
std::string escaped(const std::string& text) { return rewritten(text, {{R"([.^$|()[\]{}*+?\\])", R"(\$&)"}}); }

std::string group(const Candidate& row) { return std::string(about(row.group).name); }

// A folder of a row of the table, as an expression of whole paths, with the row's groups, age and mode.
struct Row {
    std::regex folder;
    std::vector<std::string> groups;
    double age;
    ScanMode mode;
    bool describes(const Candidate& row) const {
        return age == row.age && mode == row.mode && std::count(groups.begin(), groups.end(), group(row)) &&
               regex_match(row.path, folder);
    }
};

// The table's folders on `bases` (each with its name in the table and its expression), and one folder of each made
// here: "{a,b}" is either (the first), "<name>" any one name (the name; "<N>" a number, "<version>" a version), "*"
// any part of a name (nothing), "/<caches>" the nine cache folders at the folder, in a profile or in a storage
// partition. The rows of the Flatpak and snap copies ("as above") are left out.
std::vector<Row> table(const std::vector<std::tuple<std::string, std::string, std::string>>& bases) {
    std::string caches;
    for (std::string_view name : chromiumCacheNames) caches += "|" + std::string(name);
    caches = "(?:[^/]+/|[^/]*/?Partitions/[^/]+/)?(?:" + caches.substr(1) + ")";
    std::vector<Row> rows;
    for (const auto& cells : t::readmeTable(t::locationTable)) {
        if (cells.at(1) == "as above") continue;
        const Row row{{}, t::split(cells[1], ", "), cells[2] == "any age" ? 0 : std::stod(cells[2]) * 86400,
                      cells[3] == "whole"         ? ScanMode::whole
                      : cells[3] == "old entries" ? ScanMode::oldChildren
                                                  : ScanMode::oldFiles};
        for (const std::string& folder : t::codeSpans(cells[0]))
            for (const auto& [name, base, expression] : bases) {
                if (folder.rfind(name, 0) != 0) continue;
                const std::string rest = folder.substr(name.size());
                rows.push_back(row);
                rows.back().folder.assign(expression + rewritten(escaped(rest), {
                    {",", "|"}, {R"(\\\{)", "(?:"}, {R"(\\\})", ")"}, {"<caches>", caches}, {"<[^>]*>", "[^/]+"},
                    {R"(\\\*)", "[^/]*"}}));
                t::makeDirectories(base + rewritten(rest, {{R"(\{([^,}]*)[^}]*\}|\*)", "$1"}, {"<N>", "6"},
                                                         {"<version>", "2024.1"}, {"/?<caches>|<([^>]*)>", "$1"}}));
            }
    }
    return rows;
}

} // namespace

// The table names every Linux row with its group, age and mode, and nothing that is no row. A run with the clock past
// every age, no program running and no file held open removes the file of each location and no neighbour; again,
// with each group's program running (a copy of sleep under the first of its names in the README's table of them,
// found by the real query), every location of the group stays.
TEST(LinuxRows, TheReadmeTableIsTheCatalogueAndARunRemovesItsLocationsUnlessTheirProgramRuns) {
    t::requireFixtureEnvironment();
    const std::string root = t::freshDirectory("linux"), home = root + "/h", cache = root + "/x";
    CleanPlaces places{{home, root + "/t", cache, root + "/s", root + "/c"}, 400 * 86400.0};
    places.guard = {[](const RunControl*) { return std::set<std::string>{}; },
                    [](const RunControl*) { return std::vector<std::string>{}; }};
    for (const std::string& path : neighbours)
        t::makeDirectories(root + "/" + path.substr(0, path.rfind('/'))), t::writeFile(root + "/" + path, "x");
    for (const std::string& dir : {places.bases.temp, places.bases.sharedTemp}) t::makeDirectories(dir);
    // A Flatpak's or snap's own cache and configuration folders stand for the bases.
    const std::string h = escaped(home), flatpak = h + R"(/\.var/app/[^/]+/)", snap = h + R"(/snap/[^/]+/common)";
    const std::string x = "(?:" + escaped(cache) + "|" + flatpak + "cache|" + snap + R"(/\.cache))";
    const std::string c = "(?:" + escaped(places.bases.config) + "|" + flatpak + "config|" + snap + ")";
    const Bases& b = places.bases;
    const auto rows = table({{"$XDG_CACHE_HOME", cache, x}, {"$XDG_CONFIG_HOME", b.config, c}, {"~", home, h},
                             {"$TMPDIR", b.temp, escaped(b.temp)}});
    std::vector<Candidate> linux, all = candidates(places.bases);
    appendLinuxRows(linux, places.bases);
    for (const Candidate& row : linux)
        EXPECT_TRUE(std::ranges::any_of(rows, [&](auto& r) { return r.describes(row); })) << row.path;
    for (const Row& r : rows)
        EXPECT_TRUE(std::ranges::any_of(all, [&](auto& row) { return r.describes(row); })) << r.groups[0];
    std::vector<std::pair<std::string, Candidate>> files;
    const auto& caches = chromiumCacheNames; // a browser root's other caches follow its "Cache"
    for (const Candidate& row : all)
        if (const std::string name = platform::baseName(row.path);
            std::count(linux.begin(), linux.end(), row) && !std::count(caches.begin() + 1, caches.end(), name)) {
            t::makeDirectories(row.path + "/d");
            t::writeFile(files.emplace_back(row.path + "/d/f" + (row.pattern ? ".log" : ""), row).first, "x");
        }
    // A cache folder made here may also be a profile's of a Firefox-family root: the first row of it wins.
    const auto atRun = candidates(places.bases);
    clean(false, places);
    for (const auto& [file, row] : files)
        EXPECT_EQ(t::nameExists(file), !std::count(atRun.begin(), atRun.end(), row)) << file;
    for (const std::string& path : neighbours) EXPECT_TRUE(t::nameExists(root + "/" + path)) << path;
    const auto running = t::readmeTable(t::runningTable);
    std::vector<std::unique_ptr<t::RunningProgram>> programs;
    for (const auto& cells : running)
        programs.push_back(std::make_unique<t::RunningProgram>(t::codeSpans(cells.at(1))[0]));
    for (const auto& [file, row] : files) t::makeDirectories(file.substr(0, file.rfind('/'))), t::writeFile(file, "x");
    places.guard.running = GuardQueries{}.running;
    clean(false, places);
    for (const auto& [file, row] : files)
        EXPECT_EQ(t::nameExists(file), !std::count(atRun.begin(), atRun.end(), row) ||
                                       std::ranges::any_of(running, [&](auto& r) { return r[0] == group(row); }))
            << file << " while its program runs";
}
