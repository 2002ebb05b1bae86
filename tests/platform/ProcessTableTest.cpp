#include "platform/ProcessTable.h"

#include "tests/support/Fixture.h"
#include "tests/support/OwnUser.h"
#include "tests/support/RunningProgram.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillon::platform;
namespace t = quillon::testing;
using Texts = std::vector<std::string>;

namespace {

// A folder shaped like /proc, made of plain files and links.
struct FakeTable {
    const std::string root = t::freshDirectory("proc");

    // Makes the folder of process `pid`: a status of real user `realUid`
    // (effective user: this test's) in `state`, an empty fd/, cmdline and
    // maps, and `exe` as its executable (none when empty); cwd and root "/"
    // unless it is a zombie, whose links are gone as in the kernel's table.
    std::string process(int pid, const std::string& exe, uid_t realUid = getuid(), char state = 'S') const {
        const std::string dir = root + "/" + std::to_string(pid);
        t::makeDirectory(dir + "/fd");
        t::writeFile(dir + "/status", "Name:\tx\nUmask:\t0022\nState:\t" + std::string(1, state) + " (x)\nTgid:\t" +
                                          std::to_string(pid) + "\nUid:\t" + std::to_string(realUid) + "\t" +
                                          std::to_string(getuid()) + "\t0\t0\nGid:\t0\t0\t0\t0\n");
        for (const char* file : {"cmdline", "maps"}) t::writeFile(dir + "/" + file, "");
        t::writeFile(dir + "/comm", "x\n");
        if (state != 'Z' && state != 'X') {
            t::makeSymlink("/", dir + "/cwd");
            t::makeSymlink("/", dir + "/root");
        }
        if (!exe.empty()) t::makeSymlink(exe, dir + "/exe");
        return dir;
    }
};

Texts sorted(Texts texts) {
    std::sort(texts.begin(), texts.end());
    return texts;
}

// Returns the sorted answer of `read`, or the text of what it threw.
Texts answer(const std::function<Texts()>& read) {
    try {
        return sorted(read());
    } catch (const ProcessTableError& error) {
        return {error.what()};
    }
}

// Returns the text of what `read` threw, or the empty text.
std::string thrown(const std::function<Texts()>& read) {
    try {
        read();
        return {};
    } catch (const ProcessTableError& error) {
        return error.what();
    }
}

const std::string oddName = "we\nird^Ay\\x\xff\xEF\xBF\xBD";

} // namespace

TEST(ProcessTable, NamesEachLiveProcessOfTheUserByExecutableElseArgv0ElseShortName) {
    const FakeTable table;
    table.process(10, "/opt/google/chrome/chrome_crashpad_handler");
    table.process(11, "/usr/bin/Tool (deleted)");
    table.process(12, "/opt/" + oddName);
    t::writeFile(table.process(13, "") + "/cmdline", std::string("node\0script.js\0", 15));
    t::writeFile(table.process(14, "") + "/cmdline", std::string("/usr/libexec/daemon/\0-f\0", 24));
    t::writeFile(table.process(15, "") + "/comm", "kworker/0:1\n"); // a kernel thread: no exe, no argv
    table.process(16, "", getuid(), 'Z');
    table.process(17, "", getuid(), 'X');
    t::makeDirectory(table.root + "/19");            // ended after the listing: its folder is empty
    t::makeSymlink(table.root + "/gone", table.root + "/20"); // ended before its folder was opened
    t::makeSymlink("10", table.root + "/self");      // not a process number
    EXPECT_EQ(answer([&] { return executableNames(table.root); }),
              sorted({"chrome_crashpad_handler", "Tool", oddName, "node", "daemon", "kworker/0:1"}));
}

