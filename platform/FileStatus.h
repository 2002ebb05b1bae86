// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

namespace quillon::platform {

// The status of one file system item, as far as the safety rules read it.
struct FileStatus {
    ino_t inode = 0;
    dev_t device = 0;
    uid_t owner = 0;
    mode_t mode = 0;        // type and permission bits (st_mode)
    nlink_t links = 0;
    off_t size = 0;
    blkcnt_t blocks = 0;    // 512-byte blocks allocated
    timespec modified{};    // st_mtim
    timespec changed{};     // st_ctim
    // Creation (birth) time in whole seconds where the file system records
    // one; absent where it does not.
    std::optional<std::int64_t> createdSeconds;

    // Returns the file type bits (st_mode & S_IFMT).
    mode_t type() const { return mode & S_IFMT; }
};

// Looks up `name` in directory `parent` without following a final symbolic
// link. Returns false and leaves errno set when the item cannot be looked up.
bool statAt(int parent, const std::string& name, FileStatus& status);

// Returns the status of the open descriptor `fd`; false with errno on failure.
bool statDescriptor(int fd, FileStatus& status);

} // namespace quillon::platform
