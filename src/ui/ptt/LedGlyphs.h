#pragma once

#include <QIcon>

namespace pelkora {

// The lamp on the TX button: lit while the transmitter is keyed, dark
// otherwise; each a 16 x 16 picture with a greyed look for a disabled button.
class LedGlyphs {
  public:
    static QIcon lit();   // LedOn
    static QIcon dark();  // LedOff

  private:
    static QIcon lamp(const QColor& centre, const QColor& rim);
};

}  // namespace pelkora