TEST(ProcessTable, ListsEveryReadingOfWhatLiveProcessesOfTheUserHold) {
    const FakeTable table;
    const std::string editor = table.process(20, "/usr/bin/editor");
    const Texts descriptors = {"/home/u/a b.txt", "pipe:[123]", "/home/u/gone (deleted)", "/home/u/x^Ay",
                               "/home/u/new\nline", "anon_inode:[eventfd]", "/home/u/" + oddName};
    for (std::size_t i = 0; i < descriptors.size(); ++i)
        t::makeSymlink(descriptors[i], editor + "/fd/" + std::to_string(i));
    unlink((editor + "/cwd").c_str());
    t::makeSymlink("/home/u/work", editor + "/cwd");
    t::writeFile(editor + "/maps",
                 "55d0-55d1 r--p 00000000 fd:00 1234                       /usr/bin/editor\n"
                 "55d1-55d2 r-xp 00001000 fd:00 1234                       /usr/bin/editor\n"
                 "55d3-55d4 rw-p 00000000 00:00 0                          [heap]\n"
                 "7f00-7f01 r--s 00000000 fd:00 99                         /home/u/map\\012ped (deleted)\n"
                 "7f01-7f02 rw-p 00000000 00:00 0 \n"
                 "7f02-7f03 r--p 00000000 fd:00 77                         /home/u/ends with a blank \n"
                 "7ffc-7ffd rw-p 00000000 00:00 0                          [stack]");
    t::makeSymlink("/home/u/zombie-held", table.process(21, "", getuid(), 'Z') + "/fd/0");
    table.process(23, ""); // a kernel thread
    EXPECT_EQ(answer([&] { return openFilePaths(table.root); }),
              sorted({"/home/u/work", "/", "/usr/bin/editor", "/home/u/a b.txt", "/home/u/gone (deleted)",
                      "/home/u/gone", "/home/u/x^Ay", "/home/u/new\nline", "/home/u/" + oddName, "/usr/bin/editor",
                      "/home/u/map\\012ped (deleted)", "/home/u/map\\012ped", "/home/u/map\nped (deleted)",
                      "/home/u/map\nped", "/home/u/ends with a blank ", "/", "/"}));
}

TEST(ProcessTable, FolderOfAnotherOwnerIsTheUsersOnlyWhenItsStatusNamesTheUserAsRealUserAndItLives) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to give a folder another owner";
    const FakeTable table;
    const uid_t other = getuid() + 12345;
    // Ours, running another account's setuid program or not inspectable.
    const std::string mine = table.process(60, "/bin/mine", getuid());
    t::makeSymlink("/held/mine", mine + "/fd/0");
    const std::string theirs = table.process(61, "/bin/theirs", other);
    t::makeSymlink("/held/theirs", theirs + "/fd/0");
    const std::string zombie = table.process(62, "", getuid(), 'Z');
    for (const std::string& folder : {mine, theirs, zombie}) ASSERT_EQ(chown(folder.c_str(), other, other), 0);
    EXPECT_EQ(answer([&] { return executableNames(table.root); }), Texts{"mine"});
    EXPECT_EQ(answer([&] { return openFilePaths(table.root); }), sorted({"/", "/", "/bin/mine", "/held/mine"}));
}

TEST(ProcessTable, AnyReadingThatFailsOtherThanByAnEndedProcessFailsTheWholeAnswer) {
    struct Row {
        const char* what;
        std::function<std::string(const FakeTable&)> make; // returns the table's root
        std::string names;                                   // what executableNames throws, "" for nothing
        std::string open;                                    // what openFilePaths throws
    };
    const std::string longTarget = "/" + std::string(PATH_MAX - 2, 'a'); // fills the link buffer
    const std::vector<Row> rows = {
        {"missing root", [](const FakeTable& f) { return f.root + "/none"; },
         "Cannot list @/none: No such file or directory", "Cannot list @/none: No such file or directory"},
        {"root that is a file", [](const FakeTable& f) { t::writeFile(f.root + "/file", ""); return f.root + "/file"; },
         "Cannot list @/file: Not a directory", "Cannot list @/file: Not a directory"},
        // Read only where it decides: here, whether a process without an
        // executable is a zombie.
        {"status without a Uid line",
         [](const FakeTable& f) { t::writeFile(f.process(30, "") + "/status", "Name:\tx\nState:\tS (x)\n");
                                  return f.root; },
         "Cannot read @/30/status: no State or Uid line", ""},
        {"descriptor that is no link",
         [](const FakeTable& f) { t::writeFile(f.process(31, "/bin/x") + "/fd/5", ""); return f.root; },
         "", "Cannot read @/31/fd/5: Invalid argument"},
        {"executable link that fills the buffer",
         [&](const FakeTable& f) { f.process(32, longTarget); return f.root; },
         "Cannot read @/32/exe: File name too long", "Cannot read @/32/exe: File name too long"},
        {"unreadable cmdline without an executable",
         [](const FakeTable& f) { const std::string dir = f.process(33, "");
                                  unlink((dir + "/cmdline").c_str()); t::makeDirectory(dir + "/cmdline");
                                  return f.root; },
         "Cannot read @/33/cmdline: Is a directory", ""},
        {"unreadable maps",
         [](const FakeTable& f) { const std::string dir = f.process(34, "/bin/x");
                                  unlink((dir + "/maps").c_str()); t::makeDirectory(dir + "/maps");
                                  return f.root; },
         "", "Cannot read @/34/maps: Is a directory"},
    };
    for (const Row& row : rows) {
        const FakeTable table;
        const std::string root = row.make(table);
        const auto expected = [&](std::string text) {
            for (std::size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, table.root);
            return text;
        };
        EXPECT_EQ(thrown([&] { return executableNames(root); }), expected(row.names)) << row.what;
        EXPECT_EQ(thrown([&] { return openFilePaths(root); }), expected(row.open)) << row.what;
    }
}

