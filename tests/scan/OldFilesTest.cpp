#include "scan/OldFiles.h"

#include "core/Errors.h"
#include "core/Texts.h"
#include "tests/scan/ScanFixture.h"

#include <cstdio>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quillon;
namespace t = quillon::testing;

namespace {

struct Scanned {
    std::vector<std::string> paths;
    ScanStats stats;
};

Scanned scan(const std::string& dir, std::optional<std::string> pattern = std::nullopt, bool recursive = true,
             double cutoff = t::future()) {
    platform::Descriptor fd = openDirectory(dir);
    Scanned result;
    result.paths = t::plannedPaths(oldFiles(fd.get(), dir, cutoff, t::deviceOf(dir), pattern, result.stats, nullptr, recursive));
    return result;
}

} // namespace

TEST(OldFiles, PlansFilesDepthFirstInSortedOrderWithTheirParentPaths) {
    const std::string dir = t::freshDirectory("scan");
    t::makeDirectory(dir + "/b/deeper");
    t::writeFile(dir + "/c.log", "c");
    t::writeFile(dir + "/a.log", "a");
    t::writeFile(dir + "/b/deeper/x.log", "x");
    t::writeFile(dir + "/b/m.log", "m");
    const Scanned s = scan(dir);
    EXPECT_EQ(s.paths, (std::vector<std::string>{dir + "/a.log", dir + "/b/deeper/x.log", dir + "/b/m.log", dir + "/c.log"}));
    EXPECT_EQ(s.stats.files, 4);
    EXPECT_EQ(s.stats.kept, 0);
}

TEST(OldFiles, NamesThatAreNotUtf8AreKeptAndNeverLookedUpByTheirDecodedText) {
    // "\xff" decodes to U+FFFD, the very name of the second folder: a look-up
    // by the decoded text would scan that folder twice and the first never.
    const std::string dir = t::freshDirectory("scan");
    for (const char* folder : {"/\xff", "/\xEF\xBF\xBD"}) {
        t::makeDirectory(dir + folder);
        t::writeFile(dir + folder + "/a.log", "a");
    }
    t::writeFile(dir + "/c.log", "c");
    const Scanned s = scan(dir);
    EXPECT_EQ(s.paths, std::vector<std::string>{dir + "/c.log"});
    EXPECT_EQ(s.stats.files, 1);
    EXPECT_EQ(s.stats.kept, 2);
}

TEST(OldFiles, DirectoriesAreNeverPlannedEvenWhenEmptyAndOld) {
    const std::string dir = t::freshDirectory("scan");
    t::makeDirectory(dir + "/empty");
    const Scanned s = scan(dir);
    EXPECT_TRUE(s.paths.empty());
    EXPECT_EQ(s.stats.files, 0);
    EXPECT_EQ(s.stats.kept, 0);
}

TEST(OldFiles, TopLevelScanPassesOverSubdirectoriesUncounted) {
    const std::string dir = t::freshDirectory("scan");
    t::makeDirectory(dir + "/sub");
    t::writeFile(dir + "/sub/old.log", "x");
    const Scanned s = scan(dir, std::nullopt, false);
    EXPECT_TRUE(s.paths.empty());
    EXPECT_EQ(s.stats.files, 0);
    EXPECT_EQ(s.stats.kept, 0);
}

TEST(OldFiles, NonMatchingFileCountsOnceInFilesAndOnceInKept) {
    const std::string dir = t::freshDirectory("scan");
    t::writeFile(dir + "/important.txt", "x");
    t::writeFile(dir + "/old.log", "x");
    const Scanned s = scan(dir, std::string("\\.log$"));
    EXPECT_EQ(s.paths, std::vector<std::string>{dir + "/old.log"});
    EXPECT_EQ(s.stats.files, 2);
    EXPECT_EQ(s.stats.kept, 1);
}

TEST(OldFiles, RecentMatchingFileIsCountedAndKept) {
    const std::string dir = t::freshDirectory("scan");
    t::writeFile(dir + "/new.log", "x");
    t::makeRecent(dir + "/new.log");
    const Scanned s = scan(dir, std::string("\\.log$"));
    EXPECT_TRUE(s.paths.empty());
    EXPECT_EQ(s.stats.files, 1);
    EXPECT_EQ(s.stats.kept, 1);
}

