#include "gui/app/product_picture.h"

#include <QPainter>
#include <QPainterPath>

QPixmap ProductPicture(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 64.0, size / 64.0);
    // Body of the meter.
    painter.setPen(QPen(QColor(40, 70, 110), 2));
    painter.setBrush(QColor(90, 140, 200));
    painter.drawRoundedRect(QRectF(22, 18, 20, 42), 6, 6);
    // Mouthpiece tube with the turbine.
    painter.setBrush(QColor(220, 230, 240));
    painter.drawRoundedRect(QRectF(8, 6, 48, 14), 7, 7);
    painter.setPen(QPen(QColor(40, 70, 110), 1.5));
    for (int blade = 0; blade < 3; ++blade) {
        painter.save();
        painter.translate(32, 13);
        painter.rotate(blade * 60.0);
        painter.drawLine(QPointF(0, -5), QPointF(0, 5));
        painter.restore();
    }
    // Display.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(200, 235, 200));
    painter.drawRect(QRectF(26, 26, 12, 8));
    return pixmap;
}
