#pragma once

#include "PlayOptions.h"

namespace pelkora {

// Runs one macro through the keyer engine in virtual time and renders what
// would go on air. The run ends as a live run of the same macro does
// (RunVerdict); the exit status is a PlayExit. An output that cannot be
// created, or a --max-ms longer than a WAV file holds, is a bad argument.
class OfflinePlayer {
  public:
    static int run(const PlayOptions& options);
};

}  // namespace pelkora
