// The run log's exact text, where it is written, and where it must not write.

#include "engine/RunLog.h"

#include "core/Texts.h"
#include "tests/support/Fixture.h"

#include <gtest/gtest.h>

#include <regex>
#include <sys/stat.h>

using quillon::RunLog;
namespace t = quillon::testing;
namespace text = quillon::text;

TEST(RunLog, EachLaunchReplacesTheLogWithItsHeaderThenAppendsUntilClosedNeverThroughALink) {
    for (const bool preview : {false, true}) {
        const std::string path = t::freshDirectory("log") + "/made/LastRun.log";
        RunLog(preview, path).append("from the last run");
        RunLog log(preview, path);
        log.append("Checking Chrome caches\u2026");
        log.close();
        log.append("after close");
        const std::string written = t::readFile(path);
        const std::string date = written.substr(std::string(text::programName).size() + 1, 20);
        EXPECT_TRUE(std::regex_match(date, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)"))) << date;
        const std::string third = preview ? text::uiPreviewOnly : text::cleanupStarted;
        EXPECT_EQ(written, text::programName + ("\n" + date + "\n" + third + "\nChecking Chrome caches\xE2\x80\xA6\n"));
    }
    // Nothing is written through a link, nor where a file ("Logs") stands for a folder.
    const std::string dir = t::freshDirectory("log");
    for (const char* name : {"/elsewhere", "/Logs"}) t::writeFile(dir + name, "keep");
    t::makeSymlink(dir + "/elsewhere", dir + "/LastRun.log");
    for (const std::string& path : {dir + "/LastRun.log", dir + "/Logs/quillon/LastRun.log"})
        RunLog(false, path).append("line");
    for (const char* name : {"/elsewhere", "/Logs"}) EXPECT_EQ(t::readFile(dir + name), "keep") << name;
}

// Under the common umask 022 too, each folder made for the log, those of the state directory included, is private.
TEST(RunLog, MakesEachMissingFolderPrivate) {
    const mode_t before = umask(022);
    const std::string made = t::freshDirectory("log") + "/made", state = made + "/state";
    const t::ScopedVariable variable("XDG_STATE_HOME", state.c_str());
    RunLog(false).append("line");
    umask(before);
    struct stat status {};
    for (const std::string& folder : {made, state, state + "/quillon"})
        EXPECT_TRUE(stat(folder.c_str(), &status) == 0 && (status.st_mode & 07777) == 0700) << folder;
}
