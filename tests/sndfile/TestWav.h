#pragma once

#include <sndfile.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pelkora::test {

struct SoundFormat {
    int rate = 8000;
    int channels = 1;
    int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
};

// The value of one channel of one frame.
using SampleAt = std::function<float(std::int64_t frame, int channel)>;

// Writes a sound file with libsndfile; throws when it cannot.
void writeSound(const std::string& path, const SoundFormat& format, std::int64_t frames,
                const SampleAt& sampleAt);
void writeConstant(const std::string& path, const SoundFormat& format, std::int64_t frames,
                   float value);

// Writes bytes as they are, for broken and hand-made files.
void writeBytes(const std::string& path, const std::string& bytes);
void appendBytes(const std::string& path, const std::string& bytes);

// A canonical 44-byte PCM WAV header, with whatever size fields it is given.
std::string wavHeader(int rate, int channels, int bitsPerSample, std::uint32_t dataBytes);

struct ReadBack {
    SF_INFO info{};
    std::vector<float> samples;  // interleaved
};
// Reads a whole sound file back; throws when libsndfile cannot open it.
ReadBack readSound(const std::string& path);

}  // namespace pelkora::test
