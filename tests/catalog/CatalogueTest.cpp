#include "tests/catalog/CatalogueFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>

using namespace quillon;
namespace t = quillon::testing;

namespace {

const double dayTime = 86400.0;

using t::Bases;
using t::rowsBeforeLinux;

std::vector<std::string> firstRows(const std::vector<std::string>& rows, std::size_t count) {
    return {rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(std::min(count, rows.size()))};
}

const char* modeName(ScanMode mode) {
    switch (mode) {
    case ScanMode::whole: return "whole";
    case ScanMode::oldChildren: return "oldChildren";
    case ScanMode::oldFiles: return "oldFiles";
    case ScanMode::oldTopFiles: return "oldTopFiles";
    }
    return "?";
}

// One row as text: path | group | age in days | mode | pattern | build root.
std::string describeRow(const Candidate& row) {
    std::ostringstream out;
    out << row.path << " | " << row.group << " | " << row.age / dayTime << " | " << modeName(row.mode) << " | "
        << row.pattern.value_or("-") << " | " << row.temporaryBuildRoot.value_or("-");
    return out.str();
}

std::vector<std::string> describeRows(const std::vector<Candidate>& rows) {
    std::vector<std::string> lines;
    for (const Candidate& row : rows) lines.push_back(describeRow(row));
    return lines;
}

const Candidate* find(const std::vector<Candidate>& rows, const std::string& path) {
    for (const Candidate& row : rows)
        if (row.path == path) return &row;
    return nullptr;
}

std::ptrdiff_t indexOf(const std::vector<Candidate>& rows, const std::string& path) {
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i].path == path) return static_cast<std::ptrdiff_t>(i);
    return -1;
}

void makeBuildDirectory(const std::string& path) {
    t::makeDirectory(path);
    t::writeFile(path + "/info.plist",
                 "<plist><dict><key>WorkspacePath</key><string>/p/App.xcodeproj</string></dict></plist>");
}

// The rows expected from the four bases when no listed folder has entries.
std::vector<std::string> expectedWithoutListings(const Bases& b) {
    const std::string lp = logPattern, cp = crashReportPattern;
    const std::string dd = b.home + "/Library/Developer/Xcode/DerivedData";
    const std::string as = b.home + "/Library/Application Support/";
    const std::string lc = b.home + "/Library/Caches/";
    std::vector<std::string> rows = {
        dd + "/SDKStatCaches.noindex | Development | 1 | oldChildren | - | -",
        dd + "/SDKExplicitPrecompiledModules | Development | 1 | oldChildren | - | -",
        dd + "/SymbolCache.noindex | Development | 1 | oldChildren | - | -",
        dd + "/ModuleCache.noindex | Development | 1 | oldChildren | - | -",
        dd + "/CompilationCache.noindex | Development | 1 | oldChildren | - | -",
        b.cache + "/clang/ModuleCache | Development | 7 | oldChildren | - | -",
        b.temp + "/swift-generated-sources | Development | 7 | oldChildren | - | -",
        lc + "org.swift.swiftpm/manifests | Development | 7 | oldChildren | - | -",
        lc + "com.apple.dt.Xcode | Development | 7 | whole | - | -",
        lc + "com.apple.dt.xcodebuild | Development | 7 | whole | - | -",
        b.temp + "/node-compile-cache | JavaScript | 7 | oldFiles | - | -",
        lc + "org.videolan.vlc | VLC | 0 | whole | - | -",
        lc + "com.apple.python | Python | 7 | oldFiles | - | -",
        b.home + "/.npm/_cacache/content-v2 | JavaScript | 7 | oldFiles | - | -",
        lc + "pip | Python | 7 | oldFiles | - | -",
        b.home + "/.cache/pip | Python | 7 | oldFiles | - | -",
        lc + "Homebrew/downloads | Package downloads | 7 | oldFiles | - | -",
    };
    const char* caches[] = {"Cache",           "Code Cache",        "GPUCache",      "DawnCache",  "DawnGraphiteCache",
                            "DawnWebGPUCache", "GraphiteDawnCache", "GrShaderCache", "ShaderCache"};
    auto nine = [&](const std::string& root, const std::string& group) {
        for (const char* name : caches) rows.push_back(root + "/" + name + " | " + group + " | 0 | whole | - | -");
    };
    nine(as + "Codex", "Codex");
    nine(as + "Claude", "Claude");
    nine(as + "Code", "VS Code");
    nine(as + "Framer", "Framer");
    nine(as + "UnityHub", "Unity Hub");
    nine(as + "Nucleo", "Nucleo");
    nine(as + "Spotify", "Spotify");
    nine(as + "com.openai.atlas/browser-data/host", "Atlas");
    nine(lc + "Codex", "Codex");
    nine(lc + "com.spotify.client", "Spotify");
    nine(as + "Google/Chrome", "Chrome");
    nine(lc + "Google/Chrome", "Chrome");
    nine(as + "Microsoft Edge", "Edge");
    nine(lc + "Microsoft Edge", "Edge");
    nine(as + "BraveSoftware/Brave-Browser", "Brave");
    nine(lc + "BraveSoftware/Brave-Browser", "Brave");
    rows.push_back(lc + "com.apple.Safari | Safari | 7 | whole | - | -");
    rows.push_back(b.home + "/Library/Containers/com.apple.Safari/Data/Library/Caches/com.apple.Safari | Safari | 7 | "
                            "whole | - | -");
    const std::pair<const char*, const char*> metal[] = {
        {"org.blenderfoundation.blender", "Blender"},        {"co.ambercreative.nucleo.helper.GPU", "Nucleo"},
        {"com.openai.codex.helper", "Codex"},                 {"com.google.Chrome.helper", "Chrome"},
        {"com.apple.Preview", "Preview"},                     {"com.apple.WebKit.GPU+com.apple.Safari", "Safari"}};
    for (const auto& [folder, group] : metal)
        for (const char* name : {"com.apple.metal", "com.apple.metalfe"})
            rows.push_back(b.cache + "/" + folder + "/" + name + " | " + group + " | 7 | oldChildren | - | -");
    rows.push_back(b.home + "/Library/Logs | Logs | 30 | oldTopFiles | " + lp + " | -");
    rows.push_back(b.home + "/Library/Logs/DiagnosticReports | Logs | 90 | oldFiles | " + cp + " | -");
    rows.push_back(as + "Code/logs | Logs | 30 | oldFiles | " + lp + " | -");
    rows.push_back(b.home + "/.npm/_logs | Logs | 30 | oldFiles | " + lp + " | -");
    rows.push_back(lc + "com.apple.VideoConference/logs | Logs | 30 | oldFiles | " + lp + " | -");
    return rows;
}

} // namespace

