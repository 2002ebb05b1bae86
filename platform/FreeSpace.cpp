// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "platform/FreeSpace.h"

#include <limits>
#include <sys/statvfs.h>

namespace quillon::platform {

namespace {
__extension__ typedef unsigned __int128 Wide;
}

std::int64_t availableBytes(const std::string& path) {
    struct statvfs status {};
    if (path.empty() || statvfs(path.c_str(), &status) != 0) return 0;
    // Taken wide and capped: blocks times block size may pass 64 bits.
    const Wide total = static_cast<Wide>(status.f_bavail) * status.f_frsize;
    if (total > static_cast<Wide>(std::numeric_limits<std::int64_t>::max()))
        return std::numeric_limits<std::int64_t>::max();
    return static_cast<std::int64_t>(total);
}

} // namespace quillon::platform
