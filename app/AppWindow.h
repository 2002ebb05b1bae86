// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include <QWidget>

namespace quillon {

// The program's one top-level window: a fixed 280 x 280 content area, a
// title bar without close, minimise or maximise controls, kept out of the
// taskbar where the window manager honours it, and movable by dragging its
// background. A close request from the window manager never closes it by
// itself: it is reported through closeRequested() and ignored, and the
// program decides.
class AppWindow : public QWidget {
    Q_OBJECT

public:
    // The side of the square content area, in device-independent pixels.
    static constexpr int side = 280;

    AppWindow();

    // Returns `frame`, given with its origin at the bottom left of the
    // content area (y growing upwards), in Qt's top-left coordinates.
    static QRect fromBottomLeft(const QRect& frame);

signals:
    // The window manager (or anyone calling close()) asked to close the window.
    void closeRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
};

} // namespace quillon