TEST(CatalogueRows, AreTheFullTableInOrderWithoutListings) {
    const Bases bases;
    const std::vector<Candidate> rows = bases.rows();
    EXPECT_GT(rows.size(), rowsBeforeLinux);
    EXPECT_EQ(firstRows(describeRows(rows), rowsBeforeLinux), expectedWithoutListings(bases));
}

TEST(CatalogueRows, AnEmptyCacheDropsItsThirteenRowsOnly) {
    const Bases bases;
    std::vector<std::string> expected;
    for (const std::string& line : expectedWithoutListings(bases))
        if (line.rfind(bases.cache + "/", 0) != 0) expected.push_back(line);
    const std::vector<Candidate> rows = candidates(bases.home, bases.temp, "", bases.shared, bases.config);
    EXPECT_EQ(firstRows(describeRows(rows), expected.size()), expected);
    EXPECT_EQ(rows[expected.size()].path.rfind(bases.home + "/.cargo/", 0), 0u); // the first Linux row on the home
}

TEST(CatalogueRows, AnEmptyHomeOrTempGivesNoFoldersDirectlyUnderTheRoot) {
    const Bases bases;
    const std::vector<Candidate> withoutHome = candidates("", bases.temp, bases.cache, bases.shared, bases.config);
    for (const Candidate& row : withoutHome)
        EXPECT_TRUE(row.path.rfind(bases.temp + "/", 0) == 0 || row.path.rfind(bases.cache + "/", 0) == 0 ||
                    row.path.rfind(bases.config + "/", 0) == 0)
            << row.path;

    const std::vector<Candidate> withoutTemp = candidates(bases.home, "", bases.cache, bases.shared, bases.config);
    EXPECT_EQ(withoutTemp.size(), bases.rows().size() - 2);
    EXPECT_EQ(find(withoutTemp, "/swift-generated-sources"), nullptr);
    EXPECT_EQ(find(withoutTemp, "/node-compile-cache"), nullptr);
}

TEST(CatalogueTemporaryBuilds, TheRootThatSortsFirstIsSearchedFirst) {
    const std::string root = t::freshDirectory();
    Bases bases;
    bases.temp = root + "/b-temp";
    bases.shared = root + "/a-shared";
    makeBuildDirectory(bases.temp + "/T");
    makeBuildDirectory(bases.shared + "/S");
    std::vector<Candidate> rows = bases.rows();
    ASSERT_GE(rows.size(), 14u);
    EXPECT_EQ(rows[0].temporaryBuildRoot, bases.shared + "/S");
    EXPECT_EQ(rows[7].temporaryBuildRoot, bases.temp + "/T");
    EXPECT_EQ(rows[14].temporaryBuildRoot, std::nullopt);

    std::swap(bases.temp, bases.shared);
    rows = bases.rows();
    EXPECT_EQ(rows[0].temporaryBuildRoot, bases.temp + "/S");
    EXPECT_EQ(rows[7].temporaryBuildRoot, bases.shared + "/T");
}

