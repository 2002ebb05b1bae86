#include "platform/Text.h"

#include <gtest/gtest.h>

using namespace quillon::platform;

// Each maximal ill-formed subpart becomes one U+FFFD; well-formed text is kept.
TEST(Utf8, EachIllFormedSequenceBecomesOneReplacement) {
    const std::pair<std::string, std::string> rows[] = {
        {"Checking\u2026 \u2014 \U0001F600", "Checking\u2026 \u2014 \U0001F600"},
        {"a\xFF" "b", "a\uFFFD" "b"},
        {"\xC3", "\uFFFD"},                               // cut short at the end
        {"\xE2\x80" "x", "\uFFFD" "x"},                   // a maximal subpart is one replacement
        {"\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD"},           // a surrogate
        {"\xC0\xAF", "\uFFFD\uFFFD"},                     // overlong
        {"\xF4\x90\x80\x80", "\uFFFD\uFFFD\uFFFD\uFFFD"}, // beyond U+10FFFF
    };
    for (const auto& [bytes, text] : rows) {
        EXPECT_EQ(decodeUtf8Lossy(bytes), text) << bytes;
        EXPECT_EQ(isValidUtf8(bytes), bytes == text) << bytes;
    }
}

// Canonically equal texts are equal in order; ASCII is byte order.
TEST(TextOrder, ComparesCanonicalCompositionsByScalarValue) {
    EXPECT_TRUE(precedesInTextOrder("C", "a"));
    EXPECT_FALSE(precedesInTextOrder("\u00E9", "e\u0301"));
    EXPECT_FALSE(precedesInTextOrder("e\u0301", "\u00E9"));
    EXPECT_TRUE(precedesInTextOrder("f", "e\u0301"));
    EXPECT_EQ(lowercase("Google Chrome Helper (Renderer) \u00C9"), "google chrome helper (renderer) \u00E9");
}
