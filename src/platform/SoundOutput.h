#pragma once

#include <functional>
#include <string>

namespace pelkora {

// Plays one sound file at a time on the station's audio output.
// Threading: called only on the loop thread. The finished callback is
// delivered on the loop thread (posted, never from inside play() or stop()).
class SoundOutput {
  public:
    using FinishedCallback = std::function<void()>;

    virtual ~SoundOutput() = default;

    // Starts the file, cutting whatever was playing. onFinished runs once,
    // when the last sample has actually been played. Returns false when the
    // file cannot be played at all; onFinished is then never called.
    virtual bool play(const std::string& path, FinishedCallback onFinished) = 0;

    // Cuts the current sound at once; its finished callback is dropped.
    virtual void stop() = 0;

    virtual bool isPlaying() const = 0;
};

}  // namespace pelkora
