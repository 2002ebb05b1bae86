// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "catalog/LinuxDeveloperCaches.h"

#include "catalog/Rows.h"
#include "platform/Folders.h"
#include "platform/Text.h"

namespace quillon {

namespace {

// The JetBrains IDEs delete the caches of a version not updated for this long.
constexpr double halfYear = 180 * day;

// The names of the folders that the rows below pick out of a listing, each
// expression compiled once, not once for every folder entry it is asked about.
struct FolderNames {
    // A JetBrains version folder: the product and its year.release ("PyCharmCE2024.1").
    platform::Regex ideVersion{"^[A-Za-z]+[0-9]{4}\\.[0-9]+$"};
    // A Gradle version ("8.5", "8.10.2", "8.11-rc-1").
    platform::Regex gradleVersion{"^[0-9]+\\.[0-9]+(\\.[0-9]+)?(-[a-z0-9-]+)?$"};
    // Gradle's numbered transform and build caches ("transforms-4", "build-cache-1").
    platform::Regex transforms{"^transforms-[0-9]+$"};
    platform::Regex buildCache{"^build-cache-[0-9]+$"};
    // uv's cache buckets ("wheels-v5"); its unpacked archives are told apart below.
    platform::Regex uvBucket{"^[a-z]+-v[0-9]+$"};
};

const FolderNames& folderNames() {
    static const FolderNames compiled;
    return compiled;
}

// uv's cache buckets, but not its unpacked archives, which environments link
// to (uv cache prune knows which are still used).
bool isUvDownloadBucket(const std::string& name) {
    return folderNames().uvBucket.search(name) && name.rfind("archive-", 0) != 0;
}

} // namespace

// Go's module downloads: never the unpacked modules beside them, which
// belong to `go clean -modcache`.
void appendLinuxBuildAndPackageRows(std::vector<Candidate>& rows, const Bases& bases) {
    const std::string& cache = bases.cache;
    const std::string& home = bases.home;
    if (!cache.empty()) rows.emplace_back(join(cache, "go-build"), week, Group::development, ScanMode::oldFiles);
    if (!home.empty())
        rows.emplace_back(join(home, ".cargo/registry/cache"), week, Group::development, ScanMode::oldFiles);
    if (!cache.empty()) rows.emplace_back(join(cache, "ccache"), week, Group::development, ScanMode::oldFiles);
    if (!home.empty())
        rows.emplace_back(join(home, "go/pkg/mod/cache/download"), week, Group::development, ScanMode::oldFiles);
    if (!cache.empty()) {
        // pip's downloads; yarn's unpacked packages, one folder each, so a
        // package goes whole or stays; pnpm's metadata files (never its content
        // store, which projects hard-link to).
        rows.emplace_back(join(cache, "pip"), week, Group::python, ScanMode::oldFiles);
        for (const std::string& entry : platform::listFolder(join(cache, "yarn")))
            if (isVersionFolder(entry))
                rows.emplace_back(join(cache, "yarn/" + entry), week, Group::javaScript, ScanMode::oldChildren);
        for (const std::string& entry : platform::listFolder(join(cache, "pnpm")))
            if (entry.rfind("metadata", 0) == 0)
                rows.emplace_back(join(cache, "pnpm/" + entry), week, Group::javaScript, ScanMode::oldFiles);
        for (const std::string& entry : platform::listFolder(join(cache, "uv")))
            if (isUvDownloadBucket(entry))
                rows.emplace_back(join(cache, "uv/" + entry), week, Group::python, ScanMode::oldChildren);
        rows.emplace_back(join(cache, "pypoetry/cache"), week, Group::python, ScanMode::oldFiles);
        rows.emplace_back(join(cache, "pypoetry/artifacts"), week, Group::python, ScanMode::oldFiles);
        // Node's headers for native add-ons and Electron's downloaded releases,
        // one folder per version, fetched again by node-gyp and @electron/get.
        rows.emplace_back(join(cache, "node-gyp"), week, Group::javaScript, ScanMode::oldChildren);
        rows.emplace_back(join(cache, "electron"), week, Group::javaScript, ScanMode::oldChildren);
    }
    // Bun's unpacked packages; projects hard-link or copy them.
    if (!home.empty())
        rows.emplace_back(join(home, ".bun/install/cache"), week, Group::javaScript, ScanMode::oldChildren);
}

// A JetBrains version folder goes whole once nothing in it changed for half a
// year, as the IDEs do themselves. Gradle's version caches and wrapper
// downloads go whole after a month unused, its build cache entries after a
// week and its downloaded modules after a month, which is when Gradle drops
// them itself.
void appendLinuxIdeRows(std::vector<Candidate>& rows, const Bases& bases) {
    if (!bases.cache.empty())
        for (const std::string& entry : platform::listFolder(join(bases.cache, "JetBrains")))
            if (folderNames().ideVersion.search(entry))
                rows.emplace_back(join(bases.cache, "JetBrains/" + entry), halfYear, Group::jetBrains);
    if (bases.home.empty()) return;
    const std::string caches = join(bases.home, ".gradle/caches");
    for (const std::string& entry : platform::listFolder(caches)) {
        if (folderNames().gradleVersion.search(entry)) rows.emplace_back(caches + "/" + entry, month, Group::gradle);
        if (folderNames().transforms.search(entry))
            rows.emplace_back(caches + "/" + entry, month, Group::gradle, ScanMode::oldChildren);
        if (folderNames().buildCache.search(entry))
            rows.emplace_back(caches + "/" + entry, week, Group::gradle, ScanMode::oldFiles);
    }
    rows.emplace_back(caches + "/modules-2/files-2.1", month, Group::gradle, ScanMode::oldFiles);
    rows.emplace_back(join(bases.home, ".gradle/wrapper/dists"), month, Group::gradle, ScanMode::oldChildren);
}

void appendLinuxBuildLogRows(std::vector<Candidate>& rows, const Bases& bases) {
    if (bases.home.empty()) return;
    const std::string daemon = join(bases.home, ".gradle/daemon");
    for (const std::string& entry : platform::listFolder(daemon))
        if (folderNames().gradleVersion.search(entry))
            rows.emplace_back(daemon + "/" + entry, month, Group::logs, ScanMode::oldFiles, logPattern);
}

} // namespace quillon
