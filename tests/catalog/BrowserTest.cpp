#include "catalog/Browser.h"
#include "tests/support/Fixture.h"

#include <gtest/gtest.h>

#include <map>

using namespace quillon;

// The caches of the root, of each profile (by the exact rule; "user-" ones
// for Atlas only), of each partition whatever its name, then of the default
// profile's partitions, each folder's in order; within a step, in listing order.
TEST(Browser, NamesTheCachesOfTheRootEachProfileAndEachPartitionInOrder) {
    const std::string root = quillon::testing::freshDirectory();
    for (const char* entry : {"Default/Partitions/x", "Profile 1", "Profile 12", "System Profile", "Profile", "My Profile 2",
                              "Profile 2 backup", "profile 3", "user-one", "Partitions/.hidden", "Partitions/a"})
        quillon::testing::makeDirectory(root + "/" + entry);
    for (const std::string group : {"Atlas", "Chrome"}) {
        std::map<std::string, std::size_t> steps = {{"", 0}, {"/Default", 1}, {"/Profile 1", 1}, {"/Profile 12", 1},
                                            {"/Partitions/.hidden", 2}, {"/Partitions/a", 2}, {"/Default/Partitions/x", 3}};
        if (group == "Atlas") steps["/user-one"] = 1;
        std::vector<Candidate> rows{Candidate("/earlier", 1.0, "Logs")};
        browser(rows, root, group);
        ASSERT_EQ(rows.size(), 1 + steps.size() * chromiumCacheNames.size()) << group;
        for (std::size_t i = 1, step = 0; i < rows.size(); ++i) {
            const std::string folder = rows[i].path.substr(0, rows[i].path.rfind('/'));
            const std::string name(chromiumCacheNames[(i - 1) % chromiumCacheNames.size()]);
            EXPECT_EQ(rows[i], Candidate(folder + "/" + name, 0.0, group)) << rows[i].path;
            ASSERT_EQ(steps.count(folder.substr(root.size())), 1u) << folder;
            EXPECT_GE(steps[folder.substr(root.size())], step) << folder;
            step = steps[folder.substr(root.size())];
        }
    }
}
