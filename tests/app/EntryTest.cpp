// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

// The mode each argument list picks, then the built program in each mode, in the fixture home of this test program.

#include "app/Entry.h"

#include "app/ProgressAnimation.h"
#include "core/Texts.h"
#include "engine/RunLog.h"
#include "platform/Descriptor.h"
#include "tests/support/Fixture.h"
#include "tests/support/Processes.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>

using namespace quillon;
namespace t = quillon::testing;
using std::string;
using namespace std::chrono_literals;

TEST(Entry, ChoosesTheModeFromEveryArgumentArgumentZeroIncluded) {
    using enum Mode; // the program's own runs below prove the plain window and preview
    const std::pair<std::vector<string>, Mode> cases[] = {{{"--ui-preview"}, uiPreview}, {{"--ui-preview", "x"}, usage},
        {{"x", "--ui-preview", "x"}, usage}, {{"x", "--DRY-RUN"}, usage}, {{"x", "--dry-run=yes"}, usage},
        {{"--dry-run"}, dryRun}, {{"x", "--bogus", "--dry-run", "--ui-preview"}, dryRun}, {{"--self-test"}, selfTest},
        {{"x", "--dry-run", "--self-test"}, selfTest}};
    for (const auto& [arguments, mode] : cases) EXPECT_EQ(chooseMode(arguments), mode) << arguments.back();
}

// Runs the program, offscreen unless `environment` says otherwise; sends `signal` once its log holds `awaited`.
static t::ProgramRun run(std::vector<string> arguments, int signal = 0, const string& awaited = {},
                         const std::vector<string>& environment = {"QT_QPA_PLATFORM=offscreen"}) {
    const string log = runLogPath(!arguments.empty() && arguments[0] == "--ui-preview");
    std::remove(log.c_str()); // a log left by an earlier run must not count
    arguments.insert(arguments.begin(), t::quillonBinary());
    const string script = "a=$1 l=$2; shift 2; \"$@\" & n=0; until grep -qF -- \"$a\" \"$l\" || [ $n = 2400 ]; do"
                          " sleep 0.05; n=$((n+1)); done 2>/dev/null; kill -" + std::to_string(signal) + " $!; wait $!";
    if (signal != 0) arguments.insert(arguments.begin(), {"/bin/sh", "-c", script, "sh", awaited, log});
    return t::runProgram(arguments, environment);
}

// A wrong option, the self-test, and the window modes without a display, where Qt alone would abort.
TEST(Entry, AnswersAWrongOptionTheSelfTestAndNoDisplayExactly) {
    const std::tuple<std::vector<string>, int, string, string> cases[] = {{{"--bogus"}, 2, "", usageText},
        {{"--self-test"}, 0, text::selfTestPassed, ""}, {{}, 1, "", noDisplayText},
        {{"--ui-preview"}, 1, "", noDisplayText}};
    for (const auto& [arguments, status, out, err] : cases) {
        const t::ProgramRun answer = run(arguments, 0, {}, {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=xcb"});
        EXPECT_EQ(std::tie(answer.status, answer.out, answer.err), std::tie(status, out, err)) << arguments.size();
    }
}

// Qt judges a platform other than X11 or Wayland; for those, one of their displays must answer. The X11 display named
// here never does; the compositor never accepts (its queue of one is full by the third connection), yet it is there.
TEST(Entry, FindsADisplayOnlyWhereOneAnswers) {
    const string runtime = t::freshDirectory("runtime"), path = runtime + "/wayland-test";
    const platform::Descriptor listening(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{AF_UNIX, {}};
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    const auto* named = reinterpret_cast<const sockaddr*>(&address);
    ASSERT_TRUE(bind(listening.get(), named, sizeof address) == 0 && listen(listening.get(), 1) == 0) << path;
    const t::ScopedVariable deaf("DISPLAY", ":65535"), folder("XDG_RUNTIME_DIR", runtime.c_str());
    const std::tuple<const char*, const char*, bool> cases[] = { // QT_QPA_PLATFORM, WAYLAND_DISPLAY, answer
        {"offscreen", nullptr, true}, {"vnc:size=80x60;xcb", nullptr, true}, {"xcb", "wayland-test", false},
        {nullptr, nullptr, false}, {"wayland", nullptr, false}, {"wayland", "wayland-test", true},
        {nullptr, path.c_str(), true}, {";xcb;wayland-egl:x", "wayland-test", true}};
    for (const auto& [platformName, wayland, answer] : cases) {
        const t::ScopedVariable qpa("QT_QPA_PLATFORM", platformName), display("WAYLAND_DISPLAY", wayland);
        EXPECT_EQ(displayReachable(), answer) << (platformName ? platformName : "-") << (wayland ? wayland : "-");
    }
}

// One home with an old-enough cache. The dry run lists it and the preview window keeps it (SIGINT during its run
// cancels it; the program ends cleanly); the window's run removes it and ends on SIGTERM after its final report.
TEST(Entry, OnlyTheWindowsRunRemovesWhatTheDryRunLists) {
    const string cache = t::fixtureRoot() + "/home/Library/Caches/org.videolan.vlc";
    t::makeDirectories(cache);
    t::writeFile(cache + "/art", string(5000, 'x'));
    // Nothing changed in the current second qualifies, whatever its age.
    std::this_thread::sleep_until(std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now() + 1s));
    const t::ProgramRun dry = run({"--dry-run"});
    const string listed = "locations.\nPreview: " + cache + " \u2014 1 files inspected, 1 eligible";
    EXPECT_TRUE(dry.status == 0 && dry.err.empty() && dry.out.starts_with("Preview: ") &&
                dry.out.ends_with(" kept\n") && dry.out.find(listed) != string::npos) << dry.out << dry.err;
    EXPECT_EQ(run({"--ui-preview"}, SIGINT, text::uiPreviewOnly).status, 0);
    EXPECT_TRUE(t::readFile(runLogPath(true)).ends_with(previewCancelledLine + string("\n")));
    ASSERT_TRUE(t::nameExists(cache + "/art"));
    // A run that saw the process table change while reading it (other tests beside this one) keeps all: try again.
    string log = text::cannotVerifyOpenFiles;
    for (int attempt = 0; attempt < 3 && log.find(text::cannotVerifyOpenFiles) != string::npos; ++attempt) {
        EXPECT_EQ(run({}, SIGTERM, "Available space: ").status, 0);
        log = t::readFile(runLogPath(false));
    }
    EXPECT_FALSE(t::nameExists(cache)) << log;
}
