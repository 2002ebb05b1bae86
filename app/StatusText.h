// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

#include <QString>

class QFontMetricsF;

namespace quillon {

// Returns `text` laid out in at most `maxLines` lines no wider than `width`:
// the text's own line feeds are kept, longer lines are wrapped at spaces,
// and what does not fit ends the last line with an ellipsis (U+2026). Text
// that already fits comes back unchanged.
QString fitLines(const QString& text, const QFontMetricsF& metrics, qreal width, int maxLines);

} // namespace quillon
