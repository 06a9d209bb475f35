#pragma once

#include <functional>
#include <string>
#include <utility>

namespace pelkora {

// Whether a file started sounding, and if not, why: the operator is told the
// reason, and an entry that does not sound never keeps the transmitter keyed.
struct PlayStart {
    bool started = false;
    std::string refusal;  // empty when started

    static PlayStart ok() { return PlayStart{true, {}}; }
    static PlayStart refused(std::string why) { return PlayStart{false, std::move(why)}; }
    explicit operator bool() const { return started; }
};

// Plays one sound file at a time on the station's audio output.
// Threading: called only on the loop thread. The finished callback is
// delivered on the loop thread (posted, never from inside play() or stop()).
class SoundOutput {
  public:
    using FinishedCallback = std::function<void()>;

    virtual ~SoundOutput() = default;

    // Starts the file, cutting whatever was playing. onFinished runs once,
    // when the last sample has actually been played. When the file cannot be
    // played at all the result says why, and onFinished is never called.
    virtual PlayStart play(const std::string& path, FinishedCallback onFinished) = 0;

    // Cuts the current sound at once; its finished callback is dropped.
    virtual void stop() = 0;

    virtual bool isPlaying() const = 0;
};

}  // namespace pelkora
