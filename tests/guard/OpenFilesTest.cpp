#include "guard/OpenFiles.h"

#include "core/Errors.h"
#include "fs/Descriptor.h"
#include "tests/support/Fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace t = quillon::testing;
using Paths = std::vector<std::string>;

TEST(OpenFiles, TableThatCannotBeReadKeepsEverythingAndCancellationIsSeen) {
    try {
        quillon::openPathsIn(t::fixtureRoot() + "/no-process-table");
        FAIL() << "expected a safe skip";
    } catch (const quillon::SafetyError& error) {
        EXPECT_EQ(quillon::describe(error), "skip(\"Cannot verify open files; kept everything\")");
    }
    quillon::RunControl control;
    control.cancel();
    EXPECT_THROW(quillon::openPaths(&control), quillon::CleanCancelled);
}

namespace {

void waitFor(pid_t pid) {
    int raw = 0;
    while (waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
    }
}

// Returns what a process of a user id of its own finds with openPaths while
// it holds `visible` open and a second process of that user, non-dumpable,
// holds `hidden` open. The user id is this test's alone, so the answer covers
// only these two processes. Both files are opened while still root.
std::string answerBesideAHiddenProcess(const std::string& visible, const std::string& hidden) {
    uid_t uid = 61000 + static_cast<uid_t>(getpid()) % 3000;
    while (getpwuid(uid) != nullptr || getgrgid(uid) != nullptr) ++uid;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return "pipe failed";
    quillon::Descriptor reading(ends[0]);
    quillon::Descriptor writing(ends[1]);
    const pid_t child = fork();
    if (child < 0) return "fork failed";
    if (child == 0) {
        std::string answer;
        const int seen = open(visible.c_str(), O_RDONLY | O_CLOEXEC);
        const int unseen = open(hidden.c_str(), O_RDONLY | O_CLOEXEC);
        int ready[2];
        if (seen < 0 || unseen < 0 || pipe2(ready, O_CLOEXEC) != 0) _exit(1);
        if (chdir("/") != 0 || setgroups(0, nullptr) != 0 || setresgid(uid, uid, uid) != 0 ||
            setresuid(uid, uid, uid) != 0 || prctl(PR_SET_DUMPABLE, 1) != 0)
            _exit(1);
        const pid_t holder = fork();
        if (holder == 0) {
            close(seen);
            if (prctl(PR_SET_DUMPABLE, 0) != 0 || write(ready[1], "x", 1) != 1) _exit(1);
            pause();
            _exit(0);
        }
        close(unseen);
        char byte = 0;
        if (holder < 0 || read(ready[0], &byte, 1) != 1) {
            answer = "no hidden holder";
        } else {
            try {
                const Paths paths = quillon::openPaths();
                const auto has = [&](const std::string& p) { return std::find(paths.begin(), paths.end(), p) != paths.end(); };
                answer = std::string(has(visible) ? "visible listed" : "visible missing") +
                         (has(hidden) ? ", hidden listed" : ", hidden passed over");
            } catch (const std::exception& error) {
                answer = quillon::describe(error);
            }
        }
        if (holder > 0) kill(holder, SIGKILL), waitFor(holder);
        _exit(write(writing.get(), answer.data(), answer.size()) == static_cast<ssize_t>(answer.size()) ? 0 : 1);
    }
    writing.reset();
    std::string answer;
    char buffer[4096];
    for (ssize_t n; (n = read(reading.get(), buffer, sizeof buffer)) != 0;)
        if (n > 0) answer.append(buffer, static_cast<std::size_t>(n));
        else if (errno != EINTR) break;
    waitFor(child);
    return answer;
}

} // namespace

TEST(OpenFilesLive, NonDumpableProcessOfTheUserIsPassedOverAndTheRestListed) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to make a user id of its own";
    const std::string dir = t::freshDirectory("held");
    t::writeFile(dir + "/visible", "");
    t::writeFile(dir + "/hidden", "");
    EXPECT_EQ(answerBesideAHiddenProcess(dir + "/visible", dir + "/hidden"), "visible listed, hidden passed over");
}
