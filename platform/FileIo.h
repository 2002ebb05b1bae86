// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quillon::platform {

// Writes every byte of `bytes` to `fd`, going on after short writes and
// interruptions. Returns 0 when all was written, otherwise the error number
// of the write that failed (EIO for a write that took nothing).
[[nodiscard]] int writeAll(int fd, std::string_view bytes);

// Reads from `fd` into `bytes` (replacing what it held) until end of file or
// until `limit` bytes were read, whichever comes first, going on after short
// reads and interruptions: a file that grows while it is read is never read
// past `limit`. Returns 0 on success, otherwise the error number of the read
// that failed; `bytes` then holds what was read before it.
[[nodiscard]] int readAtMost(int fd, std::size_t limit, std::string& bytes);

} // namespace quillon::platform
