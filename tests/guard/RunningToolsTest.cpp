#include "guard/RunningTools.h"

#include "core/Errors.h"
#include "core/Texts.h"
#include "tests/support/Fixture.h"
#include "tests/support/RunningProgram.h"

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>

namespace t = quillon::testing;
using quillon::busyTools;
using Names = std::set<std::string>;

// ---- the running set ----

TEST(RunningSet, ProgramOfTheUserIsNamedInFullAndLowerCased) {
    // ps would have cut this name to 15 characters.
    const t::RunningProgram program("Chrome_Crashpad_Handler");
    EXPECT_EQ(quillon::runningCommands().count("chrome_crashpad_handler"), 1u);
}

TEST(RunningSet, TableThatCannotBeReadIsASafeSkipAndCancellationIsSeen) {
    try {
        quillon::runningCommandsIn(t::fixtureRoot() + "/no-process-table");
        FAIL() << "expected a safe skip";
    } catch (const quillon::SafetyError& error) {
        EXPECT_EQ(error.reason(), quillon::text::cannotCheckRunningApps);
    }
    quillon::RunControl control;
    control.cancel();
    EXPECT_THROW(quillon::runningCommands(&control), quillon::CleanCancelled);
    EXPECT_THROW(busyTools("Chrome", &control), quillon::CleanCancelled);
}

// ---- the group rules ----

struct Row {
    const char* group;
    Names running;
    bool busy;
};

void PrintTo(const Row& row, std::ostream* out) {
    *out << '"' << row.group << "\" with {";
    for (const std::string& name : row.running) *out << " \"" << name << '"';
    *out << " } is " << (row.busy ? "busy" : "idle");
}

