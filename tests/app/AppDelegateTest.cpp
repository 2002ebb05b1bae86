// The window's run from launch to its final report, with a scripted run in
// place of the clean and recorders in place of the desktop.

#include "app/AppDelegate.h"

#include "app/WindowViews.h"
#include "core/Texts.h"
#include "tests/support/Fixture.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

namespace quillon {
namespace {

using namespace std::chrono_literals;

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

Report report(std::int64_t removed, int checked, bool cancelled = false) {
    Report r;
    std::tie(r.cancelled, r.removed, r.checked, r.freeAfter) = std::tuple(cancelled, removed, checked, 52'300'000'000);
    return r;
}

class AppDelegateTest : public ::testing::Test {
protected:
    AppDelegateTest() {
        settings.run = [this](const RunControl& control, const ProgressCallback& onProgress, const LogCallback& onLog) {
            // Half the way, then wait for the test; cancelled by then, say so as the clean does.
            runNice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
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
        EXPECT_TRUE(preview || waitFor([&] { return window->targetProgress() == 50; }));
        return *window;
    }
    bool waitFor(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, 30000); }
    QPushButton* button(const char* name) { return window->window()->findChild<QPushButton*>(name); }
    std::string status() { return window->window()->findChild<QLabel*>("statusLabel")->text().toStdString(); }

    DelegateSettings settings;
    std::string logFile = testing::freshDirectory("log") + "/LastRun.log";
    std::atomic<bool> released{false};
    std::atomic<int> runNice{0};
    Report finalReport; // what the scripted run returns unless cancelled
    std::vector<QUrl> opened;
    bool urlOpens = true;
    std::vector<std::string> statusAtEnd; // one per end of the program
    std::unique_ptr<AppDelegate> window;  // last: its run stops before the rest goes
};

// Each final report as shown; progress that arrives late changes nothing.
TEST_F(AppDelegateTest, ShowsTheFinalReport) {
    const std::string free = "\n52.3 GB available";
    const struct {
        Report report;
        std::string shown;
    } cases[] = {{report(0, 41), text::nothingToClean + free + " \u00b7 41 locations"},
                 {report(1'500'000, 7), "Cleared 1.5 MB" + free + " \u00b7 7 locations"},
                 {report(0, 7, true), text::cancelledNothingRemoved},
                 {report(1'500'000, 7, true), "Cancelled \u2014 cleared 1.5 MB" + free}};
    for (const auto& c : cases) {
        window = std::make_unique<AppDelegate>(false, settings);
        window->update(0.2, text::buildCachesStage);
        window->finish(c.report);
        window->update(0.9, text::olderLogsStage);
        EXPECT_EQ(status(), c.shown);
        EXPECT_EQ(window->targetProgress(), c.report.cancelled ? 20 : 100) << c.shown;
        EXPECT_EQ(button("cancelButton")->text().toStdString(), text::doneButton);
        EXPECT_TRUE(button("cancelButton")->isEnabled());
    }
    EXPECT_TRUE(statusAtEnd.empty());
}

// Escape cancels: the button greys, the status says so, the bar freezes, and the
// log takes the request once, before the run's own account; Return then ends the program.
TEST_F(AppDelegateTest, EscapeCancelsTheRunAndReturnEndsTheProgram) {
    AppDelegate& delegate = launch();
    ASSERT_TRUE(waitFor([&] { return delegate.progress() > 11; }));
    QTest::keyClick(delegate.window(), Qt::Key_Escape);
    ASSERT_TRUE(waitFor([&] { return status() == text::cancelling; }));
    EXPECT_FALSE(button("cancelButton")->isEnabled());
    delegate.update(0.9, text::olderLogsStage);
    delegate.cancelOrClose();
    EXPECT_EQ(status(), text::cancelling);
    EXPECT_EQ(delegate.targetProgress(), delegate.progress());
    button("logsButton")->click();
    EXPECT_EQ(opened.size(), 1U);

    released = true;
    ASSERT_TRUE(waitFor([&] { return delegate.isFinished(); }));
    EXPECT_EQ(status(), text::cancelledNothingRemoved);
    const std::vector<std::string> lines = linesOf(testing::readFile(logFile));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), text::cancellationRequested), 1);
    EXPECT_LT(std::find(lines.begin(), lines.end(), text::cancellationRequested),
              std::find(lines.begin(), lines.end(), text::cancelledBetweenLocations));
    EXPECT_TRUE(statusAtEnd.empty());
    QTest::keyClick(delegate.window(), Qt::Key_Return);
    EXPECT_TRUE(waitFor([&] { return statusAtEnd.size() == 1; }));
}

