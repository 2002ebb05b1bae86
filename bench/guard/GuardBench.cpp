// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

// Run: build/bench/guard_bench [--repetitions R] [--processes N]
//
// Times the two questions the activity guard asks while a clean runs (which
// programs are running, which files are open) on an idle machine and on a
// simulated busy desktop, side by side with `ps -axo comm=` and
// `lsof -nP -Fn -u <uid>` in the same run, interleaved round by round.
// Started as root, the whole benchmark first becomes a user of its own: idle
// then means that the user has no process but the benchmark, and the busy
// desktop is N processes of that user (forked from the benchmark), each
// holding 100 files open and 30 mapped, plus 3 holding 2 000 descriptors.

#include "bench/support/BenchSupport.h"
#include "bench/support/BusyDesktop.h"
#include "core/Errors.h"
#include "guard/OpenFiles.h"
#include "guard/RunningTools.h"
#include "platform/Descriptor.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

using namespace quillon;
using namespace quillon::bench;

namespace {

struct Query {
    std::string name;
    std::function<std::string()> call; // returns a short account of the answer, or throws
    std::vector<double> samples;       // milliseconds
    std::string answer;

    double median() const { return bench::median(samples); }
};

// Runs every query once to warm up, then `repetitions` rounds of all of
// them in turn, so that the machine's noise falls on each alike.
void measure(std::vector<Query>& queries, int repetitions) {
    for (int round = 0; round <= repetitions; ++round)
        for (Query& query : queries) {
            const auto start = Clock::now();
            try {
                query.answer = query.call();
            } catch (const std::exception& error) {
                query.answer = "refused: " + describe(error);
            }
            if (round > 0) query.samples.push_back(secondsSince(start) * 1000);
        }
}

std::string lineCount(const CommandOutput& output, const char* prefix, const char* what) {
    long lines = 0;
    for (std::size_t at = 0; at < output.text.size();) {
        const std::size_t end = std::min(output.text.find('\n', at), output.text.size());
        if (output.text.compare(at, std::strlen(prefix), prefix) == 0) ++lines;
        at = end + 1;
    }
    return std::to_string(lines) + " " + what + ", status " + std::to_string(output.status);
}

std::string lsofProgram() {
    for (const char* path : {"/usr/bin/lsof", "/usr/sbin/lsof"})
        if (::access(path, X_OK) == 0) return path;
    return "/usr/bin/lsof";
}

std::vector<Query> queries(unsigned uid) {
    const std::string lsof = lsofProgram();
    const std::string user = std::to_string(uid);
    return {
        {"running set (runningCommands)",
         [] { return std::to_string(runningCommands().size()) + " distinct program names"; }, {}, {}},
        {"open paths (openPaths)", [] { return std::to_string(openPaths().size()) + " open paths"; }, {}, {}},
        {"ps -axo comm=", [] { return lineCount(capture({"/usr/bin/ps", "-axo", "comm="}), "", "lines"); }, {}, {}},
        {"lsof -nP -Fn -u " + user,
         [lsof, user] { return lineCount(capture({lsof, "-nP", "-Fn", "-u", user}), "n/", "paths"); }, {}, {}},
    };
}

void report(const char* state, int processes, const std::vector<Query>& measured) {
    std::printf("\n%s: %d processes of the user\n", state, processes);
    for (const Query& query : measured) {
        const auto [low, high] = std::minmax_element(query.samples.begin(), query.samples.end());
        std::printf("  %-34s median %8.2f ms  (min %.2f, max %.2f)  %s\n", query.name.c_str(), query.median(), *low,
                    *high, query.answer.c_str());
    }
    std::printf("  lsof / openPaths: %.1f    ps / runningCommands: %.1f\n", measured[3].median() / measured[1].median(),
                measured[2].median() / measured[0].median());
}

int runBench(int argc, char** argv) {
    const unsigned uid = becomeFixtureUser();
    PrivateFolder folder;
    const int repetitions = numberOption(argc, argv, "--repetitions", 7);
    DesktopShape shape;
    shape.processes = numberOption(argc, argv, "--processes", shape.processes);
    std::printf("guard_bench: as user %u, median of %d interleaved rounds after one warm-up\n", uid, repetitions);

    std::vector<Query> idle = queries(uid);
    measure(idle, repetitions);
    report("idle", processesOf(uid), idle);

    const BusyDesktop desktop(folder.path() + "/desktop", shape);
    std::vector<Query> busy = queries(uid);
    measure(busy, repetitions);
    report("busy", processesOf(uid), busy);
    std::printf("  (%d processes with %d open files and %d mappings each, %d with %d descriptors)\n",
                shape.processes, shape.openFiles, shape.mappings, shape.heavy, shape.heavyDescriptors);
    return 0;
}

} // namespace

int main(int argc, char** argv) { return runCaught("guard_bench", [&] { return runBench(argc, argv); }); }
