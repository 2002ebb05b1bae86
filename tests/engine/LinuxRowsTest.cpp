// The README's table of where Quillon looks on Linux against the catalogue and against real runs over a home that
// holds a file in every Linux location and in the folders beside them that each program needs to keep.

#include "catalog/Browser.h"
#include "catalog/Catalogue.h"
#include "catalog/LinuxCatalogue.h"
#include "engine/Clean.h"
#include "tests/support/Fixture.h"
#include "tests/support/Processes.h"
#include "tests/support/ReadmeTables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using namespace quillon;
namespace t = quillon::testing;

// Profiles, mail, settings, downloads the user chose, games and hand-made artifacts, by base (c, x: the user's
// configuration and cache folders, h: home), beside folders whose name is not a version or a profile.
const std::vector<std::string> neighbours = {
    "c/Signal/attachments.noindex/a", "c/Signal/sql/db.sqlite", "c/Slack/Local Storage/leveldb/l", "c/Slack/Cookies",
    "c/Slack/IndexedDB/i", "c/discord/Local Storage/l", "c/discord/Cookies", "c/Element/IndexedDB/i",
    "c/Element/Cookies", "c/spotify/Users/u/prefs", "x/spotify/Storage/s", "c/JetBrains/IntelliJIdea2024.1/options/o",
    "h/.local/share/JetBrains/IntelliJIdea2024.1/p", "x/JetBrains/Toolbox/t", "x/JetBrains/IntelliJIdea/t",
    "h/.gradle/gradle.properties", "h/.gradle/init.d/i.gradle", "h/.gradle/native/n", "h/.gradle/caches/jars-9/j",
    "h/.m2/repository/r.jar", "h/.thunderbird/p.default/Mail/Inbox", "x/thunderbird/p.default/cache2x/e",
    "h/.local/share/Steam/steamapps/common/Game/g", "h/.local/share/Steam/userdata/1/save", "x/uv/archive-v0/a/f",
    "h/.yarn/berry/cache/p.zip", "h/go/pkg/mod/example.com/m@v1.0.0/go.mod", "x/thumbnails/fail/f.png",
    "h/.var/app/com.discordapp.Discord/config/discord/Local Storage/l", "c/Code/User/settings.json",
    "x/chromium/Default/IndexedDB/i", "c/chromium/My Profile 2/Cache/c", "c/chromium/user-1/Cache/c"};

// The table names every Linux row with its group, age and mode (a Flatpak's or snap's copy as the row it copies)
// and nothing that is no row. A run with the clock past every age and no file held open removes the file of each
// location, and no neighbour, nor what a link in place of a cache folder leads to; the same with each group's
// program running (a copy of sleep under its first name, found by the real query) keeps every location of it.
TEST(LinuxRows, TheReadmeTableIsTheCatalogueAndARunRemovesItsLocationsUnlessTheirProgramRuns) {
    t::requireFixtureEnvironment();
    const auto running = t::runningTable();
    for (bool programsRun : {false, true}) {
        const std::string root = t::freshDirectory("linux");
        CleanPlaces places{root + "/h", root + "/t", root + "/x", root + "/s", 400 * 86400.0, root + "/c"};
        places.guard.openFiles = [](const RunControl*) { return std::vector<std::string>{}; };
        if (!programsRun) places.guard.running = [](const RunControl*) { return std::set<std::string>{}; };
        const t::TableBases bases{places.home, places.temp, places.cache, places.config};
        for (const std::string& path : neighbours) t::makeDirectory(root + "/" + path.substr(0, path.rfind('/')));
        for (const std::string& path : neighbours) t::writeFile(root + "/" + path, "x");
        for (const std::string& dir : {places.temp, places.sharedTemp, root + "/kept"}) t::makeDirectory(dir);
        t::writeFile(root + "/kept/Cache", "x");
        const std::string link = places.config + "/discord/GPUCache";
        t::makeSymlink(root + "/kept", link);
        t::makeTableFolders(bases);
        std::vector<Candidate> linux;
        appendLinuxRows(linux, {places.home, places.config, places.cache});
        const auto all = candidates(places.home, places.temp, places.cache, places.sharedTemp, places.config);
        const auto table = t::locationTable(bases);
        for (const Candidate& row : t::asInTable(linux, bases)) EXPECT_TRUE(t::described(table, row)) << row.path;
        const auto rows = t::asInTable(all, bases);
        for (const t::LocationRow& entry : table)
            for (const std::regex& folder : entry.folders)
                EXPECT_TRUE(std::any_of(rows.begin(), rows.end(), [&](auto& row) {
                    return t::described({{{folder}, entry.groups, entry.age, entry.mode}}, row);
                })) << entry.groups[0];
        // A browser root's other eight cache folders follow the rule of its "Cache".
        const auto otherCache = [](const std::string& path) {
            return std::any_of(chromiumCacheNames.begin() + 1, chromiumCacheNames.end(),
                               [&](std::string_view name) { return path.ends_with("/" + std::string(name)); });
        };
        std::vector<std::pair<std::string, Candidate>> files;
        for (const Candidate& row : all)
            if (std::find(linux.begin(), linux.end(), row) != linux.end() && row.path != link && !otherCache(row.path)) {
                t::makeDirectory(row.path + "/d");
                t::writeFile(files.emplace_back(row.path + "/d/f" + (row.pattern ? ".log" : ""), row).first, "x");
            }
        std::vector<std::unique_ptr<t::RunningProgram>> programs;
        for (const auto& [group, names] : running)
            if (programsRun) programs.push_back(std::make_unique<t::RunningProgram>(names.front()));
        // A cache folder made here may also be a profile's of a Firefox-family root: the first row of it wins.
        const auto atRun = candidates(places.home, places.temp, places.cache, places.sharedTemp, places.config);
        clean(false, places);
        for (const auto& [file, row] : files) {
            const bool busy = programsRun && std::any_of(running.begin(), running.end(), [&](auto& r) { return r.first == row.group; });
            const bool dropped = std::find(atRun.begin(), atRun.end(), row) == atRun.end();
            EXPECT_EQ(t::exists(file), busy || dropped) << file << (programsRun ? " with programs running" : "");
        }
        for (const std::string& path : neighbours) EXPECT_TRUE(t::exists(root + "/" + path)) << path;
        EXPECT_TRUE(t::exists(root + "/kept/Cache"));
    }
}
