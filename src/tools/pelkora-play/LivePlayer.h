#pragma once

#include "PlayOptions.h"

namespace pelkora {

// Plays one macro in real time: sound on the sound server, the transmitter
// keyed on a serial port. The run ends as an offline run of the same macro
// does (RunVerdict), when the keyer waits for nothing any more; a stop signal
// ends it like the Stop button: the sound is cut and the transmitter
// released. The exit status is a PlayExit. The transmitter is released on
// every way out, a fault included.
class LivePlayer {
  public:
    static int run(const PlayOptions& options);
};

}  // namespace pelkora
