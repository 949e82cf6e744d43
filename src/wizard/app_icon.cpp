#include "wizard/app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace vcq::ui {
namespace {

QPixmap Draw(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 64.0, size / 64.0);

    const QColor navy(10, 36, 106);
    painter.setPen(Qt::NoPen);
    painter.setBrush(navy);
    painter.drawRoundedRect(QRectF(4, 18, 56, 38), 7, 7);  // body
    painter.drawRect(QRectF(14, 12, 16, 8));               // viewfinder hump
    painter.setBrush(QColor(235, 240, 250));
    painter.drawEllipse(QPointF(32, 37), 14, 14);  // lens ring
    painter.setBrush(QColor(40, 110, 200));
    painter.drawEllipse(QPointF(32, 37), 10, 10);  // glass

    // The upgrade arrow, white on the glass.
    QPainterPath arrow;
    arrow.moveTo(32, 28);
    arrow.lineTo(39, 36);
    arrow.lineTo(35, 36);
    arrow.lineTo(35, 44);
    arrow.lineTo(29, 44);
    arrow.lineTo(29, 36);
    arrow.lineTo(25, 36);
    arrow.closeSubpath();
    painter.setBrush(Qt::white);
    painter.drawPath(arrow);

    painter.setBrush(QColor(230, 60, 40));
    painter.drawEllipse(QPointF(51, 25), 3, 3);  // record light
    return pixmap;
}

}  // namespace

QIcon AppIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(Draw(size));
    return icon;
}

}  // namespace vcq::ui
