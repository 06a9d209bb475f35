#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace pelkora {

// Records one take of a voice message at a time into a sound file, which is
// replaced only when the take is stopped (the file replaced is kept for undo).
// Recording never keys the transmitter.
// Threading: loop thread only; the ended hook is called there (posted).
class TakeRecorder {
  public:
    using Ended = std::function<void(const std::string& why)>;

    static constexpr std::int32_t kPeakMaximum = 32767;

    virtual ~TakeRecorder() = default;

    // A take that ends by itself (its source or the server went away, the
    // file could not be written) is dropped, and this says why.
    virtual void setOnEnded(Ended ended) = 0;
    // False, with the reason and nothing changed, when the take cannot start.
    virtual bool start(const std::string& path, std::string* error) = 0;
    // Puts the take in place; false, with the reason, when it could not be
    // kept (the earlier recording then stays).
    virtual bool stop(std::string* error) = 0;
    // Drops the take; the earlier recording stays.
    virtual void cancel() = 0;
    virtual bool isRecording() const = 0;
    // The loudest sample since the last read, 0..kPeakMaximum.
    virtual std::int32_t readPeak() = 0;
};

}  // namespace pelkora
