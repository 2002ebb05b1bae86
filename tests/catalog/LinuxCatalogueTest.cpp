#include "catalog/RunLogFolder.h"
#include "guard/RunningTools.h"
#include "tests/catalog/CatalogueFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <sys/stat.h>

using namespace quillon;
namespace t = quillon::testing;

namespace {

const double dayTime = 86400.0;

using t::rowsBeforeLinux;

// A fixture home with the folders real Linux programs made in it (names
// copied from a run of Chromium 156, npm, pnpm 9, yarn 1 and Mesa 22.3).
struct LinuxHome : t::Bases {
    LinuxHome() : Bases(true) {}

    // A Chromium user data folder and its cache folder, as Chromium lays them out.
    static void chromium(const std::string& data, const std::string& cacheRoot) {
        for (const char* folder : {"Default/GPUCache", "Default/DawnGraphiteCache", "Default/DawnWebGPUCache",
                                   "Default/IndexedDB/http_127.0.0.1_8714.indexeddb.leveldb",
                                   "Default/Local Storage/leveldb", "Default/Service Worker/CacheStorage",
                                   "Default/Service Worker/ScriptCache", "Default/Session Storage",
                                   "Default/Extension State", "GPUPersistentCache/GPUCache", "Crash Reports/pending"})
            t::makeDirectory(data + "/" + folder);
        for (const char* file : {"Default/Cookies", "Default/History", "Local State"}) t::writeFile(data + "/" + file, "x");
        for (const char* folder : {"Default/Cache/Cache_Data", "Default/Code Cache/js", "Default/Code Cache/wasm"})
            t::makeDirectory(cacheRoot + "/" + folder);
    }

    void fill() const {
        chromium(config + "/chromium", cache + "/chromium");
        chromium(home + "/.var/app/org.chromium.Chromium/config/chromium",
                 home + "/.var/app/org.chromium.Chromium/cache/chromium");
        for (const char* folder :
             {"/mozilla/firefox/k3x9.default-esr/cache2/entries", "/mozilla/firefox/k3x9.default-esr/startupCache",
              "/yarn/v6/npm-is-odd-0.1.2-bc573b5c-integrity/node_modules", "/yarn/v6/.tmp",
              "/pnpm/metadata-v1.3/registry.npmjs.org", "/pnpm/dlx", "/mesa_shader_cache/b1", "/thumbnails/fail"})
            t::makeDirectory(cache + folder);
        for (const char* folder : {"/Code/User/globalStorage", "/Code/logs/20261206T123845", "/Code/CachedData",
                                   "/Code/Cache/Cache_Data"})
            t::makeDirectory(config + folder);
        t::makeDirectory(home + "/snap/firefox/common/.cache/mozilla/firefox/p1.default/cache2");
        t::makeDirectory(home + "/.local/share/pnpm/store/v3/files");
        t::makeDirectory(home + "/project/.yarn/cache");
    }
};

std::vector<Candidate> linuxPart(const std::vector<Candidate>& rows) {
    return {rows.begin() + static_cast<std::ptrdiff_t>(std::min(rowsBeforeLinux, rows.size())), rows.end()};
}

bool has(const std::vector<Candidate>& rows, const std::string& path) {
    return std::any_of(rows.begin(), rows.end(), [&](const Candidate& row) { return row.path == path; });
}

bool within(const std::string& inner, const std::string& outer) {
    return inner.rfind(outer, 0) == 0 && (inner.size() == outer.size() || inner[outer.size()] == '/');
}

// The family of rows a group belongs to, in catalogue order, with the age
// in days and the modes its rows may have.
struct Family {
    int rank;
    double days;
    std::set<ScanMode> modes;
};

const std::map<std::string, Family>& families() {
    static const std::set<ScanMode> package = {ScanMode::oldFiles, ScanMode::oldChildren};
    static const std::map<std::string, Family> table = {
        {"Development", {0, 7, package}},          {"Python", {1, 7, package}},
        {"JavaScript", {1, 7, package}},           {"Chrome", {2, 0, {ScanMode::whole}}},
        {"Chromium", {2, 0, {ScanMode::whole}}},   {"Edge", {2, 0, {ScanMode::whole}}},
        {"Brave", {2, 0, {ScanMode::whole}}},      {"Firefox", {2, 0, {ScanMode::whole}}},
        {"VS Code", {2, 0, {ScanMode::whole}}},    {"Unity Hub", {2, 0, {ScanMode::whole}}},
        {"GPU", {3, 7, {ScanMode::oldChildren}}},  {"Thumbnail", {4, 90, {ScanMode::oldFiles}}},
        {"Logs", {5, 30, {ScanMode::oldFiles}}},
    };
    return table;
}

} // namespace