TEST(ProcessTable, ARefusalIsPassedOverOnlyWhereItMeansTheProcessIsNotInspectable) {
    const FakeTable quiet, changing;
    int quietRoot = -1, changingRoot = -1;
    const std::string outcome = t::asUserOfItsOwn(
        [&](uid_t uid) {
            // Refused at the first look (another user's under "hidepid"):
            // passed over.
            const std::string hidden = quiet.process(50, "/bin/hidden", uid);
            t::makeSymlink("/held/seen", quiet.process(52, "/bin/seen", uid) + "/fd/0");
            // Refused once it was found readable: it changed under the reading.
            const std::string maps = changing.process(53, "/bin/x", uid) + "/maps";
            const std::string cmdline = changing.process(54, "", uid) + "/cmdline";
            for (const std::string& path : {hidden, maps, cmdline}) chmod(path.c_str(), 0);
            // The fixture's parents are closed to other users: each table is
            // reached through a descriptor opened while still root.
            quietRoot = open(quiet.root.c_str(), O_RDONLY | O_DIRECTORY);
            changingRoot = open(changing.root.c_str(), O_RDONLY | O_DIRECTORY);
        },
        [&] {
            const std::string quietPath = "/proc/self/fd/" + std::to_string(quietRoot);
            const std::string changingPath = "/proc/self/fd/" + std::to_string(changingRoot);
            std::string all;
            for (const std::string& text : answer([&] { return executableNames(quietPath); })) all += text + ",";
            for (const std::string& text : answer([&] { return openFilePaths(quietPath); })) all += text + ",";
            all += "\n" + thrown([&] { return executableNames(changingPath); }) + "\n" +
                   thrown([&] { return openFilePaths(changingPath); });
            for (std::size_t at; (at = all.find(changingPath)) != std::string::npos;)
                all.replace(at, changingPath.size(), "@");
            return all;
        });
    EXPECT_EQ(outcome, "seen,/,/,/bin/seen,/held/seen,\nCannot read @/54/cmdline: Permission denied\n"
                       "Cannot read @/53/maps: Permission denied");
}

TEST(ProcessTableLive, ChildProcessIsNamedInFullAndWhatItHoldsIsListedExactly) {
    const std::string dir = t::freshDirectory("held");
    Texts held;
    for (const std::string& name : {std::string("x^Ay"), std::string("new\nline"), std::string("back\\slash"),
                                    std::string("bad\xff"), oddName, std::string("removed")}) {
        held.push_back(dir + "/" + name);
        t::writeFile(held.back(), "held");
    }
    const t::RunningProgram program("chrome_crashpad_handler", held);
    ASSERT_EQ(unlink(held.back().c_str()), 0);
    held.push_back(held.back() + " (deleted)");
    held.push_back(program.path());

    const Texts names = executableNames();
    EXPECT_NE(std::find(names.begin(), names.end(), "chrome_crashpad_handler"), names.end());
    const Texts open = openFilePaths();
    for (const std::string& path : held) EXPECT_NE(std::find(open.begin(), open.end(), path), open.end()) << path;
}
