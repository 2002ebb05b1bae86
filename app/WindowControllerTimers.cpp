// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

// The bar's easing and the window-only preview: the two timers of the
// controller. Both fire on the main thread and hold the controller only weakly.

#include "app/WindowController.h"
#include "app/ProgressAnimation.h"

#include <QPointer>
#include <QTimer>

namespace quillon {

void WindowController::startProgressTimer() {
    if (progressTimer_ != nullptr) return;
    progressTimer_ = new QTimer(this);
    // Precise: the bar should glide at an even pace, not at whatever the
    // coarse timer's 5 percent slack makes of each wait.
    progressTimer_->setTimerType(Qt::PreciseTimer);
    easingClock_.start();
    easingTicks_ = 0;
    progressTimer_->setInterval(easingDelay(std::chrono::nanoseconds(0), 1, settings_.easingInterval));
    connect(progressTimer_, &QTimer::timeout, progressTimer_, [controller = QPointer<WindowController>(this)] {
        if (controller) controller->easingTick();
    });
    progressTimer_->start();
}

void WindowController::easingTick() {
    ++easingTicks_;
    setProgress(easedProgress(progress_, targetProgress_));
    if (finished_ && progress_ >= 100) {
        stopTimer(progressTimer_);
        return;
    }
    // The timer counts whole milliseconds and 1/30 s is not one: each wait
    // aims at the next tick's own due time, so the waits alternate between
    // 33 and 34 ms and the rate stays exactly thirty a second.
    progressTimer_->setInterval(
        easingDelay(std::chrono::nanoseconds(easingClock_.nsecsElapsed()), easingTicks_ + 1, settings_.easingInterval));
}

void WindowController::startPreview() {
    previewTimer_ = new QTimer(this);
    previewTimer_->setInterval(settings_.previewInterval);
    QTimer* timer = previewTimer_;
    // The simulated fraction belongs to the timer's action, not to the controller.
    connect(previewTimer_, &QTimer::timeout, previewTimer_,
            [controller = QPointer<WindowController>(this), timer, fraction = 0.0]() mutable {
                if (!controller) {
                    timer->stop();
                    return;
                }
                controller->previewTick(fraction);
            });
    previewTimer_->start();
}

void WindowController::previewTick(double& fraction) {
    if (control_.isCancelled()) {
        finishPreview(true);
        return;
    }
    fraction += previewStep;
    update(fraction, previewStage);
    if (fraction < 1.0) return;
    finishPreview(false);
}

void WindowController::finishPreview(bool cancelled) {
    Report report;
    report.cancelled = cancelled;
    report.freeAfter = freeSpace(currentPlaces().bases.home);
    log_->append(cancelled ? previewCancelledLine : previewFinishedLine);
    log_->close();
    finish(report);
}

void WindowController::stopTimer(QTimer*& timer) {
    if (timer == nullptr) return;
    timer->stop();
    // Later, not now: this may run inside the timer's own timeout.
    timer->deleteLater();
    timer = nullptr;
}

} // namespace quillon
