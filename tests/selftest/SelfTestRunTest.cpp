// The built program's --self-test: on a sound build it prints the PASS line
// and nothing else, as root and as an ordinary user; when a check fails it
// reports that check with status 1; and it never leaves its fixture folder
// behind. Every run points HOME, TMPDIR and XDG_CACHE_HOME into this test's
// private fixture.

#include "core/Texts.h"
#include "tests/support/Fixture.h"
#include "tests/support/RunningProgram.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace t = quillon::testing;

namespace {

// The places one run is given, and what it left in its temporary folder.
struct Places {
    std::string base, home, temp, cache;

    explicit Places(const std::string& homeName = "home") : base(t::freshDirectory("selftest")) {
        home = base + "/" + homeName;
        temp = base + "/tmp";
        cache = base + "/cache";
        for (const std::string* folder : {&home, &temp, &cache}) {
            t::makeDirectory(*folder);
            chmod(folder->c_str(), 0700);
        }
        // Dated far back, so that any entry made or removed there shows.
        t::setModificationTime(temp, 946684800);
    }

    std::vector<std::string> environment() const {
        return {"HOME=" + home, "TMPDIR=" + temp, "XDG_CACHE_HOME=" + cache};
    }

    // Returns the names in the temporary folder that begin with "quillon-tests-".
    std::vector<std::string> leftovers() const {
        std::vector<std::string> found;
        DIR* listing = opendir(temp.c_str());
        if (listing == nullptr) return {"(cannot list " + temp + ")"};
        while (const dirent* entry = readdir(listing))
            if (std::string(entry->d_name).rfind("quillon-tests-", 0) == 0) found.push_back(entry->d_name);
        closedir(listing);
        return found;
    }

    // Returns whether something was made or removed in the temporary folder.
    bool temporaryFolderWasUsed() const {
        struct stat status {};
        return stat(temp.c_str(), &status) == 0 && status.st_mtime > 946684800;
    }
};

t::ProgramRun selfTest(const Places& places, const std::vector<std::string>& runAs = {},
                       const std::string& binary = t::quillonBinary()) {
    t::requireFixtureEnvironment();
    std::vector<std::string> argv = runAs;
    argv.push_back(binary);
    argv.push_back("--self-test");
    return t::runProgram(argv, places.environment());
}

// Runs the self-test as the unprivileged account, with its three folders and
// a copy of the program owned by that account. False when there is no such
// account or this process may not switch to it.
bool unprivilegedSelfTest(t::ProgramRun& run, std::vector<std::string>& leftovers, bool& used) {
    unsigned uid = 0, gid = 0;
    if (geteuid() != 0 || !t::unprivilegedAccount(uid, gid)) return false;
    const Places places;
    const std::string binary = places.base + "/quillon";
    t::writeFile(binary, t::readFile(t::quillonBinary()));
    chmod(binary.c_str(), 0755);
    for (const std::string& folder : {places.home, places.temp, places.cache})
        if (chown(folder.c_str(), uid, gid) != 0) throw std::runtime_error("chown " + folder);
    run = selfTest(
        places,
        {"/usr/bin/setpriv", "--reuid=" + std::to_string(uid), "--regid=" + std::to_string(gid), "--clear-groups"},
        binary);
    leftovers = places.leftovers();
    used = places.temporaryFolderWasUsed();
    return true;
}

} // namespace

TEST(SelfTestRun, PrintsOnlyThePassLineAndExitsZero) {
    const Places places;
    const t::ProgramRun run = selfTest(places);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, quillon::text::selfTestPassed);
    EXPECT_EQ(run.status, 0);
}

TEST(SelfTestRun, PassesWhileAnotherProgramHoldsOddlyNamedFilesOpen) {
    const Places places;
    const std::string dir = t::freshDirectory("held");
    std::vector<std::string> held;
    for (const char* name : {"x^Ay", "new\nline", "Budget^Final.xlsx"}) {
        held.push_back(dir + "/" + name);
        t::writeFile(held.back(), "held");
    }
    const t::RunningProgram editor("editor", held);
    const t::ProgramRun run = selfTest(places);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, quillon::text::selfTestPassed);
}

TEST(SelfTestRun, LeavesNoTestFolderBehindWhenItPasses) {
    const Places places;
    const t::ProgramRun run = selfTest(places);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(places.temporaryFolderWasUsed());
    EXPECT_EQ(places.leftovers(), std::vector<std::string>{});
}

TEST(SelfTestRun, PassesAsAnUnprivilegedUser) {
    t::ProgramRun run;
    std::vector<std::string> leftovers;
    bool used = false;
    if (!unprivilegedSelfTest(run, leftovers, used)) GTEST_SKIP() << "needs root and an unprivileged account";
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, quillon::text::selfTestPassed);
    EXPECT_EQ(run.status, 0);
}

TEST(SelfTestRun, LeavesNoTestFolderBehindAsAnUnprivilegedUser) {
    t::ProgramRun run;
    std::vector<std::string> leftovers;
    bool used = false;
    if (!unprivilegedSelfTest(run, leftovers, used)) GTEST_SKIP() << "needs root and an unprivileged account";
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(used);
    EXPECT_EQ(leftovers, std::vector<std::string>{});
}

// The self-test's own clean run is given a cancelled token, so it returns
// before it takes the lock, even with a catalogue location in the home.
TEST(SelfTestRun, NeverTakesTheRunLock) {
    const Places places;
    t::makeDirectory(places.home + "/Library/Logs");
    const t::ProgramRun run = selfTest(places);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_FALSE(t::exists(places.temp + "/com.brenvale.quillon.lock"));
}

// A home under a folder named "Documents" puts "/Documents" into every path
// of the real catalogue, which the catalogue check forbids.
TEST(SelfTestRun, ReportsTheFailedCheckOnStandardErrorWithStatusOne) {
    const Places places("Documents");
    const t::ProgramRun run = selfTest(places);
    EXPECT_EQ(run.err, quillon::text::selfTestFailed + ("Check failed: catalogue path " + places.home) +
                           "/Library/Developer/Xcode/DerivedData/SDKStatCaches.noindex contains \"/Documents\"\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.status, 1);
}

TEST(SelfTestRun, LeavesNoTestFolderBehindWhenACheckFails) {
    const Places places("Documents");
    const t::ProgramRun run = selfTest(places);
    ASSERT_EQ(run.status, 1) << run.err;
    EXPECT_TRUE(places.temporaryFolderWasUsed());
    EXPECT_EQ(places.leftovers(), std::vector<std::string>{});
}
