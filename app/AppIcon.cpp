// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "app/AppIcon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <array>

namespace quillon {

namespace {

// The drawing is made on a 256-unit square, with the numbers of
// app/resources/com.brenvale.quillon.svg; keep the two alike.
constexpr double canvas = 256;

const QColor gradientTop(0x3c, 0xc8, 0xb4);
const QColor gradientBottom(0x23, 0x66, 0xa8);
const QColor shaftColour(0x1f, 0x4f, 0x6e);

QPainterPath roundedSquare() {
    QPainterPath path;
    path.addRoundedRect(QRectF(16, 16, 224, 224), 50, 50);
    return path;
}

QPainterPath vane() {
    QPainterPath path;
    path.moveTo(204, 48);
    path.cubicTo(150, 52, 100, 92, 100, 152);
    path.cubicTo(160, 152, 200, 100, 204, 48);
    path.closeSubpath();
    return path;
}

QPainterPath spark(double cx, double cy, double r) {
    const double k = 0.18 * r; // how full the star's sides bulge
    QPainterPath path;
    path.moveTo(cx, cy - r);
    path.quadTo(cx + k, cy - k, cx + r, cy);
    path.quadTo(cx + k, cy + k, cx, cy + r);
    path.quadTo(cx - k, cy + k, cx - r, cy);
    path.quadTo(cx - k, cy - k, cx, cy - r);
    path.closeSubpath();
    return path;
}

void paint(QPainter& painter) {
    QLinearGradient background(0, 16, 0, 240);
    background.setColorAt(0, gradientTop);
    background.setColorAt(1, gradientBottom);
    painter.fillPath(roundedSquare(), background);

    painter.fillPath(vane(), Qt::white);
    QPen shaft(shaftColour, 5, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(shaft);
    painter.drawLine(QPointF(204, 48), QPointF(70, 182));

    painter.setPen(Qt::NoPen);
    struct Spark {
        double x, y, r;
    };
    constexpr std::array<Spark, 3> sparks{{{70, 96, 16}, {108, 62, 9}, {176, 178, 11}}};
    for (const Spark& s : sparks) painter.fillPath(spark(s.x, s.y, s.r), Qt::white);
}

} // namespace

QImage appIconImage(int side) {
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(side / canvas, side / canvas);
    paint(painter);
    return image;
}

QIcon appIcon() {
    QIcon icon;
    for (int side : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(QPixmap::fromImage(appIconImage(side)));
    return icon;
}

} // namespace quillon
