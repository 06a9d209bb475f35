#pragma once

#include <cstdint>
#include <string>

namespace pelkora {

// What a beacon needs of the keyer that runs it: the play queue, the display,
// the TX toggle, the player and the window's beacon controls. Implemented by
// the keyer engine. Threading: loop thread only.
class BeaconHost {
  public:
    virtual ~BeaconHost() = default;

    virtual std::size_t queueSize() const = 0;
    virtual const std::string& queueEntry(std::size_t index) const = 0;
    virtual bool queueEndsWithBeacon() const = 0;
    virtual void clearQueue() = 0;

    virtual bool readyToPlay() const = 0;
    virtual bool transmitting() const = 0;
    // The TX toggle: set the TX button's state and run its operation.
    virtual void setTransmit(bool keyed) = 0;
    // The release at the end of a repetition: after the [PTT] tail, unless
    // something keys or releases first.
    virtual void releaseAfterTail() = 0;
    // The transmitter was keyed, but the device has not answered yet or the
    // lead still runs: nothing may sound before keyingSettled().
    virtual bool keyingUnsettled() const = 0;

    virtual void setDisplay(const std::string& text) = 0;

    // Hands an entry to the player. True when a sound started: the beacon
    // then waits for soundEnded() before it goes on.
    virtual bool playEntry(const std::string& entry) = 0;

    virtual void setCaption(const std::string& caption) = 0;
    virtual void setStopEnabled(bool enabled) = 0;

    virtual void reportError(const std::string& message) = 0;
    virtual void reportPause(std::int64_t ms) = 0;
    virtual void reportRepetition(int number) = 0;
};

}  // namespace pelkora
