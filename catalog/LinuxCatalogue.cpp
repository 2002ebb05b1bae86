#include "catalog/LinuxCatalogue.h"

#include "catalog/Browser.h"
#include "catalog/Catalogue.h"
#include "core/StartupValues.h"
#include "platform/Paths.h"
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
// in its data folder $XDG_CONFIG_HOME/<folder>.
enum class Layout : std::uint8_t { browser, electron };

// One application: its layout, its folder below a base directory, its group,
// and the Flatpak application ID it is published under (empty: none looked at).
struct App {
    Layout layout;
    std::string_view folder;
    std::string_view group;
    std::string_view flatpak;
};

constexpr std::array<App, 15> apps = {{
    {Layout::browser, "google-chrome", "Chrome", "com.google.Chrome"},
    {Layout::browser, "google-chrome-beta", "Chrome", ""},
    {Layout::browser, "google-chrome-unstable", "Chrome", ""},
    {Layout::browser, "chromium", "Chromium", "org.chromium.Chromium"},
    {Layout::browser, "microsoft-edge", "Edge", "com.microsoft.Edge"},
    {Layout::browser, "microsoft-edge-beta", "Edge", ""},
    {Layout::browser, "microsoft-edge-dev", "Edge", ""},
    {Layout::browser, "BraveSoftware/Brave-Browser", "Brave", "com.brave.Browser"},
    {Layout::browser, "BraveSoftware/Brave-Browser-Beta", "Brave", ""},
    {Layout::browser, "BraveSoftware/Brave-Browser-Nightly", "Brave", ""},
    {Layout::electron, "Code", "VS Code", "com.visualstudio.code"},
    {Layout::electron, "Code - Insiders", "VS Code", ""},
    {Layout::electron, "Code - OSS", "VS Code", ""},
    {Layout::electron, "VSCodium", "VS Code", "com.vscodium.codium"},
    {Layout::electron, "UnityHub", "Unity Hub", "com.unity.UnityHub"},
}};

// The snap of Chromium is looked at too.
constexpr const App& chromium = apps[3];
static_assert(chromium.folder == "chromium");

constexpr std::string_view firefoxFlatpak = "org.mozilla.firefox";
// The disposable folders of a Firefox profile's cache folder.
constexpr std::array<std::string_view, 2> firefoxCaches = {"cache2", "startupCache"};

// GPU drivers' shader caches: Mesa's (multi-file, database and single-file
// layouts) and NVIDIA's, below the cache base and the home directory.
constexpr std::array<std::string_view, 4> cacheShaderCaches = {
    "/mesa_shader_cache", "/mesa_shader_cache_db", "/mesa_shader_cache_sf", "/nvidia/GLCache"};
constexpr std::array<std::string_view, 2> homeShaderCaches = {"/.nv/GLCache", "/.nv/ComputeCache"};

// The four sizes of the shared thumbnail folder; "fail" records stay.
constexpr std::array<std::string_view, 4> thumbnailSizes = {"normal", "large", "x-large", "xx-large"};

// Every row is joined onto its base this way: one slash even on the base
// "/", and no path at all on a missing (empty) base.
std::string join(const std::string& base, std::string_view piece) { return platform::joinPath(base, piece); }

std::string flatpakBase(const std::string& home, std::string_view id) { return join(join(home, ".var/app"), id); }

// A snap's files that survive its updates: ~/snap/<name>/common.
std::string snapBase(const std::string& home, std::string_view name) {
    return join(join(home, "snap"), name) + "/common";
}

void chromiumBrowserRows(std::vector<Candidate>& rows, const App& app, const std::string& config,
                         const std::string& cache) {
    const std::string group(app.group);
    if (!config.empty()) {
        browser(rows, join(config, app.folder), group);
        // The browser-wide GPU cache of recent versions, next to the profiles.
        rows.emplace_back(join(config, app.folder) + "/GPUPersistentCache", 0.0, group);
    }
    if (!cache.empty()) browser(rows, join(cache, app.folder), group);
}

void electronAppRows(std::vector<Candidate>& rows, const App& app, const std::string& config) {
    if (!config.empty()) browser(rows, join(config, app.folder), std::string(app.group));
}

// Every entry of the Firefox cache root is a profile's cache folder.
void firefoxRows(std::vector<Candidate>& rows, const std::string& cache) {
    if (cache.empty()) return;
    const std::string root = join(cache, "mozilla/firefox");
    for (const std::string& profile : fm.contentsOfDirectory(root))
        for (std::string_view name : firefoxCaches) rows.emplace_back(join(root + "/" + profile, name), 0.0, "Firefox");
}

