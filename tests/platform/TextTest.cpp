// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "platform/Text.h"
#include <gtest/gtest.h>

// Each maximal ill-formed subpart becomes one U+FFFD; well-formed text is kept as it is.
TEST(Utf8, EachIllFormedSequenceBecomesOneReplacement) {
    const std::pair<std::string, std::string> rows[] = {
        {"Checking\u2026 \u2014 \U0001F600", "Checking\u2026 \u2014 \U0001F600"}, {"a\xFF" "b", "a\uFFFD" "b"},
        {"\xC3", "\uFFFD"}, {"\xE2\x80" "x", "\uFFFD" "x"}, {"\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD"},
        {"\xC0\xAF", "\uFFFD\uFFFD"}, {"\xF4\x90\x80\x80", "\uFFFD\uFFFD\uFFFD\uFFFD"},
    };
    for (const auto& [bytes, text] : rows) {
        EXPECT_EQ(quillon::platform::decodeUtf8Lossy(bytes), text) << bytes;
        EXPECT_EQ(quillon::platform::isValidUtf8(bytes), bytes == text) << bytes;
    }
}
