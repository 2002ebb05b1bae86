#include "catalog/Browser.h"
#include "tests/support/Fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using namespace quillon;
namespace t = quillon::testing;

namespace {

std::vector<Candidate> rowsOf(const std::string& root, const std::string& group) {
    std::vector<Candidate> rows;
    browser(rows, root, group);
    return rows;
}

// The folders that received cache rows, each once, in the order first seen.
std::vector<std::string> foldersOf(const std::vector<Candidate>& rows) {
    std::vector<std::string> folders;
    for (const Candidate& row : rows) {
        const std::string folder = row.path.substr(0, row.path.rfind('/'));
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(folder);
    }
    return folders;
}

std::set<std::string> asSet(std::vector<std::string> items) { return {items.begin(), items.end()}; }

} // namespace

TEST(BrowserProfiles, AMissingRootStillGivesItsNineRootRowsInOrder) {
    const std::string root = t::freshDirectory() + "/missing";
    const std::vector<Candidate> rows = rowsOf(root, "Chrome");
    ASSERT_EQ(rows.size(), 9u);
    const char* names[] = {"Cache",           "Code Cache",        "GPUCache",      "DawnCache",  "DawnGraphiteCache",
                           "DawnWebGPUCache", "GraphiteDawnCache", "GrShaderCache", "ShaderCache"};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].path, root + "/" + names[i]);
        EXPECT_EQ(rows[i].age, 0.0);
        EXPECT_EQ(rows[i].group, "Chrome");
        EXPECT_EQ(rows[i].mode, ScanMode::whole);
        EXPECT_EQ(rows[i].pattern, std::nullopt);
        EXPECT_EQ(rows[i].temporaryBuildRoot, std::nullopt);
    }
}

TEST(BrowserProfiles, OnlyDefaultAndNumberedProfilesCount) {
    const std::string root = t::freshDirectory();
    for (const char* name : {"Default", "Profile 1", "Profile 12", "System Profile", "Guest Profile", "Profile",
                             "Crashpad", "My Profile 2", "Profile 2 backup", "profile 3", "Profile x"})
        t::makeDirectory(root + "/" + name);
    const std::vector<Candidate> rows = rowsOf(root, "Chrome");
    EXPECT_EQ(rows.size(), 36u);
    EXPECT_EQ(asSet(foldersOf(rows)),
              (std::set<std::string>{root, root + "/Default", root + "/Profile 1", root + "/Profile 12"}));
}

TEST(BrowserProfiles, UserFoldersAreProfilesOnlyForAtlas) {
    const std::string root = t::freshDirectory();
    t::makeDirectory(root + "/user-fixture");
    const std::vector<Candidate> atlas = rowsOf(root, "Atlas");
    EXPECT_EQ(atlas.size(), 18u);
    EXPECT_NE(std::find_if(atlas.begin(), atlas.end(),
                           [&](const Candidate& c) { return c.path == root + "/user-fixture/GPUCache"; }),
              atlas.end());
    EXPECT_EQ(rowsOf(root, "Chrome").size(), 9u);
    EXPECT_EQ(rowsOf(root, "atlas").size(), 9u);
}

TEST(BrowserProfiles, EveryPartitionCountsWhateverItsName) {
    const std::string root = t::freshDirectory();
    for (const char* name : {"alpha", ".hidden", "Local Storage x"}) t::makeDirectory(root + "/Partitions/" + name);
    t::writeFile(root + "/Partitions/plain-file", "");
    const std::vector<Candidate> rows = rowsOf(root, "Edge");
    EXPECT_EQ(rows.size(), 45u);
    EXPECT_EQ(asSet(foldersOf(rows)),
              (std::set<std::string>{root, root + "/Partitions/alpha", root + "/Partitions/.hidden",
                                     root + "/Partitions/Local Storage x", root + "/Partitions/plain-file"}));
}

TEST(BrowserProfiles, DefaultPartitionsComeAfterProfilesAndPartitions) {
    const std::string root = t::freshDirectory();
    t::makeDirectory(root + "/Default/Partitions/x");
    t::makeDirectory(root + "/Partitions/p");
    const std::vector<Candidate> rows = rowsOf(root, "Brave");
    EXPECT_EQ(foldersOf(rows), (std::vector<std::string>{root, root + "/Default", root + "/Partitions/p",
                                                         root + "/Default/Partitions/x"}));
    EXPECT_EQ(rows.size(), 36u);
}

TEST(BrowserProfiles, AppendsToRowsAlreadyThere) {
    std::vector<Candidate> rows{Candidate("/earlier", 1.0, "Logs")};
    browser(rows, t::freshDirectory(), "Chrome");
    ASSERT_EQ(rows.size(), 10u);
    EXPECT_EQ(rows.front().path, "/earlier");
}
