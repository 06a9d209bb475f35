#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace pelkora {

// The frames [begin, end) of a take that are kept.
struct FrameRange {
    std::size_t begin = 0;
    std::size_t end = 0;

    friend bool operator==(const FrameRange&, const FrameRange&) = default;
};

// The arithmetic of shaping a recorded take: where its sound starts and ends,
// and the gain that brings it to a loudness without pushing its peaks over a
// ceiling. Levels are in dB relative to full scale (1.0).
class TakeShapeMath {
  public:
    // What no level reaches: digital silence, and any level that is not a number.
    static constexpr double kNoLevelDb = -200.0;
    // Below this a take holds nothing worth hearing; lifting it to the target
    // would only bring up the hiss of the input.
    static constexpr double kSilenceFloorDbfs = -60.0;
    // Breath and room noise this far under the take's peak count as silence.
    static constexpr double kTrimBelowPeakDb = -40.0;
    // Kept either side of the sound, so that a soft start or a decaying tail
    // is not clipped and characters spelled one after another do not run
    // into each other.
    static constexpr double kMarginSeconds = 0.1;

    static double toDb(double linear);
    static double fromDb(double db);
    // The largest magnitude of a sample; samples that are not numbers count as 0.
    static float samplePeak(std::span<const float> samples);
    // Samples that are not numbers become silence, so nothing after them
    // (gain, conversion to integers) meets one.
    static void replaceNonFinite(std::span<float> samples);

    // Where the take's sound is, with the margin around it; nothing when no
    // sample reaches the silence floor (or the rate is not positive).
    static std::optional<FrameRange> soundBounds(std::span<const float> samples, int rate);

    // Lowers the gain around every sample beyond ceiling (linear) just enough
    // to bring it to the ceiling, the gain gliding down and back up over
    // `glideSeconds` either side so the limiting is heard as level, not as
    // clicks. Speech peaks far above its loudness; this lets it reach a
    // loudness target that its peaks alone would forbid.
    static void limitPeaks(std::span<float> samples, int rate, double ceiling,
                           double glideSeconds = 0.01);

    // The gain (dB) that brings loudnessLufs to targetLufs, lowered as far as
    // needed to keep truePeakDbtp at or below ceilingDbtp. Nothing when
    // either measurement is not a finite number.
    static std::optional<double> gainDb(double loudnessLufs, double truePeakDbtp, double targetLufs,
                                        double ceilingDbtp);
};

}  // namespace pelkora
