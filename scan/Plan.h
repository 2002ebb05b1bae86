// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include "catalog/Candidate.h"
#include "core/RunControl.h"
#include "scan/Planned.h"

#include <vector>

namespace quillon {

// Plans one location: checks that its root is a real directory of the
// user's own on its parent's device, reached without links, computes the
// cutoff once (now minus the location's age), and applies its scan mode:
// the whole root as one tree, each direct entry as its own tree, or old
// files at any depth or at the top only. Changes nothing on disk.
// `stats` grows as the planning goes and is never undone.
// Throws CleanCancelled; the errors of validateTemporaryBuildRoot (for a
// location inside a temporary build directory), openDirectory and names
// unchanged; SafetyError with the reason (core/Texts.h) rootNotPrivate,
// cannotOpenCacheRoot or rootChanged; in mode whole, the error of the first
// item that fails inspection.
std::vector<PlannedItem> plan(const Candidate& candidate, ScanStats& stats, const RunControl* control = nullptr);

// The same with the current time given in seconds since 1970 instead of read
// from the wall clock (for tests of the age arithmetic).
std::vector<PlannedItem> plan(const Candidate& candidate, ScanStats& stats, const RunControl* control, double now);

} // namespace quillon
