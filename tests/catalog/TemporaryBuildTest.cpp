#include "catalog/TemporaryBuild.h"
#include "core/Errors.h"
#include "core/StartupValues.h"
#include "core/Texts.h"
#include "platform/PropertyList.h"
#include "tests/support/Fixture.h"
#include "tests/support/OwnUser.h"

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

const std::string validMetadata = metadataFor("/Users/dev/App/App.xcodeproj");

// Makes the folder `path` holding only a metadata file of `metadata`.
void makeBuild(const std::string& path, const std::string& metadata = validMetadata) {
    t::makeDirectory(path);
    t::writeFile(path + "/info.plist", metadata);
}

// The outcome of validateTemporaryBuildRoot: "valid", the skip reason, or any other error's text.
std::string validation(const std::string& path) {
    try {
        validateTemporaryBuildRoot(path);
        return "valid";
    } catch (const SafetyError& error) {
        return error.reason();
    } catch (const std::exception& error) {
        return error.what();
    }
}

std::string readerError(const std::string& bytes) {
    try {
        platform::PropertyList::parse(bytes);
    } catch (const std::exception& error) {
        return error.what();
    }
    return "read";
}

} // namespace

TEST(TemporaryBuildValidation, AcceptsOnlyAnOwnFolderOfBuildEntriesWithPrivateWellFormedMetadata) {
    using Make = std::function<void(const std::string&)>;
    const auto withMetadata = [](const std::string& metadata) -> Make { return [=](auto& p) { makeBuild(p, metadata); }; };
    const auto plus = [](const std::string& entry, bool folder) -> Make {
        return [=](auto& p) { makeBuild(p); folder ? t::makeDirectory(p + "/" + entry) : t::writeFile(p + "/" + entry, ""); };
    };
    const std::string notPrivate = text::buildMetadataNotPrivate, noProject = text::missingWorkspace;
    const std::vector<std::tuple<const char*, Make, std::string>> rows = {
        {"only metadata", withMetadata(validMetadata), "valid"},
        {"every cache", [](auto& p) { makeBuild(p); for (auto c : temporaryBuildCaches) t::makeDirectory(p + "/" + std::string(c)); }, "valid"},
        {"missing workspace", withMetadata(metadataFor("/no/such/W.xcworkspace")), "valid"},
        {"1 MiB of metadata", withMetadata(metadataFor("/a/B.xcodeproj", 1048576)), "valid"},
        {"hidden file", plus(".DS_Store", false), text::unrecognizedBuildContents},
        {"cache that belongs in Build", plus("Intermediates.noindex", true), text::unrecognizedBuildContents},
        {"no metadata", [](auto& p) { t::makeDirectory(p + "/Build"); }, text::unrecognizedBuildContents},
        {"metadata link", [](auto& p) { makeBuild(p + "-real"); t::makeDirectory(p); t::makeSymlink(p + "-real/info.plist", p + "/info.plist"); }, text::cannotReadBuildMetadata},
        {"hard-linked metadata", [](auto& p) { makeBuild(p); t::makeHardLink(p + "/info.plist", p + "-second"); }, notPrivate},
        {"empty metadata", withMetadata(""), notPrivate},
        {"metadata over 1 MiB", withMetadata(metadataFor("/a/B.xcodeproj", 1048577)), notPrivate},
        {"FIFO", [](auto& p) { t::makeDirectory(p); mkfifo((p + "/info.plist").c_str(), 0600); }, notPrivate},
        {"folder as metadata", [](auto& p) { t::makeDirectory(p + "/info.plist"); }, notPrivate},
        {"relative workspace", withMetadata(metadataFor("App/App.xcodeproj")), noProject},
        {"extension in capitals", withMetadata(metadataFor("/a/App.XcodeProj")), noProject},
        {"not a property list", withMetadata("garbage"), readerError("garbage")},
        {"link to a build", [](auto& p) { makeBuild(p + "-real"); t::makeSymlink(p + "-real", p); }, text::cannotOpenComponent + std::string("B: Not a directory")},
        {"missing folder", [](auto&) {}, text::cannotOpenComponent + std::string("B: No such file or directory")},
    };
    const int descriptors = t::openDescriptorCount();
    for (const auto& [what, make, expected] : rows) {
        const std::string path = t::freshDirectory() + "/B";
        make(path);
        EXPECT_EQ(validation(path), expected) << what;
    }
    EXPECT_EQ(validation("relative/B"), text::invalidPath);
    EXPECT_EQ(t::openDescriptorCount(), descriptors);
}

// Made while root where this runs as root, so the folder or the metadata is root's.
TEST(TemporaryBuildValidation, RefusesWhatTheUserDoesNotOwnOrCannotRead) {
    const std::string parent = t::freshDirectory();
    const std::string outcome = t::asUserOfItsOwn(
        [&](uid_t uid) {
            for (const char* name : {"/theirs", "/their-metadata", "/unreadable"}) makeBuild(parent + name);
            for (const char* path : {"/their-metadata", "/unreadable", "/unreadable/info.plist"})
                if (chown((parent + path).c_str(), uid, uid) != 0) _exit(1);
            chmod((parent + "/unreadable/info.plist").c_str(), 0200);
        },
        [&] { return validation(parent + "/unreadable") + "|" + validation(parent + "/theirs") + "|" + validation(parent + "/their-metadata"); });
    const std::string unreadable = text::cannotReadBuildMetadata;
    EXPECT_EQ(outcome.substr(0, outcome.find('|')), unreadable);
    if (geteuid() != 0) GTEST_SKIP() << "only root can make a folder of another owner";
    EXPECT_EQ(outcome, unreadable + "|" + text::buildNotOwned + "|" + text::buildMetadataNotPrivate);
}

TEST(TemporaryBuildCandidates, GiveTheCachesOfEachValidFolderInNameOrder) {
    const std::string root = t::freshDirectory();
    for (const char* name : {"b", "C", "a"}) makeBuild(root + "/" + name);
    t::makeDirectory(root + "/junk");
    makeBuild(root + "/broken", "garbage");
    const std::vector<Candidate> rows = temporaryBuildCandidates(root);
    const std::size_t caches = temporaryBuildCaches.size();
    ASSERT_EQ(rows.size(), 3 * caches);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::string build = root + "/" + "Cab"[i / caches];
        EXPECT_EQ(rows[i], Candidate(build + "/" + std::string(temporaryBuildCaches[i % caches]), 7 * day,
                                     "Development", ScanMode::oldChildren, std::nullopt, build));
    }
    for (const std::string& nothing : {std::string(), root + "/missing", root + "/a/info.plist", std::string("rel")})
        EXPECT_TRUE(temporaryBuildCandidates(nothing).empty()) << nothing;
}
