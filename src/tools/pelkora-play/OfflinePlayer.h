#pragma once

#include "PlayOptions.h"

namespace pelkora {

// Runs one macro through the keyer engine in virtual time and renders what
// would go on air. Exit codes: 0 the queue was played out (or the --max-ms
// bound was reached), 1 the output could not be written, 3 the queue waits
// for a transmitter that nothing keys, 4 a beacon cannot go on by itself,
// 5 the macro has an error that stops its queue (a malformed beacon).
class OfflinePlayer {
  public:
    enum ExitCode {
        Done = 0,
        OutputFailed = 1,
        WaitsForTransmitter = 3,
        BeaconStuck = 4,
        MacroError = 5
    };

    static int run(const PlayOptions& options);
};

}  // namespace pelkora