TEST(OldFiles, LinksSocketsAndPipesAreKeptNeverCountedAsFiles) {
    const std::string dir = t::freshDirectory("scan");
    const std::string outside = t::freshDirectory("outside");
    t::writeFile(outside + "/victim.log", "x");
    t::makeSymlink(outside + "/victim.log", dir + "/link.log");
    t::makeSymlink(outside, dir + "/dirlink");
    ASSERT_EQ(mkfifo((dir + "/pipe.log").c_str(), 0600), 0);
    const int sock = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = dir + "/sock.log";
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    socketPath.copy(address.sun_path, socketPath.size());
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(sock);
    const Scanned s = scan(dir, std::string("\\.log$"));
    EXPECT_TRUE(s.paths.empty());
    EXPECT_EQ(s.stats.files, 0);
    EXPECT_EQ(s.stats.kept, 4);
    EXPECT_TRUE(t::exists(outside + "/victim.log"));
}

TEST(OldFiles, HardLinkedFileIsCountedAndKept) {
    const std::string dir = t::freshDirectory("scan");
    t::writeFile(dir + "/linked.log", "x");
    t::makeHardLink(dir + "/linked.log", t::freshDirectory("elsewhere") + "/second");
    const Scanned s = scan(dir);
    EXPECT_TRUE(s.paths.empty());
    EXPECT_EQ(s.stats.files, 1);
    EXPECT_EQ(s.stats.kept, 1);
}

TEST(OldFiles, ForeignFileIsKeptBeforeItIsCountedAsAFile) {
    unsigned uid = 0, gid = 0;
    if (!t::unprivilegedAccount(uid, gid)) GTEST_SKIP() << "no unprivileged account";
    if (geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
    const std::string dir = t::freshDirectory("scan");
    t::writeFile(dir + "/foreign.log", "x");
    ASSERT_EQ(chown((dir + "/foreign.log").c_str(), uid, gid), 0);
    const Scanned s = scan(dir);
    EXPECT_TRUE(s.paths.empty());
    EXPECT_EQ(s.stats.files, 0);
    EXPECT_EQ(s.stats.kept, 1);
}

TEST(OldFiles, EntriesOnAnotherDeviceAreKeptAndNeverEntered) {
    const std::string dir = t::freshDirectory("scan");
    t::makeDirectory(dir + "/mounted");
    const t::ScopedTmpfs other(dir + "/mounted");
    if (!other.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
    t::writeFile(dir + "/mounted/old.log", "x");
    const Scanned s = scan(dir);
    EXPECT_TRUE(s.paths.empty());
    EXPECT_EQ(s.stats.files, 0); // the folder on the other device was not entered
    EXPECT_EQ(s.stats.kept, 1);
}

TEST(OldFiles, CaseInsensitiveCataloguePatternIsHonoured) {
    const std::string dir = t::freshDirectory("scan");
    for (const char* name : {"a.LOG", "b.log.3.gz", "c.logs"}) t::writeFile(dir + "/" + name, "x");
    const Scanned s = scan(dir, std::string("(?i)\\.log(?:\\.[0-9]+)?(?:\\.gz)?$"));
    EXPECT_EQ(s.paths, (std::vector<std::string>{dir + "/a.LOG", dir + "/b.log.3.gz"}));
}

TEST(OldFiles, InvalidPatternRefusesTheWholeScan) {
    const std::string dir = t::freshDirectory("scan");
    t::writeFile(dir + "/a.log", "x");
    try {
        scan(dir, std::string("(unclosed"));
        FAIL() << "an invalid pattern must not be guessed at";
    } catch (const SafetyError& error) {
        EXPECT_EQ(error.reason(), text::invalidPattern);
    }
}

TEST(OldFiles, UnopenableSubdirectoryIsKeptAndTheScanGoesOn) {
    unsigned uid = 0, gid = 0;
    if (!t::unprivilegedAccount(uid, gid) || geteuid() != 0) GTEST_SKIP() << "needs root and a second account";
    const std::string dir = t::freshDirectory("scan");
    t::makeDirectory(dir + "/locked");
    t::writeFile(dir + "/locked/inside.log", "x");
    t::writeFile(dir + "/top.log", "x");
    for (const char* path : {"", "/locked", "/locked/inside.log", "/top.log"})
        ASSERT_EQ(chown((dir + path).c_str(), uid, gid), 0);
    ASSERT_EQ(chmod((dir + "/locked").c_str(), 0), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The permission refusal only exists for an ordinary user.
        if (setresgid(gid, gid, gid) != 0 || setresuid(uid, uid, uid) != 0) _exit(10);
        try {
            const Scanned s = scan(dir);
            const bool ok = s.paths == std::vector<std::string>{dir + "/top.log"} && s.stats.files == 1 &&
                            s.stats.kept == 1;
            _exit(ok ? 0 : 11);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "unexpected: %s\n", error.what());
            _exit(12);
        }
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
