// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

// The built program's --self-test in private fixture places, as whichever user runs the suite.

#include "core/Texts.h"
#include "tests/support/Fixture.h"
#include "tests/support/Processes.h"
#include <gtest/gtest.h>
#include <filesystem>
#include <sys/stat.h>

namespace t = quillon::testing;

// The open-file check passes while another program holds odd names open; then, under a home named "Documents", every
// catalogue path holds a place never to be named. The failing run, too, uses its temporary folder and leaves it empty.
TEST(SelfTestRun, PassesTheOpenFileCheckAmongOddNamesAndReportsTheFailedCheckOnOneLineWithStatusOne) {
    t::requireFixtureEnvironment();
    const std::string d = t::freshDirectory("held");
    const std::vector<std::string> held = {d + "/x\x01y", d + "/new\nline", d + "/x (deleted)", d + "/\xff\xfe"};
    for (const std::string& path : held) t::writeFile(path, "held");
    const t::RunningProgram editor("editor", held);
    const std::string base = t::freshDirectory("selftest"), home = base + "/Documents", temp = base + "/tmp";
    for (const std::string& f : {home, temp, base + "/cache"}) t::makeDirectories(f), chmod(f.c_str(), 0700);
    t::makeDirectories(home + "/Library/Logs");
    constexpr time_t longAgo = 946684800; // the temporary folder's date, so that any use of it shows
    t::setModificationTime(temp, longAgo);
    const t::ProgramRun run = t::runProgram({t::quillonBinary(), "--self-test"},
                                            {"HOME=" + home, "TMPDIR=" + temp, "XDG_CACHE_HOME=" + base + "/cache"});
    struct stat st {};
    EXPECT_TRUE(stat(temp.c_str(), &st) == 0 && st.st_mtime > longAgo && std::filesystem::is_empty(temp)) << temp;
    const std::string start = quillon::text::selfTestFailed + ("Check failed: catalogue path " + home + "/");
    const std::string path = run.err.substr(0, run.err.find(" contains ")).substr(start.size());
    EXPECT_EQ(std::tie(run.status, run.out, run.err), std::tuple(1, "", start + path + " contains \"/Documents\"\n"));
    EXPECT_EQ(path.find('\n'), std::string::npos);
}
