// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "guard/RunningTools.h"

#include "tests/support/Fixture.h"
#include "tests/support/ReadmeTables.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace q = quillon;
namespace t = quillon::testing;
using Names = std::set<std::string>;

// Which running programs make a group busy, by kind of rule. Every name of the README's table of running programs
// makes its group busy (a beginning, "*", with any ending); the engine's run over the Linux rows shows that these
// names leave the other groups idle. The running set is every process of the user, named in full and lower-cased.
TEST(RunningTools, GroupsAreBusyByTheirKindOfRuleAndReadmeNamesAndTheRunningSetIsEveryProcessLowerCased) {
    using q::Group;
    const std::tuple<Group, Names, bool> rows[] = {
        {Group::vlc, {"vlc-cache-gen", "xvlc"}, false},         // an exact name, nothing longer or shorter
        {Group::development, {"codex", "clang-format"}, false}, // beginning like a compiler is not enough
        {Group::python, {"ipython"}, false},                    // a beginning only at the start
        {Group::figma, {"figma_agent", "figma helper"}, true},  // an ignored name ignores only itself
        {Group::chromium, {"chromium|chrome", "chromium-b"}, false}, // each name of a list whole
    };
    for (const auto& [group, running, busy] : rows)
        EXPECT_EQ(q::busyTools(group, running), busy) << q::about(group).name;
    const auto groups = q::groups();
    for (const auto& row : t::readmeTable(t::runningTable)) {
        const auto named = std::ranges::find(groups, row.at(0), &q::GroupInfo::name);
        ASSERT_NE(named, groups.end()) << row[0];
        for (std::string name : t::codeSpans(row.at(1))) {
            if (name.back() == '*') name.replace(name.size() - 1, 1, " helper");
            EXPECT_TRUE(q::busyTools(named->group, {name})) << row[0] << ": " << name;
        }
    }
    const std::string table = t::freshDirectory("proc");
    int pid = 100;
    for (const char* exe : {"/opt/app/Google Chrome Helper (Renderer)", "/usr/bin/node", "/usr/local/bin/NODE"}) {
        const std::string process = table + "/" + std::to_string(++pid);
        t::makeDirectories(process);
        t::makeSymbolicLink(exe, process + "/exe");
    }
    EXPECT_EQ(q::runningCommandsIn(table), (Names{"google chrome helper (renderer)", "node"}));
}
