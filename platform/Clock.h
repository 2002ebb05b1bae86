// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include <string>

namespace quillon::platform {

// Returns the current time as an ISO 8601 internet date-time in UTC,
// YYYY-MM-DDThh:mm:ssZ.
std::string iso8601Now();

// Returns the wall-clock time in seconds since 1970-01-01 00:00 UTC.
double wallClock();

} // namespace quillon::platform
