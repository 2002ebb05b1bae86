#include "guard/OpenFiles.h"

#include "core/Errors.h"
#include "fs/Descriptor.h"
#include "platform/PlatformError.h"
#include "tests/support/Fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace t = quillon::testing;
using quillon::CommandResult;
using quillon::openPathsFromLsof;
using Paths = std::vector<std::string>;

namespace {

const char* const untrusted = "skip(\"Cannot verify open files; kept everything\")";

// Returns the description of what openPathsFromLsof threw, or "no error".
std::string refusal(const CommandResult& answer) {
    try {
        const Paths paths = openPathsFromLsof(answer);
        return "no error, " + std::to_string(paths.size()) + " path(s)";
    } catch (const std::exception& error) {
        return quillon::describe(error);
    }
}

Paths parsed(const std::string& output) { return openPathsFromLsof(CommandResult{0, output}); }

} // namespace

// ---- recorded answers ----

TEST(LsofAnswer, NameLineWithSpacesGivesExactlyThatPath) {
    EXPECT_EQ(parsed("p4711\nf12\nn/Users/me/Library/Caches/My App/cache file.db\n"),
              Paths{"/Users/me/Library/Caches/My App/cache file.db"});
}

TEST(LsofAnswer, NamesThatAreNotPathsGiveNothing) {
    EXPECT_EQ(parsed("p1\nnpipe\nnsocket\nn[::1]:631\nn127.0.0.1:5432->127.0.0.1:40122\nnanon_inode:[eventfd]\n"
                     "n\nnn\nf/\nf3\n"),
              Paths{});
}

TEST(LsofAnswer, PathOpenTwiceIsListedTwiceInOrder) {
    EXPECT_EQ(parsed("p10\nn/a/shared\nn/b\np11\nn/a/shared\n"), (Paths{"/a/shared", "/b", "/a/shared"}));
}

TEST(LsofAnswer, SpacesAroundAPathAreKept) {
    EXPECT_EQ(parsed("n/trailing \nn/ leading\n"), (Paths{"/trailing ", "/ leading"}));
}

TEST(LsofAnswer, EmptyAnswerIsAnEmptyList) {
    EXPECT_EQ(parsed(""), Paths{});
    EXPECT_EQ(parsed("p1\np2\n"), Paths{});
}

TEST(LsofAnswer, NonZeroStatusIsUntrustedEvenWithNameLines) {
    EXPECT_EQ(refusal(CommandResult{1, "p1\nn/home/me/.cache/file\n"}), untrusted);
}

TEST(LsofAnswer, WarningLineAnywhereIsUntrusted) {
    const std::string names = "p1\nn/home/me/.cache/a\nn/home/me/.cache/b\n";
    const std::string warning = "lsof: WARNING: can't stat() fuse.gvfsd-fuse file system /run/user/1000/gvfs\n"
                                "      Output information may be incomplete.\n";
    EXPECT_EQ(refusal(CommandResult{0, warning + names}), untrusted);
    EXPECT_EQ(refusal(CommandResult{0, "p1\nn/home/me/.cache/a\n" + warning + "n/home/me/.cache/b\n"}), untrusted);
    EXPECT_EQ(refusal(CommandResult{0, names + warning}), untrusted);
}

TEST(LsofAnswer, EitherMarkAloneIsUntrusted) {
    EXPECT_EQ(refusal(CommandResult{0, "lsof: no pwd entry for UID 501\n"}), untrusted);
    EXPECT_EQ(refusal(CommandResult{0, "n/tmp/a\nWARNING somewhere\n"}), untrusted);
    // Even inside a path: the outcome is again that nothing is removed.
    EXPECT_EQ(refusal(CommandResult{0, "n/home/me/WARNING.txt\n"}), untrusted);
}

TEST(LsofAnswer, LinesOfAProcessThatCannotBeInspectedNameNoOpenFile) {
    // What lsof prints, with status 0, for a process of the user that it may
    // not inspect (a non-dumpable agent, a sandbox's helper).
    EXPECT_EQ(quillon::openPathsFromLsof(
                  CommandResult{0, "p1\nn/tmp/a\np77\nn/proc/77/cwd (readlink: Permission denied)\n"
                                   "n/proc/77/fd (opendir: Permission denied)\n"}),
              Paths{"/tmp/a"});
}