TEST(CatalogueTemporaryBuilds, AreSearchedOnceWhenBothRootsAreEqual) {
    Bases bases;
    bases.shared = bases.temp;
    const std::size_t before = bases.rows().size();
    makeBuildDirectory(bases.temp + "/B");
    const std::vector<Candidate> rows = bases.rows();
    EXPECT_EQ(std::count_if(rows.begin(), rows.end(), [](const Candidate& c) { return c.temporaryBuildRoot; }), 7);
    EXPECT_EQ(rows.size(), before + 7);
}

TEST(CatalogueDeduplication, KeepsTheFirstRowsGroupAgeAndMode) {
    // With the temporary folder inside the logs folder, an export leftover is
    // listed both as a Development leftover and as a Logs folder.
    Bases bases;
    bases.temp = bases.home + "/Library/Logs";
    t::makeDirectory(bases.temp + "/IPATool.tmp");
    const std::vector<Candidate> rows = bases.rows();
    const std::string path = bases.temp + "/IPATool.tmp";
    EXPECT_EQ(std::count_if(rows.begin(), rows.end(), [&](const Candidate& c) { return c.path == path; }), 1);
    const Candidate* row = find(rows, path);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(describeRow(*row), path + " | Development | 1 | whole | - | -");
}

TEST(CatalogueListings, DerivedDataProjectsGetTheirFourCaches) {
    const Bases bases;
    const std::size_t before = bases.rows().size();
    const std::string dd = bases.home + "/Library/Developer/Xcode/DerivedData";
    t::makeDirectory(dd + "/MyApp-abc");
    t::makeDirectory(dd + "/SymbolCache.noindex");
    const std::vector<Candidate> rows = bases.rows();
    EXPECT_EQ(rows.size(), before + 4);
    const std::ptrdiff_t first = indexOf(rows, dd + "/MyApp-abc/Build/Intermediates.noindex");
    ASSERT_EQ(first, 5);
    EXPECT_EQ(describeRow(rows[5]), dd + "/MyApp-abc/Build/Intermediates.noindex | Development | 1 | oldChildren | - | -");
    EXPECT_EQ(rows[6].path, dd + "/MyApp-abc/Index.noindex");
    EXPECT_EQ(rows[7].path, dd + "/MyApp-abc/SymbolCache");
    EXPECT_EQ(rows[8].path, dd + "/MyApp-abc/TextIndex");
    EXPECT_EQ(indexOf(rows, dd + "/SymbolCache.noindex/TextIndex"), -1);
}

TEST(CatalogueListings, TemporaryExportLeftoversByName) {
    const Bases bases;
    const std::size_t before = bases.rows().size();
    for (const char* name : {"IPATool.tmp", "IPATool-123.tmp", "XcodeDistPipeline.anything", "IPATool-.tmp",
                             "ipatool-1.tmp", "IPATool-1.tmp.bak", "export.xcdistributionlogs", "XcodeDistPipeline"})
        t::makeDirectory(bases.temp + "/" + name);
    const std::vector<Candidate> rows = bases.rows();
    EXPECT_EQ(rows.size(), before + 4);
    std::set<std::string> dayRows;
    for (std::size_t i = 5; i < 8; ++i) {
        EXPECT_EQ(rows[i].age, dayTime);
        EXPECT_EQ(rows[i].mode, ScanMode::whole);
        EXPECT_EQ(rows[i].group, "Development");
        dayRows.insert(rows[i].path);
    }
    EXPECT_EQ(dayRows, (std::set<std::string>{bases.temp + "/IPATool.tmp", bases.temp + "/IPATool-123.tmp",
                                              bases.temp + "/XcodeDistPipeline.anything"}));
    EXPECT_EQ(describeRow(rows[8]), bases.temp + "/export.xcdistributionlogs | Development | 30 | whole | - | -");
}

TEST(CatalogueListings, PnpmVersionFoldersGetTheirMetadataRows) {
    const Bases bases;
    const std::size_t before = bases.rows().size();
    const std::string pnpm = bases.home + "/Library/Caches/pnpm";
    for (const char* name : {"v3", "v10x", "V3", "v", "xv3"}) t::makeDirectory(pnpm + "/" + name);
    const std::vector<Candidate> rows = bases.rows();
    EXPECT_EQ(rows.size(), before + 2);
    const std::ptrdiff_t at = indexOf(rows, pnpm + "/v3/metadata");
    ASSERT_EQ(at, indexOf(rows, bases.home + "/Library/Caches/Homebrew/downloads") + 1);
    EXPECT_EQ(describeRow(rows[static_cast<std::size_t>(at)]), pnpm + "/v3/metadata | JavaScript | 7 | oldFiles | - | -");
    EXPECT_EQ(rows[static_cast<std::size_t>(at) + 1].path, pnpm + "/v3/metadata-full");
}

