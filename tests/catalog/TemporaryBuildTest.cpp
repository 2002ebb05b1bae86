#include "catalog/TemporaryBuild.h"
#include "core/Errors.h"
#include "core/StartupValues.h"
#include "core/Texts.h"
#include "platform/PlatformError.h"
#include "tests/support/Fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quillon;
namespace t = quillon::testing;

namespace {

std::string metadataFor(const std::string& workspace) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
           "\t<key>WorkspacePath</key>\n\t<string>" +
           workspace + "</string>\n</dict>\n</plist>\n";
}

const std::string validMetadata = metadataFor("/Users/dev/App/App.xcodeproj");

// Makes `parent`/`name` holding only a metadata file with `metadata`.
std::string makeBuildDirectory(const std::string& parent, const std::string& name,
                               const std::string& metadata = validMetadata) {
    const std::string path = parent + "/" + name;
    t::makeDirectory(path);
    t::writeFile(path + "/info.plist", metadata);
    return path;
}

// The outcome of validateTemporaryBuildRoot: "valid", the skip reason, or
// the description of any other error.
std::string validation(const std::string& path) {
    try {
        validateTemporaryBuildRoot(path);
        return "valid";
    } catch (const SafetyError& error) {
        return error.reason();
    } catch (const std::exception& error) {
        return std::string("other: ") + error.what();
    }
}

// Metadata of exactly `size` bytes: a valid list padded with spaces.
std::string metadataOfSize(std::size_t size) {
    std::string bytes = validMetadata;
    bytes.append(size - bytes.size(), ' ');
    return bytes;
}

} // namespace

TEST(TemporaryBuildValidation, AcceptsADirectoryHoldingOnlyItsMetadata) {
    EXPECT_EQ(validation(makeBuildDirectory(t::freshDirectory(), "B")), "valid");
}

TEST(TemporaryBuildValidation, AcceptsEveryKnownBuildEntry) {
    const std::string build = makeBuildDirectory(t::freshDirectory(), "B");
    for (const char* name : {"SDKStatCaches.noindex", "SDKExplicitPrecompiledModules", "SymbolCache.noindex",
                             "ModuleCache.noindex", "CompilationCache.noindex", "Index.noindex", "Build", "Logs",
                             "SourcePackages", "SymbolCache", "TextIndex"})
        t::makeDirectory(build + "/" + name);
    EXPECT_EQ(validation(build), "valid");
}

TEST(TemporaryBuildValidation, AcceptsAnAbsoluteWorkspaceThatDoesNotExist) {
    const std::string build =
        makeBuildDirectory(t::freshDirectory(), "B", metadataFor("/no/such/place/Work.xcworkspace"));
    EXPECT_EQ(validation(build), "valid");
}

TEST(TemporaryBuildValidation, RefusesUnknownOrHiddenTopLevelEntries) {
    const std::string parent = t::freshDirectory();
    const std::string hidden = makeBuildDirectory(parent, "hidden");
    t::writeFile(hidden + "/.DS_Store", "x");
    EXPECT_EQ(validation(hidden), text::unrecognizedBuildContents);

    const std::string nested = makeBuildDirectory(parent, "nested");
    t::makeDirectory(nested + "/Intermediates.noindex"); // belongs inside Build only
    EXPECT_EQ(validation(nested), text::unrecognizedBuildContents);

    const std::string other = makeBuildDirectory(parent, "other");
    t::writeFile(other + "/notes.txt", "x");
    EXPECT_EQ(validation(other), text::unrecognizedBuildContents);
}

TEST(TemporaryBuildValidation, RefusesADirectoryWithoutMetadata) {
    const std::string build = t::freshDirectory() + "/B";
    t::makeDirectory(build + "/Build");
    EXPECT_EQ(validation(build), text::unrecognizedBuildContents);
    EXPECT_EQ(validation(t::freshDirectory()), text::unrecognizedBuildContents);
}

TEST(TemporaryBuildValidation, RefusesMetadataThatIsASymbolicLink) {
    const std::string parent = t::freshDirectory();
    t::writeFile(parent + "/real.plist", validMetadata);
    const std::string build = parent + "/B";
    t::makeDirectory(build);
    t::makeSymlink(parent + "/real.plist", build + "/info.plist");
    EXPECT_EQ(validation(build), text::cannotReadBuildMetadata);
}

TEST(TemporaryBuildValidation, RefusesHardLinkedMetadata) {
    const std::string parent = t::freshDirectory();
    const std::string build = makeBuildDirectory(parent, "B");
    t::makeHardLink(build + "/info.plist", parent + "/second-name.plist");
    EXPECT_EQ(validation(build), text::buildMetadataNotPrivate);
}

