#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pelkora {

// A whole sound file decoded into memory as interleaved float samples, at the
// file's own rate and channel count. Live playback streams instead (SoundStream).
struct DecodedSound {
    int rate = 0;
    int channels = 0;
    std::vector<float> samples;

    // Empty when libsndfile cannot decode the file, when it holds no audio or
    // when it lasts longer than longestSeconds: the caller holds it all in memory.
    static std::optional<DecodedSound> load(const std::string& path, std::int64_t longestSeconds);

    std::int64_t frames() const {
        return channels > 0 ? static_cast<std::int64_t>(samples.size()) / channels : 0;
    }
};

}  // namespace pelkora
