#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pelkora {

// What the recordings list shows of one sound file.
struct SoundFileFacts {
    double seconds = 0;
    double peakDbfs = -200;      // sample peak; -200 for digital silence
    double loudnessLufs = -200;  // EBU R128 integrated loudness; -200 when too short or silent
};

// What became of one file of a directory normalised at once.
struct SoundFileResult {
    std::string name;  // within the directory
    bool ok = false;
    bool changed = false;  // false also when it was already at the target
    std::string error;
};

// Measures, trims and normalises the keyer's sound files so that a whole set
// sounds equally loud: one loudness target for every message and every
// character, the true peak kept below the ceiling. Files are rewritten
// through TakeWriter (temporary file, rename, the replaced file kept as its
// undo copy), mono 16-bit PCM with the canonical 44-byte header.
// Threading: any one thread; no shared state.
class SoundFileTools {
  public:
    static constexpr double kTargetLufs = -18.0;
    static constexpr double kTruePeakCeilingDbtp = -1.0;

    // Facts of a readable sound file; nothing, with the reason, otherwise.
    static std::optional<SoundFileFacts> measure(const std::string& path, std::string* error);

    // Shapes a take before it is saved: leading and trailing silence cut
    // (a short margin kept), then brought to the target loudness with the
    // true peak below the ceiling. Samples are mono floats at `rate`.
    static void shapeTake(std::vector<float>& samples, int rate, bool trimSilence = true);

    // Loudness (LUFS) of mono samples as shapeTake measures it; nothing for
    // a take too short or too quiet to measure.
    static std::optional<double> loudnessOf(const std::vector<float>& samples, int rate);

    // The same on a file in place; the file it replaces becomes the undo copy.
    static bool trim(const std::string& path, std::string* error);
    static bool normalise(const std::string& path, std::string* error);

    // Normalises (and, when asked, trims) every WAV file of a directory, in
    // name order; hidden files (undo copies, takes being written) and other
    // files are left alone. Empty, with the reason, when the directory cannot
    // be read.
    static std::vector<SoundFileResult> normaliseAll(const std::string& directory,
                                                     std::string* error, bool trimSilence = false);
};

}  // namespace pelkora
