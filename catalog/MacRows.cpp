// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "catalog/Browser.h"
#include "catalog/Rows.h"
#include "catalog/TemporaryBuild.h"
#include "platform/Folders.h"
#include "platform/Text.h"

#include <algorithm>
#include <array>
#include <utility>

namespace quillon {

namespace {

using Pair = std::pair<std::string_view, Group>; // (folder, group)

constexpr std::array<std::string_view, 5> derivedDataCaches = {
    "SDKStatCaches.noindex", "SDKExplicitPrecompiledModules", "SymbolCache.noindex",
    "ModuleCache.noindex",   "CompilationCache.noindex",
};
constexpr std::array<std::string_view, 4> projectCaches = {
    "Build/Intermediates.noindex", "Index.noindex", "SymbolCache", "TextIndex"};
constexpr std::array<std::string_view, 2> xcodeCacheNames = {"com.apple.dt.Xcode", "com.apple.dt.xcodebuild"};
constexpr std::array<std::string_view, 2> pnpmMetadataNames = {"metadata", "metadata-full"};
constexpr std::array<Pair, 7> embeddedBrowserApps = {{
    {"Codex", Group::codex}, {"Claude", Group::claude}, {"Code", Group::vsCode}, {"Framer", Group::framer},
    {"UnityHub", Group::unityHub}, {"Nucleo", Group::nucleo}, {"Spotify", Group::spotify},
}};
constexpr std::array<Pair, 3> chromiumBrowsers = {{
    {"Google/Chrome", Group::chrome},
    {"Microsoft Edge", Group::edge},
    {"BraveSoftware/Brave-Browser", Group::brave},
}};
constexpr std::array<std::string_view, 2> safariCaches = {
    "Library/Caches/com.apple.Safari", "Library/Containers/com.apple.Safari/Data/Library/Caches/com.apple.Safari"};
constexpr std::array<Pair, 6> metalCacheOwners = {{
    {"org.blenderfoundation.blender", Group::blender},
    {"co.ambercreative.nucleo.helper.GPU", Group::nucleo},
    {"com.openai.codex.helper", Group::codex},
    {"com.google.Chrome.helper", Group::chrome},
    {"com.apple.Preview", Group::preview},
    {"com.apple.WebKit.GPU+com.apple.Safari", Group::safari},
}};
constexpr std::array<std::string_view, 2> metalCacheNames = {"com.apple.metal", "com.apple.metalfe"};

// The names that the listing rules look for.
bool isIpaToolFolder(const std::string& name) {
    static const platform::Regex numbered("^IPATool-[0-9]+\\.tmp$");
    return numbered.search(name);
}

bool beginsWith(const std::string& name, std::string_view prefix) { return name.rfind(prefix, 0) == 0; }

bool endsWith(const std::string& name, std::string_view suffix) {
    return name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

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
    const std::string derivedData = join(home, "Library/Developer/Xcode/DerivedData");
    for (std::string_view name : derivedDataCaches)
        rows.emplace_back(join(derivedData, name), day, Group::development, ScanMode::oldChildren);
    for (const std::string& entry : platform::listFolder(derivedData)) {
        if (std::find(derivedDataCaches.begin(), derivedDataCaches.end(), entry) != derivedDataCaches.end()) continue;
        for (std::string_view name : projectCaches)
            rows.emplace_back(join(join(derivedData, entry), name), day, Group::development, ScanMode::oldChildren);
    }
}

// Export and signing leftovers in the user's temporary directory (one
// listing, two passes).
void exportRows(std::vector<Candidate>& rows, const std::string& temp) {
    const std::vector<std::string> tempEntries = platform::listFolder(temp);
    for (const std::string& entry : tempEntries)
        if (entry == "IPATool.tmp" || isIpaToolFolder(entry) || beginsWith(entry, "XcodeDistPipeline."))
            rows.emplace_back(join(temp, entry), day, Group::development);
    for (const std::string& entry : tempEntries)
        if (endsWith(entry, ".xcdistributionlogs")) rows.emplace_back(join(temp, entry), month, Group::development);
}

// Swift's generated sources and package manifests, and Xcode's own caches.
void swiftAndXcodeRows(std::vector<Candidate>& rows, const Bases& bases) {
    rows.emplace_back(join(bases.temp, "swift-generated-sources"), week, Group::development, ScanMode::oldChildren);
    const std::string caches = join(bases.home, "Library/Caches");
    rows.emplace_back(join(caches, "org.swift.swiftpm/manifests"), week, Group::development, ScanMode::oldChildren);
    for (std::string_view name : xcodeCacheNames) rows.emplace_back(join(caches, name), week, Group::development);
}

// Homebrew's and pnpm's downloads.
void packageDownloadRows(std::vector<Candidate>& rows, const std::string& home) {
    const std::string caches = join(home, "Library/Caches");
    rows.emplace_back(join(caches, "Homebrew/downloads"), week, Group::packageDownloads, ScanMode::oldFiles);
    const std::string pnpm = join(caches, "pnpm");
    for (const std::string& entry : platform::listFolder(pnpm))
        if (isVersionFolder(entry))
            for (std::string_view name : pnpmMetadataNames)
                rows.emplace_back(join(join(pnpm, entry), name), week, Group::javaScript, ScanMode::oldFiles);
}

// Browser engines: embedded ones, Atlas, Codex, Spotify, Figma, then the
// browsers themselves.
void browserCacheRows(std::vector<Candidate>& rows, const std::string& home) {
    const std::string support = join(home, "Library/Application Support");
    const std::string caches = join(home, "Library/Caches");
    for (const auto& [folder, group] : embeddedBrowserApps) browser(rows, join(support, folder), group);
    browser(rows, join(support, "com.openai.atlas/browser-data/host"), Group::atlas);
    browser(rows, join(caches, "Codex"), Group::codex);
    for (std::string_view name : chromiumCacheNames)
        rows.emplace_back(join(join(caches, "com.spotify.client"), name), 0.0, Group::spotify);
    const std::string figma = join(support, "Figma/DesktopProfile");
    for (const std::string& entry : platform::listFolder(figma))
        if (isVersionFolder(entry))
            for (std::string_view name : chromiumCacheNames)
                rows.emplace_back(join(join(figma, entry), name), 0.0, Group::figma);
    for (const auto& [folder, group] : chromiumBrowsers) {
        browser(rows, join(support, folder), group);
        browser(rows, join(caches, folder), group);
    }
    for (std::string_view suffix : safariCaches) rows.emplace_back(join(home, suffix), week, Group::safari);
}

// Shader caches.
void metalCacheRows(std::vector<Candidate>& rows, const std::string& cache) {
    for (const auto& [folder, group] : metalCacheOwners)
        for (std::string_view name : metalCacheNames)
            rows.emplace_back(join(join(cache, folder), name), week, group, ScanMode::oldChildren);
}

// Logs and crash reports. The program's own log folder and the crash
// reports are reached only through their own rows.
void logRows(std::vector<Candidate>& rows, const std::string& home) {
    const std::string logs = join(home, "Library/Logs");
    for (const std::string& entry : platform::listFolder(logs))
        if (entry != "DiagnosticReports" && entry != "Quillon")
            rows.emplace_back(join(logs, entry), month, Group::logs, ScanMode::oldFiles, logPattern);
    rows.emplace_back(logs, month, Group::logs, ScanMode::oldTopFiles, logPattern);
    rows.emplace_back(join(logs, "DiagnosticReports"), quarter, Group::logs, ScanMode::oldFiles, crashReportPattern);
    rows.emplace_back(join(home, "Library/Application Support/Code/logs"), month, Group::logs, ScanMode::oldFiles,
                      logPattern);
}

} // namespace

void appendMacRows(std::vector<Candidate>& rows, const Bases& bases, MacRows stretch) {
    switch (stretch) {
    case MacRows::buildsAndExports:
        temporaryBuildRows(rows, bases.temp, bases.sharedTemp);
        derivedDataRows(rows, bases.home);
        exportRows(rows, bases.temp);
        return;
    case MacRows::swiftAndXcode: swiftAndXcodeRows(rows, bases); return;
    case MacRows::appCaches:
        rows.emplace_back(join(bases.home, "Library/Caches/org.videolan.vlc"), 0.0, Group::vlc);
        rows.emplace_back(join(bases.home, "Library/Caches/com.apple.python"), week, Group::python, ScanMode::oldFiles);
        return;
    case MacRows::pip:
        rows.emplace_back(join(bases.home, "Library/Caches/pip"), week, Group::python, ScanMode::oldFiles);
        return;
    case MacRows::downloadsBrowsersAndLogs:
        packageDownloadRows(rows, bases.home);
        browserCacheRows(rows, bases.home);
        metalCacheRows(rows, bases.cache);
        logRows(rows, bases.home);
        return;
    case MacRows::conferenceLogs:
        rows.emplace_back(join(bases.home, "Library/Caches/com.apple.VideoConference/logs"), month, Group::logs,
                          ScanMode::oldFiles, logPattern);
        return;
    }
}

} // namespace quillon
