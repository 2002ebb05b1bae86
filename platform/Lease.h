// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include "platform/Descriptor.h"
#include "platform/FileStatus.h"

#include <string>

namespace quillon::platform {

// What the kernel answered when asked for a write lease on a file that is
// about to be removed.
enum class LeaseAnswer {
    taken,   // no other open file description of the file exists anywhere; the lease is held
    held,    // another open file description exists (a descriptor, a mapping, a running
             // executable, of any process) or another holder has a lease: the file is in use
    unknown, // the kernel cannot tell here: no leases on this file system, leases switched
             // off, or the file cannot be opened for reading
    changed, // the entry is not the file looked at: gone, replaced, or now not a regular file
};

// A write lease on one file, or the reason there is none. While it is held,
// another process's open of the file waits until the lease is given back (or
// fails at once when non-blocking). The destructor gives the lease back and
// closes the descriptor.
class FileLease {
public:
    FileLease() = default;
    explicit FileLease(LeaseAnswer answer, Descriptor file = {}) : answer_(answer), file_(std::move(file)) {}
    ~FileLease();
    FileLease(FileLease&&) = default;
    FileLease& operator=(FileLease&&) = default;

    LeaseAnswer answer() const { return answer_; }

private:
    LeaseAnswer answer_ = LeaseAnswer::unknown;
    Descriptor file_; // open only with `taken`
};

// Opens the entry `name` of the directory open on `parent` read-only, without
// following a link or touching its access time, close-on-exec and
// non-blocking; checks that it is the very file `looked` describes (the same
// inode on the same device) and takes a write lease on it. Returns `taken`
// with the lease held, or the reason there is none: `held` when the lease is
// refused because the file is open elsewhere, or the open would wait for
// another holder's lease; `unknown` when the open is refused for lack of
// permission or the file system has no leases; `changed` otherwise. Before
// its first lease, the process stops ending on the lease-break signal (see
// Lease.cpp).
FileLease leaseFile(int parent, const std::string& name, const FileStatus& looked);

} // namespace quillon::platform
