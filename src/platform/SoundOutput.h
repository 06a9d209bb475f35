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

    // Cuts the current sound at once; its finished callback is dropped. A
    // sound kept for a follower is cut too, and so is the follower.
    virtual void stop() = 0;

    // Hands the current sound over to the output when every sample of it has
    // been given to the output and only its playing out is left, and when a
    // file like nextPath (same rate and channels) can be placed right after
    // its last sample: its finished callback is then dropped, it plays out on
    // its own, and the next playFollowing() goes straight after it, with none
    // of the silence that waiting for its end and starting anew would leave.
    // False, with nothing changed, when that is not possible.
    virtual bool keepForFollower(const std::string& nextPath) {
        static_cast<void>(nextPath);
        return false;
    }

    // As play(), but right after a sound that keepForFollower() kept, when
    // that sound is still playing; otherwise as play() does.
    virtual PlayStart playFollowing(const std::string& path, FinishedCallback onFinished) {
        return play(path, std::move(onFinished));
    }

    // How long before a file's entry would end the engine should offer its
    // follower, when a file follows: a server that reads further ahead than
    // it reports must be told before the end of the entry is near. Only for
    // a file started anew; a follower's own entry already ends this far
    // ahead of its sound.
    virtual std::int64_t handOverLeadMs() const { return 0; }

    virtual bool isPlaying() const = 0;
};

}  // namespace pelkora
