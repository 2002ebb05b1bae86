#pragma once

#include <string>
#include <vector>

namespace quillon::platform {

// What one child process left behind: its termination status (the exit
// code, or 128 + the signal number for a child ended by a signal, so never
// 0 then) and every byte it wrote to its standard output and standard error.
struct ChildOutput {
    int status = 0;
    std::string bytes;
};

// Runs the executable at `path` (no shell, no search path) with `arguments`
// after the program name. One pipe receives both output streams; it is read
// to end of file before the child is waited for, so a talkative child never
// stalls. Standard input, environment and working directory are inherited;
// no other descriptor of this process reaches the child.
// Throws PlatformError ("Cannot launch <path>: <reason>") when the child
// cannot be started.
ChildOutput runChild(const std::string& path, const std::vector<std::string>& arguments);

} // namespace quillon::platform
