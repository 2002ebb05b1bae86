// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "catalog/TemporaryBuild.h"
#include "core/Errors.h"
#include "core/StartupValues.h"
#include "core/Texts.h"
#include "platform/PropertyList.h"
#include "tests/support/Fixture.h"
#include "tests/support/Processes.h"
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillon;
namespace t = quillon::testing;

namespace {
// Metadata naming `workspace`, padded with blanks to `size` bytes.
std::string metadataFor(const std::string& workspace, std::size_t size = 0) {
    std::string bytes = "<plist><dict><key>WorkspacePath</key><string>" + workspace + "</string></dict></plist>";
    return bytes + std::string(size > bytes.size() ? size - bytes.size() : 0, ' ');
}
const std::string app = metadataFor("/Users/d/App.xcodeproj");
// Makes the folder `dir` with the folder `entry` and metadata `metadata` (each when given); returns the metadata path.
std::string makeBuild(const std::string& dir, std::optional<std::string> metadata = app, std::string_view entry = {}) {
    t::makeDirectories((dir + "/").append(entry));
    if (metadata) t::writeFile(dir + "/info.plist", *metadata);
    return dir + "/info.plist";
}
// What validateTemporaryBuildRoot gives: "valid", or the error described.
std::string validation(const std::string& path) try { validateTemporaryBuildRoot(path); return "valid"; }
catch (...) { return describe(std::current_exception()); }
std::string skip(const std::string& reason) { return describe(SafetyError::skip(reason)); }
} // namespace

// A folder gives rows (one per cache) exactly when it passes.
TEST(TemporaryBuildValidation, AcceptsOnlyAFolderOfBuildEntriesWithPrivateWellFormedMetadata) {
    using Make = std::function<void(const std::string&)>;
    const auto with = [](const std::string& metadata) -> Make { return [=](auto& p) { makeBuild(p, metadata); }; };
    std::string reader = "read"; // the reader's own error, passed on unchanged
    try { platform::PropertyList::parse("garbage"); } catch (...) { reader = describe(std::current_exception()); }
    const std::string unknown = skip(text::unrecognizedBuildContents), notPrivate = skip(text::buildMetadataNotPrivate);
    const std::string open = text::cannotOpenComponent, mib = metadataFor("/a/B.xcodeproj", 1048576);
    const std::vector<std::tuple<const char*, Make, std::string>> rows = {
        {"only metadata", with(metadataFor("/no/such/W.xcworkspace")), "valid"},
        {"all caches", [](auto& p) { for (auto c : temporaryBuildCaches) makeBuild(p, app, c); }, "valid"},
        {"1 MiB of metadata", with(mib), "valid"},
        {"hidden entry", [](auto& p) { makeBuild(p, app, ".DS_Store"); }, unknown},
        {"cache that belongs in Build", [](auto& p) { makeBuild(p, app, "Intermediates.noindex"); }, unknown},
        {"no metadata", [](auto& p) { makeBuild(p, {}, "Build"); }, unknown},
        {"metadata link", [](auto& p) { t::makeSymbolicLink(makeBuild(t::freshDirectory() + "/B"), makeBuild(p, {})); },
         skip(text::cannotReadBuildMetadata)},
        {"hard-linked metadata", [](auto& p) { t::makeHardLink(makeBuild(p), p + "2"); }, notPrivate},
        {"empty metadata", with(""), notPrivate},
        {"metadata over 1 MiB", with(mib + " "), notPrivate},
        {"FIFO", [](auto& p) { mkfifo(makeBuild(p, {}).c_str(), 0600); }, notPrivate},
        {"folder as metadata", [](auto& p) { t::makeDirectories(makeBuild(p, {})); }, notPrivate},
        {"relative workspace", with(metadataFor("App/App.xcodeproj")), skip(text::missingWorkspace)},
        {"not a property list", with("garbage"), reader},
        {"link to a folder", [](auto& p) { t::makeSymbolicLink(".", p); }, skip(open + "B: Not a directory")},
        {"missing folder", [](auto&) {}, skip(open + "B: No such file or directory")},
    };
    for (const auto& [what, make, expected] : rows) {
        const std::string parent = t::freshDirectory(), path = parent + "/B";
        make(path);
        EXPECT_EQ(validation(path), expected) << what;
        EXPECT_EQ(temporaryBuildCandidates(parent).size(), (expected == "valid") * temporaryBuildCaches.size()) << what;
    }
    EXPECT_EQ(validation("relative/B"), skip(text::invalidPath));
    for (const std::string& root : {std::string("relative"), t::fixtureRoot() + "/missing"}) // no rows, no error
        EXPECT_TRUE(temporaryBuildCandidates(root).empty()) << root;
}

// Made while root where this runs as root, so that the folder or its metadata is root's.
TEST(TemporaryBuildValidation, RefusesWhatTheUserDoesNotOwnOrCannotRead) {
    const std::string dir = t::freshDirectory(), unreadable = skip(text::cannotReadBuildMetadata);
    const std::string outcome = t::asUserOfItsOwn(
        [&](uid_t uid) { // unreadable metadata, a folder of root's, and metadata of root's
            for (const char* name : {"/u", "/r", "/m"}) makeBuild(dir + name);
            for (const char* path : {"/m", "/u", "/u/info.plist"}) if (chown((dir + path).c_str(), uid, uid)) _exit(1);
            chmod((dir + "/u/info.plist").c_str(), 0200);
        },
        [&] { return validation(dir + "/u") + "|" + validation(dir + "/r") + "|" + validation(dir + "/m"); });
    EXPECT_EQ(outcome.substr(0, outcome.find('|')), unreadable);
    if (geteuid() != 0) GTEST_SKIP() << "only root can make a folder of another owner";
    EXPECT_EQ(outcome, unreadable + "|" + skip(text::buildNotOwned) + "|" + skip(text::buildMetadataNotPrivate));
}
