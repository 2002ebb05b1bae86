// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include "catalog/Bases.h"
#include "catalog/Candidate.h"
#include "core/StartupValues.h"
#include "platform/Paths.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// What the families of catalogue rows share, and the families that
// candidates() (catalog/Catalogue.h) puts together.

// The name patterns of log files and crash reports (ICU syntax).
inline constexpr const char* logPattern = "(?i)\\.log(?:\\.[0-9]+)?(?:\\.gz)?$";
inline constexpr const char* crashReportPattern = "(?i)\\.(?:ips|crash|hang|spin|panic)(?:\\.gz)?$";

// Returns `base` and `piece` joined as every row is joined onto its base: one
// slash even on the base "/", and no path at all on a missing (empty) base.
inline std::string join(const std::string& base, std::string_view piece) { return platform::joinPath(base, piece); }

// Returns whether `name` is a lower-case "v" followed by decimal digits only
// ("v6"): the version folder of a package cache.
bool isVersionFolder(const std::string& name);

// The stretches of rows that only macOS programs keep (in ~/Library, in the
// temporary build folders of its developer tools, and their shader and
// export caches), in catalogue order. The rows that Linux programs keep too
// sit between them.
enum class MacRows : std::uint8_t {
    buildsAndExports,         // temporary build folders, Xcode's derived data, export and signing leftovers
    swiftAndXcode,            // Swift's generated sources and package manifests, Xcode's caches
    appCaches,                // VLC's cache and the system Python's
    pip,                      // pip's cache in ~/Library
    downloadsBrowsersAndLogs, // Homebrew and pnpm downloads, browser engines, Metal shaders, ~/Library logs
    conferenceLogs,           // the video conference logs
};

// Appends the rows of one stretch of macOS rows on `bases`. Reads the
// listings of the temporary directories, of Xcode's derived data, of pnpm's
// and Figma's folders, of every browser-engine root (see browser()) and of
// ~/Library/Logs; never fails.
void appendMacRows(std::vector<Candidate>& rows, const Bases& bases, MacRows stretch);

// Appends the rows of the caches that Linux programs keep in the user's own
// folders, in this order: build and package caches (development, JavaScript,
// Python), browser-engine caches of the browsers, editors and Electron
// applications (their own installs, then their Flatpak and snap copies),
// Spotify's and Steam's caches, the JetBrains IDEs' and Gradle's caches, GPU
// shader caches, file thumbnails, caches of the desktop session, and the
// editors' and Gradle's logs. Reads the listings of the Firefox-family cache
// roots, of the package, IDE and Gradle caches, of the cache base and of
// every browser-engine root (see browser()); never fails.
void appendLinuxRows(std::vector<Candidate>& rows, const Bases& bases);

} // namespace quillon
