// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include <string>
#include <vector>

namespace quillon {

// The four ways the program runs, and the usage error.
enum class Mode { selfTest, dryRun, usage, window, uiPreview };

// Returns the mode for an argument list (argument 0 is the program path).
// Precedence: "--self-test" anywhere (argument 0 included), then "--dry-run"
// anywhere, then any arguments after argument 0 other than nothing or exactly
// "--ui-preview" are a usage error; otherwise the window, as the preview when
// any argument (argument 0 included) is "--ui-preview". Matching is exact and
// case-sensitive.
Mode chooseMode(const std::vector<std::string>& arguments);

// The usage line written to standard error, with its line feed.
inline constexpr const char* usageText = "Use --dry-run to preview, or open the app to clean.\n";

// The line written to standard error, with its line feed, when a window mode
// finds no display to open its window on.
inline constexpr const char* noDisplayText =
    "No display to open the window on (neither X11 nor Wayland answers); "
    "quillon --dry-run shows here what a clean would remove.\n";

// Returns whether the window modes can reach a display. Qt picks its platform
// from QT_QPA_PLATFORM ("name[:options]", ";" between fallbacks), else from
// the session; this answers false only when every platform it may pick is X11
// (xcb) or Wayland and none of their displays accepts a connection: X11 as
// DISPLAY names it, Wayland as WAYLAND_SOCKET, WAYLAND_DISPLAY (default
// "wayland-0", relative to XDG_RUNTIME_DIR) name it. Any other platform
// (offscreen, vnc, ...) is left to Qt.
bool displayReachable();

// Runs the program for `argc`/`argv` and returns the exit status: 0, 1 when
// the self-test fails or a window mode finds no display (noDisplayText), 2
// for a usage error.
int runEntry(int argc, char** argv);

} // namespace quillon
