#include "ui/widgets/TLedLadder.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

namespace pelkora {

namespace {

QColor colourOf(LedColour colour) {
    switch (colour) {
        case LedColour::Normal:
            return QColor(0, 255, 0);
        case LedColour::Warning:
            return QColor(255, 255, 0);
        case LedColour::Top:
            return QColor(255, 0, 0);
        case LedColour::Unlit:
            break;
    }
    return QColor(0, 128, 0);
}

QRect toQRect(const LedRect& rect) {
    return QRect(QPoint(rect.left, rect.top), QPoint(rect.right - 1, rect.bottom - 1));
}

}  // namespace

TLedLadder::TLedLadder(QWidget* parent) : QWidget(parent) {
    resize(30, 200);
}

template <class T>
void TLedLadder::setAndRepaint(T& field, T value) {
    if (field == value) {
        return;
    }
    field = value;
    update();
}

void TLedLadder::setOrientation(TOrientation orientation) {
    setAndRepaint(orientation_, orientation);
}

void TLedLadder::setLedCount(int count) {
    setAndRepaint(ledCount_, LedLadderMath::clampLedCount(count));
}

void TLedLadder::setBorderStyle(TBorderStyle style) {
    setAndRepaint(borderStyle_, style);
}

void TLedLadder::setCtl3D(bool ctl3D) {
    setAndRepaint(ctl3D_, ctl3D);
}

void TLedLadder::setSpacing(int spacing) {
    setAndRepaint(spacing_, spacing);
}

void TLedLadder::setMin(std::int32_t min) {
    setAndRepaint(min_, min);
}

void TLedLadder::setMax(std::int32_t max) {
    setAndRepaint(max_, max);
}

void TLedLadder::setPosition(std::int32_t position) {
    if (position == position_) {
        return;
    }
    const int before = litCount();
    position_ = position;
    const int after = litCount();
    // Only the LEDs that went on or off, and never the border.
    if (after != before) {
        update(ledArea(std::min(before, after), std::max(before, after) - 1));
    }
}

int TLedLadder::litCount() const {
    return LedLadderMath::litCount(position_, max_, ledCount_);
}

LedOrientation TLedLadder::mathOrientation() const {
    return orientation_ == trHorizontal ? LedOrientation::Horizontal : LedOrientation::Vertical;
}

QRect TLedLadder::ledArea(int first, int last) const {
    return toQRect(LedLadderMath::span(mathOrientation(), first, last, ledCount_, width(), height(),
                                       spacing_));
}

void TLedLadder::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    if (borderStyle_ == bsSingle) {
        painter.setPen(Qt::black);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(0, 0, width() - 1, height() - 1);
    }
    const int lit = litCount();
    for (int i = 0; i < ledCount_; ++i) {
        if (event->region().intersects(ledArea(i, i))) {
            paintLed(painter, i, lit);
        }
    }
}

void TLedLadder::paintLed(QPainter& painter, int index, int lit) const {
    LedRect rect =
        LedLadderMath::ledRect(mathOrientation(), index, ledCount_, width(), height(), spacing_);
    if (rect.isEmpty()) {
        return;
    }
    if (ctl3D_) {
        // A sunken LED: shadow on the top and left edges, light on the
        // bottom and right ones, which take the corners they share.
        const QColor shadow = palette().color(QPalette::Dark);
        const QColor light = palette().color(QPalette::Light);
        const int r = rect.right - 1;
        const int b = rect.bottom - 1;
        painter.fillRect(QRect(QPoint(rect.left, rect.top), QPoint(r - 1, rect.top)), shadow);
        painter.fillRect(QRect(QPoint(rect.left, rect.top), QPoint(rect.left, b - 1)), shadow);
        painter.fillRect(QRect(QPoint(r, rect.top), QPoint(r, b)), light);
        painter.fillRect(QRect(QPoint(rect.left, b), QPoint(r, b)), light);
        rect = LedRect{rect.left + 1, rect.top + 1, rect.right - 1, rect.bottom - 1};
        if (rect.isEmpty()) {
            return;
        }
    }
    painter.fillRect(toQRect(rect),
                     colourOf(LedLadderMath::ledColour(mathOrientation(), index, ledCount_, lit)));
}

}  // namespace pelkora
