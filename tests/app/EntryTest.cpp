// The command line of the built program: which mode each argument list
// picks, what it prints and how it exits. Every run points HOME, TMPDIR and
// XDG_CACHE_HOME into this test's private fixture.

#include "app/Entry.h"
#include "core/Texts.h"
#include "tests/support/Fixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace t = quillon::testing;

namespace {

// Runs the binary on a fresh, empty fixture home with `arguments`.
t::ProgramRun run(const std::vector<std::string>& arguments, std::vector<std::string> environment = {}) {
    t::requireFixtureEnvironment();
    const std::string base = t::freshDirectory("entry");
    for (const char* sub : {"/home", "/tmp", "/cache"}) {
        t::makeDirectory(base + sub);
        chmod((base + sub).c_str(), 0700);
    }
    environment.push_back("HOME=" + base + "/home");
    environment.push_back("TMPDIR=" + base + "/tmp");
    environment.push_back("XDG_CACHE_HOME=" + base + "/cache");
    environment.push_back("QT_QPA_PLATFORM=offscreen");
    std::vector<std::string> argv{t::quillonBinary()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return t::runProgram(argv, environment);
}

const std::string emptyPreview =
    "Preview: Zero KB eligible for cleanup.\n\nAvailable space: ";

} // namespace

TEST(Entry, AnyOtherArgumentIsAUsageErrorWithStatusTwo) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--DRY-RUN"}, {"-dry-run"}, {"--dry-run=yes"}, {"--self-test=1"},
                                               {"--ui-preview", "extra"}, {"extra", "--ui-preview"}, {""},
                                               {"--help"}}) {
        const t::ProgramRun r = run(args);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_EQ(r.err, quillon::usageText) << args[0];
        EXPECT_EQ(r.out, "") << args[0];
    }
}

