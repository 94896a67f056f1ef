#include "app/TunerIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

QPixmap Dial(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    p.setPen(QPen(QColor(0x80, 0x80, 0x80), 2));
    p.setBrush(QColor(0xf4, 0xf4, 0xf4));
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 8, 8);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), 3));
    QPainterPath arc;
    arc.moveTo(12, 44);
    arc.arcTo(QRectF(8, 20, 48, 48), 180 - 33.6, -112.8);
    p.drawPath(arc);
    p.drawLine(QPointF(32, 16), QPointF(32, 24));
    p.setPen(QPen(QColor(0x00, 0x00, 0xa0), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(32, 50), QPointF(35, 18));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x40, 0x40, 0x40));
    p.drawEllipse(QPointF(32, 50), 6, 6);
    return pixmap;
}

} // namespace

QIcon TunerIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64})
        icon.addPixmap(Dial(size));
    return icon;
}
