// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include <cstdint>
#include <string>

namespace quillon::platform {

// Returns a byte count written for people in decimal units (1000 bytes to
// the kilobyte): "Zero KB", "1 byte", "N bytes" below 1000, then whole KB,
// MB with at most one decimal, GB and larger units with at most two, trailing
// zeros dropped; the unit is the smallest whose rounded figure stays below
// 1000. Negative counts keep their sign.
std::string formatByteCount(std::int64_t bytes);

} // namespace quillon::platform
