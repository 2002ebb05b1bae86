#pragma once

// The places of a clean run inside the test's private fixture, never the
// real home or /tmp, with guard queries that see nothing running and nothing
// open unless a test says otherwise.

#include "core/Errors.h"
#include "core/Texts.h"
#include "engine/Clean.h"
#include "engine/Report.h"
#include "tests/support/Fixture.h"

#include <sys/stat.h>

namespace quillon::testing {

inline CleanPlaces fixturePlaces() {
    requireFixtureEnvironment();
    const std::string base = freshDirectory("run");
    CleanPlaces places{base + "/home", base + "/temp", base + "/cache", base + "/shared"};
    places.config = base + "/config";
    for (const std::string* dir : {&places.home, &places.temp, &places.cache, &places.sharedTemp, &places.config}) {
        makeDirectory(*dir);
        chmod(dir->c_str(), 0700);
    }
    places.guard.running = [](const RunControl*) { return std::set<std::string>{}; };
    places.guard.openFiles = [](const RunControl*) { return std::vector<std::string>{}; };
    return places;
}

// Every file made now is past every age threshold of the catalogue when the
// run's clock is moved this far on (instead of back-dating change times,
// which no one can set).
inline void movePastEveryThreshold(CleanPlaces& places) { places.clockShift = 100 * 86400.0; }

// The note of a location kept whole for `reason`.
inline std::string keptNote(const std::string& path, const char* reason) {
    return text::keptPrefix + path + " \u2014 " + describe(SafetyError::skip(reason));
}

inline std::string clearedNote(std::int64_t bytes, const std::string& path) {
    return "Cleared " + size(bytes) + " from " + path;
}

inline std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) out += line + "\n";
    return out;
}

} // namespace quillon::testing
