// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include <QIcon>
#include <QImage>

namespace quillon {

// The program's own icon: a white quill sweeping a few sparks off a
// teal-to-blue rounded square. The same drawing ships as an SVG file for the
// desktop entry; here it is painted directly, so the window needs no SVG
// support.

// Returns the icon painted on a transparent square image of `side` pixels.
QImage appIconImage(int side);

// Returns the icon at the usual window-icon sizes, for the window and the
// application.
QIcon appIcon();

} // namespace quillon
