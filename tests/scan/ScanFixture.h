#pragma once

// Shared helpers of the scan tests.

#include "fs/Directory.h"
#include "platform/FileStatus.h"
#include "scan/Planned.h"
#include "tests/support/Fixture.h"

#include <gtest/gtest.h>

#include <string>
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

} // namespace quillon::testing
