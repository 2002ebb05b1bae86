// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include <stdexcept>
#include <string>

namespace quillon::platform {

// An error raised by a platform service (a child that cannot be started, a
// property list that cannot be read, a folder that cannot be made). Its
// what() is the platform's own description, written into notes unchanged.
class PlatformError : public std::runtime_error {
public:
    explicit PlatformError(const std::string& description) : std::runtime_error(description) {}
};

// Returns the platform's text for an errno value (strerror).
std::string errorText(int errorNumber);

} // namespace quillon::platform
