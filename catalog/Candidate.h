#pragma once

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
    std::string group;  // the application or tool family that owns the data
    ScanMode mode = ScanMode::whole;
    std::optional<std::string> pattern;            // ICU expression searched in file names
    std::optional<std::string> temporaryBuildRoot; // validated again before planning

    Candidate(std::string path, double age, std::string group, ScanMode mode = ScanMode::whole,
              std::optional<std::string> pattern = std::nullopt,
              std::optional<std::string> temporaryBuildRoot = std::nullopt)
        : path(std::move(path)), age(age), group(std::move(group)), mode(mode), pattern(std::move(pattern)),
          temporaryBuildRoot(std::move(temporaryBuildRoot)) {}

    friend bool operator==(const Candidate&, const Candidate&) = default;
};

} // namespace quillon
