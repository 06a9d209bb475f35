#pragma once

#include <optional>
#include <string>

namespace pelkora::bench {

// What the benchmark needs to know of one of its sound files: the level it
// holds (each file is flat at a level of its own, so the sink's recording shows
// which one plays), how long it sounds, and how long the keyer gives it: the
// whole file over the byte rate of its header, the header's bytes included.
// Only the canonical 16-bit PCM files that run-live-bench.sh makes are read.
struct BenchSound {
    std::string name;
    float level = 0;
    double soundMs = 0;
    double fileMs = 0;

    double headerMs() const { return fileMs - soundMs; }

    // Empty, with error set, when the file is not 16-bit PCM WAV with samples.
    static std::optional<BenchSound> read(const std::string& path, std::string& error);
};

}  // namespace pelkora::bench
