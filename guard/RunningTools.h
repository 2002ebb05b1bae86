// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include "core/Group.h"
#include "core/RunControl.h"

#include <set>
#include <string>

namespace quillon {

// Returns the set of lower-cased executable file names of the real user's
// running processes, read from the kernel's process table: for each, the
// name of its executable, else of argv[0], else its short name (see
// platform::executableNames), in full, however long; a process whose first
// thread has exited while others run on is named by a live thread, so a
// browser in that state is still seen running. Other users' programs
// cannot be using the user's caches and are not counted. Throws
// CleanCancelled when `control` is cancelled before or after the reading, and
// SafetyError(text::cannotCheckRunningApps) when the table cannot be read
// completely, so that no partial set is ever used.
std::set<std::string> runningCommands(const RunControl* control = nullptr);

// The same, reading the process table at `processTable` (a folder shaped
// like /proc).
std::set<std::string> runningCommandsIn(const std::string& processTable, const RunControl* control = nullptr);

// Returns whether a name of `running` protects `group` by the group's rule
// (core/Group.h); a group whose rule names nothing (logs, GPU shaders,
// thumbnails, the desktop's caches) is never busy.
bool busyTools(Group group, const std::set<std::string>& running);

} // namespace quillon
