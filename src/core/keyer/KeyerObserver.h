#pragma once

#include <cstdint>
#include <string>

namespace pelkora {

// What the keyer engine tells its front end (window, command-line player,
// tests). Every method has an empty default so a front end overrides only
// what it shows. Threading: called on the loop thread, from inside engine
// operations; an observer must not call back into the engine re-entrantly.
// Reading its state is fine; anything that runs a nested event loop (a modal
// box) is posted to the loop, so the engine call that reported returns first.
class KeyerObserver {
  public:
    virtual ~KeyerObserver() = default;

    // The display text changed; read it with KeyerEngine::displayText().
    virtual void onDisplayTextChanged() {}
    virtual void onCaptionChanged(const std::string& /*caption*/) {}
    // The TX button's state and lamp changed (and it is to be repainted).
    virtual void onTxButtonChanged(bool /*down*/) {}
    virtual void onPauseButtonChanged(bool /*down*/) {}
    virtual void onStopEnabledChanged(bool /*enabled*/) {}

    // One run of the TX operation has reached the lines (whether or not a
    // port is open): keyed or released.
    virtual void onTransmit(bool /*keyed*/) {}
    // A broadcast of the state message went out.
    virtual void onBroadcast(int /*code*/) {}
    // A file entry started sounding.
    virtual void onPlayFile(const std::string& /*path*/) {}
    // A file entry could not be read or played and was skipped; reason says why.
    virtual void onSkipFile(const std::string& /*path*/, const std::string& /*reason*/) {}
    // A pause began (normal playback or inside a beacon repetition).
    virtual void onPause(std::int64_t /*ms*/) {}
    // A beacon repetition began; numbered from 1 within the running beacon.
    virtual void onBeaconRepetition(int /*number*/) {}
    // Nothing can go on air (the sound server went away or stopped
    // answering): the sound was cut and the transmitter released.
    virtual void onSoundLost(const std::string& /*detail*/) {}
    // The transmitter was keyed without a break for the [PTT] time-out and
    // has been released as Esc releases it.
    virtual void onTransmitTimeout(std::int64_t /*seconds*/) {}
    // An error the operator must see, in an error box opened from the loop.
    virtual void onError(const std::string& /*message*/) {}
};

}  // namespace pelkora
