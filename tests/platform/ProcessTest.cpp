#include "platform/PlatformError.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

using namespace quillon::platform;

TEST(Child, BothStreamsArriveInOneText) {
    const ChildOutput out = runChild("/bin/sh", {"-c", "echo out; echo err >&2"});
    EXPECT_EQ(out.status, 0);
    EXPECT_EQ(out.bytes, "out\nerr\n");
}

TEST(Child, SignalledChildHasNonZeroStatus) {
    const ChildOutput out = runChild("/bin/sh", {"-c", "kill -9 $$"});
    EXPECT_EQ(out.status, 128 + 9);
}

TEST(Child, MissingExecutableIsALaunchErrorNamingThePath) {
    try {
        runChild("/no/such/tool", {});
        FAIL() << "expected a launch error";
    } catch (const PlatformError& error) {
        EXPECT_STREQ(error.what(), "Cannot launch /no/such/tool: No such file or directory");
    }
}

TEST(Child, NoDescriptorOfOursReachesTheChild) {
    // A descriptor opened without close-on-exec must still not be inherited.
    const int leaky = open("/dev/null", O_RDONLY);
    ASSERT_GE(leaky, 3);
    const ChildOutput out = runChild("/bin/sh", {"-c", "ls /proc/self/fd | sort -n | tr '\\n' ' '"});
    close(leaky);
    // 0, 1, 2 and the descriptor ls uses to read the listing.
    EXPECT_EQ(out.bytes, "0 1 2 3 ");
}
