// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include "catalog/Candidate.h"

#include <string>
#include <vector>

namespace quillon {

// The name patterns of log files and crash reports (ICU syntax).
inline constexpr const char* logPattern = "(?i)\\.log(?:\\.[0-9]+)?(?:\\.gz)?$";
inline constexpr const char* crashReportPattern = "(?i)\\.(?:ips|crash|hang|spin|panic)(?:\\.gz)?$";

// Returns every cleaning location, in catalogue order and de-duplicated by
// path (the first row of a path wins, with its group, age and mode); a row
// that would reach into an earlier location, or hold one, is left out too,
// so that no item belongs to two locations (a row that takes only the files
// directly inside it holds nothing of its subfolders). The caches of Linux
// programs (see appendLinuxRows) follow all other rows. Reads a few directory
// listings to expand per-project, per-version and per-profile rows, and
// validates temporary build directories in `temp` and `sharedTemp`; never
// fails and never tests whether a location exists. Every location lies
// inside one of the five bases: the rows of an empty base are left out (the
// shader and clang caches when `cache` is empty, the rows built on `home`,
// `temp` or `config` when it is). No location reaches the program's own log
// folder (runLogFolder()) or a folder refused as a base directory
// (platform::refusedBaseDirectories(), read now), whatever the spelling that
// leads to it. Each path is its base (given as a real path, "/" included)
// and names joined by single slashes (platform::joinPath()), so it is
// spelled as the kernel names open files; nothing normalises it later.
std::vector<Candidate> candidates(const std::string& home, const std::string& temp, const std::string& cache,
                                  const std::string& sharedTemp, const std::string& config);

} // namespace quillon
