#pragma once

#include <cstdint>

namespace pelkora {

// What the transmit state needs of the keyer around it: the player's part of
// keying and releasing, and what to do when the transmitter cannot stay
// keyed. Implemented by the keyer engine. Threading: loop thread only.
class TransmitHost {
  public:
    virtual ~TransmitHost() = default;

    // Keying, before the broadcast: the player may go on. commanded: a
    // logger's command, which readies the player even while Pause is down.
    virtual void keyingReady(bool commanded) = 0;
    // Release by the TX operation, before the broadcast: stop what plays.
    virtual void releaseStopsPlayer() = 0;
    // Release, after the broadcast and before the lines drop.
    virtual void releaseUpdatesDisplay() = 0;
    // The device has keyed and the lead is over after the queue was held.
    virtual void keyingSettled() = 0;
    // The device could not key the transmitter (the port has shown why).
    virtual void keyingFailed() = 0;
    // Keyed without a break for the whole time-out.
    virtual void transmitTimedOut(std::int64_t seconds) = 0;
    virtual void broadcast(int code) = 0;
};

}  // namespace pelkora
