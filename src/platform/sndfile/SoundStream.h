#pragma once

#include <sndfile.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pelkora {

// A sound file read block by block as interleaved float samples at its own
// rate and channel count, so that playing a long file never holds it whole in
// memory: what it holds is one frame, whatever the file's length.
// Threading: one thread at a time.
class SoundStream {
  public:
    // libsndfile's own limit; checked again here because the first frame is
    // held in memory sized from the header.
    static constexpr int kMostChannels = 1024;

    ~SoundStream();
    SoundStream(const SoundStream&) = delete;
    SoundStream& operator=(const SoundStream&) = delete;

    // Null, with the reason in why, unless path is a regular file that
    // libsndfile decodes, that holds audio no longer than longestSeconds and
    // whose first frame can be read.
    static std::unique_ptr<SoundStream> open(const std::string& path, std::int64_t longestSeconds,
                                             std::string* why);

    int rate() const { return rate_; }
    int channels() const { return channels_; }
    // As the header says; a damaged file may end sooner.
    std::int64_t frames() const { return frames_; }

    // Reads up to count frames (count * channels() samples) from where the last
    // read stopped; returns how many, 0 at the end of the file or when it
    // cannot be read any further.
    std::int64_t read(float* samples, std::int64_t count);

  private:
    SoundStream(int fd, SNDFILE* file, const SF_INFO& info);

    int fd_;
    SNDFILE* file_;
    int rate_;
    int channels_;
    std::int64_t frames_;
    // Decoded by open() to prove the file readable, handed out by the first read.
    std::vector<float> firstFrame_;
    bool firstFrameUsed_ = false;
};

}  // namespace pelkora
