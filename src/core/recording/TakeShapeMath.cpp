#include "core/recording/TakeShapeMath.h"

#include <algorithm>
#include <cmath>

namespace pelkora {

double TakeShapeMath::toDb(double linear) {
    if (!(linear > 0.0) || !std::isfinite(linear)) {
        return kNoLevelDb;
    }
    return std::max(kNoLevelDb, 20.0 * std::log10(linear));
}

double TakeShapeMath::fromDb(double db) {
    return std::pow(10.0, db / 20.0);
}

float TakeShapeMath::samplePeak(std::span<const float> samples) {
    float peak = 0.0f;
    for (const float sample : samples) {
        const float magnitude = std::fabs(sample);
        if (std::isfinite(magnitude)) {
            peak = std::max(peak, magnitude);
        }
    }
    return peak;
}

void TakeShapeMath::replaceNonFinite(std::span<float> samples) {
    for (float& sample : samples) {
        if (!std::isfinite(sample)) {
            sample = 0.0f;
        }
    }
}

std::optional<FrameRange> TakeShapeMath::soundBounds(std::span<const float> samples, int rate) {
    const double peak = samplePeak(samples);
    if (rate <= 0 || toDb(peak) < kSilenceFloorDbfs) {
        return std::nullopt;
    }
    const double threshold = std::max(peak * fromDb(kTrimBelowPeakDb), fromDb(kSilenceFloorDbfs));
    const auto loud = [threshold](float sample) {
        return std::isfinite(sample) && std::fabs(sample) >= threshold;
    };
    const auto first = static_cast<std::size_t>(std::find_if(samples.begin(), samples.end(), loud) -
                                                samples.begin());
    const auto last = static_cast<std::size_t>(
        samples.size() - 1 -
        static_cast<std::size_t>(std::find_if(samples.rbegin(), samples.rend(), loud) -
                                 samples.rbegin()));
    const auto margin = static_cast<std::size_t>(std::lround(kMarginSeconds * rate));
    return FrameRange{first > margin ? first - margin : 0,
                      std::min(samples.size(), last + 1 + margin)};
}

void TakeShapeMath::limitPeaks(std::span<float> samples, int rate, double ceiling,
                               double glideSeconds) {
    const std::size_t count = samples.size();
    if (count == 0 || rate <= 0 || !(ceiling > 0)) {
        return;
    }
    const auto radius = static_cast<std::size_t>(std::max(0L, std::lround(glideSeconds * rate)));
    std::vector<double> needed(count);
    for (std::size_t index = 0; index < count; ++index) {
        const double magnitude = std::fabs(static_cast<double>(samples[index]));
        needed[index] = magnitude > ceiling ? ceiling / magnitude : 1.0;
    }
    // The least gain within the radius, then its mean within the radius: each
    // mean is taken over values no greater than the gain every sample in
    // reach of it needs, so no sample ends above the ceiling.
    std::vector<double> least(count);
    for (std::size_t index = 0; index < count; ++index) {
        const std::size_t from = index > radius ? index - radius : 0;
        const std::size_t to = std::min(count, index + radius + 1);
        least[index] = *std::min_element(needed.begin() + static_cast<std::ptrdiff_t>(from),
                                         needed.begin() + static_cast<std::ptrdiff_t>(to));
    }
    std::vector<double> sums(count + 1, 0.0);
    for (std::size_t index = 0; index < count; ++index) {
        sums[index + 1] = sums[index] + least[index];
    }
    for (std::size_t index = 0; index < count; ++index) {
        const std::size_t from = index > radius ? index - radius : 0;
        const std::size_t to = std::min(count, index + radius + 1);
        const double gain = (sums[to] - sums[from]) / static_cast<double>(to - from);
        samples[index] = static_cast<float>(samples[index] * std::min(gain, needed[index]));
    }
}

std::optional<double> TakeShapeMath::gainDb(double loudnessLufs, double truePeakDbtp,
                                            double targetLufs, double ceilingDbtp) {
    if (!std::isfinite(loudnessLufs) || !std::isfinite(truePeakDbtp)) {
        return std::nullopt;
    }
    return std::min(targetLufs - loudnessLufs, ceilingDbtp - truePeakDbtp);
}

}  // namespace pelkora
