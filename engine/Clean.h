// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include "catalog/Bases.h"
#include "core/Group.h"
#include "core/RunControl.h"
#include "engine/Report.h"
#include "fs/RemoveChecked.h"
#include "guard/Cadence.h"
#include "guard/OpenFiles.h"
#include "guard/RunningTools.h"

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace quillon {

// Progress for the window: the fraction of locations done (0 to 1) and the
// stage text of the location at hand. Called on the thread that runs the clean.
using ProgressCallback = std::function<void(double fraction, const std::string& stage)>;
// One log line, without its line feed. Called on the thread that runs the clean.
using LogCallback = std::function<void(const std::string& line)>;

// The activity guard's questions as a run asks them: which programs of the
// user run, which paths its processes hold open, and, of the kernel right
// before a file is removed, whether anything holds it open now. The real
// queries read the process table and take a lease; tests give their own
// answers, so that what other programs of the machine run or hold open never
// decides their outcome, and their own clock, by which the cadence of the
// first two is kept (guard/Cadence.h). The open-file query and the clock may
// be asked on a thread of their own while the run asks the others.
struct GuardQueries {
    std::function<std::set<std::string>(const RunControl*)> running = runningCommands;
    std::function<std::vector<std::string>(const RunControl*)> openFiles = openPaths;
    decltype(HeldCheck::lease) lease = platform::leaseFile;
    std::function<Cadence::Clock::time_point()> clock = Cadence::Clock::now;
};

// Where a run looks: the bases of the catalogue (the temporary directory
// also holds the run lock), and how it is guarded.
struct CleanPlaces {
    Bases bases;
    // Seconds added to the wall clock when age cut-offs are computed. Always
    // 0 in a real run; tests move the clock forward instead of back-dating
    // status-change times, which no one can set.
    double clockShift = 0;
    // The guard's queries: the real ones in a real run.
    GuardQueries guard{};
};

// The name of the run lock file inside the user's temporary directory.
inline constexpr const char* lockFileName = "com.brenvale.quillon.lock";

// Returns the places of a real run: the home directory, the user's temporary
// and cache directories, the shared temporary directory, the user's
// configuration directory (see platform/Paths.h) and the program's log
// folder (runLogFolder()), read now, with the real guard.
CleanPlaces currentPlaces();

// Runs one whole clean over the catalogue of `places` (see CleanPlaces):
// takes the run lock, walks every existing location in catalogue order with
// its guards (running tools, plan, open files, checked removal), and returns
// the report. The catalogue is built on the real paths of the five bases,
// the one spelling in which the open-file query names paths; the free space
// is that of the home directory's volume. The running set is read before the
// first location, the open-file list while it is planned, and each again,
// before a location or an item, only when the cadence says it is time
// (guard/Cadence.h); folders, and files where the kernel has no lease to
// give, are judged by that picture. In the
// real run each file is removed under a lease (fs/RemoveChecked.h): an item
// with a file held open at that instant is kept and counted with the kept
// entries, what of it went before stays removed, and the run goes on. With
// `dryRun` nothing is removed and no lease is taken. Never throws: every
// refusal, error and cancellation becomes a counter and a note.
Report clean(bool dryRun, const CleanPlaces& places, const RunControl* control = nullptr,
             const ProgressCallback& onProgress = {}, const LogCallback& onLog = {});

// The same on the places of a real run (currentPlaces()).
Report clean(bool dryRun, const RunControl* control = nullptr, const ProgressCallback& onProgress = {},
             const LogCallback& onLog = {});

// Returns the progress stage text for a location group, ending in U+2026:
// the stage it shares with other groups, or its own naming it.
std::string stageText(Group group);

} // namespace quillon
