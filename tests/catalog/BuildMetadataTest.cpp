#include "catalog/BuildMetadata.h"
#include "core/Errors.h"
#include "core/Texts.h"
#include "platform/PlatformError.h"
#include "platform/PropertyList.h"
#include "platform/PropertyListShape.h"
#include "tests/platform/BinaryPlist.h"
#include "tests/support/Fixture.h"

#include <gtest/gtest.h>
#include <plist/plist.h>
#include <pthread.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace quillon;
using platform::maxPropertyListDepth;
using platform::maxPropertyListValues;
namespace t = quillon::testing;

namespace {

const std::string accepted = "accepted";
const std::string kept = std::string("skip: ") + text::missingWorkspace;
const std::string unreadable = "reader: The data couldn\u2019t be read because it isn\u2019t in the correct format.";

struct Reading {
    const std::string* bytes;
    std::string answer;
};

void* answer(void* argument) {
    auto& reading = *static_cast<Reading*>(argument);
    try {
        checkBuildMetadata(*reading.bytes);
        reading.answer = accepted;
    } catch (const SafetyError& error) {
        reading.answer = "skip: " + error.reason();
    } catch (const platform::PlatformError& error) {
        reading.answer = std::string("reader: ") + error.what();
    }
    return nullptr;
}

// The answer of checkBuildMetadata, asked on a thread with a 512 KiB stack:
// no answer may depend on the caller having a deep stack to spare.
std::string outcome(const std::string& bytes) {
    Reading reading{&bytes, "no thread"};
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, 512 * 1024);
    pthread_t thread;
    const int error = pthread_create(&thread, &attributes, answer, &reading);
    pthread_attr_destroy(&attributes);
    if (error == 0) pthread_join(thread, nullptr);
    return reading.answer;
}

std::string repeat(const std::string& piece, std::size_t times) {
    std::string out;
    out.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) out += piece;
    return out;
}

std::string xmlWith(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n" +
           body + "\n</plist>\n";
}

std::string workspaceXml(const std::string& path) {
    return xmlWith("<dict>\n\t<key>WorkspacePath</key>\n\t<string>" + path + "</string>\n</dict>");
}

// A valid list of exactly `size` bytes, padded with white space.
std::string workspaceXmlOfSize(std::size_t size) {
    const std::string list = workspaceXml("/a/B.xcodeproj");
    return list + std::string(size - list.size(), '\n');
}

std::string nestedArrays(std::size_t depth) {
    return "<plist>" + repeat("<array>", depth) + repeat("</array>", depth) + "</plist>";
}

// The binary encoding of an XML list, written by the property-list library.
std::string toBinary(const std::string& xml) {
    plist_t root = nullptr;
    plist_from_xml(xml.data(), static_cast<uint32_t>(xml.size()), &root);
    char* bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &bytes, &length);
    plist_free(root);
    std::string result(bytes, length);
    std::free(bytes);
    return result;
}

struct Case {
    const char* what;
    std::string bytes;
    const std::string& expected;
};

} // namespace

