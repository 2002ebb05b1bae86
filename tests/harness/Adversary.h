#pragma once

// The adversary changes a trial's tree while the cleaner is paused: it swaps a folder (of a location, or
// one above it) for a link to the victims' folder, swaps an item for a named pipe, moves a victim into a
// location, adds a hard link to a file, rewrites one, moves one away and puts a new one in its place,
// creates files, folders, links and pipes, and, as root, gives an item to another owner. It never deletes
// anything, and keeps account of what must be found afterwards.

#include "tests/harness/Referee.h"

#include <algorithm>
#include <random>

namespace quillon::harness {

// Returns whether `path` is `root` or lies below it.
inline bool within(const std::string& path, const std::string& root) {
    return path.starts_with(root) && (path.size() == root.size() || path[root.size()] == '/');
}

struct Layout {
    std::string root, victims, moved;   // the trial's folder; data that links lead to; where moved things go
    std::vector<std::string> locations; // every location that exists
    bool inside(const std::string& path) const { // at or below a location
        return std::ranges::any_of(locations, [&](const std::string& l) { return within(path, l); });
    }
};

class Adversary {
public:
    // `expected`: what must be found when the trial ends, but for the adversary's changes.
    Adversary(Layout layout, Tree expected, std::uint64_t seed)
        : layout_(std::move(layout)), expected_(std::move(expected)), rng_(seed) {}
    // Makes one change, to `target` where it is an item of a location, else to an item found by walking
    // the tree; returns whether it was made.
    bool strike(const std::string& target);
    const Tree& expected() const { return expected_; } // and the adversary's changes, touched

private:
    bool act(const std::string& file, const std::string& folder, const std::string& victim);
    std::string fresh(const std::string& folder);
    bool write(const std::string& path, int flags);
    bool note(const std::string& path); // what is at `path` now must be found there
    bool moveTo(const std::string& from, const std::string& to);

    Layout layout_;
    Tree expected_;
    std::mt19937_64 rng_;
    int counter_ = 0;
};

} // namespace quillon::harness
