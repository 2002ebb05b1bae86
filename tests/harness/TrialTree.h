#pragma once

// One trial's fixture home: a few cleaning locations of one age class,
// filled at random, next to victim data (outside every location, in the
// protected folders beside the caches, and a decoy copy of the whole home
// that links can be pointed at), together with the harness's own account
// of which items the cleaning rules allow to go.

#include "catalog/Candidate.h"
#include "engine/Clean.h"
#include "tests/harness/TreeScan.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace quillon::harness {

// How far back the age cut-off of every trial lies before the moment of
// planning, in seconds. Whatever the adversary touches during a trial is
// younger than that (a trial lasts well under a second), so it can never
// pass as old; everything built for the trial is older, once the trial has
// waited `settleSeconds` after building.
inline constexpr double ageMargin = 6.0;
inline constexpr double settleSeconds = ageMargin + 1.5;

// A trial's locations all share one minimum age, so that one clock shift
// puts the cut-off of each of them `ageMargin` before planning.
enum class AgeClass { browser, week, month };

struct Trial {
    std::uint64_t seed = 0;
    AgeClass ageClass = AgeClass::browser;
    std::string root;                 // the trial's own folder
    CleanPlaces places;               // home, temp, cache, shared inside `root`
    std::string moved;                // where the adversary puts what it moves away
    std::string decoy;                // a copy of home and cache made of victims only
    // How HOME names places.home in this trial, when not as places.home: with
    // "//" or "/./" inside, a trailing "/", or through a link in `root`. The
    // clean then takes its places from the real resolution of HOME.
    std::string homeSpelling;
    std::vector<Candidate> locations; // every catalogue location that exists, in catalogue order
    std::map<std::string, Entry> initial; // everything below `root` when building ended
    std::set<std::string> plannable;  // the paths that the rules allow the clean to remove
    double builtAt = 0;               // wall clock when building ended

    // Whether `path` lies at or below one of the locations that are folders.
    bool insideLocation(const std::string& path) const;
    // The innermost location folder that holds `path` (or is it), if any.
    const Candidate* governing(const std::string& path) const;
};

// Builds a trial in `root` (an empty folder) from `seed`. The same seed
// gives the same tree (apart from `root`), item for item.
Trial buildTrial(const std::string& root, std::uint64_t seed);

// Seconds since 1970 on the wall clock.
double wallNow();

// Sleeps until `trial` is old enough to run.
void waitUntilSettled(const Trial& trial);

// The clock shift that puts every cut-off of `trial` `ageMargin` before now.
double clockShiftFor(const Trial& trial);

} // namespace quillon::harness
