#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace pelkora {

// What the player needs to know about a sound file before it plays it.
struct WavFacts {
    // File size counted in whole 4-byte records (a 1..3 byte tail is dropped).
    std::uint64_t sizeBytes = 0;
    // The 32-bit little-endian value at byte offset 28: average bytes per
    // second of a canonical WAV header.
    std::uint32_t bytesPerSecond = 0;
    // Length of the decodable audio, when a decoder could read the file.
    std::optional<double> decodedSeconds;
};

// Reads the timing facts of a sound file.
// Threading: called only on the loop thread; it may touch the file system.
class WavProbe {
  public:
    virtual ~WavProbe() = default;

    // Empty when the file cannot be opened, is not a regular file, is shorter
    // than 32 bytes, or cannot be read: the player then skips the entry.
    virtual std::optional<WavFacts> probe(const std::string& path) = 0;
};

}  // namespace pelkora
