#include "res/Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace {

QPixmap TransparentPixmap(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

void DrawComputer(QPainter& painter, const QRectF& screen)
{
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(QColor(192, 192, 192));
    painter.drawRect(screen);
    painter.setBrush(QColor(0, 128, 128));
    painter.drawRect(screen.adjusted(2, 2, -2, -2));
    const QRectF base(screen.left() + screen.width() / 4, screen.bottom() + 1, screen.width() / 2, 2);
    painter.setBrush(QColor(128, 128, 128));
    painter.drawRect(base);
}

QPixmap ComputersPixmap(int size)
{
    QPixmap pixmap = TransparentPixmap(size);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, size > 32);
    painter.scale(size / 32.0, size / 32.0);
    DrawComputer(painter, QRectF(1, 3, 13, 11));
    DrawComputer(painter, QRectF(17, 15, 13, 11));
    painter.setPen(QPen(QColor(0, 0, 160), 2));
    painter.setBrush(Qt::NoBrush);
    QPainterPath cable(QPointF(7.5, 17));
    cable.cubicTo(QPointF(7.5, 27), QPointF(12, 22), QPointF(17, 22));
    painter.drawPath(cable);
    return pixmap;
}

QRectF RingRect(int size)
{
    const qreal margin = size * 0.22;
    return QRectF(margin, margin, size - 2 * margin, size - 2 * margin);
}

void DrawRing(QPainter& painter, int size)
{
    painter.setPen(QPen(Qt::white, qMax(1.5, size / 12.0)));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(RingRect(size));
}

}  // namespace

QIcon ApplicationIcon()
{
    QIcon icon;
    icon.addPixmap(ComputersPixmap(32));
    icon.addPixmap(ComputersPixmap(16));
    return icon;
}

QPixmap ApplicationPixmap(int size)
{
    return ComputersPixmap(size);
}

QPixmap PortClosedIcon(int size)
{
    QPixmap pixmap = TransparentPixmap(size);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    // A dark outline keeps the white ring visible on a light dialog background.
    painter.setPen(QPen(QColor(96, 96, 96), qMax(2.5, size / 7.0)));
    painter.drawEllipse(RingRect(size));
    DrawRing(painter, size);
    return pixmap;
}

QPixmap PortOpenIcon(int size)
{
    QPixmap pixmap = TransparentPixmap(size);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(size / 2.0, size / 2.0);
    painter.setPen(QPen(Qt::red, qMax(1.5, size / 14.0)));
    for (int ray = 0; ray < 8; ++ray) {
        const qreal angle = ray * M_PI / 4;
        const QPointF direction(qCos(angle), qSin(angle));
        painter.drawLine(centre + direction * (size * 0.36), centre + direction * (size * 0.48));
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::red);
    painter.drawEllipse(RingRect(size));
    DrawRing(painter, size);
    return pixmap;
}
