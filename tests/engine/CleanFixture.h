#pragma once

// Fixture homes for the clean-run tests: every run goes to folders inside
// the test's private fixture, never to the real home or /tmp.

#include "core/Errors.h"
#include "core/Texts.h"
#include "engine/Clean.h"
#include "tests/support/Fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>

namespace quillon::testing {

struct FixtureHome {
    CleanPlaces places;
    std::string chrome; // the Chrome application-support root inside the home

    FixtureHome() {
        requireFixtureEnvironment();
        const std::string base = freshDirectory("run");
        places = CleanPlaces{base + "/home", base + "/temp", base + "/cache", base + "/shared"};
        places.config = base + "/config";
        for (const std::string* dir : {&places.home, &places.temp, &places.cache, &places.sharedTemp, &places.config}) {
            makeDirectory(*dir);
            chmod(dir->c_str(), 0700);
        }
        // Nothing runs and nothing is open unless a test says so.
        places.guard.running = [](const RunControl*) { return std::set<std::string>{}; };
        places.guard.openFiles = [](const RunControl*) { return std::vector<std::string>{}; };
        chrome = places.home + "/Library/Application Support/Google/Chrome";
    }

    // Makes a browser cache folder with `files` small files and returns its path.
    std::string cache(const std::string& profile, const std::string& folder = "Cache", int files = 3) const {
        const std::string path = chrome + "/" + profile + "/" + folder;
        makeDirectory(path);
        for (int i = 0; i < files; ++i) writeFile(path + "/f" + std::to_string(i), std::string(100, 'x'));
        return path;
    }
};

// Age-0 locations qualify once their newest second has passed: the run's
// clock is moved two seconds on instead of the test waiting for it.
inline void movePastTheSecond(FixtureHome& home) { home.places.clockShift += 2; }

inline bool hasNote(const Report& report, const std::string& note) {
    return std::find(report.notes.begin(), report.notes.end(), note) != report.notes.end();
}

// The note of a location kept whole for `reason`.
inline std::string keptNote(const std::string& path, const char* reason) {
    return text::keptPrefix + path + " \u2014 " + describe(SafetyError::skip(reason));
}

inline std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) out += line + "\n";
    return out;
}

} // namespace quillon::testing

#include <dirent.h>

namespace quillon::testing {

// Returns the allocated bytes of `path` and everything below it, as the
// inspection counts them.
inline std::int64_t allocatedBytes(const std::string& path) {
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0) return 0;
    std::int64_t total = static_cast<std::int64_t>(status.st_blocks) * 512;
    if (S_ISDIR(status.st_mode)) {
        DIR* dir = opendir(path.c_str());
        while (dirent* entry = dir ? readdir(dir) : nullptr) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") total += allocatedBytes(path + "/" + name);
        }
        if (dir) closedir(dir);
    }
    return total;
}

} // namespace quillon::testing
