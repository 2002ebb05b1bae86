#pragma once

// Shared helpers of the scan tests.

#include "fs/Directory.h"
#include "platform/FileStatus.h"
#include "scan/Planned.h"
#include "tests/support/Fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/mount.h>
#include <utility>
#include <unistd.h>
#include <vector>

namespace quillon::testing {

// Returns the device number of `path`.
inline dev_t deviceOf(const std::string& path) {
    platform::Descriptor fd = openDirectory(path);
    platform::FileStatus status;
    EXPECT_TRUE(platform::statDescriptor(fd.get(), status));
    return status.device;
}

// Returns "parentPath/name" of each planned item, in order.
inline std::vector<std::string> plannedPaths(const std::vector<PlannedItem>& items) {
    std::vector<std::string> paths;
    for (const PlannedItem& item : items) paths.push_back(item.parentPath + "/" + item.node.name);
    return paths;
}

// A cutoff that makes everything made so far count as old.
inline double future() { return now() + 100; }

// Gives `path` a modification time in the future, which makes it recent.
inline void makeRecent(const std::string& path) { setModificationTime(path, now() + 1000); }

// A small tmpfs mounted on the folder `path` while it lives, when this
// process may mount one (as root); detached when it ends.
class ScopedTmpfs {
public:
    explicit ScopedTmpfs(std::string path)
        : path_(std::move(path)),
          mounted_(::geteuid() == 0 && ::mount("quillon-test", path_.c_str(), "tmpfs", 0, "size=1m") == 0) {}
    ~ScopedTmpfs() {
        if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
    }
    ScopedTmpfs(const ScopedTmpfs&) = delete;
    ScopedTmpfs& operator=(const ScopedTmpfs&) = delete;

    bool mounted() const { return mounted_; }

private:
    std::string path_;
    bool mounted_;
};

} // namespace quillon::testing
