// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "app/StatusText.h"

#include <QFontMetricsF>
#include <QStringList>

namespace quillon {

namespace {

// Greedy wrapping at spaces; a single word wider than the line stays whole
// here and is elided below.
void wrapParagraph(const QString& paragraph, const QFontMetricsF& metrics, qreal width, QStringList& lines) {
    QString current;
    bool started = false;
    for (const QString& word : paragraph.split(QLatin1Char(' '))) {
        const QString candidate = started ? current + QLatin1Char(' ') + word : word;
        if (!started || metrics.horizontalAdvance(candidate) <= width) {
            current = candidate;
            started = true;
            continue;
        }
        lines << current;
        current = word;
    }
    lines << current;
}

} // namespace

QString fitLines(const QString& text, const QFontMetricsF& metrics, qreal width, int maxLines) {
    QStringList lines;
    for (const QString& paragraph : text.split(QLatin1Char('\n'))) wrapParagraph(paragraph, metrics, width, lines);
    if (maxLines < 1) return {};
    if (lines.size() > maxLines) {
        // Everything from the last line on goes on that line and loses its end.
        const QString tail = lines.mid(maxLines - 1).join(QLatin1Char(' '));
        lines = lines.mid(0, maxLines - 1);
        lines << tail;
    }
    for (QString& line : lines)
        if (metrics.horizontalAdvance(line) > width) line = metrics.elidedText(line, Qt::ElideRight, width);
    return lines.join(QLatin1Char('\n'));
}

} // namespace quillon
