// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

class QWidget;

namespace quillon {

// Asks the window manager to leave `window` out of the taskbar: on X11 it
// adds _NET_WM_STATE_SKIP_TASKBAR to the native window's state, which Qt
// keeps when it maps the window. Call it before the window is first shown
// (it creates the native window if needed). Does nothing on other platforms.
void keepOutOfTaskbar(QWidget& window);

} // namespace quillon