TEST(CatalogueListings, FigmaVersionFoldersGetNineCacheRows) {
    const Bases bases;
    const std::size_t before = bases.rows().size();
    const std::string figma = bases.home + "/Library/Application Support/Figma/DesktopProfile";
    for (const char* name : {"v12", "V1", "vx", "v1-old"}) t::makeDirectory(figma + "/" + name);
    const std::vector<Candidate> rows = bases.rows();
    EXPECT_EQ(rows.size(), before + 9);
    const std::ptrdiff_t at = indexOf(rows, figma + "/v12/Cache");
    ASSERT_EQ(at, indexOf(rows, bases.home + "/Library/Caches/com.spotify.client/ShaderCache") + 1);
    EXPECT_EQ(describeRow(rows[static_cast<std::size_t>(at)]), figma + "/v12/Cache | Figma | 0 | whole | - | -");
    EXPECT_EQ(rows[static_cast<std::size_t>(at) + 8].path, figma + "/v12/ShaderCache");
}

TEST(CatalogueListings, LogsFoldersExceptCrashReportsAndOurOwn) {
    const Bases bases;
    const std::size_t before = bases.rows().size();
    const std::string logs = bases.home + "/Library/Logs";
    for (const char* name : {"Example", "DiagnosticReports", "Quillon"}) t::makeDirectory(logs + "/" + name);
    t::writeFile(logs + "/loose.log", "x");
    const std::vector<Candidate> rows = bases.rows();
    EXPECT_EQ(rows.size(), before + 2);
    const Candidate* example = find(rows, logs + "/Example");
    ASSERT_NE(example, nullptr);
    EXPECT_EQ(describeRow(*example), logs + "/Example | Logs | 30 | oldFiles | " + std::string(logPattern) + " | -");
    EXPECT_NE(find(rows, logs + "/loose.log"), nullptr);
    EXPECT_EQ(find(rows, logs + "/Quillon"), nullptr);
    EXPECT_EQ(describeRow(*find(rows, logs + "/DiagnosticReports")),
              logs + "/DiagnosticReports | Logs | 90 | oldFiles | " + std::string(crashReportPattern) + " | -");
    EXPECT_LT(indexOf(rows, logs + "/Example"), indexOf(rows, logs));
}

TEST(CatalogueListings, BrowserProfilesAndPartitionsAreExpanded) {
    const Bases bases;
    const std::size_t before = bases.rows().size();
    const std::string chrome = bases.home + "/Library/Application Support/Google/Chrome";
    t::makeDirectory(chrome + "/Default/Partitions/x");
    t::makeDirectory(chrome + "/Profile 3");
    const std::string atlas = bases.home + "/Library/Application Support/com.openai.atlas/browser-data/host";
    t::makeDirectory(atlas + "/user-one");
    const std::vector<Candidate> rows = bases.rows();
    EXPECT_EQ(rows.size(), before + 9 * 4);
    EXPECT_EQ(find(rows, chrome + "/Default/Partitions/x/GPUCache")->group, "Chrome");
    EXPECT_EQ(find(rows, chrome + "/Profile 3/Code Cache")->group, "Chrome");
    EXPECT_EQ(find(rows, atlas + "/user-one/Cache")->group, "Atlas");
}

TEST(CatalogueSafety, NamesNoProfileDataFolders) {
    const Bases bases;
    for (const char* app : {"Google/Chrome", "Code", "Claude", "Microsoft Edge"}) {
        const std::string root = bases.home + "/Library/Application Support/" + app;
        for (const char* profile : {"Default", "Profile 1"})
            for (const char* data : {"Local Storage", "IndexedDB", "Service Worker", "Cookies", "Cache"})
                t::makeDirectory(root + "/" + profile + "/" + data);
        t::makeDirectory(root + "/Partitions/webview");
        t::makeDirectory(root + "/Default/Partitions/site");
    }
    const std::vector<Candidate> rows = bases.rows();
    EXPECT_GT(rows.size(), 180u);
    for (const Candidate& row : rows)
        for (const char* fragment : {"/Local Storage", "/IndexedDB", "/Service Worker"})
            EXPECT_EQ(row.path.find(fragment), std::string::npos) << row.path;
}
