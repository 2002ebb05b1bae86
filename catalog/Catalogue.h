// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include "catalog/Bases.h"
#include "catalog/Candidate.h"

#include <vector>

namespace quillon {

// Returns every cleaning location, in catalogue order and de-duplicated by
// path (the first row of a path wins, with its group, age and mode); a row
// that would reach into an earlier location, or hold one, is left out too,
// so that no item belongs to two locations (a row that takes only the files
// directly inside it holds nothing of its subfolders). The rows that only
// macOS programs keep and those that programs on Linux keep too come first,
// in their fixed order; the caches of Linux programs (see appendLinuxRows in
// catalog/Rows.h) follow all of them. Reads a few directory listings to
// expand per-project, per-version and per-profile rows, and validates
// temporary build directories in the temporary and shared temporary bases;
// never fails and never tests whether a location exists. Every location lies
// inside one of the five bases of `bases`: the rows of an empty base are left
// out (the shader and clang caches when the cache base is empty, the rows
// built on the home, temporary or configuration base when it is). No
// location reaches `bases.logFolder` or a folder refused as a base directory
// (platform::refusedBaseDirectories(), read now), whatever the spelling that
// leads to it. Each path is its base (given as a real path, "/" included)
// and names joined by single slashes (platform::joinPath()), so it is
// spelled as the kernel names open files; nothing normalises it later.
std::vector<Candidate> candidates(const Bases& bases);

} // namespace quillon
