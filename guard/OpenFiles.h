// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include "core/RunControl.h"

#include <string>
#include <vector>

namespace quillon {

// Returns the absolute paths of every file and directory that the real
// user's processes hold open, read from the kernel's process table: the
// targets of each process's descriptors, working and root directories and
// executable, and its mapped files, as the kernel's exact bytes, in table
// order, duplicates kept; also what each live thread holds apart (its own
// file table or working and root directories), and what a process whose
// first thread has exited holds through its live threads. Where the kernel
// may have added a mark (" (deleted)" after a removed file, "\012" for a line
// feed in a mapped file's name), every reading is listed. What the kernel
// refuses to show for lack of permission (the links and maps of a process
// that made itself non-dumpable or holds capabilities, the descriptors of a
// sandbox in its own user namespace) is passed over, as are other users'
// processes, zombies and processes that end during the reading: the working
// directory of a process that nobody may inspect stays unknown.
// All or nothing: throws SafetyError(text::cannotVerifyOpenFiles) when the
// table cannot be read completely (it cannot be listed, or a process of the
// user cannot be read for any other reason than having ended or a refusal);
// throws CleanCancelled when `control` is cancelled before or after the
// reading.
std::vector<std::string> openPaths(const RunControl* control = nullptr);

} // namespace quillon
