#pragma once

#include <QPixmap>

namespace pelkora {

// The program's picture, a studio microphone, drawn at size x size pixels on
// a transparent background.
QPixmap programPicture(int size = 33);

}  // namespace pelkora
