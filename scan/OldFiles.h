// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include "core/RunControl.h"
#include "scan/Planned.h"

#include <optional>
#include <string>
#include <vector>

namespace quillon {

// Plans the old regular files of the directory open on `directory`, whose
// absolute path is `path`: each file whose name matches `pattern` (anywhere
// in the name; absent: every name) and that passes inspection with `cutoff`
// and `device`. With `recursive`, subdirectories are entered (depth first,
// sorted, one descriptor per level); without, they are passed over uncounted.
// Directories are never planned. `stats.files` counts the regular files
// looked at, `stats.kept` every entry left alone (unreadable, foreign, other
// device, unopenable or changed subdirectory, non-matching, failing
// inspection, or neither directory nor regular file).
// `directory` stays open and the caller's.
// Throws CleanCancelled; the errors of names() for this directory or any
// subdirectory pass through unchanged; an invalid pattern throws
// SafetyError(text::invalidPattern).
std::vector<PlannedItem> oldFiles(int directory, const std::string& path, double cutoff, dev_t device,
                                  const std::optional<std::string>& pattern, ScanStats& stats,
                                  const RunControl* control = nullptr, bool recursive = true);

} // namespace quillon