TEST(TemporaryBuildValidation, RefusesEmptyAndOversizedMetadataButNotExactlyOneMebibyte) {
    const std::string parent = t::freshDirectory();
    EXPECT_EQ(validation(makeBuildDirectory(parent, "empty", "")), text::buildMetadataNotPrivate);
    EXPECT_EQ(validation(makeBuildDirectory(parent, "over", metadataOfSize(1048577))), text::buildMetadataNotPrivate);
    EXPECT_EQ(validation(makeBuildDirectory(parent, "exact", metadataOfSize(1048576))), "valid");
}

TEST(TemporaryBuildValidation, RefusesAFifoWithoutBlocking) {
    const std::string build = t::freshDirectory() + "/B";
    t::makeDirectory(build);
    ASSERT_EQ(mkfifo((build + "/info.plist").c_str(), 0600), 0);
    EXPECT_EQ(validation(build), text::buildMetadataNotPrivate);
}

TEST(TemporaryBuildValidation, RefusesADeviceNode) {
    const std::string build = t::freshDirectory() + "/B";
    t::makeDirectory(build);
    if (mknod((build + "/info.plist").c_str(), S_IFCHR | 0600, makedev(1, 3)) != 0)
        GTEST_SKIP() << "cannot make a device node here";
    EXPECT_EQ(validation(build), text::buildMetadataNotPrivate);
}

TEST(TemporaryBuildValidation, RefusesADirectoryNamedLikeTheMetadata) {
    const std::string build = t::freshDirectory() + "/B";
    t::makeDirectory(build + "/info.plist");
    EXPECT_EQ(validation(build), text::buildMetadataNotPrivate);
}

TEST(TemporaryBuildValidation, RefusesMetadataOfWrongWorkspaceWithItsReason) {
    const std::string parent = t::freshDirectory();
    EXPECT_EQ(validation(makeBuildDirectory(parent, "relative", metadataFor("App/App.xcodeproj"))), text::missingWorkspace);
    EXPECT_EQ(validation(makeBuildDirectory(parent, "cased", metadataFor("/a/App.XcodeProj"))), text::missingWorkspace);
    const std::string number = "<plist><dict><key>WorkspacePath</key><integer>7</integer></dict></plist>";
    EXPECT_EQ(validation(makeBuildDirectory(parent, "number", number)), text::missingWorkspace);
}

TEST(TemporaryBuildValidation, PassesOnTheReadersErrorForMetadataThatIsNotAPropertyList) {
    const std::string build = makeBuildDirectory(t::freshDirectory(), "B", "not a property list at all");
    EXPECT_EQ(validation(build),
              "other: The data couldn\u2019t be read because it isn\u2019t in the correct format.");
    EXPECT_THROW(validateTemporaryBuildRoot(build), platform::PlatformError);
}

TEST(TemporaryBuildValidation, RefusesGarbageAndHostileMetadataWithoutCrashing) {
    const std::string parent = t::freshDirectory();
    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage.push_back(static_cast<char>((i * 7919) & 0xFF));
    std::string deep = "<plist>";
    for (int i = 0; i < 60000; ++i) deep += "<array>";
    const std::string reader = "other: The data couldn\u2019t be read because it isn\u2019t in the correct format.";
    EXPECT_EQ(validation(makeBuildDirectory(parent, "garbage", garbage)), reader);
    EXPECT_EQ(validation(makeBuildDirectory(parent, "deep", deep)), reader);
    EXPECT_EQ(validation(makeBuildDirectory(parent, "binary", "bplist00" + garbage)), reader);
}

TEST(TemporaryBuildValidation, PassesOnTheErrorOfOpeningTheDirectory) {
    const std::string parent = t::freshDirectory();
    const std::string build = makeBuildDirectory(parent, "B");
    t::makeSymlink(build, parent + "/link");
    EXPECT_EQ(validation(parent + "/link"), text::cannotOpenComponent + std::string("link: Not a directory"));
    EXPECT_EQ(validation(parent + "/missing"), text::cannotOpenComponent + std::string("missing: No such file or directory"));
    EXPECT_EQ(validation("relative/B"), text::invalidPath);
}

