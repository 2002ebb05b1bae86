// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

// Run: build/bench/clean_bench
//
// A fixture home whose browser caches hold 100 000 files in all is cleaned
// for real by the clean run, and an identical copy is removed with `rm -rf`,
// in the same run. Prints both wall times and their ratio, how much of the
// run went to the running-tool and open-file queries (timed as the run asks
// them), and peak memory.

#include "bench/support/BenchSupport.h"
#include "bench/support/TimedGuard.h"
#include "core/Texts.h"

#include <algorithm>
#include <cstdio>
#include <thread>

using namespace quillon;
using namespace quillon::bench;

namespace {

// The cache folders and their share of the 100 000 files.
struct CacheShare {
    const char* folder;
    int directories;
};
constexpr CacheShare shares[] = {
    {"Google/Chrome/Default/Cache", 300},      {"Google/Chrome/Default/Code Cache", 200},
    {"Google/Chrome/Default/GPUCache", 100},   {"Microsoft Edge/Default/Cache", 200},
    {"BraveSoftware/Brave-Browser/Default/Cache", 200},
};

long buildCaches(const std::string& support) {
    long files = 0;
    for (const CacheShare& share : shares) files += buildTree(support + "/" + share.folder, 10, share.directories, 100);
    return files;
}

} // namespace

int main() {
    PrivateFolder folder;
    const std::string home = folder.path() + "/home";
    const std::string support = home + "/Library/Application Support";
    const long files = buildCaches(support);
    const std::string copy = folder.path() + "/copy";
    buildCaches(copy);
    std::this_thread::sleep_for(std::chrono::milliseconds(1100)); // age-0 caches qualify once their second has passed

    TimedGuard guard;
    CleanPlaces places = currentPlaces();
    places.bases.sharedTemp = folder.path() + "/tmp";
    places.guard = guard.queries();
    std::size_t locations = 0;
    const auto start = Clock::now();
    const Report report = clean(false, places, nullptr, {}, [&](const std::string& line) {
        if (line.rfind(text::inspectingPrefix, 0) == 0) ++locations;
    });
    const double cleanTook = secondsSince(start);

    const auto rmStart = Clock::now();
    run({"/bin/rm", "-rf", copy});
    const double rmTook = secondsSince(rmStart);

    std::printf("files in caches:        %ld in %zu locations (removed %d items, %s)\n", files, locations,
                report.cleaned, size(report.removed).c_str());
    std::printf("clean (real run):       %.3f s\n", cleanTook);
    std::printf("rm -rf of a copy:       %.3f s\n", rmTook);
    std::printf("ratio clean / rm -rf:   %.2f  (target: at most 2.5)\n", cleanTook / rmTook);
    std::printf("guard queries in run:   %d running-set, %d open-path, %.3f s (%.0f%% of the run)\n",
                guard.runningQueries, guard.openQueries, guard.seconds(), 100 * guard.seconds() / cleanTook);
    std::printf("peak resident memory:   %ld KB\n", peakResidentKilobytes());
    for (const std::string& note : report.notes)
        if (note.rfind(text::keptPrefix, 0) == 0) std::printf("note: %s\n", note.c_str());
    return report.cleaned == static_cast<int>(std::size(shares)) ? 0 : 1;
}
