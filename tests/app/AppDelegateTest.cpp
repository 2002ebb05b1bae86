#include "app/AppDelegate.h"

#include "core/Texts.h"
#include "engine/Report.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/Fixture.h"

#include <QTest>

namespace quillon {
namespace {

namespace t = quillon::testing;

class UpdateTest : public t::DelegateTest {};

TEST_F(UpdateTest, RaisesTheTargetToTheFractionInPoints) {
    AppDelegate& window = delegate();
    window.update(0.25, text::buildCachesStage);
    EXPECT_EQ(window.targetProgress(), 25.0);
}

TEST_F(UpdateTest, ShowsTheStageText) {
    AppDelegate& window = delegate();
    window.update(0.25, "Checking Spotify caches\u2026");
    EXPECT_EQ(statusText(), "Checking Spotify caches\u2026");
}

TEST_F(UpdateTest, NeverMovesTheTargetBack) {
    AppDelegate& window = delegate();
    window.update(0.6, text::buildCachesStage);
    window.update(0.2, text::olderLogsStage);
    EXPECT_EQ(window.targetProgress(), 60.0);
}

TEST_F(UpdateTest, KeepsTheTargetAt99ForAWholeFraction) {
    AppDelegate& window = delegate();
    window.update(1.0, text::olderLogsStage);
    EXPECT_EQ(window.targetProgress(), 99.0);
}

TEST_F(UpdateTest, KeepsTheTargetAt99ForAFractionAboveOne) {
    AppDelegate& window = delegate();
    window.update(1.5, text::olderLogsStage);
    EXPECT_EQ(window.targetProgress(), 99.0);
}

TEST_F(UpdateTest, LeavesCancellingAloneWhenProgressArrivesLate) {
    AppDelegate& window = launchAndWaitForRun();
    window.cancelOrClose();
    window.update(0.5, "Checking Chrome caches\u2026");
    EXPECT_EQ(statusText(), text::cancelling);
}

TEST_F(UpdateTest, LeavesTheTargetAloneAfterCancelling) {
    AppDelegate& window = launchAndWaitForRun();
    window.cancelOrClose();
    const double frozen = window.targetProgress();
    window.update(0.5, "Checking Chrome caches\u2026");
    EXPECT_EQ(window.targetProgress(), frozen);
}

TEST_F(UpdateTest, LeavesTheFinalTextAloneWhenProgressArrivesLate) {
    AppDelegate& window = delegate();
    window.finish(completed(0, 2'000'000'000, 3));
    window.update(0.5, "Checking Chrome caches\u2026");
    EXPECT_EQ(statusText(), text::nothingToClean + ("\n" + size(2'000'000'000)) + " available \u00b7 3 locations");
}

class FinishTest : public t::DelegateTest {};

TEST_F(FinishTest, CompletedRunThatRemovedNothing) {
    delegate().finish(completed(0, 52'300'000'000, 41));
    EXPECT_EQ(statusText(), text::nothingToClean + std::string("\n52.3 GB available \u00b7 41 locations"));
}

TEST_F(FinishTest, CompletedRunThatRemovedBytes) {
    delegate().finish(completed(1'500'000, 52'300'000'000, 7));
    EXPECT_EQ(statusText(), "Cleared 1.5 MB\n52.3 GB available \u00b7 7 locations");
}

TEST_F(FinishTest, CancelledRunThatRemovedNothing) {
    Report report = completed(0, 52'300'000'000, 7);
    report.cancelled = true;
    delegate().finish(report);
    EXPECT_EQ(statusText(), text::cancelledNothingRemoved);
}

TEST_F(FinishTest, CancelledRunThatRemovedBytesShowsThemWithoutTheLocations) {
    Report report = completed(1'500'000, 52'300'000'000, 7);
    report.cancelled = true;
    delegate().finish(report);
    EXPECT_EQ(statusText(), "Cancelled \u2014 cleared 1.5 MB\n52.3 GB available");
}

TEST_F(FinishTest, TurnsCancelIntoAnEnabledDoneButton) {
    AppDelegate& window = launchAndWaitForRun();
    window.cancelOrClose();
    window.finish(completed(0, 1000, 0));
    EXPECT_EQ(cancelButton()->text().toStdString(), text::doneButton);
    EXPECT_TRUE(cancelButton()->isEnabled());
}

TEST_F(FinishTest, GivesDoneTheReturnKey) {
    delegate().finish(completed(0, 1000, 0));
    EXPECT_EQ(cancelButton()->shortcut(), QKeySequence(Qt::Key_Return));
}

TEST_F(FinishTest, LeavesTheBarWhereItStoodForACancelledRun) {
    AppDelegate& window = delegate();
    window.update(0.5, text::buildCachesStage);
    window.startProgressTimer();
    ASSERT_TRUE(t::waitUntil([&] { return window.progress() >= 6.0; }));
    Report report;
    report.cancelled = true;
    window.finish(report);
    const double stood = window.progress();
    t::spinFor(std::chrono::milliseconds(150));
    EXPECT_EQ(window.progress(), stood);
}

TEST_F(FinishTest, DoesNotEndTheProgramWithoutAQuitRequest) {
    delegate().finish(completed(0, 1000, 0));
    EXPECT_EQ(endings, 0);
}

class CancelTest : public t::DelegateTest {
protected:
    // Launches, lets the bar move, and cancels.
    AppDelegate& cancelWhileRunning() {
        script = std::make_unique<t::ScriptedRun>(std::vector<t::ScriptedRun::Step>{{0.5, text::buildCachesStage}});
        AppDelegate& window = launchAndWaitForRun();
        EXPECT_TRUE(t::waitUntil([&] { return window.progress() >= 11.28; }));
        window.cancelOrClose();
        return window;
    }
};

TEST_F(CancelTest, DisablesTheButtonAtOnce) {
    cancelWhileRunning();
    EXPECT_FALSE(cancelButton()->isEnabled());
}

TEST_F(CancelTest, ShowsCancelling) {
    cancelWhileRunning();
    EXPECT_EQ(statusText(), text::cancelling);
}

TEST_F(CancelTest, FreezesTheBar) {
    AppDelegate& window = cancelWhileRunning();
    const double frozen = window.progress();
    EXPECT_EQ(window.targetProgress(), frozen);
    t::spinFor(std::chrono::milliseconds(150));
    EXPECT_EQ(window.progress(), frozen);
}

TEST_F(CancelTest, WritesTheCancellationToTheLogBeforeTheRunsOwnStop) {
    AppDelegate& window = cancelWhileRunning();
    ASSERT_TRUE(t::waitUntil([&] { return window.isFinished(); }));
    const std::vector<std::string> lines = logLines();
    const auto request =
        std::find(lines.begin(), lines.end(), text::cancellationRequested);
    const auto stop = std::find(lines.begin(), lines.end(), text::cancelledBetweenLocations);
    ASSERT_NE(request, lines.end());
    EXPECT_LT(request, stop);
}

TEST_F(CancelTest, EndsWithTheCancelledFinalText) {
    AppDelegate& window = cancelWhileRunning();
    ASSERT_TRUE(t::waitUntil([&] { return window.isFinished(); }));
    EXPECT_EQ(statusText(), text::cancelledNothingRemoved);
}

TEST_F(CancelTest, ShowsTheBytesACancelledRunHadCleared) {
    script = std::make_unique<t::ScriptedRun>();
    script->removedBeforeCancel = 2'400'000;
    AppDelegate& window = launchAndWaitForRun();
    window.cancelOrClose();
    ASSERT_TRUE(t::waitUntil([&] { return window.isFinished(); }));
    EXPECT_EQ(statusText().rfind("Cancelled \u2014 cleared 2.4 MB\n", 0), 0U) << statusText();
}

TEST_F(CancelTest, SecondCancelWritesNoSecondLogLine) {
    AppDelegate& window = cancelWhileRunning();
    window.cancelOrClose();
    int count = 0;
    for (const std::string& line : logLines())
        if (line == text::cancellationRequested) ++count;
    EXPECT_EQ(count, 1);
}

TEST_F(CancelTest, DoneEndsTheProgram) {
    AppDelegate& window = delegate();
    window.finish(completed(0, 1000, 0));
    window.cancelOrClose();
    EXPECT_EQ(endings, 1);
}

class KeyTest : public t::DelegateTest {};

TEST_F(KeyTest, EscapeActivatesCancelDuringTheRun) {
    AppDelegate& window = launchAndWaitForRun();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.window()));
    QTest::keyClick(window.window(), Qt::Key_Escape);
    // A shortcut clicks its button a moment later, as a click would look.
    EXPECT_TRUE(t::waitUntil([&] { return statusText() == text::cancelling; })) << statusText();
}

TEST_F(KeyTest, ReturnActivatesDoneAfterTheRun) {
    AppDelegate& window = launchAndWaitForRun();
    script->open(completed(0, 1000, 2));
    ASSERT_TRUE(t::waitUntil([&] { return window.isFinished(); }));
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.window()));
    QTest::keyClick(window.window(), Qt::Key_Return);
    EXPECT_TRUE(t::waitUntil([&] { return endings == 1; }));
}

TEST_F(KeyTest, ReturnDoesNothingDuringTheRun) {
    AppDelegate& window = launchAndWaitForRun();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.window()));
    QTest::keyClick(window.window(), Qt::Key_Return);
    t::spinFor(std::chrono::milliseconds(300));
    EXPECT_EQ(statusText(), text::preparing);
    EXPECT_EQ(endings, 0);
}

class QuitTest : public t::DelegateTest {};

TEST_F(QuitTest, RequestDuringTheRunDoesNotEndTheProgramAtOnce) {
    AppDelegate& window = launchAndWaitForRun();
    window.requestQuit();
    EXPECT_EQ(endings, 0);
}

TEST_F(QuitTest, RequestDuringTheRunCancelsIt) {
    AppDelegate& window = launchAndWaitForRun();
    window.requestQuit();
    EXPECT_EQ(statusText(), text::cancelling);
}

TEST_F(QuitTest, RequestDuringTheRunEndsTheProgramRightAfterTheFinalReport) {
    AppDelegate& window = launchAndWaitForRun();
    window.requestQuit();
    ASSERT_TRUE(t::waitUntil([&] { return endings > 0; }));
    EXPECT_EQ(endings, 1);
    EXPECT_EQ(statusAtEnd, text::cancelledNothingRemoved);
}

TEST_F(QuitTest, RequestDuringTheRunIsAnsweredLater) {
    AppDelegate& window = launchAndWaitForRun();
    EXPECT_EQ(window.applicationShouldTerminate(), AppDelegate::TerminateReply::later);
}

TEST_F(QuitTest, RequestAfterTheFinalReportEndsTheProgramAtOnce) {
    AppDelegate& window = delegate();
    window.finish(completed(0, 1000, 0));
    window.requestQuit();
    EXPECT_EQ(endings, 1);
}

TEST_F(QuitTest, WindowManagerCloseDuringTheRunKeepsTheWindowAndCancels) {
    AppDelegate& window = launchAndWaitForRun();
    window.window()->close();
    EXPECT_TRUE(window.window()->isVisible());
    EXPECT_EQ(statusText(), text::cancelling);
    EXPECT_EQ(endings, 0);
}

TEST_F(QuitTest, WindowManagerCloseAfterTheFinalReportEndsTheProgram) {
    AppDelegate& window = launchAndWaitForRun();
    script->open(completed(0, 1000, 2));
    ASSERT_TRUE(t::waitUntil([&] { return window.isFinished(); }));
    window.window()->close();
    EXPECT_EQ(endings, 1);
}

class ShowLogsTest : public t::DelegateTest {};

TEST_F(ShowLogsTest, OpensTheLogFileDuringTheRun) {
    launchAndWaitForRun();
    logsButton()->click();
    ASSERT_EQ(openedUrls.size(), 1U);
    EXPECT_EQ(openedUrls[0], QUrl::fromLocalFile(QString::fromStdString(logFile)));
}

TEST_F(ShowLogsTest, OpensTheLogFileAfterTheRun) {
    AppDelegate& window = launchAndWaitForRun();
    script->open(completed(0, 1000, 2));
    ASSERT_TRUE(t::waitUntil([&] { return window.isFinished(); }));
    logsButton()->click();
    ASSERT_EQ(openedUrls.size(), 1U);
    EXPECT_EQ(openedUrls[0], QUrl::fromLocalFile(QString::fromStdString(logFile)));
}

TEST_F(ShowLogsTest, SaysSoInTheSecondLineWhenNoAppOpensTheLog) {
    urlOpens = false;
    AppDelegate& window = launchAndWaitForRun();
    script->open(completed(0, 1000, 2));
    ASSERT_TRUE(t::waitUntil([&] { return window.isFinished(); }));
    logsButton()->click();
    EXPECT_EQ(statusText(), text::nothingToClean + ("\n" + std::string(text::noLogViewer)));
    urlOpens = true;
    logsButton()->click();
    EXPECT_EQ(statusText(), text::nothingToClean + ("\n" + std::string(text::noLogViewer)));
}

class BackgroundRunTest : public t::DelegateTest {};

TEST_F(BackgroundRunTest, RunsTheCleanOffTheMainThread) {
    launchAndWaitForRun();
    EXPECT_TRUE(script->ranOnAnotherThread());
}

TEST_F(BackgroundRunTest, ShowsTheRunsProgress) {
    script = std::make_unique<t::ScriptedRun>(std::vector<t::ScriptedRun::Step>{
        {0.0, text::buildCachesStage}, {0.25, "Checking Chrome caches\u2026"}});
    AppDelegate& window = launchAndWaitForRun();
    ASSERT_TRUE(t::waitUntil([&] { return window.targetProgress() == 25.0; }));
    EXPECT_EQ(statusText(), "Checking Chrome caches\u2026");
}

TEST_F(BackgroundRunTest, WritesTheRunsLinesAndTheSummaryToTheLog) {
    script = std::make_unique<t::ScriptedRun>(std::vector<t::ScriptedRun::Step>{},
                                              std::vector<std::string>{"Inspecting: /x", "Checked: /x \u2014 1 files"});
    AppDelegate& window = launchAndWaitForRun();
    const Report report = completed(0, 1000, 1);
    script->open(report);
    ASSERT_TRUE(t::waitUntil([&] { return window.isFinished(); }));
    std::vector<std::string> expected = {text::cleanupStarted, "Inspecting: /x", "Checked: /x \u2014 1 files", ""};
    std::string summaryLines = summary(report, false) + "\n";
    for (std::size_t start = 0, end; (end = summaryLines.find('\n', start)) != std::string::npos; start = end + 1)
        expected.push_back(summaryLines.substr(start, end - start));
    const std::vector<std::string> lines = logLines();
    ASSERT_GE(lines.size(), 2U);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 2, lines.end()), expected);
}

TEST_F(BackgroundRunTest, ShowsTheReportTheRunReturned) {
    AppDelegate& window = launchAndWaitForRun();
    script->open(completed(3'000, 1'000'000, 5));
    ASSERT_TRUE(t::waitUntil([&] { return window.isFinished(); }));
    EXPECT_EQ(statusText(), "Cleared 3 KB\n1 MB available \u00b7 5 locations");
}

} // namespace
} // namespace quillon
