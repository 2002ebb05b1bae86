#include "platform/ProcessTable.h"
#include "tests/support/Fixture.h"
#include "tests/support/Processes.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillon::platform;
namespace t = quillon::testing;
using Texts = std::vector<std::string>;

namespace {
const std::string oddName = "we\nird^Ay\\x\xff\xEF\xBF\xBD";
// A folder shaped like /proc. Process `pid` has a status of real user `uid` + `shift` in `state`, an empty fd/,
// cmdline, maps and comm, `exe` (none when empty), and cwd and root "/" unless a zombie, whose links are gone.
struct FakeTable {
    const std::string root = t::freshDirectory("proc");
    uid_t uid = getuid();
    std::string process(int pid, const std::string& exe = "", char state = 'S', uid_t shift = 0) const {
        const std::string dir = root + "/" + std::to_string(pid);
        t::makeDirectory(dir + "/fd");
        t::writeFile(dir + "/status", std::string("State:\t") + state + "\nUid:\t" + std::to_string(uid + shift));
        for (const char* file : {"cmdline", "maps", "comm"}) t::writeFile(dir + "/" + file, "");
        for (const char* link : {"cwd", "root"})
            if (state != 'Z' && state != 'X') t::makeSymlink("/", dir + "/" + link);
        if (!exe.empty()) t::makeSymlink(exe, dir + "/exe");
        return dir;
    }
};
// `texts` sorted, each followed by a comma.
std::string joined(Texts texts) {
    std::sort(texts.begin(), texts.end());
    std::string all;
    for (const std::string& text : texts) all += text + ",";
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
    table.process(11, "/usr/bin/Tool (deleted)");
    const std::string editor = table.process(12, "/opt/" + oddName);
    t::writeFile(table.process(13) + "/cmdline", std::string("node\0script.js\0", 15));
    t::writeFile(table.process(14) + "/cmdline", std::string("/usr/libexec/daemon/\0-f\0", 24));
    t::writeFile(table.process(15) + "/comm", "kworker/0:1\n"); // a kernel thread: no exe, no argv
    t::makeSymlink("/u/zombie-held", table.process(16, "", 'Z') + "/fd/0");
    table.process(17, "", 'X');
    t::makeDirectory(table.root + "/19");                     // ended after the listing: its folder is empty
    t::makeSymlink(table.root + "/gone", table.root + "/20"); // ended before its folder was opened
    t::makeSymlink("11", table.root + "/self");               // not a process number
    const Texts held = {"/u/a b", "pipe:[1]", "/u/gone (deleted)", "/u/new\nline"};
    for (std::size_t i = 0; i < held.size(); ++i) t::makeSymlink(held[i], editor + "/fd/" + std::to_string(i));
    t::writeFile(editor + "/maps", "55d0-55d1 r--p 00000000 fd:00 1234    /usr/lib/libc.so\n"
                                   "55d1-55d2 r-xp 00001000 fd:00 1234    /usr/lib/libc.so\n"
                                   "55d3-55d4 rw-p 00000000 00:00 0       [heap]\n"
                                   "7f00-7f01 r--s 00000000 fd:00 99      /u/map\\012ped (deleted)\n"
                                   "7f02-7f03 r--p 00000000 fd:00 77      /u/ends with a blank ");
    EXPECT_EQ(answer(executableNames, table.root), joined({"Tool", oddName, "node", "daemon", "kworker/0:1"}));
    Texts open(10, "/"); // the working and root folders of the five live processes
    open.insert(open.end(), {"/usr/bin/Tool (deleted)", "/usr/bin/Tool", "/opt/" + oddName, "/u/a b", "/u/gone",
                             "/u/gone (deleted)", "/u/new\nline", "/usr/lib/libc.so", "/u/map\\012ped (deleted)",
                             "/u/map\\012ped", "/u/map\nped (deleted)", "/u/map\nped", "/u/ends with a blank "});
    EXPECT_EQ(answer(openFilePaths, table.root), joined(open));
}

// A refusal at the first look (another user's process under "hidepid", or one not inspectable) is passed over;
// any other failure, a later refusal included (the process changed under the reading), fails the whole answer.
// Made while root where this is root: folders root's, processes the user's (or another's) by their status.
TEST(ProcessTable, AnyFailureButAnEndedOrUninspectableProcessFailsTheWholeAnswer) {
    const std::string read = "Cannot read @/1/", noStatus = read + "status: no State or Uid line";
    const bool asRoot = geteuid() == 0; // then the status, not the folder, tells the user's processes
    const auto both = [](const std::string& text) { return text + "|" + text; };
    const std::vector<std::pair<void (*)(const FakeTable&), std::string>> rows = { // names|open files
        {[](auto& f) { chmod(f.process(1, "/h").c_str(), 0);
                       t::makeSymlink("/held", f.process(2, "/s") + "/fd/0"); }, "s,|/,/,/held,/s,"},
        {[](auto& f) { f.process(1, "/theirs", 'S', 1); }, asRoot ? "|" : "theirs,|/,/,/theirs,"},
        {[](auto& f) { chmod((f.process(1, "/x") + "/maps").c_str(), 0); }, "x,|" + read + "maps: Permission denied"},
        {[](auto& f) { chmod((f.process(1) + "/cmdline").c_str(), 0); }, read + "cmdline: Permission denied|/,/,"},
        {[](auto& f) { t::writeFile(f.process(1) + "/status", ""); }, noStatus + "|" + (asRoot ? noStatus : "/,/,")},
        {[](auto& f) { t::writeFile(f.process(1, "/x") + "/fd/5", ""); }, "x,|" + read + "fd/5: Invalid argument"},
        {[](auto& f) { f.process(2, "/" + std::string(PATH_MAX - 2, 'a')); }, // a full buffer
         both("Cannot read @/2/exe: File name too long")},
        {[](auto& f) { rmdir(f.root.c_str()); }, both("Cannot list @: No such file or directory")},
    };
    std::vector<FakeTable> tables(rows.size());
    std::vector<std::string> roots; // opened while still root: the other user may not reach the fixture's folders
    const std::string outcome = t::asUserOfItsOwn(
        [&](uid_t uid) {
            for (std::size_t i = 0; i < rows.size(); ++i) {
                tables[i].uid = uid;
                rows[i].first(tables[i]);
                roots.push_back("/proc/self/fd/" + std::to_string(open(tables[i].root.c_str(), O_RDONLY)));
            }
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

// The one test of both real queries: a child named like a browser's helper holds files the kernel escapes or marks.
TEST(ProcessTableLive, ChildProcessIsNamedInFullAndWhatItHoldsIsListedExactly) {
    const std::string dir = t::freshDirectory("held");
    Texts held = {dir + "/new\nline", dir + "/back\\slash", dir + "/" + oddName, dir + "/gone"};
    for (const std::string& path : held) t::writeFile(path, "held");
    const t::RunningProgram program("chrome_crashpad_handler", held);
    ASSERT_EQ(unlink(held.back().c_str()), 0);
    held.insert(held.end(), {held.back() + " (deleted)", program.path()});
    const Texts names = executableNames(), open = openFilePaths();
    EXPECT_NE(std::find(names.begin(), names.end(), "chrome_crashpad_handler"), names.end());
    for (const std::string& path : held) EXPECT_NE(std::find(open.begin(), open.end(), path), open.end()) << path;
}
