// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

// The window's run from launch to its final report, a scripted run in place of the clean, recorders of the desktop.

#include "app/WindowController.h"

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

using namespace quillon;
using std::string;

// The one Qt application, offscreen; the window's fonts load before any test suite counts its descriptors.
struct QtApplication : ::testing::Environment {
    int argc = 1;
    char name[10] = "app_tests", *argv[2] = {name, nullptr};
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen"), new QApplication(argc, argv), WindowController(false).window()->grab();
    }
    void TearDown() override { delete qApp; }
};
[[maybe_unused]] const auto* const environment = ::testing::AddGlobalTestEnvironment(new QtApplication);

// Each way a run ends: the preview eases to its end and runs no clean; Escape or the window manager's close cancel
// the run (the button greys, the status says so, the bar freezes, the log takes the request once, before the run's
// own account); or it completes at low priority, the bar held at 99 until the report, then run up to 100. Late
// progress changes nothing; only a quit (a close) ends the program right after the report, else Return or a close
// does. Show Logs opens the log at any time, or says on the second line that nothing could.
TEST(WindowController, RunsToItsReportAndEndsWhenAsked) {
    const QuitSignals quit;
    struct sigaction installed {};
    sigaction(SIGTERM, nullptr, &installed);
    EXPECT_NE(installed.sa_flags & SA_RESTART, 0) << "a quit signal would fail the run's calls with EINTR";
    Report all, some, none; // completed, cancelled after removing some, cancelled before removing any
    all.removed = 3'000, all.checked = 5, all.freeAfter = 52'300'000'000;
    some = none = all, some.cancelled = none.cancelled = true, some.removed = 1'500'000, none.removed = 0;
    const string logFile = quillon::testing::freshDirectory("log") + "/LastRun.log";
    std::atomic<bool> released{false};
    std::atomic<int> runNice{0};  // the run's nice value; 0 until it starts
    Report whenCancelled;         // what the scripted run returns when cancelled
    std::vector<QUrl> opened;     // only the first four open
    std::vector<string> atEnd;    // the status at each end of the program
    std::unique_ptr<WindowController> window;
    const std::shared_ptr<void> release(nullptr, [&](void*) { released = true; }); // before the window goes
    const auto status = [&] { return window->window()->findChild<QLabel*>("statusLabel")->text().toStdString(); };
    const auto button = [&](const char* name) { return window->window()->findChild<QPushButton*>(name); };
    const auto until = [](const std::function<bool()>& condition) { return QTest::qWaitFor(condition, 30000); };
    // The scripted run goes half the way and waits for the test; asked to cancel by then, it acts a cancelled clean.
    const ControllerSettings settings{
        .run = [&](const RunControl& control, const ProgressCallback& onProgress, const LogCallback& onLog) {
            runNice = getpriority(PRIO_PROCESS, 0), onProgress(0.5, text::buildCachesStage), onLog("Inspecting: /x");
            while (!released) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return control.isCancelled() ? (onLog(text::cancelledBetweenLocations), whenCancelled) : all;
        },
        .logPath = logFile, .easingInterval = std::chrono::milliseconds(1),
        .previewInterval = std::chrono::milliseconds(1),
        .openUrl = [&](const QUrl& url) { return opened.push_back(url), opened.size() <= 4; },
        .endProgram = [&] { atEnd.push_back(status()); }};

    using Action = std::function<void(WindowController&)>;
    const auto key = [](Qt::Key k) { return Action([k](WindowController& d) { QTest::keyClick(d.window(), k); }); };
    const Action close = [](WindowController& d) { d.window()->close(); };
    const auto tail = [](const Report& r) { return "\n\n" + summary(r, false) + "\n"; };
    const string cancelled = text::cancelledBetweenLocations, nothing = text::cancelledNothingRemoved,
                 request = text::cancellationRequested;
    // preview, what the user does during the run, then, ends at the report, a cancelled run's report, shown, log
    const std::tuple<bool, Action, Action, std::size_t, Report, string, string> cases[] = {
        {true, nullptr, close, 0, {}, text::nothingToClean + string("\n"), "\n" + string(previewFinishedLine) + "\n"},
        {false, key(Qt::Key_Escape), key(Qt::Key_Return), 0, none, nothing, cancelled + tail(none)},
        {false, close, close, 1, some, "Cancelled \u2014 cleared 1.5 MB\n52.3 GB available", cancelled + tail(some)},
        {false, nullptr, key(Qt::Key_Return), 0, {}, "Cleared 3 KB\n52.3 GB available \u00b7 5 locations",
         "\n" + string(text::cleanupStarted) + "\nInspecting: /x" + tail(all)}};
    for (const auto& [preview, ask, end, endsAtReport, whenAsked, shown, logEnd] : cases) {
        atEnd.clear(), whenCancelled = whenAsked, runNice = 0, released = false;
        WindowController& controller = *(window = std::make_unique<WindowController>(preview, settings));
        ASSERT_TRUE((controller.launch(), QTest::qWaitForWindowActive(controller.window())));
        ASSERT_TRUE(preview ||
                    until([&] { return status() == text::buildCachesStage && controller.progress() == 50; }));
        if (!preview) controller.update(ask ? 0.9 : 1.5, text::olderLogsStage);
        if (ask) {
            ASSERT_TRUE((ask(controller), until([&] { return status() == text::cancelling; })));
            // Late progress, and a second request.
            controller.update(0.95, text::olderLogsStage), controller.cancelOrClose();
            EXPECT_EQ(std::tuple(status(), controller.targetProgress(), button("cancelButton")->isEnabled(),
                                 controller.window()->isVisible()),
                      std::tuple(text::cancelling, controller.progress(), false, true));
        }
        ASSERT_TRUE(preview || ask || until([&] { return controller.progress() == 99; }));
        button("logsButton")->click();
        const double frozen = controller.progress();
        released = true;
        ASSERT_TRUE(until([&] { return controller.isFinished() && (ask || controller.progress() == 100); }));
        controller.update(0.5, text::olderLogsStage);
        const string log = quillon::testing::readFile(logFile);
        const int nice = preview ? 0 : std::max(backgroundNice, getpriority(PRIO_PROCESS, 0));
        EXPECT_EQ(std::tuple(status().substr(0, shown.size()), controller.progress(), runNice.load(), log.find(request),
                             button("cancelButton")->text().toStdString(), atEnd.size()),
                  std::tuple(shown, ask ? frozen : 100, nice, log.rfind(request), text::doneButton, endsAtReport));
        EXPECT_TRUE(log.ends_with(logEnd) && log.find(request) <= log.find(cancelled)) << log;
        end(controller);
        ASSERT_TRUE(until([&] { return atEnd.size() == endsAtReport + 1; }) && atEnd.front().starts_with(shown));
    }
    EXPECT_EQ(window->window()->findChild<QProgressBar*>("progress")->value(), progressBarSteps);
    button("logsButton")->click(), button("logsButton")->click();
    EXPECT_EQ(opened, std::vector<QUrl>(6, QUrl::fromLocalFile(QString::fromStdString(logFile))));
    EXPECT_EQ(status(), "Cleared 3 KB\n" + string(text::noLogViewer));
}
