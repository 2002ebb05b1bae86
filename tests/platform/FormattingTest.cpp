#include "platform/Formatting.h"

#include <gtest/gtest.h>

#include <limits>

using quillon::platform::formatByteCount;

TEST(ByteCount, ZeroIsZeroKilobytes) { EXPECT_EQ(formatByteCount(0), "Zero KB"); }

TEST(ByteCount, CountsBelowOneThousandAreBytes) {
    EXPECT_EQ(formatByteCount(1), "1 byte");
    EXPECT_EQ(formatByteCount(2), "2 bytes");
    EXPECT_EQ(formatByteCount(999), "999 bytes");
}

TEST(ByteCount, KilobytesAreWhole) {
    EXPECT_EQ(formatByteCount(1000), "1 KB");
    EXPECT_EQ(formatByteCount(1499), "1 KB");
    EXPECT_EQ(formatByteCount(1500), "2 KB");
    EXPECT_EQ(formatByteCount(999'499), "999 KB");
}

TEST(ByteCount, UnitRisesWhenTheRoundedFigureReachesOneThousand) {
    EXPECT_EQ(formatByteCount(999'500), "1 MB");
    EXPECT_EQ(formatByteCount(999'999), "1 MB");
    EXPECT_EQ(formatByteCount(999'949'999), "999.9 MB");
    EXPECT_EQ(formatByteCount(999'950'000), "1 GB");
    EXPECT_EQ(formatByteCount(999'995'000'000), "1 TB");
}

TEST(ByteCount, MegabytesKeepOneDecimalAndLargerUnitsTwo) {
    EXPECT_EQ(formatByteCount(1'500'000), "1.5 MB");
    EXPECT_EQ(formatByteCount(2'000'000), "2 MB");
    EXPECT_EQ(formatByteCount(1'234'567'890), "1.23 GB");
    EXPECT_EQ(formatByteCount(1'200'000'000), "1.2 GB");
    EXPECT_EQ(formatByteCount(1'005'000'000), "1.01 GB");
    EXPECT_EQ(formatByteCount(3'000'000'000'000), "3 TB");
    EXPECT_EQ(formatByteCount(4'560'000'000'000'000), "4.56 PB");
}

TEST(ByteCount, HugestCountsEndInExabytes) {
    EXPECT_EQ(formatByteCount(std::numeric_limits<std::int64_t>::max()), "9.22 EB");
    EXPECT_EQ(formatByteCount(std::numeric_limits<std::int64_t>::min()), "-9.22 EB");
}

TEST(ByteCount, NegativeCountsKeepTheirSign) {
    EXPECT_EQ(formatByteCount(-1), "-1 byte");
    EXPECT_EQ(formatByteCount(-1500), "-2 KB");
}
