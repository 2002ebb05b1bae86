#pragma once

// Helpers of the window tests: the Qt application of the test program, a
// wait that keeps the event loop turning, a scripted stand-in for the clean
// run, and a test fixture that builds a delegate around them.

#include "app/AppDelegate.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace quillon::testing {

// Processes events until `condition` holds or `limit` passes; returns
// whether it holds.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::milliseconds(20000));

// Processes events for `duration`.
void spinFor(std::chrono::milliseconds duration);

// Deletes the objects whose deletion was deferred (stopped timers).
void flushDeferredDeletes();

// A stand-in for the clean run. It sends its progress steps and log lines,
// then waits until the test lets it return its report (open()) or until
// the run is cancelled, in which case it returns a cancelled report with
// the bytes of `removedBeforeCancel`.
class ScriptedRun {
public:
    struct Step {
        double fraction;
        std::string stage;
    };

    ScriptedRun(std::vector<Step> steps = {}, std::vector<std::string> logLines = {});
    ~ScriptedRun();
    ScriptedRun(const ScriptedRun&) = delete;
    ScriptedRun& operator=(const ScriptedRun&) = delete;

    // The runner to hand to the delegate.
    CleanRunner runner();
    // Lets the run return `report`.
    void open(const Report& report);
    // Returns whether the run has sent everything and is waiting.
    bool waiting() const;
    // Returns whether the run was called on a thread other than the caller of
    // the constructor.
    bool ranOnAnotherThread() const;

    std::int64_t removedBeforeCancel = 0;

private:
    Report run(const RunControl& control, const ProgressCallback& onProgress, const LogCallback& onLog);

    std::vector<Step> steps_;
    std::vector<std::string> logLines_;
    const std::thread::id creator_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    bool opened_ = false;
    bool waiting_ = false;
    bool otherThread_ = false;
    Report report_;
};

// A delegate with a scripted run, a log in a fresh folder, and recorders for
// the opened URLs and the program's end.
class DelegateTest : public ::testing::Test {
protected:
    DelegateTest();
    ~DelegateTest() override;

    // Creates the delegate (once) with the current settings.
    AppDelegate& delegate(bool preview = false);
    // Creates the delegate and launches it; waits until the window is shown.
    AppDelegate& launch(bool preview = false);
    // Launches and waits until the scripted run waits.
    AppDelegate& launchAndWaitForRun();

    QLabel* statusLabel();
    QPushButton* cancelButton();
    QPushButton* logsButton();
    QProgressBar* progressBar();
    std::string statusText();
    std::vector<std::string> logLines();

    // Returns a completed report with `removed` bytes, `freeAfter` free bytes
    // and `checked` locations.
    static Report completed(std::int64_t removed, std::int64_t freeAfter, int checked);

    std::unique_ptr<ScriptedRun> script = std::make_unique<ScriptedRun>();
    DelegateSettings settings;
    std::string logFile;
    std::vector<QUrl> openedUrls;
    bool urlOpens = true; // what the desktop answers when a file is opened
    int endings = 0;
    std::string statusAtEnd;

private:
    std::unique_ptr<AppDelegate> delegate_;
};

} // namespace quillon::testing