TEST(TemporaryBuildOwnership, RefusesADirectoryOfAnotherUser) {
    unsigned uid = 0, gid = 0;
    if (!t::unprivilegedAccount(uid, gid)) GTEST_SKIP() << "no unprivileged account";
    if (geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
    const std::string build = makeBuildDirectory(t::freshDirectory(), "B");
    ASSERT_EQ(chown(build.c_str(), uid, gid), 0);
    EXPECT_EQ(validation(build), text::buildNotOwned);
}

TEST(TemporaryBuildOwnership, RefusesMetadataOfAnotherUser) {
    unsigned uid = 0, gid = 0;
    if (!t::unprivilegedAccount(uid, gid)) GTEST_SKIP() << "no unprivileged account";
    if (geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
    const std::string build = makeBuildDirectory(t::freshDirectory(), "B");
    ASSERT_EQ(chown((build + "/info.plist").c_str(), uid, gid), 0);
    EXPECT_EQ(validation(build), text::buildMetadataNotPrivate);
}

TEST(TemporaryBuildOwnership, RefusesUnreadableMetadataForAnUnprivilegedUser) {
    unsigned uid = 0, gid = 0;
    if (!t::unprivilegedAccount(uid, gid)) GTEST_SKIP() << "no unprivileged account";
    if (getuid() != 0) GTEST_SKIP() << "needs root to become another user";
    const std::string build = makeBuildDirectory(t::freshDirectory(), "B");
    ASSERT_EQ(chown(build.c_str(), uid, gid), 0);
    ASSERT_EQ(chown((build + "/info.plist").c_str(), uid, gid), 0);
    ASSERT_EQ(chmod((build + "/info.plist").c_str(), 0200), 0);
    // The fixture root is private to root; the other user must be able to
    // open it (directories are opened for reading, one component at a time).
    struct stat root {};
    ASSERT_EQ(stat(t::fixtureRoot().c_str(), &root), 0);
    ASSERT_EQ(chmod(t::fixtureRoot().c_str(), 0755), 0);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgroups(0, nullptr) != 0 || setresgid(gid, gid, gid) != 0 || setresuid(uid, uid, uid) != 0) _exit(3);
        const std::string outcome = validation(build);
        if (outcome == text::cannotReadBuildMetadata) _exit(0);
        std::fprintf(stderr, "unprivileged validation gave: %s\n", outcome.c_str());
        _exit(1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    chmod(t::fixtureRoot().c_str(), root.st_mode & 07777);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(TemporaryBuildValidation, LeavesNoDescriptorOpenOnAnyOutcome) {
    const std::string parent = t::freshDirectory();
    std::vector<std::string> cases = {makeBuildDirectory(parent, "valid"),
                                      makeBuildDirectory(parent, "empty", ""),
                                      makeBuildDirectory(parent, "garbage", "garbage"),
                                      makeBuildDirectory(parent, "relative", metadataFor("a.xcodeproj")),
                                      parent + "/missing"};
    const std::string extra = makeBuildDirectory(parent, "extra");
    t::writeFile(extra + "/junk", "");
    cases.push_back(extra);
    const int before = t::openDescriptorCount();
    for (const std::string& path : cases) validation(path);
    EXPECT_EQ(t::openDescriptorCount(), before);
}

TEST(TemporaryBuildCandidates, GivesSevenRowsForEachValidDirectoryOnly) {
    const std::string root = t::freshDirectory();
    makeBuildDirectory(root, "B");
    t::makeDirectory(root + "/junk");
    makeBuildDirectory(root, "broken", "garbage");
    const std::vector<Candidate> rows = temporaryBuildCandidates(root);
    ASSERT_EQ(rows.size(), 7u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].path, root + "/B/" + std::string(temporaryBuildCaches[i]));
        EXPECT_EQ(rows[i].age, 604800.0);
        EXPECT_EQ(rows[i].group, "Development");
        EXPECT_EQ(rows[i].mode, ScanMode::oldChildren);
        EXPECT_EQ(rows[i].pattern, std::nullopt);
        EXPECT_EQ(rows[i].temporaryBuildRoot, root + "/B");
    }
    EXPECT_EQ(rows.back().path, root + "/B/Build/Intermediates.noindex");
}

TEST(TemporaryBuildCandidates, FollowsTheSortedOrderOfNames) {
    const std::string root = t::freshDirectory();
    makeBuildDirectory(root, "b");
    makeBuildDirectory(root, "C");
    makeBuildDirectory(root, "a");
    const std::vector<Candidate> rows = temporaryBuildCandidates(root);
    ASSERT_EQ(rows.size(), 21u);
    EXPECT_EQ(rows[0].temporaryBuildRoot, root + "/C");
    EXPECT_EQ(rows[7].temporaryBuildRoot, root + "/a");
    EXPECT_EQ(rows[14].temporaryBuildRoot, root + "/b");
}

TEST(TemporaryBuildCandidates, GivesNothingForAnEmptyOrUnopenableRoot) {
    EXPECT_TRUE(temporaryBuildCandidates("").empty());
    EXPECT_TRUE(temporaryBuildCandidates(t::freshDirectory() + "/missing").empty());
    const std::string file = t::freshDirectory() + "/file";
    t::writeFile(file, "x");
    EXPECT_TRUE(temporaryBuildCandidates(file).empty());
    EXPECT_TRUE(temporaryBuildCandidates("relative").empty());
}
