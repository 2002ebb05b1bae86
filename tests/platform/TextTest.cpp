#include "platform/PlatformError.h"
#include "platform/Text.h"

#include <gtest/gtest.h>

using namespace quillon::platform;

namespace {
bool regexSearch(const std::string& pattern, const std::string& text) { return Regex(pattern).search(text); }
} // namespace

TEST(Utf8, WellFormedTextIsUnchanged) {
    EXPECT_EQ(decodeUtf8Lossy("plain"), "plain");
    EXPECT_EQ(decodeUtf8Lossy("Checking\u2026 \u2014 \U0001F600"), "Checking\u2026 \u2014 \U0001F600");
}

TEST(Utf8, EachIllFormedSequenceBecomesOneReplacement) {
    EXPECT_EQ(decodeUtf8Lossy("a\xFF" "b"), "a\uFFFD" "b");
    EXPECT_EQ(decodeUtf8Lossy("\xC3"), "\uFFFD");                 // truncated
    EXPECT_EQ(decodeUtf8Lossy("\xE2\x80" "x"), "\uFFFD" "x");     // maximal subpart is one replacement
    EXPECT_EQ(decodeUtf8Lossy("\xED\xA0\x80"), "\uFFFD\uFFFD\uFFFD"); // surrogate
    EXPECT_EQ(decodeUtf8Lossy("\xC0\xAF"), "\uFFFD\uFFFD");       // overlong
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80"));                 // beyond U+10FFFF
}

TEST(TextOrder, AsciiIsByteOrderAndCapitalsComeFirst) {
    EXPECT_TRUE(precedesInTextOrder("C", "a"));
    EXPECT_TRUE(precedesInTextOrder("a", "b"));
    EXPECT_FALSE(precedesInTextOrder("b", "a"));
}

TEST(TextOrder, DecomposedAndComposedFormsCompareEqual) {
    const std::string composed = "\u00E9";   // é
    const std::string decomposed = "e\u0301";
    EXPECT_FALSE(precedesInTextOrder(composed, decomposed));
    EXPECT_FALSE(precedesInTextOrder(decomposed, composed));
    EXPECT_TRUE(precedesInTextOrder("f", composed)); // U+00E9 sorts after every ASCII letter
}

TEST(Lowercase, IsFullUnicodeLowercasing) {
    EXPECT_EQ(lowercase("Google Chrome Helper (Renderer)"), "google chrome helper (renderer)");
    EXPECT_EQ(lowercase("\u0130"), "i\u0307"); // capital I with dot above lower-cases to two code points
    EXPECT_EQ(lowercase("\u00C9COLE"), "\u00E9cole");
}

TEST(Regex, SearchesAnywhereAndHonoursInlineFlags) {
    const std::string log = "(?i)\\.log(?:\\.[0-9]+)?(?:\\.gz)?$";
    for (const char* name : {"app.log", "App.LOG", "app.log.3", "app.log.3.gz"}) EXPECT_TRUE(regexSearch(log, name)) << name;
    for (const char* name : {"app.logs", "log.txt"}) EXPECT_FALSE(regexSearch(log, name)) << name;
    EXPECT_TRUE(regexSearch("^Profile [0-9]+$", "Profile 12"));
    EXPECT_FALSE(regexSearch("^Profile [0-9]+$", "My Profile 2"));
    EXPECT_FALSE(regexSearch("^v[0-9]+$", "V3"));
}

TEST(Regex, InvalidPatternIsAPlatformError) { EXPECT_THROW(Regex("(unclosed"), PlatformError); }
