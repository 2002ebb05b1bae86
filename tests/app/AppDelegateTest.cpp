// The window's run from launch to its final report, with a scripted run in
// place of the clean and recorders in place of the desktop.

#include "app/AppDelegate.h"

#include "app/QuitSignals.h"
#include "app/WindowViews.h"
#include "core/Texts.h"
#include "tests/support/Fixture.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <sys/resource.h>

namespace quillon {
namespace {

using namespace std::chrono_literals;
using std::string;

// The one Qt application, offscreen; the window's fonts load first, not counted as leaked.
struct QtApplication : ::testing::Environment {
    void SetUp() override {
        static int argc = 1;
        static char name[] = "app_tests", *argv[] = {name, nullptr};
        qputenv("QT_QPA_PLATFORM", "offscreen");
        new QApplication(argc, argv);
        AppDelegate(false).window()->grab();
    }
    void TearDown() override { delete qApp; }
};
[[maybe_unused]] const auto* const environment = ::testing::AddGlobalTestEnvironment(new QtApplication);

Report report(std::int64_t removed, int checked, bool cancelled) {
    Report r;
    std::tie(r.cancelled, r.removed, r.checked, r.freeAfter) = std::tuple(cancelled, removed, checked, 52'300'000'000);
    return r;
}

// The scripted run goes half the way and waits for the test; it returns a
// cancelled report, logged as the clean logs it, when asked to cancel by then.
class AppDelegateTest : public ::testing::Test {
protected:
    AppDelegateTest() {
        settings.run = [this](const RunControl& control, const ProgressCallback& onProgress, const LogCallback& onLog) {
            runNice = getpriority(PRIO_PROCESS, 0);
            onProgress(0.5, text::buildCachesStage);
            onLog("Inspecting: /x");
            while (!released) std::this_thread::sleep_for(1ms);
            if (!control.isCancelled()) return report(3'000, 5, false);
            return onLog(text::cancelledBetweenLocations), whenCancelled;
        };
        settings.logPath = logFile;
        settings.easingInterval = settings.previewInterval = 1ms;
        settings.openUrl = [this](const QUrl& url) { return opened.push_back(url), urlOpens; };
        settings.endProgram = [this] { statusAtEnd.push_back(status()); };
    }
    ~AppDelegateTest() override { released = true; }

    AppDelegate& launch(bool preview = false) {
        window = std::make_unique<AppDelegate>(preview, settings);
        released = false;
        window->applicationDidFinishLaunching();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window->window()));
        EXPECT_TRUE(preview || waitFor([&] { return status() == text::buildCachesStage && window->progress() == 50; }));
        return *window;
    }
    static bool waitFor(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, 30000); }
    QPushButton* button(const char* name) { return window->window()->findChild<QPushButton*>(name); }
    string status() { return window->window()->findChild<QLabel*>("statusLabel")->text().toStdString(); }
    string log() { return testing::readFile(logFile); }

