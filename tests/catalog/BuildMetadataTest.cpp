#include "catalog/BuildMetadata.h"
#include "core/Errors.h"
#include "core/Texts.h"
#include "platform/PlatformError.h"
#include "platform/PropertyList.h"
#include "platform/PropertyListShape.h"
#include "tests/support/Fixture.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <filesystem>

using namespace quillon;
namespace t = quillon::testing;

namespace {

// The answer to `bytes`: "accepted", the skip reason, or "reader: " and the
// reader's error; asked on a thread with a 512 KiB stack, since no answer
// may depend on the caller having a deep stack to spare.
std::string outcome(const std::string& bytes) {
    struct Reading {
        const std::string& bytes;
        std::string answer = "no thread";
    } reading{bytes};
    const auto ask = [](void* argument) -> void* {
        auto& r = *static_cast<Reading*>(argument);
        try {
            checkBuildMetadata(r.bytes);
            r.answer = "accepted";
        } catch (const SafetyError& error) {
            r.answer = error.reason();
        } catch (const platform::PlatformError& error) {
            r.answer = std::string("reader: ") + error.what();
        }
        return nullptr;
    };
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, 512 * 1024);
    pthread_t thread;
    if (pthread_create(&thread, &attributes, ask, &reading) == 0) pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
    return reading.answer;
}

std::string repeat(const std::string& piece, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) out += piece;
    return out;
}

std::string workspace(const std::string& value, std::size_t size = 0) {
    const std::string xml = "<plist><dict><key>WorkspacePath</key>" + value + "</dict></plist>";
    return xml + std::string(size > xml.size() ? size - xml.size() : 0, '\n');
}

std::string nested(std::size_t depth) { return "<plist>" + repeat("<array>", depth) + repeat("</array>", depth) + "</plist>"; }

// A binary list of `length` arrays, each referring `fan` times to the next
// (the last empty): a tree `length` deep of fan^0 + ... + fan^(length-1) values.
std::string chain(std::size_t length, unsigned fan) {
    std::string objects, offsets;
    const auto put = [](std::string& out, std::uint64_t value, int width) {
        for (int byte = width - 1; byte >= 0; --byte) out += static_cast<char>(value >> (8 * byte));
    };
    for (std::size_t i = 0; i < length; ++i) {
        put(offsets, 8 + objects.size(), 4);
        const unsigned count = i + 1 < length ? fan : 0;
        objects += static_cast<char>(0xA0 | count);
        for (unsigned k = 0; k < count; ++k) put(objects, i + 1, 4);
    }
    std::string out = "bplist00" + objects + offsets + std::string(6, '\0') + "\x04\x04";
    for (const std::uint64_t value : {std::uint64_t{length}, std::uint64_t{0}, std::uint64_t{8 + objects.size()}}) put(out, value, 8);
    return out;
}

} // namespace

TEST(BuildMetadata, AnswersEachListByTheMetadataRulesWithinTheReadersLimits) {
    const std::string unreadable = outcome("WorkspacePath=/a/B.xcodeproj"); // the reader's own error
    ASSERT_EQ(unreadable.rfind("reader: ", 0), 0u);
    const std::string accepted = "accepted", kept = text::missingWorkspace;
    const std::size_t limit = platform::maxPropertyListBytes, depth = platform::maxPropertyListDepth;
    const std::vector<std::tuple<const char*, std::string, std::string>> rows = {
        {"absolute project", workspace("<string>/Users/a/App.xcodeproj</string>"), accepted},
        {"workspace, trailing slash", workspace("<string>/w/W.xcworkspace/</string>"), accepted},
        {"relative", workspace("<string>App.xcodeproj</string>"), kept},
        {"tilde", workspace("<string>~/App.xcodeproj</string>"), kept},
        {"extension in capitals", workspace("<string>/a/App.XCODEPROJ</string>"), kept},
        {"extension not last", workspace("<string>/a/App.xcodeproj.bak</string>"), kept},
        {"no extension", workspace("<string>/a/xcodeproj</string>"), kept},
        {"empty path", workspace("<string></string>"), kept},
        {"integer", workspace("<integer>1</integer>"), kept},
        {"key in other case", "<plist><dict><key>workspacePath</key><string>/a/B.xcodeproj</string></dict></plist>", kept},
        {"top-level array", "<plist><array><string>/a/B.xcodeproj</string></array></plist>", kept},
        {"image", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), unreadable},
        {"unterminated", workspace("<string>/a/B.xcodeproj</string>").substr(0, 60), unreadable},
        {"largest size", workspace("<string>/a/B.xcodeproj</string>", limit), accepted},
        {"one byte over", workspace("<string>/a/B.xcodeproj</string>", limit + 1), unreadable},
        {"deepest XML", nested(depth), kept},
        {"XML one level deeper", nested(depth + 1), unreadable},
        {"XML as deep as fits", nested((limit - 15) / 15), unreadable},
        {"unclosed XML as deep as fits", "<plist>" + repeat("<array>", (limit - 7) / 7), unreadable},
        {"binary chain of 900 kB", chain(100000, 1), unreadable},
        {"2^20 - 1 shared values", chain(20, 2), kept},
        {"2^21 - 1 shared values", chain(21, 2), unreadable},
    };
    for (const auto& [what, bytes, expected] : rows) EXPECT_EQ(outcome(bytes), expected) << what;
}

// Every committed input of the metadata fuzz target. A name's first word is
// the answer it must get; any other name (a find of the fuzzer) may get any
// answer. A crash or a hang fails the test program.
TEST(BuildMetadata, AnswersEveryInputOfTheFuzzCorpusWithinTheRules) {
    const std::string unreadable = outcome(""), kept = text::missingWorkspace;
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(QUILLON_METADATA_CORPUS)) {
        const std::string name = entry.path().filename().string(), answer = outcome(t::readFile(entry.path()));
        const std::string word = name.substr(0, name.find('-'));
        const std::string expected = word == "kept" ? kept : word == "unreadable" ? unreadable : word;
        if (word == "accepted" || word == "kept" || word == "unreadable") EXPECT_EQ(answer, expected) << name;
        else EXPECT_TRUE(answer == "accepted" || answer == kept || answer == unreadable) << name << ": " << answer;
        ++files;
    }
    EXPECT_GT(files, 20u);
}