// Names a row after its group, its first running name and its outcome.
std::string rowName(const ::testing::TestParamInfo<Row>& info) {
    std::string name = std::string(info.param.group) + "_" +
                       (info.param.running.empty() ? std::string("nothing") : *info.param.running.begin()) + "_" +
                       (info.param.busy ? "busy" : "idle") + "_" + std::to_string(info.index);
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

class GroupRule : public ::testing::TestWithParam<Row> {};

TEST_P(GroupRule, DecidesBusy) {
    const Row& row = GetParam();
    EXPECT_EQ(busyTools(row.group, row.running), row.busy);
}

// The rows the built-in self-test checks.
INSTANTIATE_TEST_SUITE_P(SelfTestRows, GroupRule,
                         ::testing::Values(Row{"Figma", {"figma helper (renderer)"}, true},
                                           Row{"Figma", {"figma_agent"}, false},
                                           Row{"Chrome", {"google chrome helper"}, true},
                                           Row{"Chrome", {"chrome_crashpad_handler"}, false},
                                           Row{"VS Code", {"code helper (renderer)"}, true},
                                           Row{"VS Code", {"codex", "codesign"}, false},
                                           Row{"JavaScript", {"npm exec something"}, true},
                                           Row{"Development", {"xcbbuildservice"}, true},
                                           Row{"Development", {"cc"}, true},
                                           Row{"Atlas", {"atlas helper (renderer)"}, true},
                                           Row{"Safari", {"com.apple.webkit.networking"}, true},
                                           Row{"Blender", {"blender-thumbnailer"}, true},
                                           Row{"Nucleo", {"codex"}, false},
                                           Row{"Unknown app", {}, true}),
                         rowName);

INSTANTIATE_TEST_SUITE_P(
    ExactAndPrefixRules, GroupRule,
    ::testing::Values(
        // Development names are whole names: a longer name is another program.
        Row{"Development", {"codex"}, false}, Row{"Development", {"codesign"}, true},
        Row{"Development", {"clang-format", "gcc-12", "cc1obj-x", "makeinfo"}, false},
        Row{"VLC", {"vlc"}, true}, Row{"VLC", {"vlc-cache-gen"}, false},
        Row{"Python", {"python3.11"}, true}, Row{"Python", {"ipython"}, false},
        Row{"JavaScript", {"node"}, true}, Row{"JavaScript", {"corepack"}, true},
        Row{"JavaScript", {"pnpm"}, true}, Row{"JavaScript", {"yarnpkg"}, true},
        Row{"JavaScript", {"nodejs", "bunx", "denort"}, false},
        Row{"Package downloads", {"brewster"}, true}, Row{"Package downloads", {"make"}, true},
        Row{"Package downloads", {"wget"}, true}, Row{"Package downloads", {"cmake", "makeinfo", "curlie"}, false},
        Row{"VS Code", {"code"}, true}, Row{"VS Code", {"visual studio code helper"}, true},
        Row{"VS Code", {"vscode", "codes"}, false},
        // Only the exact agent name is forgiven; anything else of Figma counts.
        Row{"Figma", {"figma_agent", "figma"}, true}, Row{"Figma", {"figma_agent_helper"}, true},
        Row{"Chrome", {"google chrome"}, true}, Row{"Edge", {"microsoft edge helper"}, true},
        Row{"Edge", {"msedge_crashpad_handler"}, false}, Row{"Brave", {"brave browser helper (gpu)"}, true},
        Row{"Brave", {"bravery"}, false}, Row{"Codex", {"codex"}, true},
        Row{"Codex", {"chatgpt atlas"}, true}, Row{"Atlas", {"chatgpt atlas helper"}, true},
        Row{"Claude", {"claude helper"}, true}, Row{"Spotify", {"spotify helper"}, true},
        Row{"Framer", {"framer helper"}, true}, Row{"Safari", {"safari"}, true},
        Row{"Safari", {"com.apple.safari.safebrowsing"}, true}, Row{"Safari", {"webkit"}, false},
        Row{"Preview", {"com.apple.preview.thumbnailextension"}, true}, Row{"Preview", {"quicklook"}, false},
        Row{"Nucleo", {"co.ambercreative.nucleo"}, true}, Row{"Unity Hub", {"unity hub helper"}, true},
        Row{"Unity Hub", {"unityhub"}, true},
        // Group names are matched exactly, case included: anything else has no rule.
        Row{"development", {}, true}, Row{"Chrome ", {}, true}, Row{"", {}, true}),
    rowName);

// The names Linux's process table gives the same programs, and the groups
// that every program shares.
INSTANTIATE_TEST_SUITE_P(
    LinuxNames, GroupRule,
    ::testing::Values(
        Row{"Development", {"cc1plus"}, true}, Row{"Development", {"ld.lld"}, true},
        Row{"Development", {"ccache"}, true}, Row{"Development", {"ninja"}, true}, Row{"Development", {"go"}, true},
        Row{"Development", {"rustc"}, true}, Row{"Development", {"gopls", "cargo-watch"}, false},
        Row{"Chrome", {"chrome"}, true}, Row{"Chrome", {"chromium"}, false}, Row{"Chromium", {"chromium"}, true},
        Row{"Chromium", {"chromium-browser"}, true}, Row{"Chromium", {"chrome"}, true},
        Row{"Chromium", {"chrome_crashpad_handler", "chromium-sandbox"}, false}, Row{"Edge", {"msedge"}, true},
        Row{"Brave", {"brave"}, true}, Row{"Brave", {"brave-browser"}, true}, Row{"VS Code", {"codium"}, true},
        Row{"VS Code", {"code-insiders"}, true}, Row{"VS Code", {"code-oss"}, true},
        Row{"Firefox", {"firefox-esr"}, true}, Row{"Firefox", {"firefox-bin"}, true},
        Row{"Firefox", {"firefox"}, true}, Row{"Firefox", {"firefoxpwa"}, false},
        Row{"GPU", {"glxgears", "chromium", "cc1plus", "firefox"}, false},
        Row{"Thumbnail", {"tumblerd", "nautilus", "gnome-thumbnail-factory"}, false}),
    rowName);

TEST(GroupRules, EmptyRunningSetLeavesEveryRuledGroupIdle) {
    for (const char* group : {"Development", "VLC", "Python", "JavaScript", "Package downloads", "Logs", "VS Code",
                              "Figma", "Chrome", "Edge", "Brave", "Codex", "Atlas", "Claude", "Spotify", "Framer",
                              "Safari", "Preview", "Blender", "Nucleo", "Unity Hub", "Chromium", "Firefox", "GPU",
                              "Thumbnail"}) {
        EXPECT_FALSE(busyTools(group, Names{})) << group;
    }
}

TEST(GroupRules, EveryDevelopmentToolMakesDevelopmentBusy) {
    for (const char* tool : {"xcode", "xcodebuild", "swift", "swiftc", "swift-frontend", "clang", "clang++", "cc", "c++",
                             "gcc", "g++", "metal", "metallib", "ld", "actool", "ibtool", "ipatool", "simulator",
                             "codesign", "xcbuild", "swift-build", "swift-package", "sourcekit-lsp", "sourcekitservice",
                             "xcbbuildservice", "xcodebuildservice", "fennowsdevicelauncher"}) {
        EXPECT_TRUE(busyTools("Development", Names{tool})) << tool;
    }
}

TEST(GroupRules, LogsIsNeverBusyWhateverRuns) {
    EXPECT_FALSE(busyTools("Logs", Names{"logs", "console", "syslogd", "cc", "google chrome", "figma", "node"}));
}

TEST(GroupRules, OneProtectingNameAmongManySuffices) {
    EXPECT_TRUE(busyTools("Spotify", Names{"bash", "systemd", "spotify", "zsh"}));
}

// ---- against the live process table ----

TEST(GroupRules, LiveBuildToolMakesDevelopmentBusy) {
    const t::RunningProgram tool("xcbbuildservice");
    EXPECT_TRUE(busyTools("Development", nullptr));
}
