#include "controls/ListImages.h"

#include <QPainter>
#include <QPolygon>

namespace {

constexpr int kSize = 16;

void DrawTile(QPainter& painter, int left)
{
    painter.fillRect(left + 1, 1, kSize - 2, kSize - 2, QColor(255, 0, 0));
    painter.fillRect(left + 2, 2, kSize - 4, kSize - 4, QColor(255, 255, 0));
}

// The letters are drawn as strokes rather than with a font, so they look the same everywhere.
void DrawLetterS(QPainter& painter, int left)
{
    const QPolygon stroke({QPoint(left + 11, 4), QPoint(left + 5, 4), QPoint(left + 4, 5), QPoint(left + 4, 7),
        QPoint(left + 5, 8), QPoint(left + 10, 8), QPoint(left + 11, 9), QPoint(left + 11, 11),
        QPoint(left + 10, 12), QPoint(left + 4, 12)});
    painter.drawPolyline(stroke);
}

void DrawLetterH(QPainter& painter, int left)
{
    painter.drawLine(left + 4, 4, left + 4, 12);
    painter.drawLine(left + 11, 4, left + 11, 12);
    painter.drawLine(left + 4, 8, left + 11, 8);
}

} // namespace

QImage MakeSendTypeImages()
{
    QImage strip(2 * kSize, kSize, QImage::Format_RGB32);
    strip.fill(QColor(0xFF, 0x00, 0xFF));
    QPainter painter(&strip);
    DrawTile(painter, 0);
    DrawTile(painter, kSize);
    painter.setPen(QPen(Qt::black, 1));
    DrawLetterS(painter, 0);
    DrawLetterH(painter, kSize);
    return strip;
}
