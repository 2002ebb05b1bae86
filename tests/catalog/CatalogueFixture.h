#pragma once

// The fixture of the catalogue tests: the five base folders of a catalogue.

#include "catalog/Catalogue.h"
#include "tests/support/Fixture.h"

#include <cstddef>
#include <string>
#include <vector>

namespace quillon::testing {

// The rows every Linux row comes after, when no macOS folder has entries.
inline constexpr std::size_t rowsBeforeLinux = 180;

// Five private base folders inside one fresh fixture folder. With
// `xdgInHome` the cache and configuration folders are the home's .cache and
// .config, as on a default Linux desktop.
struct Bases {
    std::string home, temp, cache, shared, config;

    explicit Bases(bool xdgInHome = false) {
        const std::string root = freshDirectory("catalogue");
        home = root + "/home";
        temp = root + "/temp";
        shared = root + "/shared";
        cache = xdgInHome ? home + "/.cache" : root + "/cache";
        config = xdgInHome ? home + "/.config" : root + "/config";
        for (const std::string* dir : {&home, &temp, &cache, &shared, &config}) makeDirectory(*dir);
    }

    std::vector<Candidate> rows() const { return candidates(home, temp, cache, shared, config); }
};

} // namespace quillon::testing
