#pragma once

#include <cstdint>
#include <string>

namespace pelkora::test {

struct SoundFormat {
    int format = 0;  // libsndfile SF_FORMAT_* major | subtype
    int rate = 48000;
    int channels = 1;
};

// Writes a file that holds one level on every channel for its whole length:
// on the recording it shows as a flat run, easy to find and to tell apart from
// a neighbour at another level. Throws when libsndfile cannot write it.
void writeLevelFile(const std::string& path, const SoundFormat& format, std::int64_t frames,
                    float level);

// Writes a canonical PCM WAV header that promises dataBytes of samples and
// extends the file to that length without writing them: a file of gigabytes
// that takes a few kilobytes on disk and reads as zero bytes. Throws on failure.
void writeSparseWav(const std::string& path, int rate, int channels, int bitsPerSample,
                    std::uint32_t dataBytes);

}  // namespace pelkora::test
