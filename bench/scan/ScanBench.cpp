// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

// Run: build/bench/scan_bench
//
// Plans an old-files location of 100 000 files in nested folders and reports
// files scanned per second, against `du -s` over the same tree in the same
// run. Both stat every entry; each is run once to warm the caches and then
// timed over three runs (the best is kept).

#include "bench/support/BenchSupport.h"
#include "scan/Plan.h"

#include <algorithm>
#include <cstdio>

using namespace quillon;
using namespace quillon::bench;

int main() {
    PrivateFolder folder;
    const std::string root = folder.path() + "/home/.cache/pip";
    makeDirectories(root);
    const long files = buildTree(root, 100, 1000, 100);

    const Candidate location(root, -100, Group::python, ScanMode::oldFiles,
                             std::string("(?i)\\.log(?:\\.[0-9]+)?(?:\\.gz)?$"));
    double planBest = 1e9, duBest = 1e9;
    std::size_t planned = 0;
    for (int round = 0; round < 4; ++round) {
        ScanStats stats;
        const auto start = Clock::now();
        planned = plan(location, stats).size();
        const double took = secondsSince(start);
        if (round > 0) planBest = std::min(planBest, took);

        const auto duStart = Clock::now();
        run({"/usr/bin/du", "-s", root});
        const double duTook = secondsSince(duStart);
        if (round > 0) duBest = std::min(duBest, duTook);
    }
    std::printf("files in tree:        %ld (planned %zu)\n", files, planned);
    std::printf("plan (oldFiles):      %.3f s  %.0f files/s\n", planBest, static_cast<double>(files) / planBest);
    std::printf("du -s:                %.3f s  %.0f files/s\n", duBest, static_cast<double>(files) / duBest);
    std::printf("ratio plan / du:      %.2f  (target: at most 1.5)\n", planBest / duBest);
    std::printf("peak resident memory: %ld KB\n", peakResidentKilobytes());
    return 0;
}
