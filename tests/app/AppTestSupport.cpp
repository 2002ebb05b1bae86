#include "tests/app/AppTestSupport.h"

#include "app/AppWindow.h"
#include "app/WindowViews.h"
#include "core/Texts.h"
#include "tests/support/Fixture.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>

#include <sstream>

namespace quillon::testing {

namespace {

// The one Qt application of a test program, made before the first test and
// dropped after the last. Tests of this program draw on the offscreen
// platform only, never on a real display.
class QtApplication : public ::testing::Environment {
public:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        application_ = std::make_unique<QApplication>(argc_, argv_);
        // Fonts are loaded on first use and keep their files open; load those
        // of the window now, so that no test suite counts them as its own.
        AppWindow warmUp;
        buildViews(warmUp);
        warmUp.grab();
    }
    void TearDown() override { application_.reset(); }

private:
    int argc_ = 1;
    char name_[16] = "app_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> application_;
};

[[maybe_unused]] const auto* const qtApplication = ::testing::AddGlobalTestEnvironment(new QtApplication);

} // namespace

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    QElapsedTimer clock;
    clock.start();
    // One pass of the event loop at a time: a timer fires at most once per
    // pass, so the condition sees every state a timer's tick leaves behind.
    while (!condition()) {
        if (clock.elapsed() > limit.count()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QThread::msleep(1);
    }
    return true;
}

void spinFor(std::chrono::milliseconds duration) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < duration.count()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QThread::msleep(1);
    }
}

void flushDeferredDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

ScriptedRun::ScriptedRun(std::vector<Step> steps, std::vector<std::string> logLines)
    : steps_(std::move(steps)), logLines_(std::move(logLines)), creator_(std::this_thread::get_id()) {}

ScriptedRun::~ScriptedRun() = default;

CleanRunner ScriptedRun::runner() {
    return [this](const RunControl& control, const ProgressCallback& onProgress, const LogCallback& onLog) {
        return run(control, onProgress, onLog);
    };
}

Report ScriptedRun::run(const RunControl& control, const ProgressCallback& onProgress, const LogCallback& onLog) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        otherThread_ = std::this_thread::get_id() != creator_;
    }
    for (const Step& step : steps_) onProgress(step.fraction, step.stage);
    for (const std::string& line : logLines_) onLog(line);
    std::unique_lock<std::mutex> guard(lock_);
    waiting_ = true;
    while (!opened_) {
        if (control.isCancelled()) {
            Report cancelled;
            cancelled.cancelled = true;
            cancelled.removed = removedBeforeCancel;
            cancelled.notes.push_back(text::cancelledBetweenLocations);
            onLog(cancelled.notes.back());
            return cancelled;
        }
        changed_.wait_for(guard, std::chrono::milliseconds(1));
    }
    return report_;
}

void ScriptedRun::open(const Report& report) {
    std::lock_guard<std::mutex> guard(lock_);
    report_ = report;
    opened_ = true;
    changed_.notify_all();
}

bool ScriptedRun::waiting() const {
    std::lock_guard<std::mutex> guard(lock_);
    return waiting_;
}

bool ScriptedRun::ranOnAnotherThread() const {
    std::lock_guard<std::mutex> guard(lock_);
    return otherThread_;
}

DelegateTest::DelegateTest() : logFile(freshDirectory("log") + "/LastRun.log") {
    settings.logPath = logFile;
    settings.previewInterval = std::chrono::milliseconds(1);
    settings.openUrl = [this](const QUrl& url) {
        openedUrls.push_back(url);
        return urlOpens;
    };
    settings.endProgram = [this] {
        ++endings;
        statusAtEnd = statusText();
    };
}

DelegateTest::~DelegateTest() {
    delegate_.reset();
    flushDeferredDeletes();
}

AppDelegate& DelegateTest::delegate(bool preview) {
    if (!delegate_) {
        if (!settings.run) settings.run = script->runner();
        delegate_ = std::make_unique<AppDelegate>(preview, settings);
    }
    return *delegate_;
}

AppDelegate& DelegateTest::launch(bool preview) {
    AppDelegate& launched = delegate(preview);
    launched.applicationDidFinishLaunching();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(launched.window()));
    return launched;
}

AppDelegate& DelegateTest::launchAndWaitForRun() {
    AppDelegate& launched = launch();
    EXPECT_TRUE(waitUntil([this] { return script->waiting(); }));
    // Let the queued progress of the run reach the window.
    QCoreApplication::processEvents();
    return launched;
}

QLabel* DelegateTest::statusLabel() { return delegate().window()->findChild<QLabel*>(QStringLiteral("statusLabel")); }

QPushButton* DelegateTest::cancelButton() {
    return delegate().window()->findChild<QPushButton*>(QStringLiteral("cancelButton"));
}

QPushButton* DelegateTest::logsButton() {
    return delegate().window()->findChild<QPushButton*>(QStringLiteral("logsButton"));
}

QProgressBar* DelegateTest::progressBar() {
    return delegate().window()->findChild<QProgressBar*>(QStringLiteral("progress"));
}

std::string DelegateTest::statusText() { return statusLabel()->text().toStdString(); }

std::vector<std::string> DelegateTest::logLines() {
    std::vector<std::string> lines;
    std::istringstream in(readFile(logFile));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

Report DelegateTest::completed(std::int64_t removed, std::int64_t freeAfter, int checked) {
    Report report;
    report.removed = removed;
    report.freeAfter = freeAfter;
    report.checked = checked;
    return report;
}

} // namespace quillon::testing
