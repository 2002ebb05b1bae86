#pragma once

#include "core/RunControl.h"

#include <string>
#include <vector>

namespace quillon {

// The outcome of one external tool.
struct CommandResult {
    int status = 0;      // termination status; 0 is success, never 0 for a signal
    std::string output;  // standard output and standard error as they reached the one pipe, UTF-8 (ill-formed bytes become U+FFFD)
};

// Runs the executable at `path` with `arguments` (no shell, no search path)
// and returns its status and combined output, read to end of file before the
// child is waited for. A non-zero status is returned, not thrown.
// Throws CleanCancelled when `control` is cancelled before the start (nothing
// is started) or after the end (the output is dropped); throws the launch
// error (platform::PlatformError) when the child cannot be started.
CommandResult command(const std::string& path, const std::vector<std::string>& arguments,
                      const RunControl* control = nullptr);

} // namespace quillon
