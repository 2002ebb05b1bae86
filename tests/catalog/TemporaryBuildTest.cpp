#include "catalog/TemporaryBuild.h"
#include "core/Errors.h"
#include "core/StartupValues.h"
#include "core/Texts.h"
#include "platform/PropertyList.h"
#include "tests/support/Fixture.h"
#include "tests/support/Processes.h"
#include <gtest/gtest.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillon;
namespace t = quillon::testing;

namespace {
std::string metadataFor(const std::string& workspace, std::size_t size = 0) {
    std::string bytes = "<plist><dict><key>WorkspacePath</key><string>" + workspace + "</string></dict></plist>";
    return bytes + std::string(size > bytes.size() ? size - bytes.size() : 0, ' ');
}

// Makes the folder `path` holding only a metadata file of `metadata`.
void makeBuild(const std::string& path, const std::string& metadata = metadataFor("/Users/d/App.xcodeproj")) {
    t::makeDirectory(path);
    t::writeFile(path + "/info.plist", metadata);
}

// What validateTemporaryBuildRoot gives: "valid", or the error described.
std::string validation(const std::string& path) try {
    validateTemporaryBuildRoot(path);
    return "valid";
} catch (...) {
    return describe(std::current_exception());
}

std::string skip(const std::string& reason) { return describe(SafetyError::skip(reason)); }
} // namespace

TEST(TemporaryBuildValidation, AcceptsOnlyAFolderOfBuildEntriesWithPrivateWellFormedMetadata) {
    using Make = std::function<void(const std::string&)>;
    const auto with = [](const std::string& metadata) -> Make { return [=](auto& p) { makeBuild(p, metadata); }; };
    const auto plus = [](const std::string& entry) -> Make { return [=](auto& p) { makeBuild(p); t::makeDirectory(p + entry); }; };
    std::string reader = "read"; // the reader's own error, passed on unchanged
    try { platform::PropertyList::parse("garbage"); } catch (...) { reader = describe(std::current_exception()); }
    const std::string unknown = skip(text::unrecognizedBuildContents), notPrivate = skip(text::buildMetadataNotPrivate);
    const std::string open = text::cannotOpenComponent;
    const std::vector<std::tuple<const char*, Make, std::string>> rows = {
        {"only metadata", with(metadataFor("/no/such/W.xcworkspace")), "valid"},
        {"every cache", [](auto& p) { makeBuild(p); for (auto c : temporaryBuildCaches) t::makeDirectory(p + "/" + std::string(c)); }, "valid"},
        {"1 MiB of metadata", with(metadataFor("/a/B.xcodeproj", 1048576)), "valid"},
        {"hidden entry", plus("/.DS_Store"), unknown},
        {"cache that belongs in Build", plus("/Intermediates.noindex"), unknown},
        {"no metadata", [](auto& p) { t::makeDirectory(p + "/Build"); }, unknown},
        {"metadata link", [](auto& p) { makeBuild(p + "2"); t::makeDirectory(p); t::makeSymlink(p + "2/info.plist", p + "/info.plist"); },
         skip(text::cannotReadBuildMetadata)},
        {"hard-linked metadata", [](auto& p) { makeBuild(p); t::makeHardLink(p + "/info.plist", p + "2"); }, notPrivate},
        {"empty metadata", with(""), notPrivate},
        {"metadata over 1 MiB", with(metadataFor("/a/B.xcodeproj", 1048577)), notPrivate},
        {"FIFO", [](auto& p) { t::makeDirectory(p); mkfifo((p + "/info.plist").c_str(), 0600); }, notPrivate},
        {"folder as metadata", [](auto& p) { t::makeDirectory(p + "/info.plist"); }, notPrivate},
        {"relative workspace", with(metadataFor("App/App.xcodeproj")), skip(text::missingWorkspace)},
        {"not a property list", with("garbage"), reader},
        {"link to a build", [](auto& p) { makeBuild(p + "2"); t::makeSymlink(p + "2", p); }, skip(open + "B: Not a directory")},
        {"missing folder", [](auto&) {}, skip(open + "B: No such file or directory")},
    };
    const int descriptors = t::openDescriptorCount();
    for (const auto& [what, make, expected] : rows) {
        const std::string path = t::freshDirectory() + "/B";
        make(path);
        EXPECT_EQ(validation(path), expected) << what;
    }
    EXPECT_EQ(validation("relative/B"), skip(text::invalidPath));
    EXPECT_EQ(t::openDescriptorCount(), descriptors);
}

// Made while root where this runs as root, so that the folder or its metadata is root's.
TEST(TemporaryBuildValidation, RefusesWhatTheUserDoesNotOwnOrCannotRead) {
    const std::string dir = t::freshDirectory(), unreadable = skip(text::cannotReadBuildMetadata);
    const std::string outcome = t::asUserOfItsOwn(
        [&](uid_t uid) {
            for (const char* name : {"/unreadable", "/theirs", "/their-metadata"}) makeBuild(dir + name);
            for (const char* path : {"/their-metadata", "/unreadable", "/unreadable/info.plist"})
                if (chown((dir + path).c_str(), uid, uid) != 0) _exit(1);
            chmod((dir + "/unreadable/info.plist").c_str(), 0200);
        },
        [&] { return validation(dir + "/unreadable") + "|" + validation(dir + "/theirs") + "|" + validation(dir + "/their-metadata"); });
    EXPECT_EQ(outcome.substr(0, outcome.find('|')), unreadable);
    if (geteuid() != 0) GTEST_SKIP() << "only root can make a folder of another owner";
    EXPECT_EQ(outcome, unreadable + "|" + skip(text::buildNotOwned) + "|" + skip(text::buildMetadataNotPrivate));
}

TEST(TemporaryBuildCandidates, GiveTheCachesOfEachValidFolderInNameOrder) {
    const std::string root = t::freshDirectory();
    for (const char* name : {"b", "C", "no-build/x", "a"}) makeBuild(root + "/" + name);
    const std::vector<Candidate> rows = temporaryBuildCandidates(root);
    const std::size_t caches = temporaryBuildCaches.size();
    ASSERT_EQ(rows.size(), 3 * caches);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::string build = root + "/" + "Cab"[i / caches];
        EXPECT_EQ(rows[i], Candidate(build + "/" + std::string(temporaryBuildCaches[i % caches]), 7 * day, "Development",
                                     ScanMode::oldChildren, std::nullopt, build));
    }
    for (const std::string& nothing : {std::string(), root + "/missing", root + "/a/info.plist", std::string("rel")})
        EXPECT_TRUE(temporaryBuildCandidates(nothing).empty()) << nothing;
}
