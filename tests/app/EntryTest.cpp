// The command line and the window modes: the mode each argument list picks,
// then the built program itself, each run in a fresh home of its own.

#include "app/Entry.h"

#include "app/ProgressAnimation.h"
#include "core/Texts.h"
#include "engine/RunLog.h"
#include "tests/support/Fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <sys/stat.h>
#include <thread>

namespace quillon {
namespace {

namespace t = quillon::testing;

TEST(Entry, ChoosesTheModeFromEveryArgumentArgumentZeroIncluded) {
    const struct {
        std::vector<std::string> arguments;
        Mode mode;
    } cases[] = {{{"quillon"}, Mode::window},
                 {{"quillon", "--ui-preview"}, Mode::uiPreview},
                 {{"--ui-preview"}, Mode::uiPreview},
                 {{"--ui-preview", "x"}, Mode::usage},
                 {{"quillon", "--ui-preview", "x"}, Mode::usage},
                 {{"--dry-run"}, Mode::dryRun},
                 {{"quillon", "--bogus", "--dry-run", "--ui-preview"}, Mode::dryRun},
                 {{"--self-test"}, Mode::selfTest},
                 {{"quillon", "--dry-run", "--self-test"}, Mode::selfTest},
                 {{"quillon", "--DRY-RUN"}, Mode::usage},
                 {{"quillon", "--dry-run=yes"}, Mode::usage},
                 {{"quillon", ""}, Mode::usage}};
    for (const auto& c : cases) EXPECT_EQ(chooseMode(c.arguments), c.mode) << c.arguments.back();
}

// A home, a temporary, a cache and a state folder of one run's own, and a
// cache of the catalogue that may go at any age.
struct Home {
    const std::string base = t::freshDirectory("home");
    const std::string cache = base + "/home/Library/Caches/org.videolan.vlc";

    Home() {
        for (const char* folder : {"/home", "/tmp", "/cache", "/state"}) {
            t::makeDirectory(base + folder);
            chmod((base + folder).c_str(), 0700);
        }
        t::makeDirectory(cache);
        t::writeFile(cache + "/art", std::string(5000, 'x'));
    }
    std::vector<std::string> environment() const {
        return {"HOME=" + base + "/home", "TMPDIR=" + base + "/tmp", "XDG_CACHE_HOME=" + base + "/cache",
                "XDG_CONFIG_HOME=" + base + "/home/.config", "XDG_STATE_HOME=" + base + "/state",
                "QT_QPA_PLATFORM=offscreen"};
    }
    // The run log of the mode, as the program finds it in this home.
    std::string log(bool preview) const {
        const t::ScopedVariable temp("TMPDIR", (base + "/tmp").c_str()), state("XDG_STATE_HOME", (base + "/state").c_str());
        return runLogPath(preview);
    }
    // Runs the program; with a signal, sends it once the mode's log holds `awaited`.
    t::ProgramRun run(std::vector<std::string> arguments, int signal = 0, const std::string& awaited = {}) const {
        const std::string watched = log(!arguments.empty() && arguments[0] == "--ui-preview");
        arguments.insert(arguments.begin(), t::quillonBinary());
        if (signal == 0) return t::runProgram(arguments, environment());
        const std::string script = "\"$@\" & n=0; until grep -qF -- \"$AWAITED\" \"$LOG\" 2>/dev/null || [ $n = 2400 ];"
                                   " do sleep 0.05; n=$((n+1)); done; kill -" + std::to_string(signal) + " $!; wait $!";
        arguments.insert(arguments.begin(), {"/bin/sh", "-c", script, "sh"});
        std::vector<std::string> environment = this->environment();
        environment.push_back("AWAITED=" + awaited);
        environment.push_back("LOG=" + watched);
        return t::runProgram(arguments, environment);
    }
};

TEST(Entry, AnswersAWrongOptionAndTheSelfTestExactly) {
    const struct {
        std::vector<std::string> arguments;
        int status;
        std::string out, err;
    } cases[] = {{{"--bogus"}, 2, "", usageText},
                 {{"--ui-preview", "extra"}, 2, "", usageText},
                 {{"--self-test"}, 0, text::selfTestPassed, ""}};
    const Home home;
    for (const auto& c : cases) {
        const t::ProgramRun run = home.run(c.arguments);
        EXPECT_EQ(std::tie(run.status, run.out, run.err), std::tie(c.status, c.out, c.err)) << c.arguments[0];
    }
}

// The dry run lists an old-enough cache and keeps it; the window's run removes
// it, and the program ends on SIGTERM after its final report.
TEST(Entry, OnlyTheWindowsRunRemovesWhatTheDryRunLists) {
    const Home home;
    // Nothing changed in the current second qualifies, whatever its age.
    const double created = t::now();
    while (t::now() < std::floor(created) + 1) std::this_thread::sleep_for(std::chrono::milliseconds(10));

    const t::ProgramRun dry = home.run({"--dry-run"});
    EXPECT_EQ(std::pair(dry.status, dry.err), std::pair(0, std::string())) << dry.err;
    EXPECT_NE(dry.out.find("locations.\nPreview: " + home.cache + " \u2014 1 files inspected, 1 eligible"),
              std::string::npos) << dry.out;
    EXPECT_TRUE(dry.out.starts_with("Preview: ") && dry.out.ends_with(" kept\n")) << dry.out;
    ASSERT_TRUE(t::exists(home.cache + "/art"));

    // The open-file guard keeps everything when the process table changes while
    // it reads it (other tests beside this one); such a run is tried again.
    std::string log;
    for (int attempt = 0; attempt < 3 && (attempt == 0 || log.find(text::cannotVerifyOpenFiles) != std::string::npos);
         ++attempt) {
        EXPECT_EQ(home.run({}, SIGTERM, "\nAvailable space: ").status, 0);
        log = t::readFile(home.log(false));
    }
    EXPECT_FALSE(t::exists(home.cache)) << log;
    EXPECT_NE(log.find(std::string("\n") + text::cleanupStarted + "\n"), std::string::npos) << log;
}

// A quit signal during the preview's run cancels it, and the program ends cleanly.
TEST(Entry, PreviewWindowEndsOnAQuitSignalWithItsCancelledLine) {
    for (const int signal : {SIGINT, SIGTERM}) {
        const Home home;
        EXPECT_EQ(home.run({"--ui-preview"}, signal, text::uiPreviewOnly).status, 0) << signal;
        EXPECT_TRUE(t::readFile(home.log(true)).ends_with(previewCancelledLine + std::string("\n"))) << signal;
    }
}

} // namespace
} // namespace quillon
