// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include <QRect>

class QLabel;
class QProgressBar;
class QPushButton;
class QWidget;

namespace quillon {

// The bar widget counts in hundredths of a point, so that the eased value
// (a double from 0 to 100) moves it visibly between whole points.
inline constexpr int progressBarSteps = 10000;

// The status label shows at most this many lines.
inline constexpr int statusMaxLines = 2;

// The window's six views. They are children of the window, which owns them.
struct WindowViews {
    QLabel* icon;
    QLabel* titleLabel;
    QProgressBar* progress;
    QLabel* statusLabel;
    QPushButton* cancelButton;
    QPushButton* logsButton;
};

// The frames of the views, with the origin at the bottom left of the 280 x
// 280 content area, in device-independent pixels.
inline constexpr QRect iconFrame{100, 168, 80, 80};
inline constexpr QRect titleFrame{16, 136, 248, 24};
inline constexpr QRect progressFrame{52, 104, 176, 12};
inline constexpr QRect statusFrame{16, 64, 248, 32};
inline constexpr QRect cancelFrame{20, 20, 104, 32};
inline constexpr QRect logsFrame{156, 20, 104, 32};

// Creates the six views inside `window` (an AppWindow), in the order above,
// each at its frame, with its font, text and colour: the program's icon
// (accessible name "Quillon app icon"), the title "Quillon" in 15-pixel
// semibold, a bar from 0 to progressBarSteps at 0, the status "Preparing…"
// in 11 pixels of the secondary text colour, and the buttons "Cancel"
// (Escape) and "Show Logs". Texts and the icon are centred.
WindowViews buildViews(QWidget& window);

} // namespace quillon
