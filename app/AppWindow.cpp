// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "app/AppWindow.h"

#include "app/TaskbarHint.h"
#include "core/Texts.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QWindow>

namespace quillon {

AppWindow::AppWindow()
    // A tool window is the nearest thing X11 window managers know to an
    // accessory application's window; the customise hint with only a title
    // drops the close, minimise and maximise buttons.
    : QWidget(nullptr, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setWindowTitle(QString::fromUtf8(text::programName));
    setFixedSize(side, side);
}

QRect AppWindow::fromBottomLeft(const QRect& frame) {
    return QRect(frame.x(), side - frame.y() - frame.height(), frame.width(), frame.height());
}

void AppWindow::closeEvent(QCloseEvent* event) {
    // Only the program may close its window: a run may still be going, and
    // a quit request has to wait for its final report.
    event->ignore();
    emit closeRequested();
}

void AppWindow::mousePressEvent(QMouseEvent* event) {
    // A press that reaches the window itself landed on its background (the
    // buttons keep their own): let the window manager move the window.
    if (event->button() == Qt::LeftButton && windowHandle() != nullptr && windowHandle()->startSystemMove()) {
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void AppWindow::showEvent(QShowEvent* event) {
    keepOutOfTaskbar(*this);
    QWidget::showEvent(event);
}

} // namespace quillon
