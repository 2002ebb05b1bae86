// The Node record's companions: sameTime to the nanosecond and
// fileCount, which counts files and never directories.

#include "fs/Node.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

Node file(const std::string& name) { return Node{name, 1, 2, false, {}, {}, 4096, {}}; }

Node directory(const std::string& name, std::vector<Node> children) {
    return Node{name, 1, 2, true, {}, {}, 4096, std::move(children)};
}

TEST(SameTime, NeedsEqualSecondsAndNanoseconds) {
    EXPECT_TRUE(sameTime(timespec{100, 5}, timespec{100, 5}));
    EXPECT_FALSE(sameTime(timespec{100, 5}, timespec{100, 6}));
    EXPECT_FALSE(sameTime(timespec{100, 5}, timespec{101, 5}));
    EXPECT_FALSE(sameTime(timespec{0, 999999999}, timespec{1, 0}));
}

TEST(FileCount, CountsFilesOnly) {
    EXPECT_EQ(fileCount(file("a")), 1);
    EXPECT_EQ(fileCount(directory("empty", {})), 0);
    EXPECT_EQ(fileCount(directory("only-dirs", {directory("x", {}), directory("y", {directory("z", {})})})), 0);
    EXPECT_EQ(fileCount(directory("top", {file("a"), directory("sub", {file("b"), file("c")}), file("d")})), 4);
}

TEST(NodeRecord, MemberwiseInitialiserTakesTheEightFieldsInOrder) {
    const Node node{"name", 7, 3, true, timespec{10, 11}, timespec{12, 13}, 512, {file("child")}};
    EXPECT_EQ(node.name, "name");
    EXPECT_EQ(node.inode, 7u);
    EXPECT_EQ(node.device, 3u);
    EXPECT_TRUE(node.directory);
    EXPECT_TRUE(sameTime(node.modified, timespec{10, 11}));
    EXPECT_TRUE(sameTime(node.changed, timespec{12, 13}));
    EXPECT_EQ(node.bytes, 512);
    ASSERT_EQ(node.children.size(), 1u);
    EXPECT_EQ(node.children[0].name, "child");
}

} // namespace
} // namespace quillon
