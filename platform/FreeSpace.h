// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include <cstdint>
#include <string>

namespace quillon::platform {

// Returns the bytes available to unprivileged users on the file system that
// holds `path`, or 0 when it cannot be queried.
std::int64_t availableBytes(const std::string& path);

} // namespace quillon::platform
