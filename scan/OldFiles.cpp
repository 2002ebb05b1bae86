// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "scan/OldFiles.h"

#include "core/Errors.h"
#include "core/Texts.h"
#include "fs/Directory.h"
#include "fs/Node.h"
#include "platform/FileStatus.h"
#include "platform/PlatformError.h"
#include "platform/Text.h"

#include <memory>
#include <unistd.h>

namespace quillon {

namespace {

class Scan {
public:
    Scan(double cutoff, dev_t device, const platform::Regex* pattern, ScanStats& stats, const RunControl* control)
        : cutoff_(cutoff), device_(device), user_(::getuid()), pattern_(pattern), stats_(stats), control_(control) {}

    void directory(int fd, const std::string& path, bool recursive, std::vector<PlannedItem>& found) {
        for (const std::string& name : names(fd, control_)) {
            if (control_) control_->check();
            platform::FileStatus status;
            if (mayBeSubstitutedName(name) || !platform::statAt(fd, name, status) || status.owner != user_ || status.device != device_) {
                ++stats_.kept;
                continue;
            }
            if (status.type() == S_IFDIR) {
                if (recursive) subdirectory(fd, name, status, path, found);
            } else if (status.type() == S_IFREG) {
                file(fd, name, path, found);
            } else {
                ++stats_.kept;
            }
        }
    }

private:
    void subdirectory(int parent, const std::string& name, const platform::FileStatus& looked, const std::string& path,
                      std::vector<PlannedItem>& found) {
        const VerifiedDirectory sub = openVerified(parent, name, looked);
        if (sub.outcome != VerifiedOpen::opened) {
            ++stats_.kept;
            return;
        }
        directory(sub.descriptor.get(), path + "/" + name, true, found);
    }

    void file(int parent, const std::string& name, const std::string& path, std::vector<PlannedItem>& found) {
        ++stats_.files;
        if (pattern_ && !pattern_->search(name)) {
            ++stats_.kept;
            return;
        }
        try {
            found.push_back(PlannedItem{path, inspect(parent, name, cutoff_, device_, control_)});
        } catch (const CleanCancelled&) {
            throw;
        } catch (const std::exception&) {
            ++stats_.kept;
        }
    }

    double cutoff_;
    dev_t device_;
    uid_t user_; // the real user, read once per scan
    const platform::Regex* pattern_;
    ScanStats& stats_;
    const RunControl* control_;
};

} // namespace

std::vector<PlannedItem> oldFiles(int directory, const std::string& path, double cutoff, dev_t device,
                                  const std::optional<std::string>& pattern, ScanStats& stats,
                                  const RunControl* control, bool recursive) {
    std::unique_ptr<platform::Regex> compiled;
    if (pattern) {
        try {
            compiled = std::make_unique<platform::Regex>(*pattern);
        } catch (const platform::PlatformError&) {
            // A pattern that cannot be compiled could match nothing or
            // everything; neither is a safe guess.
            throw SafetyError::skip(text::invalidPattern);
        }
    }
    std::vector<PlannedItem> found;
    Scan(cutoff, device, compiled.get(), stats, control).directory(directory, path, recursive, found);
    return found;
}

} // namespace quillon
