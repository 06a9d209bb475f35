#include "ui/dialogs/ContactLink.h"

#include <QMouseEvent>

namespace pelkora {

ContactLink::ContactLink(const QString& text, QWidget* parent) : QLabel(text, parent) {
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    QPalette blueText = palette();
    blueText.setColor(QPalette::WindowText, Qt::blue);
    setPalette(blueText);
    // Qt shows a widget's cursor while the pointer is over it and restores
    // the normal one when it leaves.
    setCursor(Qt::PointingHandCursor);
}

void ContactLink::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit clicked();
    }
    QLabel::mouseReleaseEvent(event);
}

}  // namespace pelkora
