// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include "catalog/Candidate.h"

#include <string>
#include <vector>

namespace quillon {

// The per-user bases the Linux rows are built on: the home directory and the
// user's private configuration and cache directories (an empty one gives no
// rows; the catalogue drops rows outside its bases).
struct LinuxBases {
    std::string home;
    std::string config;
    std::string cache;
};

// Appends the rows of the caches that Linux programs keep in the user's own
// folders, in this order: build and package caches ("Development",
// "JavaScript", "Python"), browser-engine caches of the browsers, editors and
// Electron applications (their own installs, then their Flatpak and snap
// copies), Spotify's and Steam's caches, the JetBrains IDEs' and Gradle's
// caches, GPU shader caches ("GPU"), file thumbnails ("Thumbnail"), caches of
// the desktop session ("Desktop"), and the editors' and Gradle's logs
// ("Logs"). Reads the listings of the Firefox-family cache roots, of the
// package, IDE and Gradle caches, of the cache base and of every
// browser-engine root (see browser()); never fails.
void appendLinuxRows(std::vector<Candidate>& rows, const LinuxBases& bases);

// Returns whether `name` is a lower-case "v" followed by decimal digits only
// ("v6"): the version folder of a package cache.
bool isVersionFolder(const std::string& name);

} // namespace quillon
