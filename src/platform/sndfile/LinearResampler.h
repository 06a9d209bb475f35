#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace pelkora {

// Converts a mono sound from one rate to another as it is read, holding one
// block of the source at a time. Output frame k is the source at k × from/to,
// linearly between its two neighbours; past the last source frame that frame
// is held. The same rate passes the samples through untouched.
// Threading: one thread at a time.
class LinearResampler {
  public:
    // Fills up to count source frames and returns how many; 0 at the end.
    using Source = std::function<std::int64_t(float* mono, std::int64_t count)>;

    // sourceFrames is what the source promises; frames it fails to deliver
    // are silence.
    LinearResampler(std::int64_t fromRate, std::int64_t toRate, std::int64_t sourceFrames,
                    Source source);

    // The whole sound's length at the output rate.
    std::int64_t outputFrames() const { return outputFrames_; }
    std::int64_t framesRead() const { return produced_; }

    // Writes the next output frames, at most count, and returns how many.
    std::int64_t read(float* out, std::int64_t count);

  private:
    float outputAt(std::int64_t frame);
    float sourceAt(std::int64_t index);
    void slideWindow();

    double step_;
    std::int64_t lastSourceFrame_;
    std::int64_t outputFrames_;
    Source source_;
    std::int64_t produced_ = 0;
    // Source frames [windowStart_, windowStart_ + window_.size()).
    std::vector<float> window_;
    std::int64_t windowStart_ = 0;
    bool sourceEnded_ = false;
};

}  // namespace pelkora
