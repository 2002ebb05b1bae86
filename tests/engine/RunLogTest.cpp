#include "engine/RunLog.h"

#include "core/Texts.h"
#include "tests/support/Fixture.h"

#include <gtest/gtest.h>

#include <regex>
#include <sys/stat.h>
#include <sstream>

using quillon::RunLog;
namespace t = quillon::testing;

namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

} // namespace

TEST(RunLog, NewLogHoldsExactlyTheThreeHeaderLines) {
    const std::string path = t::freshDirectory("log") + "/Library/Logs/Quillon/LastRun.log";
    { RunLog log(false, path); }
    const std::string text = t::readFile(path);
    const auto l = lines(text);
    ASSERT_EQ(l.size(), 3u);
    EXPECT_EQ(l[0], quillon::text::programName);
    EXPECT_TRUE(std::regex_match(l[1], std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)"))) << l[1];
    EXPECT_EQ(l[2], quillon::text::cleanupStarted);
    EXPECT_EQ(text.back(), '\n');
}

TEST(RunLog, PreviewHeaderSaysNothingWillChange) {
    const std::string path = t::freshDirectory("log") + "/Quillon-UI-preview.log";
    { RunLog log(true, path); }
    EXPECT_EQ(lines(t::readFile(path)).at(2), quillon::text::uiPreviewOnly);
}

TEST(RunLog, AppendsLinesAsUtf8AndNothingAfterClose) {
    const std::string path = t::freshDirectory("log") + "/LastRun.log";
    RunLog log(false, path);
    log.append("Checking Chrome caches\u2026");
    log.append("Kept: /x \u2014 sample");
    log.close();
    log.append("after close");
    log.close();
    const auto l = lines(t::readFile(path));
    ASSERT_EQ(l.size(), 5u);
    EXPECT_EQ(l[3], "Checking Chrome caches\xE2\x80\xA6");
    EXPECT_EQ(l[4], "Kept: /x \xE2\x80\x94 sample");
}

TEST(RunLog, NextLaunchReplacesThePreviousLog) {
    const std::string path = t::freshDirectory("log") + "/LastRun.log";
    {
        RunLog first(false, path);
        first.append("from the first run");
    }
    { RunLog second(false, path); }
    EXPECT_EQ(lines(t::readFile(path)).size(), 3u);
}

TEST(RunLog, FolderThatCannotBeCreatedMakesEveryOperationAQuietNoOp) {
    const std::string dir = t::freshDirectory("log");
    t::writeFile(dir + "/Logs", "a file where the folder should be");
    RunLog log(false, dir + "/Logs/Quillon/LastRun.log");
    log.append("line");
    log.close();
    EXPECT_EQ(t::readFile(dir + "/Logs"), "a file where the folder should be");
}

TEST(RunLog, LogThatIsASymbolicLinkIsNotWrittenThrough) {
    const std::string dir = t::freshDirectory("log");
    t::writeFile(dir + "/elsewhere", "victim");
    // The header replaces the link itself; appends never follow a link.
    t::makeSymlink(dir + "/elsewhere", dir + "/LastRun.log");
    RunLog log(false, dir + "/LastRun.log");
    log.append("line");
    EXPECT_EQ(t::readFile(dir + "/elsewhere"), "victim");
}

TEST(RunLog, DefaultPathsLieInTheStateFolderAndInThePrivateTemporaryFolder) {
    const auto real = [](const char* variable) {
        char* resolved = realpath(std::getenv(variable), nullptr);
        const std::string path = resolved ? resolved : "";
        std::free(resolved);
        return path;
    };
    EXPECT_EQ(quillon::runLogPath(false), real("XDG_STATE_HOME") + "/quillon/LastRun.log");
    EXPECT_EQ(quillon::runLogPath(true), real("TMPDIR") + "/Quillon-UI-preview.log");
}

TEST(RunLog, MakesAMissingStateFolderAndItsOwnFolderPrivate) {
    const std::string state = t::freshDirectory("log") + "/state";
    t::ScopedVariable variable("XDG_STATE_HOME", state.c_str());
    { RunLog log(false); }
    EXPECT_EQ(lines(t::readFile(state + "/quillon/LastRun.log")).size(), 3u);
    for (const std::string& folder : {state, state + "/quillon"}) {
        struct stat status {};
        ASSERT_EQ(lstat(folder.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, 0700u) << folder;
    }
}
