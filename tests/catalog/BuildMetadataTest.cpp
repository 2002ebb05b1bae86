#include "catalog/BuildMetadata.h"
#include "core/Errors.h"
#include "core/Texts.h"
#include "platform/PropertyList.h"
#include "platform/PropertyListShape.h"
#include "tests/support/Fixture.h"
#include <gtest/gtest.h>
#include <pthread.h>
#include <filesystem>

using namespace quillon;

namespace {
// The answer to `bytes`: "accepted", or the error described; asked on a thread with a 512 KiB stack, since
// no answer may depend on the caller having a deep stack to spare.
std::string outcome(const std::string& bytes) {
    std::pair<const std::string&, std::string> reading{bytes, "no thread"};
    const auto ask = [](void* argument) -> void* {
        auto& [input, answer] = *static_cast<decltype(reading)*>(argument);
        try {
            checkBuildMetadata(input);
            answer = "accepted";
        } catch (...) {
            answer = describe(std::current_exception());
        }
        return nullptr;
    };
    pthread_attr_t attributes;
    pthread_t thread;
    if (pthread_attr_init(&attributes) == 0 && pthread_attr_setstacksize(&attributes, 512 * 1024) == 0 &&
        pthread_create(&thread, &attributes, ask, &reading) == 0)
        pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
    return reading.second;
}

std::string repeat(const std::string& piece, std::size_t times) {
    std::string out;
    while (times-- > 0) out += piece;
    return out;
}

// A dictionary of `value` under "WorkspacePath", padded with line feeds to `size` bytes.
std::string workspace(const std::string& value, std::size_t size = 0) {
    const std::string xml = "<plist><dict><key>WorkspacePath</key>" + value + "</dict></plist>";
    return xml + std::string(size > xml.size() ? size - xml.size() : 0, '\n');
}

std::string nested(std::size_t depth) { return "<plist>" + repeat("<array>", depth) + repeat("</array>", depth) + "</plist>"; }

// The reader's own error, and the metadata's.
const std::string unreadable = outcome("WorkspacePath=/a/B.xcodeproj"), kept = describe(SafetyError::skip(text::missingWorkspace));
} // namespace

TEST(BuildMetadata, AnswersEachListByTheMetadataRulesWithinTheReadersLimits) {
    const std::size_t limit = platform::maxPropertyListBytes, depth = platform::maxPropertyListDepth;
    const std::string project = "<string>/a/B.xcodeproj</string>";
    const std::pair<std::string, std::string> rows[] = {
        {workspace("<string>/Users/a/App.xcodeproj</string>"), "accepted"}, {workspace(project, limit), "accepted"},
        {workspace("<string>/w/W.xcworkspace/</string>"), "accepted"}, {workspace("<string>App.xcodeproj</string>"), kept},
        {workspace("<string>~/App.xcodeproj</string>"), kept}, {workspace("<string>/a/App.XCODEPROJ</string>"), kept},
        {workspace("<string>/a/App.xcodeproj.bak</string>"), kept}, {workspace("<string>/a/xcodeproj</string>"), kept},
        {workspace("<string></string>"), kept}, {workspace("<integer>1</integer>"), kept},
        {"<plist><dict><key>workspacePath</key>" + project + "</dict></plist>", kept},
        {"<plist><array>" + project + "</array></plist>", kept}, {nested(depth), kept}, {nested(depth + 1), unreadable},
        {nested((limit - 15) / 15), unreadable}, {"<plist>" + repeat("<array>", (limit - 7) / 7), unreadable}, // as deep as fits
        {workspace(project, limit + 1), unreadable}, {workspace(project).substr(0, 60), unreadable},
        {std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), unreadable},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) EXPECT_EQ(outcome(rows[i].first), rows[i].second) << "row " << i;
}

// Every committed input of the metadata fuzz target. A name's first word is the answer it must get; any other
// name (a find of the fuzzer) may get any answer. A crash or a hang fails the test program.
TEST(BuildMetadata, AnswersEveryInputOfTheFuzzCorpusWithinTheRules) {
    for (const auto& entry : std::filesystem::directory_iterator(QUILLON_METADATA_CORPUS)) {
        const std::string name = entry.path().filename(), answer = outcome(quillon::testing::readFile(entry.path()));
        const std::string word = name.substr(0, name.find('-'));
        const std::string expected = word == "kept" ? kept : word == "unreadable" ? unreadable : "accepted";
        if (word == "accepted" || word == "kept" || word == "unreadable") EXPECT_EQ(answer, expected) << name;
        else EXPECT_TRUE(answer == "accepted" || answer == kept || answer == unreadable) << name << ": " << answer;
    }
}
