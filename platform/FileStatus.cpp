// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "platform/FileStatus.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace quillon::platform {

namespace {

// One statx call gives everything, the birth time included where the file
// system keeps one.
constexpr unsigned int wanted = STATX_BASIC_STATS | STATX_BTIME;

bool fill(int dirfd, const char* name, int flags, FileStatus& status) {
    struct statx raw {};
    if (statx(dirfd, name, flags | AT_STATX_SYNC_AS_STAT, wanted, &raw) != 0) return false;
    status.inode = static_cast<ino_t>(raw.stx_ino);
    status.device = makedev(raw.stx_dev_major, raw.stx_dev_minor);
    status.owner = static_cast<uid_t>(raw.stx_uid);
    status.mode = static_cast<mode_t>(raw.stx_mode);
    status.links = static_cast<nlink_t>(raw.stx_nlink);
    status.size = static_cast<off_t>(raw.stx_size);
    status.blocks = static_cast<blkcnt_t>(raw.stx_blocks);
    status.modified = timespec{static_cast<time_t>(raw.stx_mtime.tv_sec), static_cast<long>(raw.stx_mtime.tv_nsec)};
    status.changed = timespec{static_cast<time_t>(raw.stx_ctime.tv_sec), static_cast<long>(raw.stx_ctime.tv_nsec)};
    if ((raw.stx_mask & STATX_BTIME) != 0)
        status.createdSeconds = static_cast<std::int64_t>(raw.stx_btime.tv_sec);
    else
        status.createdSeconds.reset();
    // The basic fields must all be there; a file system that cannot give
    // them cannot be judged.
    if ((raw.stx_mask & STATX_BASIC_STATS) != STATX_BASIC_STATS) {
        errno = EIO;
        return false;
    }
    return true;
}

} // namespace

bool statAt(int parent, const std::string& name, FileStatus& status) {
    if (name.empty()) {
        errno = ENOENT;
        return false;
    }
    return fill(parent, name.c_str(), AT_SYMLINK_NOFOLLOW, status);
}

bool statDescriptor(int fd, FileStatus& status) { return fill(fd, "", AT_EMPTY_PATH, status); }

} // namespace quillon::platform
