// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "app/WindowController.h"

#include "app/AppIcon.h"
#include "app/AppWindow.h"
#include "app/StatusText.h"
#include "app/WindowViews.h"
#include "core/Texts.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace quillon {

namespace {

Report runRealClean(const RunControl& control, const ProgressCallback& onProgress, const LogCallback& onLog) {
    return clean(false, &control, onProgress, onLog);
}

std::string finalText(const Report& report) {
    const std::string free = size(report.freeAfter) + " available";
    if (report.cancelled) {
        if (report.removed < 1) return text::cancelledNothingRemoved;
        return "Cancelled \u2014 cleared " + size(report.removed) + "\n" + free;
    }
    const std::string headline = report.removed < 1 ? text::nothingToClean : "Cleared " + size(report.removed);
    return headline + "\n" + free + " \u00b7 " + std::to_string(report.checked) + " locations";
}

} // namespace

WindowController::WindowController(bool preview, ControllerSettings settings)
    : window_(std::make_unique<AppWindow>()), preview_(preview), settings_(std::move(settings)) {
    if (!settings_.run) settings_.run = runRealClean;
    if (!settings_.openUrl) settings_.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    if (!settings_.endProgram) settings_.endProgram = [] { QCoreApplication::exit(0); };

    const WindowViews views = buildViews(*window_);
    icon_ = views.icon;
    titleLabel_ = views.titleLabel;
    progressBar_ = views.progress;
    statusLabel_ = views.statusLabel;
    cancelButton_ = views.cancelButton;
    logsButton_ = views.logsButton;
    status_ = statusLabel_->text().toStdString();
    window_->setWindowIcon(appIcon());

    connect(cancelButton_, &QPushButton::clicked, this, &WindowController::cancelOrClose);
    connect(logsButton_, &QPushButton::clicked, this, &WindowController::showLogs);
    connect(window_.get(), &AppWindow::closeRequested, this, &WindowController::requestQuit);
}

WindowController::~WindowController() {
    // The program ends only after the final report, when the run is over;
    // anyone dropping the controller earlier must not leave the run behind.
    if (run_) {
        control_.cancel();
        run_.reset();
    }
}

void WindowController::launch() {
    log_ = settings_.logPath.empty() ? std::make_unique<RunLog>(preview_)
                                     : std::make_unique<RunLog>(preview_, settings_.logPath);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = window_->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window_->move(frame.topLeft());
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
    startProgressTimer();

    if (preview_) {
        startPreview();
        return;
    }
    run_ = std::make_unique<BackgroundRun>([this] { runInBackground(); });
}

// On the background thread. The controller outlives this function: its
// destructor waits for the thread.
void WindowController::runInBackground() {
    const ProgressCallback onProgress = [this](double fraction, const std::string& stage) {
        QMetaObject::invokeMethod(this, [this, fraction, stage] { update(fraction, stage); }, Qt::QueuedConnection);
    };
    const LogCallback onLog = [this](const std::string& line) { log_->append(line); };
    const Report report = settings_.run(control_, onProgress, onLog);
    // Named first: GCC 12 warns falsely (-Wrestrict, at -O3) when a literal
    // is prepended to a temporary string.
    const std::string closing = summary(report, false);
    log_->append("\n" + closing);
    log_->close();
    QMetaObject::invokeMethod(this, [this, report] { finish(report); }, Qt::QueuedConnection);
}

void WindowController::update(double fraction, const std::string& stage) {
    if (control_.isCancelled() || finished_) return;
    targetProgress_ = std::max(targetProgress_, std::min(fraction * 100, 99.0));
    setStatus(stage);
}

void WindowController::finish(const Report& report) {
    finished_ = true;
    stopTimer(previewTimer_);
    if (report.cancelled) {
        stopTimer(progressTimer_);
    } else {
        targetProgress_ = 100;
        startProgressTimer();
    }
    setStatus(finalText(report));
    cancelButton_->setText(QString::fromUtf8(text::doneButton));
    cancelButton_->setShortcut(QKeySequence(Qt::Key_Return));
    cancelButton_->setEnabled(true);
    if (quitRequested_) settings_.endProgram();
}

void WindowController::cancelOrClose() {
    if (finished_) {
        settings_.endProgram();
        return;
    }
    // A second request (the button, then a quit) has nothing left to do, and
    // must not write the cancellation to the log twice.
    if (control_.isCancelled()) return;
    // The line goes to the log before the token is set: once the run sees the
    // token it may end and close the log at any moment, and the request
    // belongs before the run's own account of where it stopped. (A quit
    // signal may arrive before launch has created the log.)
    if (log_) log_->append(text::cancellationRequested);
    control_.cancel();
    cancelButton_->setEnabled(false);
    setStatus(text::cancelling);
    targetProgress_ = progress_;
    stopTimer(progressTimer_);
}

void WindowController::showLogs() {
    if (!log_ || log_->path().empty()) return;
    if (settings_.openUrl(QUrl::fromLocalFile(QString::fromStdString(log_->path())))) return;
    setStatus(status_.substr(0, status_.find('\n')) + "\n" + text::noLogViewer);
}

WindowController::QuitReply WindowController::quitReply() {
    if (finished_) return QuitReply::now;
    quitRequested_ = true;
    cancelOrClose();
    return QuitReply::later;
}

void WindowController::requestQuit() {
    if (quitReply() == QuitReply::now) settings_.endProgram();
}

QWidget* WindowController::window() const { return window_.get(); }

std::string WindowController::logPath() const { return log_ ? log_->path() : std::string(); }

void WindowController::setStatus(const std::string& text) {
    status_ = text;
    const QFontMetricsF metrics(statusLabel_->font());
    statusLabel_->setText(fitLines(QString::fromStdString(text), metrics, statusLabel_->width(), statusMaxLines));
}

void WindowController::setProgress(double value) {
    if (value == progress_) return;
    progress_ = value;
    progressBar_->setValue(static_cast<int>(std::lround(value * progressBarSteps / 100)));
    emit progressChanged(value);
}

} // namespace quillon
