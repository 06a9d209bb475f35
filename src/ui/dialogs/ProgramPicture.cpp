#include "ui/dialogs/ProgramPicture.h"

#include <QPainter>
#include <QPainterPath>

namespace pelkora {

namespace {

// Drawn on a 33 x 33 grid; the painter scales it to the requested size.
constexpr qreal kGrid = 33.0;

void drawHead(QPainter& painter) {
    const QRectF head(11.5, 2.5, 10, 17);
    painter.setPen(QPen(QColor(40, 40, 40), 1));
    painter.setBrush(QColor(90, 96, 110));
    painter.drawRoundedRect(head, 5, 5);
    painter.setPen(QPen(QColor(190, 196, 210), 1));
    for (qreal y = 6.5; y < 17; y += 3) {
        painter.drawLine(QPointF(13.5, y), QPointF(19.5, y));
    }
}

void drawHolder(QPainter& painter) {
    painter.setPen(QPen(QColor(40, 40, 40), 2, Qt::SolidLine, Qt::RoundCap));
    painter.setBrush(Qt::NoBrush);
    QPainterPath cradle;
    cradle.moveTo(8.5, 11);
    cradle.cubicTo(8.5, 26, 24.5, 26, 24.5, 11);
    painter.drawPath(cradle);
    painter.drawLine(QPointF(16.5, 22.5), QPointF(16.5, 28.5));
    painter.drawLine(QPointF(10.5, 29.5), QPointF(22.5, 29.5));
}

void drawOnAirDot(QPainter& painter) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(220, 30, 30));
    painter.drawEllipse(QPointF(27.5, 5.5), 3, 3);
}

}  // namespace

QPixmap programPicture(int size) {
    QPixmap picture(size, size);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / kGrid, size / kGrid);
    drawHolder(painter);
    drawHead(painter);
    drawOnAirDot(painter);
    return picture;
}

}  // namespace pelkora
