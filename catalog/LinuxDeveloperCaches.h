// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include "catalog/Rows.h"

namespace quillon {

// Appends the rows of the build and package caches of Linux developer tools:
// build caches and Go's module downloads (development), then the package
// caches (JavaScript, Python). Reads the listings of the yarn, pnpm and uv
// caches; never fails.
void appendLinuxBuildAndPackageRows(std::vector<Candidate>& rows, const Bases& bases);

// Appends the rows of the JetBrains IDEs' caches of versions long unused
// (JetBrains) and of Gradle's caches and wrapper downloads (Gradle).
// Reads the listings of ~/.cache/JetBrains and ~/.gradle/caches; never fails.
void appendLinuxIdeRows(std::vector<Candidate>& rows, const Bases& bases);

// Appends the rows of the Gradle daemons' logs (the logs group). Reads the listing of
// ~/.gradle/daemon; never fails.
void appendLinuxBuildLogRows(std::vector<Candidate>& rows, const Bases& bases);

} // namespace quillon
