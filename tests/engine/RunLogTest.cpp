// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "engine/RunLog.h"

#include "core/Texts.h"
#include "tests/support/Fixture.h"

#include <gtest/gtest.h>

#include <regex>
#include <sys/stat.h>

using quillon::RunLog;
namespace t = quillon::testing;
namespace text = quillon::text;

// Each launch replaces the log with its header, then appends until closed. Under the common umask 022 too, each
// folder made for the log, those of the state directory included, is private.
TEST(RunLog, EachLaunchReplacesTheLogWithItsHeaderThenAppendsUntilClosedInPrivateFoldersNeverThroughALink) {
    const std::string made = t::freshDirectory("log") + "/made", state = made + "/state";
    const t::ScopedVariable variable("XDG_STATE_HOME", state.c_str());
    const mode_t before = umask(022);
    for (const bool preview : {false, true}) {
        RunLog(preview).append("from the last run");
        RunLog log(preview);
        log.append("Checking Chrome caches\u2026");
        log.close();
        log.append("after close");
        const std::string written = t::readFile(log.path());
        const std::string date = written.substr(std::string(text::programName).size() + 1, 20);
        EXPECT_TRUE(std::regex_match(date, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)"))) << date;
        const std::string third = preview ? text::uiPreviewOnly : text::cleanupStarted;
        EXPECT_EQ(written, text::programName + ("\n" + date + "\n" + third + "\nChecking Chrome caches\xE2\x80\xA6\n"));
    }
    umask(before);
    struct stat status {};
    for (const std::string& folder : {made, state, state + "/quillon"})
        EXPECT_TRUE(stat(folder.c_str(), &status) == 0 && (status.st_mode & 07777) == 0700) << folder;
    // Nothing is written through a link, nor where a file ("Logs") stands for a folder.
    for (const char* name : {"/elsewhere", "/Logs"}) t::writeFile(made + name, "keep");
    t::makeSymbolicLink(made + "/elsewhere", made + "/LastRun.log");
    for (const std::string& path : {made + "/LastRun.log", made + "/Logs/quillon/LastRun.log"})
        RunLog(false, path).append("line");
    for (const char* name : {"/elsewhere", "/Logs"}) EXPECT_EQ(t::readFile(made + name), "keep") << name;
}
