#pragma once

// Shared helpers of the benchmark programs: a private fixture folder that
// HOME, TMPDIR and XDG_CACHE_HOME point into (removed at the end), tree
// building, wall-clock timing and running a command.

#include <chrono>
#include <string>
#include <vector>

namespace quillon::bench {

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

// Makes `path` and its missing parents.
void makeDirectories(const std::string& path);

// Builds `directories` folders of `filesPerDirectory` small files below
// `root`, spread over `fanout` first-level folders; returns the file count.
long buildTree(const std::string& root, int fanout, int directories, int filesPerDirectory);

// Runs argv (absolute program path first) and returns its exit status.
int run(const std::vector<std::string>& argv);

// Returns the peak resident memory of this process in kilobytes.
long peakResidentKilobytes();

} // namespace quillon::bench
