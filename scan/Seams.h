// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

// The safety rule of this library that a test-only fault variant replaces,
// in a file of its own (see fs/Seams.h for how a variant takes its place).
// The shipped program links only the definition below.

namespace quillon::seams {

// Returns the cutoff of a location planned at `now` whose items must be
// older than `age` seconds: `now - age`, whatever the times on disk.
// (Variant ignoreFutureTimes: times after now count as now, so a cutoff
// beyond now lets every item through.)
double planningCutoff(double now, double age);

} // namespace quillon::seams
