// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include "platform/PlatformError.h"

#include <string>
#include <vector>

namespace quillon::platform {

// Where the kernel shows its process table. Tests name a folder of the same
// shape instead.
inline constexpr const char* processTableRoot = "/proc";

// Thrown when the process table could not be read completely; what() names
// the place and the kernel's reason.
class ProcessTableError : public PlatformError {
public:
    using PlatformError::PlatformError;
};

// Both readings below list `root` to its end first, then visit each process
// of the user: one whose folder belongs to this process's real user id (the
// kernel gives a process's folder to its effective user), or else whose
// status names that id as its real user (the first value of its "Uid:"
// line). Every read of a process is made relative to a descriptor of its own
// folder, so a process number reused meanwhile never mixes two processes.
// A process is read thread by thread (task/<tid>) where its threads may
// differ: one whose first thread has exited (state Z while other threads live
// on) is read through its live threads. Passed over, as holding and running
// nothing: processes of other users; processes and threads that end while
// the table is read (ENOENT or ESRCH); zombies (state Z or X) without a live
// thread; and processes whose folder or status the kernel refuses (EACCES or
// EPERM, as under a "hidepid" mount). Anything else that fails throws
// ProcessTableError, so that no partial answer is ever returned.

// Returns one name per process of the user, duplicates kept, as the kernel's
// exact bytes (not lower-cased): the last component of the executable's path
// (exe, without the " (deleted)" that the kernel adds for a removed file);
// where the kernel gives no such path (a kernel thread, a process that made
// itself non-dumpable), the last component of argv[0] (cmdline; a trailing
// "/" ignored); where argv[0] is empty, the short name (comm) without its
// line feed. A process whose first thread has exited is named so by its first
// live thread. Also throws when `root` cannot be listed, or when the status,
// command line or short name of a process without an executable path is
// refused.
std::vector<std::string> executableNames(const std::string& root = processTableRoot);

// Returns every absolute path that processes of the user hold, in table
// order, duplicates kept: the targets of fd/*, cwd, root and exe, and the
// path names of file-backed mappings in maps, as the kernel's exact bytes;
// also the working and root folders of each live thread that has its own
// (unshare(CLONE_FS)) and the descriptors of each that has its own file table
// (unshare(CLONE_FILES)), as kcmp tells in the kernel's own table (where it
// cannot tell, and in a folder of another kind, every thread is read).
// Where the kernel may have marked a path, every reading is kept: a path
// ending in " (deleted)" also without it, and a mapping's path holding
// "\012" (how maps writes a line feed) also with each one made a line feed.
// A part that the kernel refuses for lack of permission (EACCES or EPERM:
// links and maps of a process that made itself non-dumpable or holds
// capabilities the reader lacks, or fd/ of one in a user namespace of its
// own) cannot be shown and is passed over, the rest of that process still
// read. A link that fills the buffer, or any other failure, throws.
std::vector<std::string> openFilePaths(const std::string& root = processTableRoot);

} // namespace quillon::platform
