// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include "app/BackgroundRun.h"
#include "app/ProgressAnimation.h"
#include "core/RunControl.h"
#include "engine/Clean.h"
#include "engine/Report.h"
#include "engine/RunLog.h"

#include <QElapsedTimer>
#include <QObject>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class QUrl;
class QWidget;

namespace quillon {

class AppWindow;

// The window mode's run: cleans with the token and the two callbacks and
// returns the report. Called once, on the background thread.
using CleanRunner = std::function<Report(const RunControl& control, const ProgressCallback& onProgress,
                                         const LogCallback& onLog)>;

// What the controller takes from its surroundings. Every member left empty
// gets the program's own behaviour; tests replace them.
struct ControllerSettings {
    // The run of the window mode; empty: the real clean of the user's places.
    CleanRunner run;
    // The log file; empty: the mode's own log (see RunLog).
    std::string logPath;
    // The tick of the progress easing; 1/30 s in the program.
    std::chrono::duration<double> easingInterval = EasingPeriod{1};
    // The tick of the window-only preview; 0.3 s in the program.
    std::chrono::milliseconds previewInterval{300};
    // Opens a file with the desktop's default application and returns
    // whether one took it; empty: QDesktopServices (xdg-open).
    std::function<bool(const QUrl&)> openUrl;
    // Ends the program's event loop; empty: QCoreApplication::exit(0).
    std::function<void()> endProgram;
};

// The controller of the one window and its run. It builds the
// 280 x 280 window, creates the run log at launch, runs the clean on a
// low-priority background thread (or the simulated run of the preview),
// eases the progress bar towards the run's progress, shows the final report,
// and turns a quit request during a run into a cancellation that ends the
// program right after the final report. Every operation runs on the thread
// that owns the controller (the main thread); the background run reaches it
// only through queued calls.
class WindowController : public QObject {
    Q_OBJECT

public:
    // The answer to a quit request.
    enum class QuitReply { now, later };

    // Creates the controller and all its views; nothing is shown and no file is
    // touched until launch. `preview` selects the window-only preview.
    explicit WindowController(bool preview, ControllerSettings settings = {});
    // Cancels a run still going, waits for its thread, and releases the
    // window, the log and the timers.
    ~WindowController() override;
    WindowController(const WindowController&) = delete;
    WindowController& operator=(const WindowController&) = delete;

    // Launch: creates the run log, shows the window centred and active,
    // starts the easing timer and then the background run (or the preview).
    // Call once.
    void launch();

    // Progress of the run: unless cancellation was requested or the final
    // report is shown, raises the target to fraction x 100 (never backwards,
    // never above 99 before the final report) and shows `stage`.
    void update(double fraction, const std::string& stage);

    // Shows the final state of `report`: one of the four final texts, the
    // cancel button turned into "Done" (Return), the bar run up to 100 for a
    // completed run or left where it stood for a cancelled one. Ends the
    // program when a quit was requested during the run.
    void finish(const Report& report);

    // The cancel button: after the final report it ends the program;
    // otherwise it cancels the run, disables itself, shows "Cancelling…",
    // freezes the bar and writes the cancellation to the log.
    void cancelOrClose();

    // Opens the run log with the desktop's default application, in any state.
    // When none opens it, the status keeps its first line and says so on
    // the second.
    void showLogs();

    // Returns how a quit request is answered: at once after the final report;
    // otherwise the run is cancelled, the request remembered and answered by
    // finish().
    QuitReply quitReply();

    // A quit request from the window manager or a signal: ends the program
    // when quitReply() answers now.
    void requestQuit();

    // Starts the easing timer unless it already runs.
    void startProgressTimer();

    // Starts the window-only preview's timer.
    void startPreview();

    // Returns the window (owned by the controller).
    QWidget* window() const;
    // Returns where the bar is heading, 0 to 100.
    double targetProgress() const { return targetProgress_; }
    // Returns the bar's exact value, 0 to 100 (the bar widget shows it rounded).
    double progress() const { return progress_; }
    // Returns whether the final report is shown.
    bool isFinished() const { return finished_; }
    // Returns the run log's path; empty before launch.
    std::string logPath() const;

signals:
    // The bar moved to `value` (0 to 100).
    void progressChanged(double value);

private:
    void runInBackground();
    void setStatus(const std::string& text);
    void setProgress(double value);
    void easingTick();
    void previewTick(double& fraction);
    void finishPreview(bool cancelled);
    void stopTimer(QTimer*& timer);

    std::unique_ptr<AppWindow> window_; // owns the views below
    QLabel* icon_;
    QLabel* titleLabel_;
    QLabel* statusLabel_;
    QProgressBar* progressBar_;
    QPushButton* cancelButton_;
    QPushButton* logsButton_;

    RunControl control_;
    const bool preview_;
    ControllerSettings settings_;
    std::unique_ptr<RunLog> log_;
    bool finished_ = false;
    bool quitRequested_ = false;
    std::string status_; // the status text as set, before fitting
    double targetProgress_ = 0;
    double progress_ = 0;
    QTimer* progressTimer_ = nullptr;  // a child of the controller while present
    QElapsedTimer easingClock_;        // started with the easing timer
    std::int64_t easingTicks_ = 0;     // easing ticks since then
    QTimer* previewTimer_ = nullptr;   // a child of the controller while present
    std::unique_ptr<BackgroundRun> run_; // last: joined before anything it uses goes
};

} // namespace quillon
