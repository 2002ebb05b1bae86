// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

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
// The answer to `bytes` ("accepted" or the error described), asked on a thread of 512 KiB: none may need more stack.
std::string outcome(const std::string& bytes) {
    std::pair<const std::string&, std::string> reading{bytes, "no thread"};
    const auto ask = [](void* argument) -> void* {
        auto& [input, answer] = *static_cast<decltype(reading)*>(argument);
        try { checkBuildMetadata(input); answer = "accepted"; }
        catch (...) { answer = describe(std::current_exception()); }
        return nullptr;
    };
    pthread_attr_t attributes; pthread_t thread;
    if (pthread_attr_init(&attributes) == 0 && pthread_attr_setstacksize(&attributes, 512 * 1024) == 0 &&
        pthread_create(&thread, &attributes, ask, &reading) == 0)
        pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
    return reading.second;
}
// A list of arrays nested `depth` deep, left open unless `closed`.
std::string nested(std::size_t depth, bool closed = true) {
    std::string xml = "<plist>", tail;
    for (std::size_t i = 0; i < depth; ++i) { xml += "<array>"; if (closed) tail += "</array>"; }
    return xml + tail + (closed ? "</plist>" : "");
}
} // namespace

// The lists at the reader's limits, then every committed input of the metadata fuzz target: a name's first word is the
// answer it must get; any other name (a fuzzer's find, "") may get any. A crash or a hang fails the test program.
TEST(BuildMetadata, AnswersEachListByTheMetadataRulesWithinTheReadersLimits) {
    const std::size_t limit = platform::maxPropertyListBytes, depth = platform::maxPropertyListDepth;
    const std::string no = outcome("WorkspacePath=/a/B.xcodeproj"); // the reader's
    const std::string kept = describe(SafetyError::skip(text::missingWorkspace)); // the metadata's
    const std::string dict = "<plist><dict><key>WorkspacePath</key><string>/a/B.xcodeproj</string></dict></plist>";
    const auto padded = [&](std::size_t size) { return dict + std::string(size - dict.size(), '\n'); }; // line feeds
    std::vector<std::pair<std::string, std::string>> rows = {{padded(limit), "accepted"}, {padded(limit + 1), no},
        {nested(depth), kept}, {nested(depth + 1), no}, {nested((limit - 15) / 15), no},
        {nested((limit - 7) / 7, false), no}}; // the last two as deep as fits
    for (const auto& entry : std::filesystem::directory_iterator(QUILLON_METADATA_CORPUS)) {
        const std::string name = entry.path().filename(), word = name.substr(0, name.find('-'));
        const std::string expected = word == "kept" ? kept : word == "unreadable" ? no : word == "accepted" ? word : "";
        rows.emplace_back(quillon::testing::readFile(entry.path()), expected);
    }
    for (const auto& [bytes, expected] : rows) {
        const std::string answer = outcome(bytes);
        const bool any = expected.empty() && (answer == "accepted" || answer == kept || answer == no);
        EXPECT_TRUE(answer == expected || any) << bytes.substr(0, 80) << ": " << answer;
    }
}
