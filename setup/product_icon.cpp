#include "setup/product_icon.h"

#include <QPainter>
#include <QPainterPath>

namespace setup {

QPixmap productPixmap(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);

    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 128));
    painter.drawRoundedRect(QRectF(1, 1, 30, 30), 5, 5);

    // The arrow pointing down into the tray.
    painter.setBrush(Qt::white);
    QPainterPath arrow;
    arrow.moveTo(13, 5);
    arrow.lineTo(19, 5);
    arrow.lineTo(19, 14);
    arrow.lineTo(24, 14);
    arrow.lineTo(16, 22);
    arrow.lineTo(8, 14);
    arrow.lineTo(13, 14);
    arrow.closeSubpath();
    painter.drawPath(arrow);

    QPen tray(Qt::white, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(tray);
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(
        QPolygonF({QPointF(6, 20), QPointF(6, 26), QPointF(26, 26), QPointF(26, 20)}));
    return pixmap;
}

QIcon productIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 64})
        icon.addPixmap(productPixmap(size));
    return icon;
}

} // namespace setup
