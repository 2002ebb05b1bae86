// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "catalog/Browser.h"
#include "catalog/LinuxDeveloperCaches.h"
#include "catalog/Rows.h"
#include "platform/Folders.h"
#include "platform/Text.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace quillon {

namespace {

// How an application lays out its Chromium caches: a browser keeps its
// profiles in $XDG_CONFIG_HOME/<folder> and their Cache and Code Cache in
// $XDG_CACHE_HOME/<folder> (the channel, beta or dev, is part of the folder
// name); an Electron application keeps everything, caches and logs included,
// in its data folder $XDG_CONFIG_HOME/<folder>; an editor is an Electron
// application that also keeps its own compiled code, downloaded extension
// packages and logs there.
enum class Layout : std::uint8_t { browser, electron, editor };

// One application: its layout, its folder below a base directory, its group,
// and the Flatpak application ID it is published under (empty: none looked at).
struct App {
    Layout layout;
    std::string_view folder;
    Group group;
    std::string_view flatpak;
};

constexpr std::array<App, 24> apps = {{
    {Layout::browser, "google-chrome", Group::chrome, "com.google.Chrome"},
    {Layout::browser, "google-chrome-beta", Group::chrome, ""},
    {Layout::browser, "google-chrome-unstable", Group::chrome, ""},
    {Layout::browser, "chromium", Group::chromium, "org.chromium.Chromium"},
    {Layout::browser, "microsoft-edge", Group::edge, "com.microsoft.Edge"},
    {Layout::browser, "microsoft-edge-beta", Group::edge, ""},
    {Layout::browser, "microsoft-edge-dev", Group::edge, ""},
    {Layout::browser, "BraveSoftware/Brave-Browser", Group::brave, "com.brave.Browser"},
    {Layout::browser, "BraveSoftware/Brave-Browser-Beta", Group::brave, ""},
    {Layout::browser, "BraveSoftware/Brave-Browser-Nightly", Group::brave, ""},
    {Layout::browser, "vivaldi", Group::vivaldi, "com.vivaldi.Vivaldi"},
    {Layout::browser, "opera", Group::opera, "com.opera.Opera"},
    {Layout::editor, "Code", Group::vsCode, "com.visualstudio.code"},
    {Layout::editor, "Code - Insiders", Group::vsCode, ""},
    {Layout::editor, "Code - OSS", Group::vsCode, ""},
    {Layout::editor, "VSCodium", Group::vsCode, "com.vscodium.codium"},
    {Layout::editor, "Cursor", Group::cursor, ""},
    {Layout::electron, "UnityHub", Group::unityHub, "com.unity.UnityHub"},
    {Layout::electron, "Slack", Group::slack, "com.slack.Slack"},
    {Layout::electron, "discord", Group::discord, "com.discordapp.Discord"},
    {Layout::electron, "teams-for-linux", Group::teamsForLinux, "com.github.IsmaelMartinez.teams_for_linux"},
    // Signal's attachments and database stay: only the cache folders go.
    {Layout::electron, "Signal", Group::signal, "org.signal.Signal"},
    {Layout::electron, "obsidian", Group::obsidian, "md.obsidian.Obsidian"},
    {Layout::electron, "Element", Group::element, "im.riot.Riot"},
}};

// The snap of Chromium is looked at too.
constexpr const App& chromium = apps[3];
static_assert(chromium.folder == "chromium");

// A Firefox-family program: its cache root below the cache base, whose every
// entry is a profile's cache folder, its group and its Flatpak ID.
struct FirefoxFamily {
    std::string_view root;
    Group group;
    std::string_view flatpak;
};
constexpr std::array<FirefoxFamily, 3> firefoxFamily = {{
    {"mozilla/firefox", Group::firefox, "org.mozilla.firefox"},
    {"thunderbird", Group::thunderbird, "org.mozilla.Thunderbird"},
    {"librewolf", Group::libreWolf, "io.gitlab.librewolf-community"},
}};
constexpr const FirefoxFamily& firefox = firefoxFamily[0];
// The disposable folders of a profile's cache folder: the disk and startup
// caches, page thumbnails and the taskbar's icon cache.
constexpr std::array<std::string_view, 4> firefoxCaches = {"cache2", "startupCache", "thumbnails", "jumpListCache"};

// GPU drivers' shader caches: Mesa's (multi-file, database and single-file
// layouts) and NVIDIA's, below the cache base and the home directory.
constexpr std::array<std::string_view, 4> cacheShaderCaches = {
    "/mesa_shader_cache", "/mesa_shader_cache_db", "/mesa_shader_cache_sf", "/nvidia/GLCache"};
constexpr std::array<std::string_view, 2> homeShaderCaches = {"/.nv/GLCache", "/.nv/ComputeCache"};

// The four sizes of the shared thumbnail folder; "fail" records stay. The
// folder that came before it in the home directory is a leftover: all of it goes.
constexpr std::array<std::string_view, 4> thumbnailSizes = {"normal", "large", "x-large", "xx-large"};
constexpr std::array<std::string_view, 3> legacyThumbnailFolders = {"normal", "large", "fail"};

// Steam's data folder: its own, or the one Debian's steam launcher makes.
constexpr std::array<std::string_view, 2> steamRoots = {"/.local/share/Steam", "/.steam/debian-installation"};

std::string flatpakBase(const std::string& home, std::string_view id) { return join(join(home, ".var/app"), id); }

// A snap's files that survive its updates: ~/snap/<name>/common.
std::string snapBase(const std::string& home, std::string_view name) {
    return join(join(home, "snap"), name) + "/common";
}

void chromiumBrowserRows(std::vector<Candidate>& rows, const App& app, const std::string& config,
                         const std::string& cache) {
    const Group group = app.group;
    if (!config.empty()) {
        browser(rows, join(config, app.folder), group);
        // The browser-wide GPU cache of recent versions and the metrics files
        // the browser writes again, next to the profiles.
        rows.emplace_back(join(config, app.folder) + "/GPUPersistentCache", 0.0, group);
        rows.emplace_back(join(config, app.folder) + "/BrowserMetrics", 0.0, group);
    }
    if (!cache.empty()) browser(rows, join(cache, app.folder), group);
}

// An editor's compiled code is kept per version, the running one's renewed
// as it runs: a version folder unchanged for a week is an old version's.
void electronAppRows(std::vector<Candidate>& rows, const App& app, const std::string& config) {
    if (config.empty()) return;
    const Group group = app.group;
    const std::string folder = join(config, app.folder);
    browser(rows, folder, group);
    if (app.layout != Layout::editor) return;
    rows.emplace_back(folder + "/CachedData", week, group, ScanMode::oldChildren);
    rows.emplace_back(folder + "/CachedExtensionVSIXs", week, group, ScanMode::oldFiles);
}

void firefoxRows(std::vector<Candidate>& rows, const std::string& cache, const FirefoxFamily& program) {
    if (cache.empty()) return;
    const std::string root = join(cache, program.root);
    for (const std::string& profile : platform::listFolder(root))
        for (std::string_view name : firefoxCaches)
            rows.emplace_back(join(root + "/" + profile, name), 0.0, program.group);
}

// The browsers and editors as installed for the user, then their Flatpak
// copies (each with its own configuration and cache folders) and the snaps
// of Chromium and Firefox.
void browserEngineRows(std::vector<Candidate>& rows, const Bases& bases) {
    for (const App& app : apps)
        if (app.layout == Layout::browser) chromiumBrowserRows(rows, app, bases.config, bases.cache);
    for (const FirefoxFamily& program : firefoxFamily) firefoxRows(rows, bases.cache, program);
    for (const App& app : apps)
        if (app.layout != Layout::browser) electronAppRows(rows, app, bases.config);
    if (bases.home.empty()) return;
    for (const App& app : apps)
        if (app.layout == Layout::browser && !app.flatpak.empty())
            chromiumBrowserRows(rows, app, flatpakBase(bases.home, app.flatpak) + "/config",
                                flatpakBase(bases.home, app.flatpak) + "/cache");
    for (const FirefoxFamily& program : firefoxFamily)
        firefoxRows(rows, flatpakBase(bases.home, program.flatpak) + "/cache", program);
    for (const App& app : apps)
        if (app.layout != Layout::browser && !app.flatpak.empty())
            electronAppRows(rows, app, flatpakBase(bases.home, app.flatpak) + "/config");
    const std::string chromiumSnap = snapBase(bases.home, "chromium");
    chromiumBrowserRows(rows, chromium, chromiumSnap, chromiumSnap + "/.cache");
    firefoxRows(rows, snapBase(bases.home, "firefox") + "/.cache", firefox);
}

// Spotify's stream cache (never its offline downloads in Storage, nor the
// settings in Users) and the web cache of Steam's store.
void mediaRows(std::vector<Candidate>& rows, const Bases& bases) {
    if (!bases.cache.empty()) rows.emplace_back(join(bases.cache, "spotify/Data"), 0.0, Group::spotify);
    if (bases.home.empty()) return;
    rows.emplace_back(flatpakBase(bases.home, "com.spotify.Client") + "/cache/spotify/Data", 0.0, Group::spotify);
    for (std::string_view root : steamRoots)
        rows.emplace_back(join(join(bases.home, root), "appcache/httpcache"), 0.0, Group::steam);
}

void shaderAndThumbnailRows(std::vector<Candidate>& rows, const Bases& bases) {
    if (!bases.cache.empty())
        for (std::string_view suffix : cacheShaderCaches)
            rows.emplace_back(join(bases.cache, suffix), week, Group::gpu, ScanMode::oldChildren);
    if (!bases.home.empty()) {
        for (std::string_view suffix : homeShaderCaches)
            rows.emplace_back(join(bases.home, suffix), week, Group::gpu, ScanMode::oldChildren);
        // Each game's shaders, compiled again or fetched by Steam when it runs.
        for (std::string_view root : steamRoots)
            rows.emplace_back(join(join(bases.home, root), "steamapps/shadercache"), week, Group::gpu,
                              ScanMode::oldChildren);
    }
    if (!bases.cache.empty())
        for (std::string_view size : thumbnailSizes)
            rows.emplace_back(join(join(bases.cache, "thumbnails"), size), quarter, Group::thumbnail,
                              ScanMode::oldFiles);
    if (!bases.home.empty())
        for (std::string_view size : legacyThumbnailFolders)
            rows.emplace_back(join(join(bases.home, ".thumbnails"), size), quarter, Group::thumbnail,
                              ScanMode::oldFiles);
}

// Caches a running desktop session reads and rewrites: fontconfig's font
// lists and each Qt program's compiled QML, in $XDG_CACHE_HOME/<program>.
// Both are made again when missing; only old files go.
void desktopRows(std::vector<Candidate>& rows, const std::string& cache) {
    if (cache.empty()) return;
    rows.emplace_back(join(cache, "fontconfig"), month, Group::desktop, ScanMode::oldFiles);
    for (const std::string& entry : platform::listFolder(cache))
        rows.emplace_back(join(cache, entry) + "/qmlcache", month, Group::desktop, ScanMode::oldFiles);
}

// The editors' own logs, in their data folders and in their Flatpak copies.
void editorLogRows(std::vector<Candidate>& rows, const Bases& bases) {
    for (const App& app : apps) {
        if (app.layout != Layout::editor) continue;
        if (!bases.config.empty())
            rows.emplace_back(join(bases.config, app.folder) + "/logs", month, Group::logs, ScanMode::oldFiles,
                              logPattern);
        if (!bases.home.empty() && !app.flatpak.empty())
            rows.emplace_back(join(flatpakBase(bases.home, app.flatpak) + "/config", app.folder) + "/logs",
                              month, Group::logs, ScanMode::oldFiles, logPattern);
    }
}

} // namespace

bool isVersionFolder(const std::string& name) {
    static const platform::Regex version("^v[0-9]+$");
    return version.search(name);
}

void appendLinuxRows(std::vector<Candidate>& rows, const Bases& bases) {
    appendLinuxBuildAndPackageRows(rows, bases);
    browserEngineRows(rows, bases);
    mediaRows(rows, bases);
    appendLinuxIdeRows(rows, bases);
    shaderAndThumbnailRows(rows, bases);
    desktopRows(rows, bases.cache);
    editorLogRows(rows, bases);
    appendLinuxBuildLogRows(rows, bases);
}

} // namespace quillon