TEST(LsofAnswer, PathThatCouldNotBeCheckedIsKeptWithAndWithoutTheNote) {
    EXPECT_EQ(quillon::openPathsFromLsof(CommandResult{0, "p5\nn/home/me/.cache/x (stat: Permission denied)\n"}),
              (Paths{"/home/me/.cache/x", "/home/me/.cache/x (stat: Permission denied)"}));
    EXPECT_EQ(quillon::openPathsFromLsof(CommandResult{0, "p5\nn/home/me/.cache/x lstat: Permission denied)\n"}),
              (Paths{"/home/me/.cache/x", "/home/me/.cache/x lstat: Permission denied)"}));
    // What lsof prints for a folder held open while it is renamed away.
    EXPECT_EQ(quillon::openPathsFromLsof(CommandResult{
                  0, "p5\nn/tmp/swap/x lstat: No such file or directory) (stat: No such file or directory)\n"}),
              (Paths{"/tmp/swap/x",
                     "/tmp/swap/x lstat: No such file or directory) (stat: No such file or directory)"}));
}

TEST(LsofAnswer, PrintableEscapesAreUndoneToTheExactBytes) {
    // lsof in the C locale writes every non-ASCII byte as \xHH.
    EXPECT_EQ(parsed("n/tmp/caf\\xc3\\xa9\n"), Paths{"/tmp/café"});
    EXPECT_EQ(parsed("n/tmp/back\\\\slash\n"), Paths{"/tmp/back\\slash"});
    EXPECT_EQ(parsed("n/tmp/new\\nline\n"), Paths{"/tmp/new\nline"});
    EXPECT_EQ(parsed("n/tmp/a\\tb\\rc\\bd\\fe\n"), Paths{"/tmp/a\tb\rc\bd\fe"});
    EXPECT_EQ(parsed("n/tmp/raw\\xffbyte\\x7F\n"), Paths{"/tmp/raw\xff" "byte\x7f"});
    // A literal "\x41" comes with its backslash doubled and stays as it is.
    EXPECT_EQ(parsed("n/tmp/bs\\\\x41\n"), Paths{"/tmp/bs\\x41"});
}

TEST(LsofAnswer, UnicodePrintedAsItIsStaysAsItIs) {
    EXPECT_EQ(parsed("n/tmp/café — …\n"), Paths{"/tmp/café — …"});
}

TEST(LsofAnswer, CaretBeforeALetterIsAmbiguousAndUntrusted) {
    // "^A" is lsof's form of the byte 0x01 and also a possible file name.
    EXPECT_EQ(refusal(CommandResult{0, "n/tmp/ctl^Ax\n"}), untrusted);
    EXPECT_EQ(refusal(CommandResult{0, "n/tmp/end^?\n"}), untrusted);
    EXPECT_EQ(parsed("n/tmp/a^b^1^\n"), Paths{"/tmp/a^b^1^"});
}

TEST(LsofAnswer, MalformedEscapeIsUntrusted) {
    EXPECT_EQ(refusal(CommandResult{0, "n/tmp/what\\q\n"}), untrusted);
    EXPECT_EQ(refusal(CommandResult{0, "n/tmp/short\\x4\n"}), untrusted);
    EXPECT_EQ(refusal(CommandResult{0, "n/tmp/notHex\\xzz\n"}), untrusted);
    EXPECT_EQ(refusal(CommandResult{0, "n/tmp/dangling\\\n"}), untrusted);
}

TEST(LsofAnswer, ReplacementCharacterInAPathIsUntrusted) {
    // Bytes of another encoding, already replaced by the runner's decoding.
    EXPECT_EQ(refusal(CommandResult{0, "n/tmp/caf\xEF\xBF\xBD\n"}), untrusted);
}

// ---- the real tool ----

namespace {

// Runs `body` in a child process that holds `heldPath` open for reading and
// runs under a user id of its own, so that the live answer covers only this
// test's processes: even root may be refused the descriptors of other
// programs (a container's non-dumpable first process), and processes of a
// shared account such as "nobody" come and go with other tests. Returns what
// the body returned, or what went wrong.
std::string inPrivateAccount(const std::string& heldPath, bool dumpable, const std::function<std::string()>& body) {
    if (geteuid() != 0) return "SKIP not root";
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
        const int held = open(heldPath.c_str(), O_RDONLY | O_CLOEXEC);
        if (held < 0) answer = "cannot open the held file";
        else if (chdir("/") != 0 || setgroups(0, nullptr) != 0 || setresgid(uid, uid, uid) != 0 ||
                 setresuid(uid, uid, uid) != 0)
            answer = "cannot drop privileges";
        // A change of user makes a process non-dumpable; give it back unless
        // the test wants it hidden.
        else if (prctl(PR_SET_DUMPABLE, dumpable ? 1 : 0) != 0) answer = "prctl failed";
        else answer = body();
        const ssize_t written = write(writing.get(), answer.data(), answer.size());
        _exit(written == static_cast<ssize_t>(answer.size()) ? 0 : 1);
    }
    writing.reset();
    std::string answer;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(reading.get(), buffer, sizeof buffer);
        if (n > 0) answer.append(buffer, static_cast<std::size_t>(n));
        else if (n == 0 || errno != EINTR) break;
    }
    int raw = 0;
    while (waitpid(child, &raw, 0) < 0 && errno == EINTR) {
    }
    return answer;
}

