// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "platform/Formatting.h"
#include <gtest/gtest.h>
#include <cstdint>

// Decimal units; the unit rises once the rounded figure reaches 1000.
TEST(ByteCount, IsWrittenInTheSmallestDecimalUnitThatStaysBelowOneThousand) {
    const std::pair<std::int64_t, const char*> rows[] = {
        {0, "Zero KB"}, {1, "1 byte"}, {2, "2 bytes"}, {999, "999 bytes"}, {1000, "1 KB"}, {1499, "1 KB"},
        {1500, "2 KB"}, {999'499, "999 KB"}, {999'500, "1 MB"}, {1'500'000, "1.5 MB"}, {2'000'000, "2 MB"},
        {999'949'999, "999.9 MB"}, {999'950'000, "1 GB"}, {1'005'000'000, "1.01 GB"}, {1'200'000'000, "1.2 GB"},
        {1'234'567'890, "1.23 GB"}, {999'995'000'000, "1 TB"}, {4'560'000'000'000'000, "4.56 PB"}, {-1, "-1 byte"},
        {-1500, "-2 KB"}, {INT64_MAX, "9.22 EB"}, {INT64_MIN, "-9.22 EB"},
    };
    for (const auto& [bytes, text] : rows) EXPECT_EQ(quillon::platform::formatByteCount(bytes), text) << bytes;
}
