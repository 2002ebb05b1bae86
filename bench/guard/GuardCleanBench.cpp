// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

// Run: build/bench/guard_clean_bench [--items N] [--processes P] [--rounds R]
//
// The guard's share of whole runs, in one run of the benchmark:
// - a preview and a real clean of N (5 000) planned items of an old-files
//   location (~/.npm/_logs, ages passed by a clock shift) with the user
//   idle, then the same tree rebuilt, previewed and cleaned while a
//   simulated busy desktop of P (300) processes runs (see BusyDesktop),
//   with the time the guard's queries took within each;
// - `quillon --dry-run` (the built binary, start-up included) on a home
//   whose one browser cache holds 100 000 files, against `du -s` of that
//   cache folder, R (5) rounds interleaved after one warm-up of each.
// Started as root, the benchmark first becomes a user of its own (see
// guard_bench), so that idle means that the user has no other process.

#include "bench/support/BenchSupport.h"
#include "bench/support/BusyDesktop.h"
#include "bench/support/TimedGuard.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

using namespace quillon;
using namespace quillon::bench;

namespace {

constexpr double day = 24 * 60 * 60;

struct CleanTiming {
    double seconds = 0;
    Report report;
    TimedGuard guard;
};

// Builds `items` old log files below `logs` and previews or cleans the
// fixture home, with the clock moved past the logs' 30-day threshold.
void cleanLogs(const std::string& folder, const std::string& logs, int items, bool dryRun, CleanTiming& timing) {
    buildTree(logs, 10, (items + 99) / 100, 100);
    CleanPlaces places = currentPlaces();
    places.bases.sharedTemp = folder + "/tmp";
    places.clockShift = 40 * day;
    places.guard = timing.guard.queries();
    const auto start = Clock::now();
    timing.report = clean(dryRun, places);
    timing.seconds = secondsSince(start);
}

void printClean(const char* state, const CleanTiming& timing) {
    std::printf("%-13s %8.3f s  %lld bytes eligible, %d locations kept; guard %.3f s (%.0f%%): %d running-set "
                "queries %.3f s, %d open-path queries %.3f s\n",
                state, timing.seconds, static_cast<long long>(timing.report.eligible), timing.report.skipped,
                timing.guard.seconds(),
                100 * timing.guard.seconds() / timing.seconds, timing.guard.runningQueries,
                timing.guard.runningSeconds, timing.guard.openQueries, timing.guard.openSeconds);
    for (const std::string& note : timing.report.notes)
        if (note.rfind("Kept: ", 0) == 0) std::printf("  note: %s\n", note.c_str());
}

// Times the built binary's dry run against `du -s` of the cache folder.
void dryRun(const std::string& home, int rounds) {
    const std::string binary = QUILLON_BINARY;
    if (binary.empty()) return void(std::printf("dry run: the quillon executable is not built\n"));
    const std::string cache = home + "/Library/Application Support/Google/Chrome/Default/Cache";
    const long files = buildTree(cache, 10, 1000, 100);
    std::this_thread::sleep_for(std::chrono::milliseconds(1100)); // age-0 caches qualify once their second has passed
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::vector<double> quillon, du;
    CommandOutput preview;
    for (int round = 0; round <= rounds; ++round) {
        auto start = Clock::now();
        preview = capture({binary, "--dry-run"});
        if (round > 0) quillon.push_back(secondsSince(start));
        start = Clock::now();
        const int status = run({"/usr/bin/du", "-s", cache});
        if (round > 0) du.push_back(secondsSince(start));
        if (preview.status != 0 || status != 0) break;
    }
    const std::size_t note = preview.text.find("Preview: " + cache);
    std::printf("\ndry run of %ld cached files, status %d: %s\n", files, preview.status,
                note == std::string::npos ? "no note for the cache"
                                          : preview.text.substr(note, preview.text.find('\n', note) - note).c_str());
    if (quillon.empty() || du.empty()) return;
    std::printf("quillon --dry-run  median %.3f s (best %.3f)\n", median(quillon),
                *std::min_element(quillon.begin(), quillon.end()));
    std::printf("du -s              median %.3f s (best %.3f)\n", median(du), *std::min_element(du.begin(), du.end()));
    std::printf("ratio dry run / du -s: %.2f (medians)  (target: at most 1.2)\n", median(quillon) / median(du));
}

int runBench(int argc, char** argv) {
    const unsigned uid = becomeFixtureUser();
    PrivateFolder folder;
    const std::string home = folder.path() + "/home";
    const std::string logs = home + "/.npm/_logs";
    const int items = numberOption(argc, argv, "--items", 5000);
    DesktopShape shape;
    shape.processes = numberOption(argc, argv, "--processes", shape.processes);
    std::printf("guard_clean_bench: as user %u; %d old log files in %s\n", uid, items, logs.c_str());

    CleanTiming idlePreview, idle, busyPreview, busy;
    cleanLogs(folder.path(), logs, items, true, idlePreview);
    printClean("preview idle", idlePreview);
    cleanLogs(folder.path(), logs, items, false, idle);
    printClean("clean idle", idle);
    {
        const BusyDesktop desktop(folder.path() + "/desktop", shape);
        std::printf("busy desktop: %d processes of the user\n", processesOf(uid));
        cleanLogs(folder.path(), logs, items, true, busyPreview);
        cleanLogs(folder.path(), logs, items, false, busy);
    }
    printClean("preview busy", busyPreview);
    printClean("clean busy", busy);
    std::printf("ratio busy / idle: preview %.2f (target: at most 1.5), clean %.2f (target: at most 2)\n",
                busyPreview.seconds / idlePreview.seconds, busy.seconds / idle.seconds);

    dryRun(home, numberOption(argc, argv, "--rounds", 5));
    return idle.report.cleaned == items && busy.report.cleaned == items ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) { return runCaught("guard_clean_bench", [&] { return runBench(argc, argv); }); }