// A completed run at low priority: the bar held below 100 until the report, then
// run up to it; the log holds the run's lines and the summary. Show Logs opens
// the log, or says on the second line that nothing could.
TEST_F(AppDelegateTest, CompletedRunShowsItsReportAndItsLog) {
    AppDelegate& delegate = launch();
    EXPECT_EQ(runNice.load(), std::max(backgroundNice, getpriority(PRIO_PROCESS, 0)));
    delegate.update(0.3, text::buildCachesStage);
    EXPECT_EQ(delegate.targetProgress(), 50);
    delegate.update(1.5, text::olderLogsStage);
    ASSERT_TRUE(waitFor([&] { return delegate.progress() == 99; }));
    finalReport = report(3'000, 5);
    released = true;
    ASSERT_TRUE(waitFor([&] { return delegate.progress() == 100; }));
    EXPECT_EQ(status(), "Cleared 3 KB\n52.3 GB available \u00b7 5 locations");
    EXPECT_EQ(window->window()->findChild<QProgressBar*>("progress")->value(), progressBarSteps);
    std::vector<std::string> expected = {text::cleanupStarted, "Inspecting: /x", ""};
    for (const std::string& line : linesOf(summary(finalReport, false))) expected.push_back(line);
    const std::vector<std::string> lines = linesOf(testing::readFile(logFile));
    ASSERT_GE(lines.size(), 2U);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 2, lines.end()), expected);

    button("logsButton")->click();
    urlOpens = false;
    button("logsButton")->click();
    button("logsButton")->click();
    EXPECT_EQ(opened, std::vector<QUrl>(3, QUrl::fromLocalFile(QString::fromStdString(logFile))));
    EXPECT_EQ(status(), "Cleared 3 KB\n" + std::string(text::noLogViewer));
}

// A quit during the run, from a signal or the window manager, cancels it and ends
// the program right after the final report; after the report it ends it at once.
TEST_F(AppDelegateTest, QuitDuringTheRunEndsTheProgramAfterTheFinalReport) {
    const std::function<void(AppDelegate&)> quits[] = {[](AppDelegate& d) { d.requestQuit(); },
                                                       [](AppDelegate& d) { d.window()->close(); }};
    for (const auto& quit : quits) {
        statusAtEnd.clear();
        AppDelegate& delegate = launch();
        quit(delegate);
        EXPECT_TRUE(delegate.window()->isVisible());
        EXPECT_EQ(status(), text::cancelling);
        EXPECT_TRUE(statusAtEnd.empty());
        released = true;
        ASSERT_TRUE(waitFor([&] { return !statusAtEnd.empty(); }));
        quit(delegate);
        EXPECT_EQ(statusAtEnd, std::vector<std::string>(2, text::cancelledNothingRemoved));
    }
}

// The window-only preview never runs a clean, and its log ends with how it ended.
TEST_F(AppDelegateTest, PreviewChangesNothingAndLogsHowItEnded) {
    settings.run = [](const RunControl&, const ProgressCallback&, const LogCallback&) {
        ADD_FAILURE() << "the preview ran a clean";
        return Report{};
    };
    for (const bool cancel : {false, true}) {
        settings.previewInterval = cancel ? 50ms : 1ms;
        AppDelegate& delegate = launch(true);
        ASSERT_TRUE(!cancel || waitFor([&] { return status() == previewStage; }));
        if (cancel) delegate.cancelOrClose();
        ASSERT_TRUE(waitFor([&] { return delegate.isFinished(); }));
        const std::vector<std::string> lines = linesOf(testing::readFile(logFile));
        EXPECT_EQ(lines.at(2), text::uiPreviewOnly);
        EXPECT_EQ(lines.back(), cancel ? previewCancelledLine : previewFinishedLine);
        const std::string shown = status(), completed = text::nothingToClean + std::string("\n");
        EXPECT_TRUE(cancel ? shown == text::cancelledNothingRemoved
                           : shown.starts_with(completed) && shown.ends_with(" available \u00b7 0 locations")) << shown;
    }
}

} // namespace
} // namespace quillon
