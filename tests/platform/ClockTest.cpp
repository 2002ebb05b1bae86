#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <regex>

TEST(Clock, IsoTimeIsUtcWithTrailingZ) {
    EXPECT_TRUE(std::regex_match(quillon::platform::iso8601Now(),
                                 std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)")));
}
