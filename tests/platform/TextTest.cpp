#include "platform/Text.h"

#include <gtest/gtest.h>

using namespace quillon::platform;

// Each maximal ill-formed subpart becomes one U+FFFD; well-formed text is kept.
TEST(Utf8, EachIllFormedSequenceBecomesOneReplacement) {
    const std::pair<std::string, std::string> rows[] = {
        {"Checking\u2026 \u2014 \U0001F600", "Checking\u2026 \u2014 \U0001F600"}, {"a\xFF" "b", "a\uFFFD" "b"},
        {"\xC3", "\uFFFD"}, {"\xE2\x80" "x", "\uFFFD" "x"}, {"\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD"},
        {"\xC0\xAF", "\uFFFD\uFFFD"}, {"\xF4\x90\x80\x80", "\uFFFD\uFFFD\uFFFD\uFFFD"},
    };
    for (const auto& [bytes, text] : rows) {
        EXPECT_EQ(decodeUtf8Lossy(bytes), text) << bytes;
        EXPECT_EQ(isValidUtf8(bytes), bytes == text) << bytes;
    }
    // Names sort by scalar value after canonical composition.
    EXPECT_TRUE(precedesInTextOrder("C", "a") && precedesInTextOrder("f", "e\u0301"));
    EXPECT_FALSE(precedesInTextOrder("\u00E9", "e\u0301") || precedesInTextOrder("e\u0301", "\u00E9"));
}
