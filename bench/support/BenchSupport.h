// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

// Shared helpers of the benchmark programs: a private fixture folder that
// HOME, TMPDIR and XDG_CACHE_HOME point into (removed at the end), tree
// building, wall-clock timing, running a command, and a user of its own for
// benchmarks started as root.

#include "fixture/Files.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace quillon::bench {

// The program's own fixture steps (makeDirectories, writeFile ...) build the
// benchmarks' trees.
using namespace quillon::fixture;

using Clock = std::chrono::steady_clock;

// Returns the seconds since `start`.
double secondsSince(Clock::time_point start);

// A private folder under /tmp for one benchmark run. HOME, TMPDIR and
// XDG_CACHE_HOME are pointed inside it for the life of the object, and the
// folder is removed when it ends. Aborts when the variables end up anywhere
// else.
class PrivateFolder {
public:
    PrivateFolder();
    ~PrivateFolder();
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Builds `directories` folders of `filesPerDirectory` small files below
// `root`, spread over `fanout` first-level folders; returns the file count.
long buildTree(const std::string& root, int fanout, int directories, int filesPerDirectory);

// What a command printed and how it ended.
struct CommandOutput {
    int status = -1;     // exit status, or 128 + signal, or -1 when it could not be started
    std::string text;    // standard output and standard error, as they reached the one pipe
};

// Runs argv (absolute program path first, no shell) and returns its status
// and everything it printed. The child is always waited for, also when
// reading fails or throws.
CommandOutput capture(const std::vector<std::string>& argv);

// Runs argv (absolute program path first) and returns its exit status.
int run(const std::vector<std::string>& argv);

// When this process runs as root, makes it a user of its own for the rest
// of its life: a user and group id that no account, group or process has,
// no supplementary groups, and a dumpable process (as an ordinary user's
// programs are, so that the user's own processes can be inspected). Returns
// the real user id the process runs as from now on. Throws when the ids
// cannot be dropped.
unsigned becomeFixtureUser();

// Returns how many processes run as `uid` (their /proc folder's owner), or
// -1 when /proc cannot be listed.
int processesOf(unsigned uid);

// Returns the median of `values` (not empty).
double median(std::vector<double> values);

// Returns the number that follows `name` among the arguments (at least 1),
// or `fallback` when there is none.
int numberOption(int argc, char** argv, const char* name, int fallback);

// Returns what `body` returns; an exception from it is printed after
// `program` and gives 1. Catching it is what makes sure that every object of
// the body (child processes, the private folder) is cleaned up on the way
// out.
int runCaught(const char* program, const std::function<int()>& body);

// Returns the peak resident memory of this process in kilobytes.
long peakResidentKilobytes();

} // namespace quillon::bench
