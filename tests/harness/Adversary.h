#pragma once

// The adversary changes a trial's tree while the clean runs, one change at a
// time under the referee's freeze, on targets found by walking the tree as
// it is at that moment: it swaps a folder (of a location, or one above it)
// for a link to the victims' folder, swaps a file or folder for a named
// pipe, renames a victim into a location, adds a hard link to a file,
// rewrites one, moves one away and puts a new one in its place, creates
// files, folders, links and pipes, and, as root, gives items to another
// owner. It never deletes anything, and keeps account of what must be found
// afterwards.

#include "tests/harness/Referee.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace quillon::harness {

// One item of a walked tree.
struct Entry {
    Identity identity;
    std::size_t hash = 0;  // of a regular file's bytes
    std::string target;    // of a symbolic link
    bool operator==(const Entry&) const = default;
};
using Tree = std::map<std::string, Entry>;

// Walks `root` and everything below it, never through a link; without
// `contents` no file is read.
Tree walk(const std::string& root, bool contents = true);

// Whether `path` is `root` or lies below it.
bool within(const std::string& path, const std::string& root);

// Where things are in a trial.
struct Layout {
    std::string root;                    // the trial's own folder
    std::string victims;                 // data outside every location; links lead here
    std::string moved;                   // where the adversary puts what it moves away
    std::vector<std::string> locations;  // every location that exists
    // Whether `path` is, or lies in, a location.
    bool inside(const std::string& path) const;
};

// What must be found at a path when the trial ends.
struct Expectation {
    std::uint32_t type = 0;  // S_IFREG, S_IFDIR, S_IFLNK or S_IFIFO
    std::size_t hash = 0;
    std::string target;
    bool touched = false;    // made, changed or moved by the adversary
};
using Expectations = std::map<std::string, Expectation>;

class Adversary {
public:
    // `expected`: what must stay however the clean goes.
    Adversary(Layout layout, Expectations expected, std::uint64_t seed);

    // Makes one change at random; returns whether it was made.
    bool strike();
    const Expectations& expectations() const { return expected_; }

private:
    bool swapForLink(const std::string& path);
    bool swapForPipe(const std::string& path);
    bool moveIn(const std::string& victim, const std::string& folder);
    bool hardLink(const std::string& file);
    bool rewrite(const std::string& file);
    bool replace(const std::string& file);
    bool create(const std::string& folder);
    bool giveAway(const std::string& path);

    bool chance(double p) { return std::bernoulli_distribution(p)(rng_); }
    const std::string& pick(const std::vector<std::string>& items);
    std::string fresh(const std::string& folder);
    bool write(const std::string& path, int flags);
    // Records what is at `path` now as what must be found there.
    void note(const std::string& path);
    // Carries what must be found below `from` over to `to`.
    void moved(const std::string& from, const std::string& to);

    Layout layout_;
    Expectations expected_;
    std::mt19937_64 rng_;
    int counter_ = 0;
};

} // namespace quillon::harness
