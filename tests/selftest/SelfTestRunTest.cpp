// The built program's --self-test in private fixture places (run as root and
// as an unprivileged user, the suite sees both): it passes while another
// program holds oddly named files open, a failed check is one line on
// standard error with status 1, and no run leaves anything in its temporary
// folder, neither its test folder nor the run lock.

#include "core/Texts.h"
#include "tests/support/Fixture.h"
#include "tests/support/RunningProgram.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace t = quillon::testing;

namespace {

constexpr time_t longAgo = 946684800; // the temporary folder's date, so that any use of it shows

struct Places {
    std::string home, temp, cache;
    explicit Places(const std::string& homeName = "home") {
        const std::string base = t::freshDirectory("selftest");
        home = base + "/" + homeName, temp = base + "/tmp", cache = base + "/cache";
        // A catalogue location in the home: the self-test's own runs must not clean it.
        for (const std::string& folder : {home + "/Library/Logs", temp, cache}) t::makeDirectory(folder);
        for (const std::string& folder : {home, temp, cache}) chmod(folder.c_str(), 0700);
        t::setModificationTime(temp, longAgo);
    }

    t::ProgramRun run() const {
        t::requireFixtureEnvironment();
        return t::runProgram({t::quillonBinary(), "--self-test"}, {"HOME=" + home, "TMPDIR=" + temp, "XDG_CACHE_HOME=" + cache});
    }

    void expectTemporaryFolderUsedAndLeftEmpty() const {
        struct stat status {};
        EXPECT_TRUE(stat(temp.c_str(), &status) == 0 && status.st_mtime > longAgo) << "never used " << temp;
        EXPECT_EQ(t::runProgram({"/bin/ls", "-A", temp}).out, "");
    }
};

} // namespace

TEST(SelfTestRun, PassesWhileAnotherProgramHoldsOddlyNamedFilesOpen) {
    const Places places;
    const std::string dir = t::freshDirectory("held");
    std::vector<std::string> held;
    for (const char* name : {"x\x01y", "new\nline", "gone (deleted)", "\xff\xfe.xlsx"}) {
        held.push_back(dir + "/" + name);
        t::writeFile(held.back(), "held");
    }
    const t::RunningProgram editor("editor", held);
    const t::ProgramRun run = places.run();
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, quillon::text::selfTestPassed);
    EXPECT_EQ(run.status, 0);
    places.expectTemporaryFolderUsedAndLeftEmpty();
}

// Under a home folder named "Documents", every catalogue path holds a place
// the catalogue must never name.
TEST(SelfTestRun, ReportsTheFailedCheckOnOneLineWithStatusOne) {
    const Places places("Documents");
    const t::ProgramRun run = places.run();
    const std::string start = quillon::text::selfTestFailed + ("Check failed: catalogue path " + places.home + "/");
    const std::string path = run.err.substr(0, run.err.find(" contains ")).substr(std::min(start.size(), run.err.size()));
    EXPECT_EQ(run.err, start + path + " contains \"/Documents\"\n");
    EXPECT_EQ(path.find('\n'), std::string::npos);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.status, 1);
    places.expectTemporaryFolderUsedAndLeftEmpty();
}
