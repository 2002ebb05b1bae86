#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace quillon::testing {

// A copy of /bin/sleep under the file name `name`, run from a fresh folder
// of the fixture, that holds each path of `held` open for reading on its own
// descriptors for as long as it runs: another process of the user, the way
// a protected application or an editor appears in the process table. The
// constructor returns once the process table shows the new program; the
// destructor kills and reaps it. Throws std::runtime_error when it cannot be
// started.
class RunningProgram {
public:
    explicit RunningProgram(const std::string& name, const std::vector<std::string>& held = {});
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    pid_t pid() const { return pid_; }
    // The path of the running copy.
    const std::string& path() const { return path_; }

private:
    void stop();

    std::string path_;
    pid_t pid_ = -1;
};

} // namespace quillon::testing
