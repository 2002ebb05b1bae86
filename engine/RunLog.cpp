// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "engine/RunLog.h"

#include "catalog/RunLogFolder.h"
#include "core/Texts.h"
#include "platform/Clock.h"
#include "platform/FileIo.h"
#include "platform/Folders.h"
#include "platform/Paths.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace quillon {

std::string runLogPath(bool preview) {
    // Without a private temporary or state directory there is nowhere safe
    // to write; a path built on the empty text would land in "/".
    if (preview) {
        const std::string temp = platform::userTempDirectory();
        return temp.empty() ? std::string() : temp + "/Quillon-UI-preview.log";
    }
    const std::string folder = runLogFolder(true);
    return folder.empty() ? std::string() : folder + "/LastRun.log";
}

RunLog::RunLog(bool preview) : path_(runLogPath(preview)) { open(preview); }

RunLog::RunLog(bool preview, const std::string& path) : path_(path) { open(preview); }

RunLog::~RunLog() { close(); }

void RunLog::open(bool preview) {
    if (path_.empty()) return;
    try {
        platform::makeFolder(platform::parentFolder(path_), true, 0700);
    } catch (const std::exception&) {
        // Logging is best effort; the run goes on without it.
    }
    const std::string header = std::string(text::programName) + "\n" + platform::iso8601Now() + "\n" +
                               (preview ? text::uiPreviewOnly : text::cleanupStarted) + "\n";
    try {
        platform::writeFileAtomically(path_, header);
    } catch (const std::exception&) {
        // An old log that could not be replaced is appended to instead.
    }
    file_ = platform::Descriptor(::open(path_.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC));
}

void RunLog::append(const std::string& line) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!file_) return;
    // A failed write is dropped with the rest of the line.
    static_cast<void>(platform::writeAll(file_.get(), line + "\n"));
}

void RunLog::close() {
    std::lock_guard<std::mutex> guard(lock_);
    file_.reset();
}

} // namespace quillon
