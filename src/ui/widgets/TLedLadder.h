#pragma once

#include <QWidget>
#include <cstdint>

#include "core/meter/LedLadderMath.h"

class QPainter;

namespace pelkora {

// A bar of LEDs showing a level: Position on the scale up to Max lights the
// LEDs from the left (or the bottom), green, then yellow and red in the top
// zones of a horizontal bar. A new position repaints only the LEDs whose
// state changed, so a meter polled every 50 ms costs next to nothing.
// Threading: GUI thread only.
class TLedLadder : public QWidget {
    Q_OBJECT
  public:
    enum TOrientation { trHorizontal, trVertical };
    enum TBorderStyle { bsNone, bsSingle };

    explicit TLedLadder(QWidget* parent = nullptr);

    TOrientation Orientation() const { return orientation_; }
    void setOrientation(TOrientation orientation);
    int LedCount() const { return ledCount_; }
    // Below 1 stores 1.
    void setLedCount(int count);
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void setBorderStyle(TBorderStyle style);
    bool Ctl3D() const { return ctl3D_; }
    void setCtl3D(bool ctl3D);
    int Spacing() const { return spacing_; }
    void setSpacing(int spacing);
    std::int32_t Min() const { return min_; }
    // Kept for its users; the drawing starts every bar at 0.
    void setMin(std::int32_t min);
    std::int32_t Max() const { return max_; }
    void setMax(std::int32_t max);
    std::int32_t Position() const { return position_; }
    void setPosition(std::int32_t position);

    // LEDs lit at the current position and scale.
    int litCount() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    template <class T>
    void setAndRepaint(T& field, T value);
    LedOrientation mathOrientation() const;
    QRect ledArea(int first, int last) const;
    void paintLed(QPainter& painter, int index, int lit) const;

    TOrientation orientation_ = trVertical;
    int ledCount_ = 10;
    TBorderStyle borderStyle_ = bsSingle;
    bool ctl3D_ = true;
    int spacing_ = 2;
    std::int32_t min_ = 0;
    std::int32_t max_ = 10;
    std::int32_t position_ = 0;
};

}  // namespace pelkora