void developmentRows(std::vector<Candidate>& rows, const LinuxBases& bases) {
    if (!bases.cache.empty()) rows.emplace_back(join(bases.cache, "go-build"), week, "Development", ScanMode::oldFiles);
    if (!bases.home.empty())
        rows.emplace_back(join(bases.home, ".cargo/registry/cache"), week, "Development", ScanMode::oldFiles);
    if (!bases.cache.empty()) rows.emplace_back(join(bases.cache, "ccache"), week, "Development", ScanMode::oldFiles);
}

// pip's downloads; yarn's unpacked packages, one folder each, so a package
// goes whole or stays; pnpm's metadata files (never its content store,
// which projects hard-link to).
void packageRows(std::vector<Candidate>& rows, const std::string& cache) {
    if (cache.empty()) return;
    rows.emplace_back(join(cache, "pip"), week, "Python", ScanMode::oldFiles);
    for (const std::string& entry : fm.contentsOfDirectory(join(cache, "yarn")))
        if (isVersionFolder(entry))
            rows.emplace_back(join(cache, "yarn/" + entry), week, "JavaScript", ScanMode::oldChildren);
    for (const std::string& entry : fm.contentsOfDirectory(join(cache, "pnpm")))
        if (entry.rfind("metadata", 0) == 0)
            rows.emplace_back(join(cache, "pnpm/" + entry), week, "JavaScript", ScanMode::oldFiles);
}

// The browsers and editors as installed for the user, then their Flatpak
// copies (each with its own configuration and cache folders) and the snaps
// of Chromium and Firefox.
void browserEngineRows(std::vector<Candidate>& rows, const LinuxBases& bases) {
    for (const App& app : apps)
        if (app.layout == Layout::browser) chromiumBrowserRows(rows, app, bases.config, bases.cache);
    firefoxRows(rows, bases.cache);
    for (const App& app : apps)
        if (app.layout == Layout::electron) electronAppRows(rows, app, bases.config);
    if (bases.home.empty()) return;
    for (const App& app : apps)
        if (app.layout == Layout::browser && !app.flatpak.empty())
            chromiumBrowserRows(rows, app, flatpakBase(bases.home, app.flatpak) + "/config",
                                flatpakBase(bases.home, app.flatpak) + "/cache");
    firefoxRows(rows, flatpakBase(bases.home, firefoxFlatpak) + "/cache");
    for (const App& app : apps)
        if (app.layout == Layout::electron && !app.flatpak.empty()) electronAppRows(rows, app, flatpakBase(bases.home, app.flatpak) + "/config");
    const std::string chromiumSnap = snapBase(bases.home, "chromium");
    chromiumBrowserRows(rows, chromium, chromiumSnap, chromiumSnap + "/.cache");
    firefoxRows(rows, snapBase(bases.home, "firefox") + "/.cache");
}

void shaderAndThumbnailRows(std::vector<Candidate>& rows, const LinuxBases& bases) {
    if (!bases.cache.empty())
        for (std::string_view suffix : cacheShaderCaches)
            rows.emplace_back(join(bases.cache, suffix), week, "GPU", ScanMode::oldChildren);
    if (!bases.home.empty())
        for (std::string_view suffix : homeShaderCaches)
            rows.emplace_back(join(bases.home, suffix), week, "GPU", ScanMode::oldChildren);
    if (!bases.cache.empty())
        for (std::string_view size : thumbnailSizes)
            rows.emplace_back(join(join(bases.cache, "thumbnails"), size), quarter, "Thumbnail", ScanMode::oldFiles);
}

// The editors' own logs, in their data folders and in their Flatpak copies.
void editorLogRows(std::vector<Candidate>& rows, const LinuxBases& bases) {
    for (const App& app : apps) {
        if (app.group != "VS Code") continue;
        if (!bases.config.empty())
            rows.emplace_back(join(bases.config, app.folder) + "/logs", month, "Logs", ScanMode::oldFiles,
                              logPattern);
        if (!bases.home.empty() && !app.flatpak.empty())
            rows.emplace_back(join(flatpakBase(bases.home, app.flatpak) + "/config", app.folder) + "/logs",
                              month, "Logs", ScanMode::oldFiles, logPattern);
    }
}

} // namespace

bool isVersionFolder(const std::string& name) {
    static const platform::Regex version("^v[0-9]+$");
    return version.search(name);
}

void appendLinuxRows(std::vector<Candidate>& rows, const LinuxBases& bases) {
    developmentRows(rows, bases);
    packageRows(rows, bases.cache);
    browserEngineRows(rows, bases);
    shaderAndThumbnailRows(rows, bases);
    editorLogRows(rows, bases);
}

} // namespace quillon
