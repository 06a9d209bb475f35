#include "ui/ptt/LedGlyphs.h"

#include <QPainter>
#include <QPixmap>
#include <QRadialGradient>

namespace pelkora {

QIcon LedGlyphs::lamp(const QColor& centre, const QColor& rim) {
    QPixmap picture(16, 16);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    QRadialGradient glow(QPointF(6, 6), 8);
    glow.setColorAt(0, centre.lighter(160));
    glow.setColorAt(0.6, centre);
    glow.setColorAt(1, rim);
    painter.setBrush(glow);
    painter.setPen(QPen(QColor(40, 40, 40), 1));
    painter.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    painter.end();
    return QIcon(picture);
}

QIcon LedGlyphs::lit() {
    static const QIcon icon = lamp(QColor(255, 40, 30), QColor(150, 0, 0));
    return icon;
}

QIcon LedGlyphs::dark() {
    static const QIcon icon = lamp(QColor(90, 30, 30), QColor(40, 10, 10));
    return icon;
}

}  // namespace pelkora
