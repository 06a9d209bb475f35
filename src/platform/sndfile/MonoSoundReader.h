#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/sndfile/SoundStream.h"

namespace pelkora {

// A sound file read block by block and mixed down to one channel, so that a
// long file never sits in memory whole. Threading: one thread at a time.
class MonoSoundReader {
  public:
    explicit MonoSoundReader(std::unique_ptr<SoundStream> stream);

    // Null, with the reason in why, when SoundStream refuses the file.
    static std::unique_ptr<MonoSoundReader> open(const std::string& path,
                                                 std::int64_t longestSeconds, std::string* why);

    int rate() const { return stream_->rate(); }
    // As the header says; a damaged file may end sooner.
    std::int64_t frames() const { return stream_->frames(); }

    // Reads up to count frames from where the last read stopped; returns how
    // many, 0 at the end of the file or when it cannot be read any further.
    std::int64_t read(float* mono, std::int64_t count);

  private:
    std::unique_ptr<SoundStream> stream_;
    std::vector<float> interleaved_;
};

}  // namespace pelkora