TEST(BuildMetadata, AnswersEachListByTheMetadataRules) {
    const std::string binary = toBinary(workspaceXml("/w/Project.xcworkspace"));
    // As deep as the size limit lets a list nest: "<array>" and "</array>" are
    // 15 bytes, "<plist>" and "</plist>" 15 more.
    const std::size_t deepestClosed = (platform::maxPropertyListBytes - 15) / 15;
    const std::size_t deepestUnclosed = (platform::maxPropertyListBytes - 7) / 7;
    const std::vector<Case> cases = {
        {"absolute project", workspaceXml("/Users/a/App/App.xcodeproj"), accepted},
        {"absolute workspace", workspaceXml("/nowhere/at/all/Some.xcworkspace"), accepted},
        {"trailing slash", workspaceXml("/x/App.xcodeproj/"), accepted},
        {"binary encoding", binary, accepted},
        {"relative", workspaceXml("App.xcodeproj"), kept},
        {"tilde", workspaceXml("~/App.xcodeproj"), kept},
        {"upper-case extension", workspaceXml("/a/App.XCODEPROJ"), kept},
        {"mixed-case extension", workspaceXml("/a/App.Xcworkspace"), kept},
        {"extension not last", workspaceXml("/a/App.xcodeproj.bak"), kept},
        {"no extension", workspaceXml("/a/xcodeproj"), kept},
        {"empty path", workspaceXml(""), kept},
        {"relative, binary", toBinary(workspaceXml("Project.xcworkspace")), kept},
        {"integer value", xmlWith("<dict><key>WorkspacePath</key><integer>1</integer></dict>"), kept},
        {"array value", xmlWith("<dict><key>WorkspacePath</key><array><string>/a/B.xcodeproj</string></array></dict>"),
         kept},
        {"key in other case", xmlWith("<dict><key>workspacePath</key><string>/a/B.xcodeproj</string></dict>"), kept},
        {"empty dictionary", xmlWith("<dict/>"), kept},
        {"top-level array", xmlWith("<array><string>/a/B.xcodeproj</string></array>"), kept},
        {"top-level text", xmlWith("<string>/a/B.xcodeproj</string>"), kept},
        {"plain text", "WorkspacePath=/a/B.xcodeproj\n", unreadable},
        {"image", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), unreadable},
        {"unterminated", xmlWith("<dict><key>WorkspacePath</key><string>/a/B.xcodeproj</string>"), unreadable},
        {"empty", "", unreadable},
        {"truncated binary", binary.substr(0, binary.size() - 1), unreadable},
        {"largest size", workspaceXmlOfSize(platform::maxPropertyListBytes), accepted},
        {"one byte over", workspaceXmlOfSize(platform::maxPropertyListBytes + 1), unreadable},
        {"deepest XML", nestedArrays(maxPropertyListDepth), kept},
        {"XML one level deeper", nestedArrays(maxPropertyListDepth + 1), unreadable},
        {"deepest binary", t::sharedChain(maxPropertyListDepth, 1), kept},
        {"binary one level deeper", t::sharedChain(maxPropertyListDepth + 1, 1), unreadable},
        {"XML as deep as fits", nestedArrays(deepestClosed), unreadable},
        {"unclosed XML as deep as fits", "<plist>" + repeat("<array>", deepestUnclosed), unreadable},
        {"binary chain of 900 kB", t::sharedChain(100000, 1), unreadable},
    };
    for (const Case& c : cases) EXPECT_EQ(outcome(c.bytes), c.expected) << c.what;
}

// Every committed input of the metadata fuzz target. A name's first word is
// the answer it must get; any other name (a find of the fuzzer) may get any
// of the three. A crash or a hang fails the test program.
TEST(BuildMetadata, AnswersEveryInputOfTheFuzzCorpusWithinTheRules) {
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(QUILLON_METADATA_CORPUS)) {
        const std::string name = entry.path().filename().string();
        const std::string answer = outcome(t::readFile(entry.path().string()));
        const std::string word = name.substr(0, name.find('-'));
        if (word == "accepted") {
            EXPECT_EQ(answer, accepted) << name;
        } else if (word == "kept") {
            EXPECT_EQ(answer, kept) << name;
        } else if (word == "unreadable") {
            EXPECT_EQ(answer, unreadable) << name;
        } else {
            EXPECT_TRUE(answer == accepted || answer == kept || answer == unreadable) << name << ": " << answer;
        }
        ++files;
    }
    EXPECT_GT(files, 20u);
}

TEST(BuildMetadata, CountsEveryValueAndEveryUseOfASharedObject) {
    plist_t root = nullptr;
    const std::string xml = "<plist><dict><key>a</key><array><string>x</string></array><key>b</key><true/></dict></plist>";
    plist_from_xml(xml.data(), static_cast<uint32_t>(xml.size()), &root);
    const platform::PropertyListShape tree = platform::measurePropertyListTree(root);
    plist_free(root);
    EXPECT_EQ(tree.depth, 3u);
    EXPECT_EQ(tree.values, 6u); // the dictionary, two keys, the array, the text, true

    // Twenty arrays, each referring twice to the next: 2^20 - 1 values; a
    // top array over the first adds one, and a leaf beside it one more.
    t::BinaryPlist shared;
    for (int i = 0; i < 20; ++i) shared.placeholder();
    for (std::uint64_t i = 0; i < 19; ++i) shared.replaceWithArray(i, {i + 1, i + 1});
    shared.replaceWithArray(19, {});
    const std::size_t leaf = shared.integer(1);
    const std::size_t atLimit = shared.array({0});
    const std::size_t pastLimit = shared.array({0, leaf});
    EXPECT_EQ(platform::measureBinaryPropertyList(shared.bytes(atLimit)).values, maxPropertyListValues);
    EXPECT_TRUE(platform::measureBinaryPropertyList(shared.bytes(atLimit)).acceptable());
    EXPECT_FALSE(platform::measureBinaryPropertyList(shared.bytes(pastLimit)).acceptable());
}
