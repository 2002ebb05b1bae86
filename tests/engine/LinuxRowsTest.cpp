// Real runs over a home that holds a file in every Linux location of the catalogue and in the folders beside them
// that each program needs, with the run's clock past every age and the open-file query answering nothing.

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

// What each program keeps: profiles, mail, settings, downloads the user chose, games, hand-made artifacts.
const std::vector<std::string> neighbours = {
    "c/Signal/attachments.noindex/a", "c/Signal/sql/db.sqlite", "c/Slack/Local Storage/leveldb/l", "c/Slack/Cookies",
    "c/Slack/IndexedDB/i", "c/discord/Local Storage/l", "c/discord/Cookies", "c/Element/IndexedDB/i",
    "c/Element/Cookies", "c/spotify/Users/u/prefs", "x/spotify/Storage/s", "c/JetBrains/IntelliJIdea2024.1/options/o",
    "h/.local/share/JetBrains/IntelliJIdea2024.1/p", "x/JetBrains/Toolbox/t", "x/JetBrains/IntelliJIdea/t",
    "h/.gradle/gradle.properties", "h/.gradle/init.d/i.gradle", "h/.gradle/native/n", "h/.gradle/caches/jars-9/j",
    "h/.m2/repository/r.jar", "h/.thunderbird/p.default/Mail/Inbox", "x/thunderbird/p.default/cache2x/e",
    "h/.local/share/Steam/steamapps/common/Game/g", "h/.local/share/Steam/userdata/1/save", "x/uv/archive-v0/a/f",
    "h/.yarn/berry/cache/p.zip", "h/go/pkg/mod/example.com/m@v1.0.0/go.mod", "x/thumbnails/fail/f.png",
    "h/.var/app/com.discordapp.Discord/config/discord/Local Storage/l", "c/Code/User/settings.json"};

// Each run with and without each program running (a copy of sleep under its Linux name, found by the real query):
// the locations of every group whose program runs stay, all others go, and no neighbour ever does, nor what a
// link in place of a cache folder leads to.
TEST(LinuxRows, ARunRemovesEveryLocationButNoNeighbourAndKeepsThoseOfRunningPrograms) {
    t::requireFixtureEnvironment();
    const auto running = t::runningTable();
    for (bool programsRun : {false, true}) {
        const std::string root = t::freshDirectory("linux");
        CleanPlaces places{root + "/h", root + "/t", root + "/x", root + "/s", 400 * 86400.0, root + "/c"};
        places.guard.openFiles = [](const RunControl*) { return std::vector<std::string>{}; };
        if (!programsRun) places.guard.running = [](const RunControl*) { return std::set<std::string>{}; };
        for (const std::string& dir : {places.home, places.temp, places.cache, places.sharedTemp, places.config})
            t::makeDirectory(dir);
        t::makeTableFolders({places.home, places.temp, places.cache, places.config});
        std::vector<Candidate> linux;
        appendLinuxRows(linux, {places.home, places.config, places.cache});
        const std::string link = places.config + "/discord/GPUCache";
        t::makeDirectory(root + "/kept");
        t::makeDirectory(places.config + "/discord");
        t::writeFile(root + "/kept/Cache", "x");
        t::makeSymlink(root + "/kept", link);
        std::vector<std::pair<std::string, std::string>> files; // each with its group
        // A browser root's other eight cache folders follow the rule of its "Cache" (see the catalogue's tests).
        const auto otherCache = [](const std::string& path) {
            return std::any_of(chromiumCacheNames.begin() + 1, chromiumCacheNames.end(),
                               [&](std::string_view name) { return path.ends_with("/" + std::string(name)); });
        };
        for (const Candidate& row : candidates(places.home, places.temp, places.cache, places.sharedTemp, places.config))
            if (std::find(linux.begin(), linux.end(), row) != linux.end() && row.path != link && !otherCache(row.path)) {
                t::makeDirectory(row.path + "/d");
                files.emplace_back(row.path + "/d/f" + (row.pattern ? ".log" : ""), row.group);
                t::writeFile(files.back().first, "x");
            }
        for (const std::string& path : neighbours) {
            t::makeDirectory(root + "/" + path.substr(0, path.rfind('/')));
            t::writeFile(root + "/" + path, "x");
        }
        std::vector<std::unique_ptr<t::RunningProgram>> programs;
        for (const auto& [group, names] : running)
            if (programsRun) programs.push_back(std::make_unique<t::RunningProgram>(names.front()));
        clean(false, places);
        for (const auto& [file, group] : files) {
            const bool busy = programsRun && std::any_of(running.begin(), running.end(), [&](auto& r) { return r.first == group; });
            EXPECT_EQ(t::exists(file), busy) << file << (programsRun ? " with programs running" : "");
        }
        for (const std::string& path : neighbours) EXPECT_TRUE(t::exists(root + "/" + path)) << path;
        EXPECT_TRUE(t::exists(root + "/kept/Cache"));
    }
}
