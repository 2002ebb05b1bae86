#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace quillon::testing {

// A program started in the background, for tests that must signal it while
// it runs. Its standard output and error go to `outputFile`. Dropping a
// program that still runs kills it and waits for it.
class ChildProgram {
public:
    // Starts `argv` (argv[0] an absolute path) with the current environment
    // plus `environment` ("NAME=value" entries replace same-named ones).
    ChildProgram(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                 const std::string& outputFile);
    ~ChildProgram();
    ChildProgram(const ChildProgram&) = delete;
    ChildProgram& operator=(const ChildProgram&) = delete;

    // Sends `signal` to the program.
    void signal(int signal);

    // Waits up to `limit` for the program to end; returns its exit status
    // (128 + the signal when a signal ended it), or -1 when it still runs.
    int wait(std::chrono::milliseconds limit);

    // Returns whether the program still runs.
    bool running();

private:
    pid_t pid_ = -1;
    int status_ = -1;
};

} // namespace quillon::testing
