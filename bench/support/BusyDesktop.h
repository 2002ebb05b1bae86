// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

// A simulated busy desktop for the guard benchmarks: many processes of this
// process's user, each holding files open and files mapped, as a browser, an
// editor and their helpers do.

#include "platform/Descriptor.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace quillon::bench {

struct DesktopShape {
    int processes = 300;        // ordinary processes
    int openFiles = 100;        // descriptors of regular files each holds
    int mappings = 30;          // file-backed mappings each holds (their descriptors closed)
    int heavy = 3;              // further processes with many descriptors
    int heavyDescriptors = 2000;
};

// Builds the files of the simulation below `folder` (a private folder that
// the caller removes), forks the processes (of this process's user) and
// waits until every one holds all its files. Throws when a process cannot be
// started or cannot open its files; the processes started so far are then
// ended and reaped. Raises this process's soft descriptor limit to what the
// heavy processes need.
class BusyDesktop {
public:
    BusyDesktop(const std::string& folder, const DesktopShape& shape);
    // Ends and reaps every process.
    ~BusyDesktop();
    BusyDesktop(const BusyDesktop&) = delete;
    BusyDesktop& operator=(const BusyDesktop&) = delete;

    // Returns the number of processes running.
    int processes() const { return static_cast<int>(children_.pids.size()); }

private:
    // The started processes, killed and reaped when it ends (also when the
    // constructor throws half-way).
    class Children {
    public:
        Children() = default;
        ~Children();
        Children(const Children&) = delete;
        Children& operator=(const Children&) = delete;
        std::vector<pid_t> pids;
    };

    Children children_;
    platform::Descriptor stop_; // closed first: the processes end when their end of it sees end of file
};

} // namespace quillon::bench