    DelegateSettings settings;
    string logFile = testing::freshDirectory("log") + "/LastRun.log";
    std::atomic<bool> released{false};
    std::atomic<int> runNice{0}; // the run's nice value; 0 until it starts
    Report whenCancelled;
    std::vector<QUrl> opened;
    bool urlOpens = true;
    std::vector<string> statusAtEnd;     // one per end of the program
    std::unique_ptr<AppDelegate> window; // last: its run stops before the rest goes
};

// Escape or the window manager's close cancel the run: the button greys, the
// status says so, the bar freezes, the log takes the request once and before the
// run's own account; the cancelled report shows. Only a quit (a close) ends the
// program right after it; then Return or a quit ends it. Quit signals leave the
// run's calls alone (the program's own signals are tested on the program).
TEST_F(AppDelegateTest, CancelsTheRunAndEndsTheProgramWhenAsked) {
    const QuitSignals quit;
    struct sigaction installed {};
    sigaction(SIGTERM, nullptr, &installed);
    EXPECT_NE(installed.sa_flags & SA_RESTART, 0) << "a signal would fail the run's calls with EINTR";
    const auto key = [](Qt::Key k) { return [k](AppDelegate& d) { QTest::keyClick(d.window(), k); }; };
    const auto close = [](AppDelegate& d) { d.window()->close(); };
    const std::tuple<std::function<void(AppDelegate&)>, std::function<void(AppDelegate&)>, std::size_t, Report, string>
        cases[] = {{key(Qt::Key_Escape), key(Qt::Key_Return), 0, report(0, 1, true), text::cancelledNothingRemoved},
                   {close, close, 1, report(1'500'000, 7, true), "Cancelled \u2014 cleared 1.5 MB\n52.3 GB available"}};
    for (const auto& [stop, end, endsAtReport, cancelled, shown] : cases) {
        statusAtEnd.clear();
        whenCancelled = cancelled;
        AppDelegate& delegate = launch();
        delegate.update(0.9, text::olderLogsStage);
        stop(delegate);
        ASSERT_TRUE(waitFor([&] { return status() == text::cancelling; }));
        delegate.update(0.95, text::olderLogsStage);
        delegate.cancelOrClose();
        const double frozen = delegate.progress();
        EXPECT_EQ(std::tuple(status(), delegate.targetProgress(), button("cancelButton")->isEnabled(),
                             delegate.window()->isVisible()),
                  std::tuple(text::cancelling, frozen, false, true));
        released = true;
        ASSERT_TRUE(waitFor([&] { return delegate.isFinished(); }));
        const string request = text::cancellationRequested;
        EXPECT_EQ(log().find(request), log().rfind(request));
        EXPECT_LT(log().find(request), log().find(text::cancelledBetweenLocations));
        EXPECT_EQ(std::tuple(statusAtEnd.size(), delegate.targetProgress()), std::tuple(endsAtReport, frozen));
        end(delegate);
        ASSERT_TRUE(waitFor([&] { return statusAtEnd.size() == endsAtReport + 1; }));
        EXPECT_EQ(statusAtEnd.back(), shown);
    }
}

// A completed run, at low priority: the bar held at 99 until the report, then run
// up to 100, and later progress changes nothing; the log holds the run's lines and
// the summary. Show Logs opens the log at any time, or says on the second line that
// nothing could. The window-only preview never runs a clean, eases to its end and
// logs that it changed nothing.
TEST_F(AppDelegateTest, RunsToItsReportAndShowsItsLog) {
    AppDelegate& delegate = launch();
    EXPECT_EQ(runNice.load(), std::max(backgroundNice, getpriority(PRIO_PROCESS, 0)));
    delegate.update(1.5, text::olderLogsStage);
    ASSERT_TRUE(waitFor([&] { return delegate.progress() == 99; }));
    button("logsButton")->click();
    released = true;
    ASSERT_TRUE(waitFor([&] { return delegate.progress() == 100; }));
    delegate.update(0.5, text::olderLogsStage);
    EXPECT_EQ(std::tuple(status(), window->window()->findChild<QProgressBar*>("progress")->value(),
                         button("cancelButton")->text().toStdString()),
              std::tuple("Cleared 3 KB\n52.3 GB available \u00b7 5 locations", progressBarSteps, text::doneButton));
    const string run = "\nInspecting: /x\n\n" + summary(report(3'000, 5, false), false) + "\n";
    EXPECT_TRUE(log().ends_with("\n" + string(text::cleanupStarted) + run)) << log();
    urlOpens = false;
    button("logsButton")->click();
    button("logsButton")->click();
    EXPECT_EQ(opened, std::vector<QUrl>(3, QUrl::fromLocalFile(QString::fromStdString(logFile))));
    EXPECT_EQ(status(), "Cleared 3 KB\n" + string(text::noLogViewer));

    runNice = 0;
    AppDelegate& preview = launch(true);
    ASSERT_TRUE(waitFor([&] { return preview.progress() == 100; }));
    EXPECT_EQ(runNice.load(), 0) << "the preview ran a clean";
    EXPECT_NE(log().find("\n" + string(text::uiPreviewOnly) + "\n"), string::npos);
    EXPECT_TRUE(log().ends_with("\n" + string(previewFinishedLine) + "\n")) << log();
    EXPECT_TRUE(status().starts_with(text::nothingToClean + string("\n")) && status().ends_with(" 0 locations"));
}

} // namespace
} // namespace quillon
