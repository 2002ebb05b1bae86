// The built program's --self-test in private fixture places, as whichever user runs the suite: no run leaves
// its test folder or the run lock behind.

#include "core/Texts.h"
#include "tests/support/Fixture.h"
#include "tests/support/Processes.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace t = quillon::testing;

namespace {

constexpr time_t longAgo = 946684800; // the temporary folder's date, so that any use of it shows

// Runs the self-test with places in `base` and a home folder `base/homeName` (holding a catalogue location its
// own runs must not clean), checks that it used its temporary folder and left it empty, returns status and output.
std::tuple<int, std::string, std::string> selfTest(const std::string& base, const std::string& homeName) {
    t::requireFixtureEnvironment();
    const std::string home = base + "/" + homeName, temp = base + "/tmp", cache = base + "/cache";
    for (const std::string& folder : {home + "/Library/Logs", temp, cache}) t::makeDirectory(folder);
    for (const std::string& folder : {home, temp, cache}) chmod(folder.c_str(), 0700);
    t::setModificationTime(temp, longAgo);
    const t::ProgramRun run = t::runProgram({t::quillonBinary(), "--self-test"},
                                            {"HOME=" + home, "TMPDIR=" + temp, "XDG_CACHE_HOME=" + cache});
    struct stat status {};
    EXPECT_TRUE(stat(temp.c_str(), &status) == 0 && status.st_mtime > longAgo) << "never used " << temp;
    EXPECT_EQ(t::runProgram({"/bin/ls", "-A", temp}).out, "");
    return {run.status, run.out, run.err};
}

} // namespace

TEST(SelfTestRun, PassesWhileAnotherProgramHoldsOddlyNamedFilesOpen) {
    const std::string d = t::freshDirectory("held");
    const std::vector<std::string> held = {d + "/x\x01y", d + "/new\nline", d + "/x (deleted)", d + "/\xff\xfe"};
    for (const std::string& path : held) t::writeFile(path, "held");
    const t::RunningProgram editor("editor", held);
    EXPECT_EQ(selfTest(t::freshDirectory("selftest"), "home"),
              std::make_tuple(0, std::string(quillon::text::selfTestPassed), std::string()));
}

// Under a home folder named "Documents", every catalogue path holds a place
// the catalogue must never name.
TEST(SelfTestRun, ReportsTheFailedCheckOnOneLineWithStatusOne) {
    const std::string base = t::freshDirectory("selftest");
    const auto [status, out, err] = selfTest(base, "Documents");
    const std::string start = quillon::text::selfTestFailed + ("Check failed: catalogue path " + base + "/Documents/");
    const std::string path = err.substr(0, err.find(" contains ")).substr(start.size());
    EXPECT_EQ(std::tie(status, out, err), std::make_tuple(1, "", start + path + " contains \"/Documents\"\n"));
    EXPECT_EQ(path.find('\n'), std::string::npos);
}
