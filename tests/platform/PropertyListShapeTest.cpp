#include "platform/PropertyListShape.h"
#include "platform/PlatformError.h"
#include "platform/PropertyList.h"
#include "tests/platform/BinaryPlist.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

using namespace quillon;
using namespace quillon::platform;
namespace t = quillon::testing;

namespace {

std::string repeat(const std::string& piece, std::size_t times) {
    std::string out;
    out.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) out += piece;
    return out;
}

std::string nestedArrays(std::size_t depth) {
    return "<plist>" + repeat("<array>", depth) + repeat("</array>", depth) + "</plist>";
}

} // namespace

TEST(XmlShape, CountsValuesAndDepthOfAnOrdinaryList) {
    const PropertyListShape shape = measurePropertyList(
        "<?xml version=\"1.0\"?>\n<plist version=\"1.0\"><dict><key>a</key><array><string>x</string></array>"
        "<key>b</key><true/></dict></plist>");
    EXPECT_EQ(shape.depth, 3u);
    EXPECT_EQ(shape.values, 6u); // dict, two keys, array, string, true
    EXPECT_TRUE(shape.acceptable());
}

TEST(XmlShape, AcceptsNestingUpToTheLimitAndRefusesOneLevelMore) {
    EXPECT_TRUE(measurePropertyList(nestedArrays(maxPropertyListDepth)).acceptable());
    EXPECT_FALSE(measurePropertyList(nestedArrays(maxPropertyListDepth + 1)).acceptable());
}

TEST(XmlShape, SeesNestingHiddenBehindQuotedAttributes) {
    // The reader skips quoted text inside a tag, so "/>" inside quotes does
    // not make the element empty.
    const std::string deep = "<plist>" + repeat("<array a=\"/>\">", 300) + repeat("</array>", 300) + "</plist>";
    EXPECT_GT(measurePropertyList(deep).depth, maxPropertyListDepth);
}

TEST(XmlShape, ValuesAfterAnEmptyTopContainerGoInsideIt) {
    EXPECT_EQ(measurePropertyList("<array/><array><array/></array>").depth, 3u);
}

TEST(XmlShape, IgnoresTagsInsideCommentsAndCdata) {
    const std::string commented = "<plist><!--" + repeat("<array>", 1000) + "--><dict><key>k</key><string><![CDATA[" +
                                  repeat("<array>", 1000) + "]]></string></dict></plist>";
    const PropertyListShape shape = measurePropertyList(commented);
    EXPECT_EQ(shape.depth, 2u);
    EXPECT_TRUE(shape.acceptable());
}

TEST(BinaryShape, CountsEveryUseOfASharedObject) {
    const PropertyListShape shape = measurePropertyList(t::sharedChain(10, 2));
    EXPECT_EQ(shape.depth, 10u);
    EXPECT_EQ(shape.values, 1023u);
    EXPECT_FALSE(shape.malformed);
    EXPECT_TRUE(shape.acceptable());
}

TEST(BinaryShape, RefusesSharingThatExpandsPastTheValueLimitWithoutExpandingIt) {
    // 2^64 - 1 values once expanded; the measure must not try.
    const auto start = std::chrono::steady_clock::now();
    const PropertyListShape shape = measurePropertyList(t::sharedChain(64, 2));
    EXPECT_GT(shape.values, maxPropertyListValues);
    EXPECT_FALSE(shape.acceptable());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST(BinaryShape, RefusesADeepChain) {
    EXPECT_TRUE(measurePropertyList(t::sharedChain(maxPropertyListDepth, 1)).acceptable());
    EXPECT_FALSE(measurePropertyList(t::sharedChain(maxPropertyListDepth + 1, 1)).acceptable());
}

TEST(BinaryShape, FindsAnObjectThatContainsItself) {
    t::BinaryPlist direct;
    const std::size_t self = direct.placeholder();
    direct.replaceWithArray(self, {self});
    EXPECT_TRUE(measurePropertyList(direct.bytes(self)).malformed);

    t::BinaryPlist mutual;
    const std::size_t a = mutual.placeholder();
    const std::size_t b = mutual.placeholder();
    mutual.replaceWithArray(a, {b});
    mutual.replaceWithArray(b, {a});
    EXPECT_TRUE(measurePropertyList(mutual.bytes(a)).malformed);
}

TEST(BinaryShape, FindsReferencesAndTrailersThatPointNowhere) {
    t::BinaryPlist outOfRange;
    const std::size_t array = outOfRange.array({7});
    EXPECT_TRUE(measurePropertyList(outOfRange.bytes(array)).malformed);

    t::BinaryPlist plist;
    plist.string("x");
    std::string bytes = plist.bytes(0);
    bytes[bytes.size() - 1] = static_cast<char>(0x7F); // offset table past the trailer
    EXPECT_TRUE(measurePropertyList(bytes).malformed);
    EXPECT_TRUE(measurePropertyList(std::string("bplist00") + std::string(10, '\0')).malformed);
}

TEST(ReadableShape, ReaderRefusesHostileShapesWithItsOwnError) {
    try {
        PropertyList::parse(t::sharedChain(40, 3));
        FAIL() << "no error";
    } catch (const platform::PlatformError& error) {
        EXPECT_STREQ(error.what(), "The data couldn\u2019t be read because it isn\u2019t in the correct format.");
    }
    EXPECT_NO_THROW(PropertyList::parse(nestedArrays(3)));
}