TEST(Entry, DryRunPrintsTheSummaryFirstAndExitsZero) {
    const t::ProgramRun r = run({"--dry-run"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.rfind(emptyPreview, 0), 0u) << r.out;
    // With no location in the fixture there are no notes: the summary alone.
    EXPECT_NE(r.out.find("\nChecked 0 cache and log locations.\nKept recent, active or protected items in 0 "
                         "locations.\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.back(), '\n');
    EXPECT_EQ(r.out.find("\n\n", r.out.find("Available")), std::string::npos);
}

TEST(Entry, DryRunWinsOverAnyOtherWord) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--dry-run", "--ui-preview"}, {"--bogus", "--dry-run"}}) {
        const t::ProgramRun r = run(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.rfind(emptyPreview, 0), 0u) << r.out;
    }
}

TEST(Entry, DryRunPrintsOneLinePerNoteAfterTheSummary) {
    t::requireFixtureEnvironment();
    const std::string base = t::freshDirectory("entry");
    for (const char* sub : {"/home/Library/Logs", "/tmp", "/cache"}) t::makeDirectory(base + sub);
    const t::ProgramRun r = t::runProgram({t::quillonBinary(), "--dry-run"},
                                          {"HOME=" + base + "/home", "TMPDIR=" + base + "/tmp",
                                           "XDG_CACHE_HOME=" + base + "/cache"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string note = "Preview: " + base + "/home/Library/Logs \u2014 0 files inspected, 0 eligible entries "
                             "(Zero KB), 0 recent or protected entries kept\n";
    EXPECT_NE(r.out.find("locations.\n" + note), std::string::npos) << r.out;
    EXPECT_EQ(r.out.substr(r.out.size() - note.size()), note);
}

TEST(Entry, DryRunLooksOnlyWhereHomePointsAndNowhereElse) {
    t::requireFixtureEnvironment();
    const std::string base = t::freshDirectory("entry");
    const std::string shared = base + "/shared home";
    for (const std::string& folder : {base + "/tmp", base + "/cache", shared + "/Library/Logs"}) t::makeDirectory(folder);
    chmod((base + "/tmp").c_str(), 0700);
    chmod((base + "/cache").c_str(), 0700);
    chmod(shared.c_str(), 0775);
    // A group-writable home is still the one pointed at; one that cannot be
    // used is no home at all, never the account's.
    for (const std::string& home : {shared, base + "/missing", std::string("relative/home")}) {
        const t::ProgramRun r = t::runProgram({t::quillonBinary(), "--dry-run"},
                                              {"HOME=" + home, "TMPDIR=" + base + "/tmp", "XDG_CACHE_HOME=" + base + "/cache"});
        ASSERT_EQ(r.status, 0) << r.err;
        std::vector<std::string> notes;
        for (std::size_t at = 0; (at = r.out.find("\nPreview: /", at)) != std::string::npos; ++at)
            notes.push_back(r.out.substr(at + 10, r.out.find(" \u2014 ", at) - at - 10));
        EXPECT_EQ(notes, home == shared ? std::vector<std::string>{shared + "/Library/Logs"} : std::vector<std::string>{})
            << home << "\n" << r.out;
    }
}

TEST(Entry, SelfTestWinsOverDryRun) {
    const t::ProgramRun r = run({"--dry-run", "--self-test"});
    EXPECT_EQ(r.out.find("Preview:"), std::string::npos) << r.out;
    EXPECT_TRUE(r.status == 0 || r.status == 1) << r.status;
    if (r.status == 0) EXPECT_EQ(r.out, quillon::text::selfTestPassed);
    else EXPECT_EQ(r.err.rfind(quillon::text::selfTestFailed, 0), 0u) << r.err;
}

TEST(Entry, DryRunOnABrowserCacheNamesItAndRemovesNothing) {
    t::requireFixtureEnvironment();
    const std::string base = t::freshDirectory("entry");
    const std::string cache = base + "/home/Library/Application Support/Google/Chrome/Default/Cache";
    t::makeDirectory(cache);
    t::makeDirectory(base + "/home/Library/Application Support/Google/Chrome/Default/Local Storage");
    t::writeFile(cache + "/data_0", std::string(5000, 'x'));
    for (const char* sub : {"/tmp", "/cache"}) t::makeDirectory(base + sub);
    sleep(2); // age-0 caches qualify once their newest second has passed
    const t::ProgramRun r = t::runProgram({t::quillonBinary(), "--dry-run"},
                                          {"HOME=" + base + "/home", "TMPDIR=" + base + "/tmp",
                                           "XDG_CACHE_HOME=" + base + "/cache"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Preview: ", 0), 0u) << r.out;
    EXPECT_EQ(r.out.find("Preview: Zero KB"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\nPreview: " + cache + " \u2014 1 files inspected, 1 eligible entries ("), std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("Local Storage"), std::string::npos) << r.out;
    EXPECT_EQ(t::readFile(cache + "/data_0"), std::string(5000, 'x'));
}

TEST(Entry, AnOptionWordAsTheProgramNameChoosesItsMode) {
    // Argument 0 is an argument too: started as "--ui-preview" with nothing
    // else, the program shows the harmless preview and cleans nothing.
    struct Case {
        const char* name;
        const char* expected; // what standard output begins with, or the preview log holds
    };
    for (const Case& c : {Case{"--dry-run", "Preview: "}, Case{"--self-test", quillon::text::selfTestPassed},
                          Case{"--ui-preview", quillon::text::uiPreviewOnly}}) {
        t::requireFixtureEnvironment();
        const std::string base = t::freshDirectory("entry");
        for (const char* sub : {"/home", "/tmp", "/cache"}) {
            t::makeDirectory(base + sub);
            chmod((base + sub).c_str(), 0700);
        }
        // bash's exec -a sets argument 0; the window of the preview is asked to
        // quit after two seconds, as a desktop session would.
        const t::ProgramRun r = t::runProgram(
            {"/bin/bash", "-c", "exec -a \"$1\" \"$0\" & sleep 2; kill -TERM $! 2>/dev/null; wait $!",
             t::quillonBinary(), c.name},
            {"HOME=" + base + "/home", "TMPDIR=" + base + "/tmp", "XDG_CACHE_HOME=" + base + "/cache",
             "XDG_STATE_HOME=" + base + "/state", "QT_QPA_PLATFORM=offscreen"});
        EXPECT_EQ(r.status, 0) << c.name << ": " << r.err;
        if (std::string(c.name) == "--ui-preview") {
            EXPECT_NE(t::readFile(base + "/tmp/Quillon-UI-preview.log").find(c.expected), std::string::npos);
            EXPECT_FALSE(t::exists(base + "/home/Library")) << "the window mode wrote its run log";
            EXPECT_FALSE(t::exists(base + "/state/quillon")) << "the window mode wrote its run log";
        } else {
            EXPECT_EQ(r.out.rfind(c.expected, 0), 0u) << c.name << ": " << r.out << r.err;
        }
    }
}