TEST(LinuxRows, FollowTheOtherRowsOnceEachInFamilyOrderWithTheirFamilysAgeAndMode) {
    const LinuxHome home;
    home.fill();
    const std::vector<Candidate> rows = home.rows();
    std::set<std::string> paths;
    for (const Candidate& row : rows) EXPECT_TRUE(paths.insert(row.path).second) << "twice: " << row.path;
    const std::vector<Candidate> linux = linuxPart(rows);
    ASSERT_FALSE(linux.empty());
    int rank = 0;
    for (const Candidate& row : linux) {
        const auto family = families().find(row.group);
        ASSERT_NE(family, families().end()) << row.group << " " << row.path;
        EXPECT_FALSE(busyTools(row.group, std::set<std::string>{})) << row.group << " has no rule";
        EXPECT_GE(family->second.rank, rank) << row.path;
        rank = family->second.rank;
        EXPECT_EQ(row.age, family->second.days * dayTime) << row.path;
        EXPECT_EQ(family->second.modes.count(row.mode), 1u) << row.path;
        EXPECT_EQ(row.pattern.has_value(), row.group == "Logs") << row.path;
        EXPECT_EQ(row.temporaryBuildRoot, std::nullopt);
    }
    // What the real programs made is found, and nothing but caches of it.
    const std::string flatpak = home.home + "/.var/app/org.chromium.Chromium";
    for (const std::string& path :
         {home.config + "/chromium/Default/GPUCache", home.config + "/chromium/Default/DawnGraphiteCache",
          home.config + "/chromium/Default/DawnWebGPUCache", home.config + "/chromium/GPUPersistentCache",
          home.cache + "/chromium/Default/Cache", home.cache + "/chromium/Default/Code Cache",
          flatpak + "/config/chromium/Default/GPUCache", flatpak + "/cache/chromium/Default/Code Cache",
          home.cache + "/mozilla/firefox/k3x9.default-esr/cache2", home.cache + "/yarn/v6",
          home.cache + "/pnpm/metadata-v1.3", home.cache + "/mesa_shader_cache", home.cache + "/thumbnails/x-large",
          home.config + "/Code/Cache", home.config + "/Code/logs",
          home.home + "/snap/firefox/common/.cache/mozilla/firefox/p1.default/startupCache"})
        EXPECT_TRUE(has(linux, path)) << path;
    EXPECT_FALSE(has(rows, home.cache + "/pnpm/dlx"));
}

TEST(LinuxRows, NeverNameProfileDataEditorSettingsOrContentStores) {
    const LinuxHome home;
    home.fill();
    for (const Candidate& row : home.rows())
        for (const char* fragment : {"/Service Worker", "/IndexedDB", "/Local Storage", "/Session Storage", "/Cookies",
                                     "/History", "/Extension", "/User", "/Crash Reports", "/.local/share",
                                     "/.yarn/", "/dlx", "/CachedData", "/thumbnails/fail"})
            EXPECT_EQ(row.path.find(fragment), std::string::npos) << row.path;
}

// However the bases lie, no item is reached by two locations, so that a
// preview counts each item once.
TEST(LinuxRows, ThatWouldReachIntoAnEarlierLocationOrHoldOneAreLeftOut) {
    const LinuxHome home;
    home.fill();
    struct Arrangement {
        std::string cache, config;
    };
    const std::vector<Arrangement> arrangements = {
        {home.cache, home.config},                            // the usual folders
        {home.cache, home.cache},                             // one folder for both
        {home.home + "/.cache/pip/inside", home.config},      // inside an earlier location
        {home.cache, home.cache + "/thumbnails/normal/conf"}, // a later location inside an earlier one
        {home.config + "/Code/logs", home.config},            // a later location holding earlier ones
    };
    for (const Arrangement& bases : arrangements) {
        t::makeDirectory(bases.cache);
        const std::vector<Candidate> rows = candidates(home.home, home.temp, bases.cache, home.shared, bases.config);
        for (std::size_t a = 0; a < rows.size(); ++a)
            for (std::size_t b = a + 1; b < rows.size(); ++b) {
                const Candidate& outer = within(rows[b].path, rows[a].path) ? rows[a] : rows[b];
                const Candidate& inner = &outer == &rows[a] ? rows[b] : rows[a];
                if (outer.mode == ScanMode::oldTopFiles && inner.path != outer.path) continue;
                EXPECT_FALSE(within(inner.path, outer.path)) << inner.path << " in " << outer.path;
            }
    }
}

TEST(LinuxRows, NoLocationReachesTheProgramsOwnLogFolder) {
    const LinuxHome home;
    const std::string state = home.cache + "/thumbnails/normal/state";
    t::makeDirectory(state);
    chmod(state.c_str(), 0700);
    t::ScopedVariable variable("XDG_STATE_HOME", state.c_str());
    ASSERT_EQ(runLogFolder(), state + "/quillon");
    const std::vector<Candidate> rows = home.rows();
    EXPECT_FALSE(has(rows, home.cache + "/thumbnails/normal"));
    EXPECT_TRUE(has(rows, home.cache + "/thumbnails/large"));
}