std::string listsHeldFile(const std::string& heldPath, const char* locale) {
    return inPrivateAccount(heldPath, true, [&] {
        setenv("LC_ALL", locale, 1);
        try {
            const Paths paths = quillon::openPaths();
            if (std::find(paths.begin(), paths.end(), heldPath) != paths.end()) return std::string("listed");
            std::string all = "not listed among:";
            for (const std::string& path : paths) all += "\n  " + path;
            return all;
        } catch (const std::exception& error) {
            return quillon::describe(error);
        }
    });
}

std::string executableScript(const std::string& name, const std::string& body) {
    const std::string path = t::freshDirectory("tool") + "/" + name;
    t::writeFile(path, "#!/bin/sh\n" + body + "\n");
    if (chmod(path.c_str(), 0755) != 0) throw std::runtime_error("chmod " + path);
    return path;
}

} // namespace

TEST(LsofLive, LsofIsInstalledWhereItIsLookedFor) {
    // lsof is a run-time dependency; without it every open-file check fails.
    EXPECT_EQ(access(quillon::lsofPath().c_str(), X_OK), 0) << quillon::lsofPath();
}

TEST(LsofLive, FileHeldOpenIsListedWithSpacesAndAccents) {
    const std::string held = t::freshDirectory("held") + "/open café file.txt";
    t::writeFile(held, "keep me");
    const std::string answer = listsHeldFile(held, "C.UTF-8");
    if (answer.rfind("SKIP", 0) == 0) GTEST_SKIP() << answer;
    EXPECT_EQ(answer, "listed");
}

TEST(LsofLive, FileHeldOpenIsListedWhenLsofEscapesNonAscii) {
    const std::string held = t::freshDirectory("held") + "/open café file.txt";
    t::writeFile(held, "keep me");
    const std::string answer = listsHeldFile(held, "C");
    if (answer.rfind("SKIP", 0) == 0) GTEST_SKIP() << answer;
    EXPECT_EQ(answer, "listed");
}

TEST(LsofLive, HiddenProcessOfTheUserIsPassedOverAndTheRestListed) {
    const std::string held = t::freshDirectory("held") + "/hidden";
    t::writeFile(held, "keep me");
    const std::string answer = inPrivateAccount(held, false, [] {
        try {
            return "no error, " + std::to_string(quillon::openPaths().size()) + " path(s)";
        } catch (const std::exception& error) {
            return quillon::describe(error);
        }
    });
    if (answer.rfind("SKIP", 0) == 0) GTEST_SKIP() << answer;
    EXPECT_EQ(answer.rfind("no error, ", 0), 0u) << answer;
}

TEST(LsofLive, LsofIsAskedForNameFieldsOfTheRealUser) {
    const std::string tool = executableScript("lsof", "printf 'n/%s\\n' \"$*\"");
    EXPECT_EQ(quillon::openPathsWith(tool), Paths{"/-nP -Fn -u " + std::to_string(getuid())});
}

TEST(LsofLive, MissingLsofIsTheLaunchError) {
    try {
        quillon::openPathsWith("/no/such/dir/lsof");
        FAIL() << "expected a launch error";
    } catch (const quillon::platform::PlatformError& error) {
        EXPECT_STREQ(error.what(), "Cannot launch /no/such/dir/lsof: No such file or directory");
    }
}

TEST(LsofLive, CancelledTokenStartsNoLsof) {
    const std::string marker = t::freshDirectory("marker") + "/ran";
    const std::string tool = executableScript("lsof", "touch '" + marker + "'");
    quillon::RunControl control;
    control.cancel();
    EXPECT_THROW(quillon::openPathsWith(tool, &control), quillon::CleanCancelled);
    EXPECT_THROW(quillon::openPaths(&control), quillon::CleanCancelled);
    EXPECT_FALSE(t::exists(marker));
}

TEST(LsofLive, LsofEndingWithErrorStatusIsUntrusted) {
    const std::string tool = executableScript("lsof", "echo n/tmp/listed; exit 1");
    try {
        quillon::openPathsWith(tool);
        FAIL() << "expected a safe skip";
    } catch (const quillon::SafetyError& error) {
        EXPECT_EQ(quillon::describe(error), untrusted);
    }
}
