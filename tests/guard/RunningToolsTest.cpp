// Which running programs make a group busy, by kind of rule, and the running set read from a process table made here.

#include "guard/RunningTools.h"

#include "tests/support/Fixture.h"
#include "tests/support/ReadmeTables.h"

#include <gtest/gtest.h>

namespace q = quillon;
namespace t = quillon::testing;
using Names = std::set<std::string>;

TEST(GroupRules, DecideBusyByTheKindOfRuleAndKeepEveryGroupOfTheReadmeForEachOfItsNames) {
    const std::tuple<const char*, Names, bool> rows[] = {
        {"VLC", {"vlc"}, true},                            // an exact name
        {"VLC", {"vlc-cache-gen", "xvlc"}, false},         // ... and nothing longer or shorter
        {"Development", {"codex", "clang-format"}, false}, // beginning like a compiler is not enough
        {"Chrome", {"google chrome helper"}, true},        // a name's beginning
        {"Python", {"ipython"}, false},                    // ... only at the start
        {"Figma", {"figma_agent"}, false},                 // an ignored name
        {"Figma", {"figma_agent", "figma helper"}, true},  // ... ignores only itself
        {"Chrome", {}, false},                             // nothing running
        {"Group without a rule", {}, true},                // cannot be shown idle
        {"chrome", {}, true},                              // group names are compared exactly
    };
    Names everything;
    for (const auto& [group, running, busy] : rows) {
        EXPECT_EQ(q::busyTools(group, running), busy) << group << " with " << running.size() << " names";
        everything.insert(running.begin(), running.end());
    }
    // Every name of the README's table of running programs; a beginning ("*") with any ending.
    for (const auto& row : t::readmeTable(t::runningTable))
        for (std::string name : t::codeSpans(row.at(1)))
            EXPECT_TRUE(q::busyTools(row[0], {name.back() == '*' ? name.replace(name.size() - 1, 1, " helper") : name}))
                << row[0] << ": " << name;
    // Groups whose caches every program shares are never busy.
    for (const char* group : {"Logs", "GPU", "Thumbnail", "Desktop"})
        EXPECT_FALSE(q::busyTools(group, everything)) << group;
}

TEST(RunningSet, IsEveryProcessOfTheUserNamedInFullAndLowerCased) {
    const std::string table = t::freshDirectory("proc");
    int pid = 100;
    for (const char* exe : {"/opt/app/Google Chrome Helper (Renderer)", "/usr/bin/node", "/usr/local/bin/NODE"}) {
        t::makeDirectory(table + "/" + std::to_string(++pid));
        t::makeSymlink(exe, table + "/" + std::to_string(pid) + "/exe");
    }
    EXPECT_EQ(q::runningCommandsIn(table), (Names{"google chrome helper (renderer)", "node"}));
}
