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

// Returns the current time as an ISO 8601 internet date-time in UTC,
// YYYY-MM-DDThh:mm:ssZ.
std::string iso8601Now();

// Returns the wall-clock time in seconds since 1970-01-01 00:00 UTC.
double wallClock();

// Returns the bytes available to unprivileged users on the file system that
// holds `path`, or 0 when it cannot be queried.
std::int64_t availableBytes(const std::string& path);

} // namespace quillon::platform
