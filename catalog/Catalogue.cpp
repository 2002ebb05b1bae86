// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "catalog/Catalogue.h"

#include "catalog/Browser.h"
#include "catalog/LinuxCatalogue.h"
#include "catalog/RunLogFolder.h"
#include "catalog/TemporaryBuild.h"
#include "core/StartupValues.h"
#include "platform/Paths.h"
#include "platform/Text.h"

#include <algorithm>
#include <array>
#include <map>
#include <string_view>
#include <utility>

namespace quillon {

namespace {

using Pair = std::pair<std::string_view, std::string_view>; // (folder, group)

constexpr std::array<std::string_view, 5> derivedDataCaches = {
    "SDKStatCaches.noindex", "SDKExplicitPrecompiledModules", "SymbolCache.noindex",
    "ModuleCache.noindex",   "CompilationCache.noindex",
};
constexpr std::array<std::string_view, 4> projectCaches = {
    "Build/Intermediates.noindex", "Index.noindex", "SymbolCache", "TextIndex"};
constexpr std::array<std::string_view, 2> xcodeCacheNames = {"com.apple.dt.Xcode", "com.apple.dt.xcodebuild"};
constexpr std::array<std::string_view, 3> packageCaches = {
    ".npm/_cacache/content-v2", "Library/Caches/pip", ".cache/pip"};
constexpr std::array<std::string_view, 2> pnpmMetadataNames = {"metadata", "metadata-full"};
constexpr std::array<Pair, 7> embeddedBrowserApps = {{
    {"Codex", "Codex"},
    {"Claude", "Claude"},
    {"Code", "VS Code"},
    {"Framer", "Framer"},
    {"UnityHub", "Unity Hub"},
    {"Nucleo", "Nucleo"},
    {"Spotify", "Spotify"},
}};
constexpr std::array<Pair, 3> chromiumBrowsers = {{
    {"Google/Chrome", "Chrome"},
    {"Microsoft Edge", "Edge"},
    {"BraveSoftware/Brave-Browser", "Brave"},
}};
constexpr std::array<std::string_view, 2> safariCaches = {
    "Library/Caches/com.apple.Safari", "Library/Containers/com.apple.Safari/Data/Library/Caches/com.apple.Safari"};
constexpr std::array<Pair, 6> metalCacheOwners = {{
    {"org.blenderfoundation.blender", "Blender"},
    {"co.ambercreative.nucleo.helper.GPU", "Nucleo"},
    {"com.openai.codex.helper", "Codex"},
    {"com.google.Chrome.helper", "Chrome"},
    {"com.apple.Preview", "Preview"},
    {"com.apple.WebKit.GPU+com.apple.Safari", "Safari"},
}};
constexpr std::array<std::string_view, 2> metalCacheNames = {"com.apple.metal", "com.apple.metalfe"};

// Every path is built by joining: no doubled slash on the base "/", and no
// path at all below a missing (empty) base.
using platform::joinPath;

// The names that the listing rules look for.
bool isIpaToolFolder(const std::string& name) {
    static const platform::Regex numbered("^IPATool-[0-9]+\\.tmp$");
    return numbered.search(name);
}

bool beginsWith(const std::string& name, std::string_view prefix) { return name.rfind(prefix, 0) == 0; }

bool endsWith(const std::string& name, std::string_view suffix) {
    return name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

using Bases = std::array<const std::string*, 5>;

// Whether `path` lies below one of the non-empty `bases` (any of which may
// be "/"). A missing (empty) base holds nothing.
bool insideABase(const std::string& path, const Bases& bases) {
    return std::any_of(bases.begin(), bases.end(), [&](const std::string* base) {
        return !base->empty() && path != *base && platform::within(path, *base);
    });
}

// Whether anything `row` may plan lies in `folder` or below it.
bool reaches(const Candidate& row, const std::string& folder) {
    if (platform::within(row.path, folder)) return true;
    return row.mode != ScanMode::oldTopFiles && platform::within(folder, row.path);
}

// The rows kept so far, by path.
class KeptRows {
public:
    void add(const Candidate& row) { modes_.emplace(row.path, row.mode); }

    // Whether `row` would plan an item that a kept row plans too: it lies in
    // a kept row's reach, or a kept row lies in its reach.
    bool overlap(const Candidate& row) const {
        for (std::size_t end = row.path.size(); end != std::string::npos && end > 0;
             end = row.path.rfind('/', end - 1)) {
            const auto above = modes_.find(row.path.substr(0, end));
            if (above != modes_.end() && (end == row.path.size() || above->second != ScanMode::oldTopFiles))
                return true;
        }
        if (row.mode == ScanMode::oldTopFiles) return false;
        const auto below = modes_.lower_bound(row.path + "/");
        return below != modes_.end() && platform::within(below->first, row.path);
    }

private:
    std::map<std::string, ScanMode> modes_;
};

// Keeps the first row of every path; later rows of the same path, whatever
// their group, age or mode, are dropped, and so are later rows that overlap
// an earlier one: no item may be counted by two locations. Rows outside
// every base, and rows that reach one of the `excluded` folders, go too.
std::vector<Candidate> firstOfEachPath(std::vector<Candidate> rows, const Bases& bases,
                                       const std::vector<std::string>& excluded) {
    KeptRows seen;
    std::vector<Candidate> kept;
    kept.reserve(rows.size());
    for (Candidate& row : rows) {
        if (!insideABase(row.path, bases)) continue;
        if (std::any_of(excluded.begin(), excluded.end(), [&](auto& folder) { return reaches(row, folder); }))
            continue;
        if (seen.overlap(row)) continue;
        seen.add(row);
        kept.push_back(std::move(row));
    }
    return kept;
}

// The families of rows, each appended in catalogue order.

// Temporary build directories, the root that sorts first searched first.
void temporaryBuildRows(std::vector<Candidate>& rows, const std::string& temp, const std::string& sharedTemp) {
    std::vector<std::string> temporaryRoots{temp};
    if (sharedTemp != temp) temporaryRoots.push_back(sharedTemp);
    std::sort(temporaryRoots.begin(), temporaryRoots.end(), platform::precedesInTextOrder);
    for (const std::string& root : temporaryRoots)
        for (Candidate& row : temporaryBuildCandidates(root)) rows.push_back(std::move(row));
}

// Xcode derived data: the shared caches, then each project's caches.
void derivedDataRows(std::vector<Candidate>& rows, const std::string& home) {
    const std::string derivedData = joinPath(home, "Library/Developer/Xcode/DerivedData");
    for (std::string_view name : derivedDataCaches)
        rows.emplace_back(joinPath(derivedData, name), day, "Development", ScanMode::oldChildren);
    for (const std::string& entry : fm.contentsOfDirectory(derivedData)) {
        if (std::find(derivedDataCaches.begin(), derivedDataCaches.end(), entry) != derivedDataCaches.end()) continue;
        for (std::string_view name : projectCaches)
            rows.emplace_back(joinPath(joinPath(derivedData, entry), name), day, "Development", ScanMode::oldChildren);
    }
}

// Export and signing leftovers in the user's temporary directory (one
// listing, two passes), then the compilers' and tools' own caches.
void developerToolRows(std::vector<Candidate>& rows, const std::string& home, const std::string& temp,
                       const std::string& cache) {
    const std::vector<std::string> tempEntries = fm.contentsOfDirectory(temp);
    for (const std::string& entry : tempEntries)
        if (entry == "IPATool.tmp" || isIpaToolFolder(entry) ||
            beginsWith(entry, "XcodeDistPipeline."))
            rows.emplace_back(joinPath(temp, entry), day, "Development");
    for (const std::string& entry : tempEntries)
        if (endsWith(entry, ".xcdistributionlogs")) rows.emplace_back(joinPath(temp, entry), month, "Development");

    rows.emplace_back(joinPath(cache, "clang/ModuleCache"), week, "Development", ScanMode::oldChildren);
    rows.emplace_back(joinPath(temp, "swift-generated-sources"), week, "Development", ScanMode::oldChildren);
    const std::string caches = joinPath(home, "Library/Caches");
    rows.emplace_back(joinPath(caches, "org.swift.swiftpm/manifests"), week, "Development", ScanMode::oldChildren);
    for (std::string_view name : xcodeCacheNames) rows.emplace_back(joinPath(caches, name), week, "Development");
    rows.emplace_back(joinPath(temp, "node-compile-cache"), week, "JavaScript", ScanMode::oldFiles);
    rows.emplace_back(joinPath(caches, "org.videolan.vlc"), 0.0, "VLC");
    rows.emplace_back(joinPath(caches, "com.apple.python"), week, "Python", ScanMode::oldFiles);
}

// Package-manager downloads.
void packageDownloadRows(std::vector<Candidate>& rows, const std::string& home) {
    for (std::string_view suffix : packageCaches)
        rows.emplace_back(joinPath(home, suffix), week,
                          suffix.find("npm") != std::string_view::npos ? "JavaScript" : "Python",
                          ScanMode::oldFiles);
    const std::string caches = joinPath(home, "Library/Caches");
    rows.emplace_back(joinPath(caches, "Homebrew/downloads"), week, "Package downloads", ScanMode::oldFiles);
    const std::string pnpm = joinPath(caches, "pnpm");
    for (const std::string& entry : fm.contentsOfDirectory(pnpm))
        if (isVersionFolder(entry))
            for (std::string_view name : pnpmMetadataNames)
                rows.emplace_back(joinPath(joinPath(pnpm, entry), name), week, "JavaScript", ScanMode::oldFiles);
}

// Browser engines: embedded ones, Atlas, Codex, Spotify, Figma, then the
// browsers themselves.
void browserCacheRows(std::vector<Candidate>& rows, const std::string& home) {
    const std::string support = joinPath(home, "Library/Application Support");
    const std::string caches = joinPath(home, "Library/Caches");
    for (const auto& [folder, group] : embeddedBrowserApps)
        browser(rows, joinPath(support, folder), std::string(group));
    browser(rows, joinPath(support, "com.openai.atlas/browser-data/host"), "Atlas");
    browser(rows, joinPath(caches, "Codex"), "Codex");
    for (std::string_view name : chromiumCacheNames)
        rows.emplace_back(joinPath(joinPath(caches, "com.spotify.client"), name), 0.0, "Spotify");
    const std::string figma = joinPath(support, "Figma/DesktopProfile");
    for (const std::string& entry : fm.contentsOfDirectory(figma))
        if (isVersionFolder(entry))
            for (std::string_view name : chromiumCacheNames)
                rows.emplace_back(joinPath(joinPath(figma, entry), name), 0.0, "Figma");
    for (const auto& [folder, group] : chromiumBrowsers) {
        browser(rows, joinPath(support, folder), std::string(group));
        browser(rows, joinPath(caches, folder), std::string(group));
    }
    for (std::string_view suffix : safariCaches) rows.emplace_back(joinPath(home, suffix), week, "Safari");
}

// Shader caches.
void metalCacheRows(std::vector<Candidate>& rows, const std::string& cache) {
    for (const auto& [folder, group] : metalCacheOwners)
        for (std::string_view name : metalCacheNames)
            rows.emplace_back(joinPath(joinPath(cache, folder), name), week, std::string(group),
                              ScanMode::oldChildren);
}

// Logs and crash reports. The program's own log folder and the crash
// reports are reached only through their own rows.
void logRows(std::vector<Candidate>& rows, const std::string& home) {
    const std::string logs = joinPath(home, "Library/Logs");
    for (const std::string& entry : fm.contentsOfDirectory(logs))
        if (entry != "DiagnosticReports" && entry != "Quillon")
            rows.emplace_back(joinPath(logs, entry), month, "Logs", ScanMode::oldFiles, logPattern);
    rows.emplace_back(logs, month, "Logs", ScanMode::oldTopFiles, logPattern);
    rows.emplace_back(joinPath(logs, "DiagnosticReports"), quarter, "Logs", ScanMode::oldFiles, crashReportPattern);
    rows.emplace_back(joinPath(home, "Library/Application Support/Code/logs"), month, "Logs", ScanMode::oldFiles,
                      logPattern);
    rows.emplace_back(joinPath(home, ".npm/_logs"), month, "Logs", ScanMode::oldFiles, logPattern);
    rows.emplace_back(joinPath(home, "Library/Caches/com.apple.VideoConference/logs"), month, "Logs",
                      ScanMode::oldFiles, logPattern);
}

} // namespace

std::vector<Candidate> candidates(const std::string& home, const std::string& temp, const std::string& cache,
                                  const std::string& sharedTemp, const std::string& config) {
    std::vector<Candidate> rows;
    temporaryBuildRows(rows, temp, sharedTemp);
    derivedDataRows(rows, home);
    developerToolRows(rows, home, temp, cache);
    packageDownloadRows(rows, home);
    browserCacheRows(rows, home);
    metalCacheRows(rows, cache);
    logRows(rows, home);
    // The caches Linux programs keep, after every row above.
    appendLinuxRows(rows, LinuxBases{home, config, cache});
    std::vector<std::string> excluded = platform::refusedBaseDirectories();
    if (const std::string own = runLogFolder(); !own.empty()) excluded.push_back(own);
    return firstOfEachPath(std::move(rows), {&home, &temp, &cache, &sharedTemp, &config}, excluded);
}

} // namespace quillon
