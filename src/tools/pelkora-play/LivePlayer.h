#pragma once

#include "PlayOptions.h"

namespace pelkora {

// Plays one macro in real time: sound on the sound server, the transmitter
// keyed on a serial port. Ctrl+C and SIGTERM stop it like the Stop button:
// the sound is cut and the transmitter released. Exit codes: 0 the queue was
// played out (or --max-ms reached), 1 no sound server or the port cannot be
// opened, 3 the queue waits for the transmitter, 130/143 stopped by
// SIGINT/SIGTERM. The transmitter is released on every way out.
class LivePlayer {
  public:
    enum ExitCode {
        Done = 0,
        CannotStart = 1,
        SoundServerLost = 1,
        WaitsForTransmitter = 3,
        Interrupted = 128,  // plus the signal number
    };

    static int run(const PlayOptions& options);
};

}  // namespace pelkora
