// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "app/WindowViews.h"

#include "app/AppIcon.h"
#include "app/AppWindow.h"
#include "core/Texts.h"

#include <QApplication>
#include <QKeySequence>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>

namespace quillon {

namespace {

// Font sizes are in pixels, the unit of the frames: in points they would
// grow with the screen's DPI while the frames stay put, and two lines of
// status would no longer fit their 32 pixels.
QFont systemFont(int pixels, QFont::Weight weight) {
    QFont font = QApplication::font();
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

QLabel* makeIcon(QWidget& window) {
    auto* icon = new QLabel(&window);
    icon->setObjectName(QStringLiteral("icon"));
    icon->setGeometry(AppWindow::fromBottomLeft(iconFrame));
    const qreal ratio = window.devicePixelRatioF();
    QPixmap pixmap = QPixmap::fromImage(appIconImage(qRound(iconFrame.width() * ratio)));
    pixmap.setDevicePixelRatio(ratio);
    icon->setPixmap(pixmap);
    icon->setAlignment(Qt::AlignCenter);
    icon->setAccessibleName(QString::fromUtf8(text::iconName));
    return icon;
}

// A centred label of `text` in `frame`, with the object name the tests and
// the accessibility tools see.
QLabel* makeCentredLabel(QWidget& window, const char* text, const char* name, const QRect& frame, const QFont& font) {
    auto* label = new QLabel(QString::fromUtf8(text), &window);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(AppWindow::fromBottomLeft(frame));
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

QLabel* makeTitle(QWidget& window) {
    return makeCentredLabel(window, text::programName, "titleLabel", titleFrame, systemFont(15, QFont::DemiBold));
}

QProgressBar* makeProgress(QWidget& window) {
    auto* progress = new QProgressBar(&window);
    progress->setObjectName(QStringLiteral("progress"));
    progress->setGeometry(AppWindow::fromBottomLeft(progressFrame));
    progress->setRange(0, progressBarSteps);
    progress->setValue(0);
    progress->setTextVisible(false);
    return progress;
}

QLabel* makeStatus(QWidget& window) {
    QLabel* status = makeCentredLabel(window, text::preparing, "statusLabel", statusFrame, systemFont(11, QFont::Normal));
    // The secondary text colour: the theme's own text colour at half strength,
    // so that it follows light and dark themes.
    QPalette palette = status->palette();
    QColor secondary = palette.color(QPalette::WindowText);
    secondary.setAlphaF(0.5F);
    palette.setColor(QPalette::WindowText, secondary);
    status->setPalette(palette);
    return status;
}

QPushButton* makeButton(QWidget& window, const char* name, const QString& text, const QRect& frame) {
    auto* button = new QPushButton(text, &window);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(AppWindow::fromBottomLeft(frame));
    button->setAutoDefault(false);
    return button;
}

} // namespace

WindowViews buildViews(QWidget& window) {
    WindowViews views{};
    views.icon = makeIcon(window);
    views.titleLabel = makeTitle(window);
    views.progress = makeProgress(window);
    views.statusLabel = makeStatus(window);
    views.cancelButton = makeButton(window, "cancelButton", QString::fromUtf8(text::cancelButton), cancelFrame);
    views.cancelButton->setShortcut(QKeySequence(Qt::Key_Escape));
    views.logsButton = makeButton(window, "logsButton", QString::fromUtf8(text::showLogsButton), logsFrame);
    return views;
}

} // namespace quillon
