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
class QtApplication : public ::testing::Environment {
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

Report report(std::int64_t removed, int checked, bool cancelled = false) {
    Report r;
    std::tie(r.cancelled, r.removed, r.checked, r.freeAfter) = std::tuple(cancelled, removed, checked, 52'300'000'000);
    return r;
}

class AppDelegateTest : public ::testing::Test {
protected:
    AppDelegateTest() {
        // Half the way, then wait for the test; cancelled by then, say so as the clean does.
        settings.run = [this](const RunControl& control, const ProgressCallback& onProgress, const LogCallback& onLog) {
            runNice = getpriority(PRIO_PROCESS, 0);
            onProgress(0.5, text::buildCachesStage);
            onLog("Inspecting: /x");
            while (!released) std::this_thread::sleep_for(1ms);
            if (!control.isCancelled()) return finalReport;
            onLog(text::cancelledBetweenLocations);
            return report(0, 1, true);
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
    bool waitFor(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, 30000); }
    QPushButton* button(const char* name) { return window->window()->findChild<QPushButton*>(name); }
    string status() { return window->window()->findChild<QLabel*>("statusLabel")->text().toStdString(); }

    DelegateSettings settings;
    string logFile = testing::freshDirectory("log") + "/LastRun.log";
    std::atomic<bool> released{false};
    std::atomic<int> runNice{0}; // the run's nice value; 0 until it starts
    Report finalReport; // what the scripted run returns unless cancelled
    std::vector<QUrl> opened;
    bool urlOpens = true;
    std::vector<string> statusAtEnd;     // one per end of the program
    std::unique_ptr<AppDelegate> window; // last: its run stops before the rest goes
};

// Each final report as shown; progress that arrives late changes nothing.
TEST_F(AppDelegateTest, ShowsTheFinalReport) {
    const string free = "\n52.3 GB available";
    const std::pair<Report, string> cases[] = {{report(0, 41), text::nothingToClean + free + " \u00b7 41 locations"},
                                               {report(1'500'000, 7), "Cleared 1.5 MB" + free + " \u00b7 7 locations"},
                                               {report(0, 7, true), text::cancelledNothingRemoved},
                                               {report(1'500'000, 7, true), "Cancelled \u2014 cleared 1.5 MB" + free}};
    for (const auto& [shownReport, shown] : cases) {
        window = std::make_unique<AppDelegate>(false, settings);
        for (const double fraction : {0.2, 0.1}) window->update(fraction, text::buildCachesStage);
        window->finish(shownReport);
        window->update(0.9, text::olderLogsStage);
        EXPECT_EQ(std::tuple(status(), window->targetProgress(), button("cancelButton")->text().toStdString()),
                  std::tuple(shown, shownReport.cancelled ? 20 : 100, text::doneButton));
    }
}

// Escape, a quit signal (wired as the program does) or the window manager's close
// cancel the run: the button greys, the status says so, the bar freezes, the log
// takes the request once and before the run's own account. Only a quit ends the
// program right after the final report; after it, Return or a quit ends it at once.
TEST_F(AppDelegateTest, CancelsTheRunAndEndsTheProgramWhenAsked) {
    QuitSignals quit;
    struct sigaction installed {};
    sigaction(SIGTERM, nullptr, &installed);
    EXPECT_NE(installed.sa_flags & SA_RESTART, 0) << "a signal would fail the run's calls with EINTR";
    const auto key = [](Qt::Key k) { return [k](AppDelegate& d) { QTest::keyClick(d.window(), k); }; };
    const auto signal = [&](AppDelegate& d) {
        QObject::connect(&quit, &QuitSignals::quitRequested, &d, &AppDelegate::requestQuit, Qt::UniqueConnection);
        std::raise(SIGTERM);
    };
    const auto close = [](AppDelegate& d) { d.window()->close(); };
    const std::tuple<std::function<void(AppDelegate&)>, std::function<void(AppDelegate&)>, std::size_t> cases[] = {
        {key(Qt::Key_Escape), key(Qt::Key_Return), 0}, {signal, signal, 1}, {close, close, 1}};
    for (const auto& [stop, end, endsAtReport] : cases) {
        statusAtEnd.clear();
        AppDelegate& delegate = launch();
        delegate.update(0.9, text::olderLogsStage);
        stop(delegate);
        ASSERT_TRUE(waitFor([&] { return status() == text::cancelling; }));
        delegate.update(0.95, text::olderLogsStage);
        delegate.cancelOrClose();
        EXPECT_EQ(std::tuple(status(), delegate.targetProgress(), button("cancelButton")->isEnabled()),
                  std::tuple(text::cancelling, delegate.progress(), false));
        EXPECT_TRUE(delegate.window()->isVisible());
        released = true;
        ASSERT_TRUE(waitFor([&] { return delegate.isFinished(); }));
        const string log = testing::readFile(logFile), request = text::cancellationRequested;
        EXPECT_EQ(log.find(request), log.rfind(request));
        EXPECT_LT(log.find(request), log.find(text::cancelledBetweenLocations));
        EXPECT_EQ(statusAtEnd.size(), endsAtReport);
        end(delegate);
        ASSERT_TRUE(waitFor([&] { return statusAtEnd.size() == endsAtReport + 1; }));
        EXPECT_EQ(statusAtEnd.back(), text::cancelledNothingRemoved);
    }
}

// A completed run, at low priority: the bar held at 99 until the report, then run
// up to 100; the log holds the run's lines and the summary. Show Logs opens the
// log at any time, or says on the second line that nothing could.
TEST_F(AppDelegateTest, CompletedRunShowsItsReportAndItsLog) {
    AppDelegate& delegate = launch();
    EXPECT_EQ(runNice.load(), std::max(backgroundNice, getpriority(PRIO_PROCESS, 0)));
    delegate.update(1.5, text::olderLogsStage);
    ASSERT_TRUE(waitFor([&] { return delegate.progress() == 99; }));
    button("logsButton")->click();
    finalReport = report(3'000, 5);
    released = true;
    ASSERT_TRUE(waitFor([&] { return delegate.progress() == 100; }));
    EXPECT_EQ(window->window()->findChild<QProgressBar*>("progress")->value(), progressBarSteps);
    const string log = testing::readFile(logFile), run = "\nInspecting: /x\n\n" + summary(finalReport, false) + "\n";
    EXPECT_TRUE(log.ends_with("\n" + string(text::cleanupStarted) + run)) << log;
    urlOpens = false;
    button("logsButton")->click();
    button("logsButton")->click();
    EXPECT_EQ(opened, std::vector<QUrl>(3, QUrl::fromLocalFile(QString::fromStdString(logFile))));
    EXPECT_EQ(status(), "Cleared 3 KB\n" + string(text::noLogViewer));
}

// The window-only preview never runs a clean, eases to its end and logs that it
// changed nothing.
TEST_F(AppDelegateTest, PreviewChangesNothing) {
    AppDelegate& delegate = launch(true);
    ASSERT_TRUE(waitFor([&] { return delegate.progress() == 100; }));
    EXPECT_EQ(runNice.load(), 0) << "the preview ran a clean";
    const string log = testing::readFile(logFile), shown = status();
    EXPECT_NE(log.find("\n" + string(text::uiPreviewOnly) + "\n"), string::npos);
    EXPECT_TRUE(log.ends_with("\n" + string(previewFinishedLine) + "\n")) << log;
    EXPECT_TRUE(shown.starts_with(text::nothingToClean + string("\n")) && shown.ends_with(" 0 locations")) << shown;
}

} // namespace
} // namespace quillon
