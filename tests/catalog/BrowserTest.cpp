#include "catalog/Browser.h"
#include "tests/support/Fixture.h"

#include <gtest/gtest.h>

#include <map>

using namespace quillon;
namespace t = quillon::testing;

// The root's caches, then each profile's (by the exact rule, "user-" ones
// for Atlas only), each partition's whatever its name, then the default
// profile's partitions; within a step, in listing order.
TEST(Browser, NamesTheCachesOfTheRootEachProfileAndEachPartitionInOrder) {
    const std::string root = t::freshDirectory();
    for (const char* entry : {"Default/Partitions/x", "Profile 1", "Profile 12", "System Profile", "Profile", "My Profile 2",
                              "Profile 2 backup", "profile 3", "user-one", "Partitions/.hidden", "Partitions/a"})
        t::makeDirectory(root + "/" + entry);
    t::writeFile(root + "/Partitions/file", "");
    for (const std::string group : {"Atlas", "Chrome"}) {
        std::map<std::string, int> steps = {{root, 0}, {root + "/Default", 1}, {root + "/Profile 1", 1},
                                            {root + "/Profile 12", 1}, {root + "/Partitions/.hidden", 2},
                                            {root + "/Partitions/a", 2}, {root + "/Partitions/file", 2},
                                            {root + "/Default/Partitions/x", 3}};
        if (group == "Atlas") steps[root + "/user-one"] = 1;
        std::vector<Candidate> rows{Candidate("/earlier", 1.0, "Logs")};
        browser(rows, root, group);
        ASSERT_EQ(rows.size(), 1 + steps.size() * chromiumCacheNames.size()) << group;
        int step = 0;
        for (std::size_t i = 1; i < rows.size(); ++i) {
            const std::string& path = rows[i].path;
            const std::string folder = path.substr(0, path.rfind('/'));
            ASSERT_EQ(steps.count(folder), 1u) << path;
            EXPECT_GE(steps[folder], step) << path;
            step = steps[folder];
            EXPECT_EQ(rows[i], Candidate(folder + "/" + std::string(chromiumCacheNames[(i - 1) % chromiumCacheNames.size()]), 0.0, group)) << path;
        }
    }
}
