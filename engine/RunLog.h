// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include "platform/Descriptor.h"

#include <mutex>
#include <string>

namespace quillon {

// The plain-text log of the last run. Each launch replaces the file with a
// three-line header, then lines are appended one at a time. Logging is best
// effort: no failure is ever reported, and the run goes on regardless.
// append() and close() may be called from any thread.
class RunLog {
public:
    // Creates the log: runLogFolder() + "/LastRun.log" in the user's state
    // directory, or for the window-only preview platform::userTempDirectory() +
    // "/Quillon-UI-preview.log" (nothing is written when there is no private
    // directory for it). Missing folders are made 0700.
    explicit RunLog(bool preview);
    // The same at an explicit file path (used by tests).
    RunLog(bool preview, const std::string& path);
    ~RunLog();
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    // Returns the log file's path (empty when there is nowhere to write).
    const std::string& path() const { return path_; }

    // Writes `line` and a line feed, as UTF-8, unless the log is closed.
    void append(const std::string& line);

    // Closes the log; later appends write nothing. Calling it twice is harmless.
    void close();

private:
    void open(bool preview);
    std::string path_;
    std::mutex lock_;
    platform::Descriptor file_;
};

// Returns the log path for a mode, or the empty text when there is none.
// For the normal log, the user's state directory is made when missing.
std::string runLogPath(bool preview);

} // namespace quillon
