#include "platform/ProcessTable.h"
#include "tests/support/Fixture.h"
#include "tests/support/Processes.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <climits>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillon::platform;
namespace t = quillon::testing;
using Texts = std::vector<std::string>;

namespace {
const std::string oddName = "we\nird^Ay\\x\xff\xEF\xBF\xBD";

// A folder shaped like /proc. Process `pid` has a status of real user `uid` in `state`, an empty fd/, cmdline
// and maps, comm "x", `exe` (none when empty), and cwd and root "/" unless a zombie, whose links are gone.
struct FakeTable {
    const std::string root = t::freshDirectory("proc");
    std::string process(int pid, const std::string& exe, uid_t uid = getuid(), char state = 'S') const {
        const std::string dir = root + "/" + std::to_string(pid);
        t::makeDirectory(dir + "/fd");
        t::writeFile(dir + "/status", "Name:\tx\nState:\t" + std::string(1, state) + "\nUid:\t" + std::to_string(uid));
        for (const auto& [file, text] : {std::pair{"cmdline", ""}, {"maps", ""}, {"comm", "x\n"}}) t::writeFile(dir + "/" + file, text);
        for (const char* link : {"cwd", "root"})
            if (state != 'Z' && state != 'X') t::makeSymlink("/", dir + "/" + link);
        if (!exe.empty()) t::makeSymlink(exe, dir + "/exe");
        return dir;
    }
};

// The sorted answer of `read`, each followed by a comma, or what it threw with `root` written "@".
std::string answer(const std::function<Texts()>& read, const std::string& root) try {
    Texts texts = read();
    std::sort(texts.begin(), texts.end());
    std::string all;
    for (const std::string& text : texts) all += text + ",";
    return all;
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
    t::writeFile(table.process(13, "") + "/cmdline", std::string("node\0script.js\0", 15));
    t::writeFile(table.process(14, "") + "/cmdline", std::string("/usr/libexec/daemon/\0-f\0", 24));
    t::writeFile(table.process(15, "") + "/comm", "kworker/0:1\n"); // a kernel thread: no exe, no argv
    t::makeSymlink("/u/zombie-held", table.process(16, "", getuid(), 'Z') + "/fd/0");
    table.process(17, "", getuid(), 'X');
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
    const auto sorted = [](const Texts& texts) { return answer([&] { return texts; }, "@"); };
    EXPECT_EQ(answer([&] { return executableNames(table.root); }, table.root),
              sorted({"Tool", oddName, "node", "daemon", "kworker/0:1"}));
    Texts open(10, "/"); // the working and root folders of the five live processes
    open.insert(open.end(), {"/usr/bin/Tool (deleted)", "/usr/bin/Tool", "/opt/" + oddName, "/u/a b", "/u/gone (deleted)", "/u/gone", "/u/new\nline",
                             "/usr/lib/libc.so", "/u/map\\012ped (deleted)", "/u/map\\012ped", "/u/map\nped (deleted)",
                             "/u/map\nped", "/u/ends with a blank "});
    EXPECT_EQ(answer([&] { return openFilePaths(table.root); }, table.root), sorted(open));
}

// A refusal at the first look (another user's process under "hidepid", or one not inspectable) is passed
// over; any other failure, a later refusal included (the process changed under the reading), fails the whole
// answer. Tables are made while root where this is root: folders root's, processes the user's by their status.
TEST(ProcessTable, AnyFailureButAnEndedOrUninspectableProcessFailsTheWholeAnswer) {
    using Make = std::function<void(const FakeTable&, uid_t)>;
    const std::string tooLong = "Cannot read @/2/exe: File name too long", noRoot = "Cannot list @: No such file or directory";
    const std::vector<std::tuple<Make, std::string, std::string>> rows = { // names, open files ("": not read)
        {[](auto& f, uid_t u) { chmod(f.process(1, "/hidden", u).c_str(), 0); t::makeSymlink("/held", f.process(2, "/seen", u) + "/fd/0"); },
         "seen,", "/,/,/held,/seen,"},
        {[](auto& f, uid_t u) { f.process(1, "/theirs", u + 1); }, geteuid() == 0 ? "" : "theirs,", ""}, // the folder decides, else the status
        {[](auto& f, uid_t u) { chmod((f.process(1, "/x", u) + "/maps").c_str(), 0); }, "x,", "Cannot read @/1/maps: Permission denied"},
        {[](auto& f, uid_t u) { chmod((f.process(1, "", u) + "/cmdline").c_str(), 0); }, "Cannot read @/1/cmdline: Permission denied", "/,/,"},
        {[](auto& f, uid_t u) { t::writeFile(f.process(1, "", u) + "/status", "State:\tS"); }, "Cannot read @/1/status: no State or Uid line", ""},
        {[](auto& f, uid_t u) { t::writeFile(f.process(1, "/x", u) + "/fd/5", ""); }, "x,", "Cannot read @/1/fd/5: Invalid argument"},
        {[](auto& f, uid_t u) { f.process(2, "/" + std::string(PATH_MAX - 2, 'a'), u); }, tooLong, tooLong}, // a full buffer
        {[](auto& f, uid_t) { rmdir(f.root.c_str()); }, noRoot, noRoot},
    };
    const std::vector<FakeTable> tables(rows.size());
    std::vector<int> roots;
    const std::string outcome = t::asUserOfItsOwn(
        [&](uid_t uid) {
            for (std::size_t i = 0; i < rows.size(); ++i) std::get<0>(rows[i])(tables[i], uid);
            // Opened while still root: the other user may not reach the fixture's folders.
            for (const FakeTable& table : tables) roots.push_back(open(table.root.c_str(), O_RDONLY | O_DIRECTORY));
        },
        [&] {
            std::string all;
            for (std::size_t i = 0; i < rows.size(); ++i) {
                const std::string root = roots[i] < 0 ? tables[i].root : "/proc/self/fd/" + std::to_string(roots[i]);
                all += answer([&] { return executableNames(root); }, root) + "\n";
                if (!std::get<2>(rows[i]).empty()) all += answer([&] { return openFilePaths(root); }, root) + "\n";
            }
            return all;
        });
    std::string expected;
    for (const auto& [make, names, open] : rows) expected += names + "\n" + (open.empty() ? "" : open + "\n");
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
