#include "ui/keyer/MacroButtonBar.h"

#include <QPainter>
#include <QPixmap>
#include <QResizeEvent>

#include "core/keyer/ButtonLayout.h"

namespace pelkora {

MacroButtonBar::MacroButtonBar(QWidget* parent) : QWidget(parent) {
    setObjectName("Panel1");
    for (int key = 1; key <= 12; ++key) {
        auto* button = new QPushButton(this);
        button->setObjectName(QString("F%1").arg(key));
        button->setIcon(keyPicture(key));
        button->setIconSize(QSize(15, 18));
        button->setFocusPolicy(Qt::NoFocus);
        button->setStyleSheet("QPushButton { padding: 0px; text-align: left; }");
        connect(button, &QPushButton::clicked, this, [this, key] { emit macroClicked(key); });
        buttons_[static_cast<std::size_t>(key - 1)] = button;
    }
    layOut(1);
}

QIcon MacroButtonBar::keyPicture(int key) {
    QPixmap picture(15, 18);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    QFont font = painter.font();
    font.setPixelSize(key >= 10 ? 7 : 9);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(QColor(0, 0, 128));
    painter.drawText(QRect(0, 0, 15, 18), Qt::AlignCenter, QString("F%1").arg(key));
    painter.end();
    return QIcon(picture);
}

void MacroButtonBar::setCaption(int key, const QString& caption) {
    button(key)->setText(caption);
    button(key)->setToolTip(QString("F%1 %2").arg(key).arg(caption));
}

QString MacroButtonBar::caption(int key) const {
    return button(key)->text();
}

void MacroButtonBar::layOut(int rows) {
    const auto layout = ButtonLayout::forRows(rows, width());
    if (!layout) {
        return;
    }
    rows_ = rows;
    setFixedHeight(layout->barHeight);
    for (std::size_t k = 0; k < 12; ++k) {
        const ButtonLayout::Rect& r = layout->buttons[k];
        buttons_[k]->setGeometry(r.left, r.top, r.width, r.height);
    }
}

void MacroButtonBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (event->size().width() != event->oldSize().width()) {
        layOut(rows_);
    }
}

}  // namespace pelkora
