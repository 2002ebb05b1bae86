// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "platform/ProcessTable.h"
#include "tests/support/Fixture.h"
#include "tests/support/Processes.h"
#include <gtest/gtest.h>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <set>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

using namespace quillon::platform;
namespace t = quillon::testing;
using Texts = std::vector<std::string>;

namespace {
const std::string oddName = "we\nird^Ay\\x\xff\xEF\xBF\xBD";
// A copy of this program named "chromium" is a browser whose first thread has exited while a worker holds on.
[[maybe_unused]] const bool asBrowser = std::string_view(program_invocation_short_name) == "chromium" &&
                                        (std::thread([] { for (;;) pause(); }).detach(), syscall(SYS_exit, 0) == 0);
// A folder shaped like /proc. Process (or "<pid>/task/<id>": thread) `pid` has a status of real user `uid` + `shift`
// in `state`, an empty fd/, cmdline, maps and comm, `exe` (none when empty), and cwd and root "/" unless a zombie.
struct FakeTable {
    const std::string root = t::freshDirectory("proc");
    uid_t uid = getuid();
    std::string process(const std::string& pid, const std::string& exe = "", char state = 'S', uid_t shift = 0) const {
        const std::string dir = root + "/" + pid;
        t::makeDirectories(dir + "/fd");
        t::writeFile(dir + "/status", std::string("State:\t") + state + "\nUid:\t" + std::to_string(uid + shift));
        for (const char* file : {"cmdline", "maps", "comm"}) t::writeFile(dir + "/" + file, "");
        if (state != 'Z' && state != 'X') t::makeSymbolicLink("/", dir + "/cwd"), t::makeSymbolicLink("/", dir + "/root");
        if (!exe.empty()) t::makeSymbolicLink(exe, dir + "/exe");
        return dir;
    }
};
std::string joined(const Texts& texts) { // sorted, each followed by a comma
    std::string all;
    for (const std::string& text : std::multiset(texts.begin(), texts.end())) all += text + ",";
    return all;
}
// What `read` gives for the table at `root`, joined, or what it threw with `root` written "@".
std::string answer(Texts (*read)(const std::string&), const std::string& root) try {
    return joined(read(root));
} catch (const ProcessTableError& error) {
    std::string text = error.what();
    for (std::size_t at; (at = text.find(root)) != std::string::npos;) text.replace(at, root.size(), "@");
    return text;
}
} // namespace

TEST(ProcessTable, ReadsEachLiveProcessOfTheUserAndEveryReadingOfWhatItHolds) {
    const FakeTable table;
    table.process("11", "/usr/bin/Tool (deleted)");
    const std::string editor = table.process("12", "/opt/" + oddName);
    t::writeFile(table.process("13") + "/cmdline", std::string("node\0script.js\0", 15));
    t::writeFile(table.process("14") + "/cmdline", std::string("/usr/libexec/daemon/\0-f\0", 24));
    t::writeFile(table.process("15") + "/comm", "kworker/0:1\n"); // a kernel thread: no exe, no argv
    t::makeSymbolicLink("/u/zombie-held", table.process("16", "", 'Z') + "/fd/0"); // its first thread; a worker lives on
    t::makeSymbolicLink("/u/worker-held", table.process("16/task/40", "/w") + "/fd/0");
    t::makeSymbolicLink("/u/thread-held", table.process("12/task/30", "/not/read") + "/fd/0");
    // The first threads as themselves; ended after the listing (empty folders: 31, 19) or before they were opened.
    for (const char* dir : {"12/task/12", "16/task/16", "12/task/31", "19"}) t::makeDirectories(table.root + "/" + dir);
    for (const char* gone : {"12/task/32", "20"}) t::makeSymbolicLink(table.root + "/gone", table.root + "/" + gone);
    table.process("17", "", 'X');
    t::makeSymbolicLink("11", table.root + "/self"); // not a process number
    const Texts held = {"/u/a b", "pipe:[1]", "/u/gone (deleted)", "/u/new\nline"};
    for (std::size_t i = 0; i < held.size(); ++i) t::makeSymbolicLink(held[i], editor + "/fd/" + std::to_string(i));
    t::writeFile(editor + "/maps", "55d0-55d1 r--p 00000000 fd:00 1234    /usr/lib/libc.so\n"
                                   "55d1-55d2 r-xp 00001000 fd:00 1234    /usr/lib/libc.so\n"
                                   "55d3-55d4 rw-p 00000000 00:00 0       [heap]\n"
                                   "7f00-7f01 r--s 00000000 fd:00 99      /u/map\\012ped (deleted)\n"
                                   "7f02-7f03 r--p 00000000 fd:00 77      /u/ends with a blank ");
    EXPECT_EQ(answer(executableNames, table.root), joined({"Tool", oddName, "node", "daemon", "kworker/0:1", "w"}));
    Texts open(14, "/"); // the working and root folders of the five live processes and two threads
    open.insert(open.end(), {"/u/thread-held", "/w", "/u/worker-held", "/usr/bin/Tool (deleted)",
                             "/usr/bin/Tool", "/opt/" + oddName, "/u/a b", "/u/gone", "/u/gone (deleted)",
                             "/u/new\nline", "/usr/lib/libc.so", "/u/map\\012ped (deleted)",
                             "/u/map\\012ped", "/u/map\nped (deleted)", "/u/map\nped", "/u/ends with a blank "});
    EXPECT_EQ(answer(openFilePaths, table.root), joined(open));
}

