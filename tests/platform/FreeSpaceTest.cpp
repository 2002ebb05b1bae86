#include "platform/FreeSpace.h"

#include <gtest/gtest.h>

TEST(FreeSpace, UnknownPathGivesZero) {
    EXPECT_EQ(quillon::platform::availableBytes("/no/such/place"), 0);
    EXPECT_EQ(quillon::platform::availableBytes(""), 0);
    EXPECT_GT(quillon::platform::availableBytes("/"), 0);
}
