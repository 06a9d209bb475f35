#pragma once

#include <string>

#include "PlayExit.h"

namespace pelkora {

class KeyerEngine;

// How a run ends once the keyer has nothing more to do by itself: the exit
// status and what to tell the user. Live and offline runs ask the same
// question, so the same macro ends the same way in both.
struct RunVerdict {
    // Why the run is being judged.
    enum class Ending {
        Idle,              // the keyer waits for nothing: no timer, no sound
        BoundReached,      // --max-ms ran out
        EndlessUnbounded,  // offline: a beacon that repeats until stopped, no bound
    };

    PlayExit code = Done;
    std::string message;  // empty when there is nothing to say

    static RunVerdict judge(const KeyerEngine& engine, Ending ending);
};

}  // namespace pelkora
