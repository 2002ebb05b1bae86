#include "guard/OpenFiles.h"

#include "core/Errors.h"
#include "core/Texts.h"
#include "tests/support/Fixture.h"
#include "tests/support/OwnUser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace t = quillon::testing;
using Paths = std::vector<std::string>;

TEST(OpenFiles, TableThatCannotBeReadKeepsEverythingAndCancellationIsSeen) {
    try {
        quillon::openPathsIn(t::fixtureRoot() + "/no-process-table");
        FAIL() << "expected a safe skip";
    } catch (const quillon::SafetyError& error) {
        EXPECT_EQ(error.reason(), quillon::text::cannotVerifyOpenFiles);
    }
    quillon::RunControl control;
    control.cancel();
    EXPECT_THROW(quillon::openPaths(&control), quillon::CleanCancelled);
}

TEST(OpenFilesLive, NonDumpableProcessOfTheUserIsPassedOverAndTheRestListed) {
    const std::string dir = t::freshDirectory("held");
    const std::string visible = dir + "/visible", hidden = dir + "/hidden";
    t::writeFile(visible, "");
    t::writeFile(hidden, "");
    int seen = -1, unseen = -1;
    // Both files are opened while still root; a second process of the same
    // user holds the hidden one after making itself non-dumpable.
    const std::string answer = t::asUserOfItsOwn(
        [&](uid_t) {
            seen = open(visible.c_str(), O_RDONLY | O_CLOEXEC);
            unseen = open(hidden.c_str(), O_RDONLY | O_CLOEXEC);
        },
        [&]() -> std::string {
            int ready[2];
            if (seen < 0 || unseen < 0 || pipe2(ready, O_CLOEXEC) != 0) return "cannot open the held files";
            const pid_t holder = fork();
            if (holder == 0) {
                close(seen);
                if (prctl(PR_SET_DUMPABLE, 0) != 0 || write(ready[1], "x", 1) != 1) _exit(1);
                pause();
                _exit(0);
            }
            close(unseen);
            char byte = 0;
            std::string found = "no hidden holder";
            if (holder > 0 && read(ready[0], &byte, 1) == 1) {
                try {
                    const Paths paths = quillon::openPaths();
                    const auto has = [&](const std::string& p) { return std::find(paths.begin(), paths.end(), p) != paths.end(); };
                    found = std::string(has(visible) ? "visible listed" : "visible missing") +
                            (has(hidden) ? ", hidden listed" : ", hidden passed over");
                } catch (const std::exception& error) {
                    found = quillon::describe(error);
                }
            }
            if (holder > 0) kill(holder, SIGKILL);
            return found;
        });
    EXPECT_EQ(answer, "visible listed, hidden passed over");
}
