// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

namespace quillon {

// Runs the window modes: creates the application object (no menu bar, no
// taskbar entry where the window manager honours it, the program's icon),
// turns SIGINT and SIGTERM into quit requests, installs the controller, lets
// it launch once the event loop runs, and blocks in the event loop until
// the program ends. `preview` selects the window-only preview. Returns 0.
// `argc` and `argv` are handed to Qt, which may take its own options.
int runWindow(int argc, char** argv, bool preview);

} // namespace quillon
