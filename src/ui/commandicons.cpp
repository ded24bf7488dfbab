#include "ui/commandicons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace tl {

namespace {

// Drawn on a 16 x 16 grid, at the sizes toolbars and menus ask for.
QIcon drawn(const std::function<void(QPainter &)> &draw)
{
    QIcon icon;
    for (int size : { 16, 22, 24, 32, 48 }) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 16.0, size / 16.0);
        draw(p);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

QIcon pictureIcon()
{
    return QIcon::fromTheme(QStringLiteral("insert-image"), drawn([](QPainter &p) {
        const QRectF frame(1.5, 2.5, 13, 11);
        p.setPen(QPen(QColor(0x55, 0x55, 0x55), 1));
        p.setBrush(QColor(0xA8, 0xD4, 0xF5));
        p.drawRoundedRect(frame, 1, 1);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xF5, 0xC2, 0x11));
        p.drawEllipse(QPointF(11, 5.5), 1.6, 1.6);
        QPainterPath hills;
        hills.moveTo(2, 13);
        hills.lineTo(6, 7.5);
        hills.lineTo(9, 11);
        hills.lineTo(10.5, 9.5);
        hills.lineTo(14, 13);
        hills.closeSubpath();
        p.setBrush(QColor(0x3F, 0x8F, 0x3A));
        p.drawPath(hills);
    }));
}

QIcon previewIcon()
{
    return QIcon::fromTheme(QStringLiteral("document-print-preview"), drawn([](QPainter &p) {
        p.setPen(QPen(QColor(0x55, 0x55, 0x55), 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(1.5, 0.5, 10, 13));
        p.setPen(QPen(QColor(0x99, 0x99, 0x99), 1));
        for (double y : { 3.5, 5.5, 7.5 })
            p.drawLine(QPointF(3.5, y), QPointF(9.5, y));
        p.setPen(QPen(QColor(0x1F, 0x5F, 0xA8), 1.6));
        p.setBrush(QColor(0xD8, 0xEA, 0xFA, 0xD0));
        p.drawEllipse(QPointF(9.5, 9.5), 3.2, 3.2);
        p.setPen(QPen(QColor(0x1F, 0x5F, 0xA8), 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(11.9, 11.9), QPointF(14.8, 14.8));
    }));
}

} // namespace tl
