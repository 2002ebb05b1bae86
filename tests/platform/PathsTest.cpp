#include "platform/Paths.h"

#include <gtest/gtest.h>

using namespace quillon::platform;

TEST(PathText, LastComponentIgnoresTrailingSlash) {
    EXPECT_EQ(lastPathComponent("/a/b"), "b");
    EXPECT_EQ(lastPathComponent("/a/b/"), "b");
    EXPECT_EQ(lastPathComponent("/a/b//"), "b");
    EXPECT_EQ(lastPathComponent("b"), "b");
    EXPECT_EQ(lastPathComponent("/"), "/");
    EXPECT_EQ(lastPathComponent("//"), "/");
    EXPECT_EQ(lastPathComponent(""), "");
    EXPECT_EQ(lastPathComponent("/Applications/Google Chrome.app/Contents/MacOS/Google Chrome"), "Google Chrome");
}

TEST(PathText, ParentOfTopLevelItemIsRoot) {
    EXPECT_EQ(deletingLastPathComponent("/a/b"), "/a");
    EXPECT_EQ(deletingLastPathComponent("/a/b/"), "/a");
    EXPECT_EQ(deletingLastPathComponent("/a//b"), "/a");
    EXPECT_EQ(deletingLastPathComponent("/a"), "/");
    EXPECT_EQ(deletingLastPathComponent("/"), "/");
    EXPECT_EQ(deletingLastPathComponent("a"), "");
    EXPECT_EQ(deletingLastPathComponent("a/b"), "a");
}

TEST(PathText, ExtensionIsTextAfterLastDotOfLastComponent) {
    EXPECT_EQ(pathExtension("/x/App.xcodeproj"), "xcodeproj");
    EXPECT_EQ(pathExtension("/x/App.xcodeproj/"), "xcodeproj");
    EXPECT_EQ(pathExtension("/x/archive.tar.gz"), "gz");
    EXPECT_EQ(pathExtension("/x.d/file"), "");
    EXPECT_EQ(pathExtension("/x/.hidden"), "");
    EXPECT_EQ(pathExtension("/x/name."), "");
    EXPECT_EQ(pathExtension("/x/App.XCODEPROJ"), "XCODEPROJ");
}