// A refusal (another user's process under "hidepid", or a part of one not to be inspected) is passed over, any
// other failure fails the whole answer. Made while root where this is root: folders root's, processes by status.
TEST(ProcessTable, AnyFailureButAnEndedOrUninspectableProcessFailsTheWholeAnswer) {
    const std::string read = "Cannot read @/1/", noStatus = read + "status: no State or Uid line";
    const bool asRoot = geteuid() == 0; // then the status, not the folder, tells the user's processes
    const auto both = [](const std::string& text) { return text + "|" + text; };
    const std::vector<std::pair<void (*)(const FakeTable&), std::string>> rows = { // names|open files
        {[](auto& f) { chmod(f.process("1", "/h").c_str(), 0);
                       t::makeSymbolicLink("/held", f.process("2", "/s") + "/fd/0"); }, "s,|/,/,/held,/s,"},
        {[](auto& f) { f.process("1", "/theirs", 'S', 1); }, asRoot ? "|" : "theirs,|/,/,/theirs,"},
        {[](auto& f) { f.process("1", "", 'Z'), f.process("1/task/1"), f.process("1/task/2", "/w"); }, "w,|/,/,/w,"},
        {[](auto& f) { const std::string p = f.process("1", "/x"); chmod((p + "/fd").c_str(), 0); // as a sandbox's
                       chmod((p + "/maps").c_str(), 0); }, "x,|/,/,/x,"},
        {[](auto& f) { chmod((f.process("1") + "/cmdline").c_str(), 0); }, read + "cmdline: Permission denied|/,/,"},
        {[](auto& f) { t::writeFile(f.process("1") + "/status", ""); }, noStatus + "|" + (asRoot ? noStatus : "/,/,")},
        {[](auto& f) { t::writeFile(f.process("1", "/x") + "/fd/5", ""); }, "x,|" + read + "fd/5: Invalid argument"},
        {[](auto& f) { f.process("2", "/" + std::string(PATH_MAX - 2, 'a')); }, // a full buffer
         both("Cannot read @/2/exe: File name too long")},
        {[](auto& f) { rmdir(f.root.c_str()); }, both("Cannot list @: No such file or directory")},
    };
    std::vector<FakeTable> tables(rows.size());
    std::vector<std::string> roots; // opened while still root: the other user may not reach the fixture's folders
    const std::string outcome = t::asUserOfItsOwn(
        [&](uid_t uid) {
            for (std::size_t i = 0; i < rows.size(); ++i)
                tables[i].uid = uid, rows[i].first(tables[i]),
                roots.push_back("/proc/self/fd/" + std::to_string(open(tables[i].root.c_str(), O_RDONLY)));
        },
        [&] {
            std::string all;
            for (const std::string& root : roots)
                all += answer(executableNames, root) + "|" + answer(openFilePaths, root) + "\n";
            return all;
        });
    std::string expected;
    for (const auto& [make, text] : rows) expected += text + "\n";
    EXPECT_EQ(outcome, expected);
}

// The test of both real queries. Children hold a folder whose name the kernel could escape, each in a way that
// only a reading thread by thread shows or that the kernel refuses to show; as root the reader is a user of its own.
TEST(ProcessTableLive, EveryLiveThreadIsReadExactlyAndWhatMayNotBeInspectedIsPassedOver) {
    std::vector<std::tuple<std::string, void (*)(const std::string&, const std::string&), std::string>> rows = {
        {"non-dumpable", [](auto& h, auto&) { open(h.c_str(), O_RDONLY), prctl(PR_SET_DUMPABLE, 0); }, "blind"},
        // The first thread leaves the worker it started the table or folders they shared, and takes its own.
        {"file table", [](auto& h, auto&) {
             const int f = open(h.c_str(), 0); std::thread(pause).detach(), unshare(CLONE_FILES), close(f); }, "held"},
        {"working folder", [](auto& h, auto&) {
             chdir(h.c_str()), std::thread(pause).detach(), unshare(CLONE_FS), chdir("/"); }, "held"},
        {"exited first thread", [](auto& h, auto& browser) {
             open(h.c_str(), O_RDONLY), execl(browser.c_str(), browser.c_str(), nullptr); }, "held"},
    };
    std::string held, browser;
    const std::string outcome = t::asUserOfItsOwn(
        [&](uid_t uid) {
            held = t::freshDirectory("held") + "/";
            t::writeFile(browser = t::freshDirectory("browser") + "/chromium", t::readFile("/proc/self/exe"));
            if (chown(held.c_str(), uid, uid) != 0 || chmod(browser.c_str(), 0755) != 0) _exit(1);
        },
        [&] {
            for (const auto& [name, hold, expected] : rows) {
                t::makeDirectories(held + name + oddName);
                const pid_t pid = fork(); // a child that dies with this one
                if (pid == 0)
                    prctl(PR_SET_PDEATHSIG, SIGKILL), hold(held + name + oddName, browser), raise(SIGSTOP), _exit(1);
                const std::string status = "/proc/" + std::to_string(pid) + "/status";
                for (std::string s; (s = t::readFile(status)).find("\tT (") == s.npos && s.find("\tZ (") == s.npos;)
                    usleep(1000); // until it is set up (stopped), or its first thread exited
            }
            rmdir((held + std::get<0>(rows.back()) + oddName).c_str()); // the browser's (the last row), held
            const std::string open = answer(openFilePaths, "/proc"), names = "," + answer(executableNames, "/proc");
            const auto has = [](const std::string& all, std::string one) { return all.find(one += ",") < all.npos; };
            std::string seen = has(names, ",chromium") && has(open, browser) ? "chromium runs\n" : "no chromium\n";
            for (const auto& [name, hold, want] : rows) // names each row that differs
                seen += has(open, held + name + oddName) == (want == "held") ? "" : name + " not " + want + "\n";
            return seen;
        });
    EXPECT_EQ(outcome, "chromium runs\n");
}
