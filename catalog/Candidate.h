// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include "core/Group.h"

#include <cstdint>
#include <optional>
#include <string>

namespace quillon {

// How a location is scanned.
enum class ScanMode : std::uint8_t {
    whole,        // the location is one item, planned only when all of it is old
    oldChildren,  // each direct entry is its own item; the location stays
    oldFiles,     // old regular files at any depth (matching the pattern); directories stay
    oldTopFiles,  // as oldFiles, but only the files directly inside the location
};

// One cleaning location of the catalogue. Two candidates are the same
// location when their paths are equal.
struct Candidate {
    std::string path;   // absolute, built by plain concatenation, never normalised
    double age = 0;     // minimum age in seconds
    Group group;        // the application or tool family that owns the data
    ScanMode mode = ScanMode::whole;
    std::optional<std::string> pattern;            // ICU expression searched in file names
    std::optional<std::string> temporaryBuildRoot; // validated again before planning

    Candidate(std::string locationPath, double minimumAge, Group owner, ScanMode scanMode = ScanMode::whole,
              std::optional<std::string> namePattern = std::nullopt,
              std::optional<std::string> buildRoot = std::nullopt)
        : path(std::move(locationPath)), age(minimumAge), group(owner), mode(scanMode),
          pattern(std::move(namePattern)), temporaryBuildRoot(std::move(buildRoot)) {}

    friend bool operator==(const Candidate&, const Candidate&) = default;
};

} // namespace quillon
