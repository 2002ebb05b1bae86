// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "platform/FileIo.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace quillon::platform {

int writeAll(int fd, std::string_view bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        // A regular file or pipe that takes nothing will not take more later.
        if (n == 0) return EIO;
        written += static_cast<std::size_t>(n);
    }
    return 0;
}

int readAtMost(int fd, std::size_t limit, std::string& bytes) {
    bytes.clear();
    // Read in pieces rather than sizing the string to `limit` up front: the
    // limit may be far larger than the file.
    char buffer[65536];
    while (bytes.size() < limit) {
        const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, limit - bytes.size()));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return 0;
}

} // namespace quillon::platform
