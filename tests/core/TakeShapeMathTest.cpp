#include "core/recording/TakeShapeMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace pelkora {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
// At 1000 Hz the margin is 100 frames.
constexpr int kRate = 1000;

// Silence of `frames`, with `level` written at each of `at`.
std::vector<float> take(std::size_t frames, const std::vector<std::size_t>& at, float level) {
    std::vector<float> samples(frames, 0.0f);
    for (const std::size_t frame : at) {
        samples[frame] = level;
    }
    return samples;
}

struct BoundsCase {
    std::string name;
    std::vector<float> samples;
    int rate;
    std::optional<FrameRange> bounds;
};

TEST(TakeShapeMathTest, SoundBoundsKeepTheSoundAndAMarginEitherSide) {
    std::vector<float> underPeak = take(1000, {300, 600}, 0.5f);
    underPeak[100] = 0.004f;   // 42 dB under the peak: breath, cut away
    underPeak[900] = -0.006f;  // 38 dB under: kept, negative or not
    // 0.0005 is far above a relative threshold set by a peak of 0.002, but under the floor.
    std::vector<float> quietTake = take(1000, {200, 700}, 0.002f);
    quietTake[50] = 0.0005f;
    std::vector<float> withNaN = take(1000, {400}, 0.5f);
    withNaN[10] = std::numeric_limits<float>::quiet_NaN();
    withNaN[20] = std::numeric_limits<float>::infinity();
    const std::vector<BoundsCase> cases = {
        {"middle", take(1000, {300, 600}, 0.5f), kRate, FrameRange{200, 701}},
        {"margins clamped at both ends", take(1000, {50, 950}, -0.5f), kRate, FrameRange{0, 1000}},
        {"one loud frame", take(10, {5}, 1.0f), kRate, FrameRange{0, 10}},
        {"relative threshold", underPeak, kRate, FrameRange{200, 1000}},
        {"not-a-number never counts as sound", withNaN, kRate, FrameRange{300, 501}},
        // Under the absolute floor nothing is sound, however it compares to the peak.
        {"quiet take", take(1000, {500}, 0.0009f), kRate, std::nullopt},
        {"digital silence", take(1000, {}, 0.0f), kRate, std::nullopt},
        {"empty", {}, kRate, std::nullopt},
        {"no rate", take(1000, {500}, 0.5f), 0, std::nullopt},
        // A quiet take: its own peak sets the threshold, but never below the floor.
        {"floor over relative", quietTake, kRate, FrameRange{100, 801}},
    };
    for (const BoundsCase& row : cases) {
        SCOPED_TRACE(row.name);
        const std::optional<FrameRange> bounds = TakeShapeMath::soundBounds(row.samples, row.rate);
        ASSERT_EQ(bounds.has_value(), row.bounds.has_value());
        if (bounds) {
            EXPECT_EQ(bounds->begin, row.bounds->begin);
            EXPECT_EQ(bounds->end, row.bounds->end);
        }
    }
}

struct GainCase {
    double loudness;
    double truePeak;
    std::optional<double> gain;
};

TEST(TakeShapeMathTest, GainReachesTheTargetUnlessThePeakLimitsIt) {
    const double target = -18.0;
    const double ceiling = -1.0;
    const std::vector<GainCase> cases = {
        {-30.0, -14.0, 12.0},  // quiet: up to the target
        {-6.0, -3.0, -12.0},   // loud: down to the target
        {-18.0, -5.0, 0.0},    // already there
        {-30.0, -6.0, 5.0},    // peaky: the ceiling stops it short of the target
        {-18.0, 2.0, -3.0},    // on target but over the ceiling: brought down
        {kNaN, -6.0, std::nullopt},  {-30.0, kNaN, std::nullopt},
        {-kInf, -6.0, std::nullopt}, {-30.0, kInf, std::nullopt},
    };
    for (const GainCase& row : cases) {
        SCOPED_TRACE(testing::Message() << row.loudness << " LUFS, " << row.truePeak << " dBTP");
        const std::optional<double> gain =
            TakeShapeMath::gainDb(row.loudness, row.truePeak, target, ceiling);
        ASSERT_EQ(gain.has_value(), row.gain.has_value());
        if (gain) {
            EXPECT_NEAR(*gain, *row.gain, 1e-9);
        }
    }
}

TEST(TakeShapeMathTest, LimitedPeaksMeetTheCeilingAndTheRestIsLeftAlone) {
    // 1000 Hz, a glide of 10 frames: a peak's reach is 20 frames either side.
    std::vector<float> samples(400, 0.3f);
    samples[100] = 0.9f;
    samples[101] = -0.8f;
    samples[399] = -1.5f;
    std::vector<float> limited = samples;
    TakeShapeMath::limitPeaks(limited, kRate, 0.5);
    for (std::size_t index = 0; index < limited.size(); ++index) {
        SCOPED_TRACE(index);
        EXPECT_LE(std::fabs(limited[index]), 0.5f + 1e-6f);
        const bool inReach = (index >= 80 && index <= 121) || index >= 379;
        if (!inReach) {
            EXPECT_EQ(limited[index], samples[index]);
        }
    }
    EXPECT_NEAR(limited[100], 0.5f, 0.01f);  // brought to the ceiling, not far below it
    std::vector<float> quiet(100, 0.4f);
    TakeShapeMath::limitPeaks(quiet, kRate, 0.5);
    EXPECT_EQ(quiet, std::vector<float>(100, 0.4f));
}

TEST(TakeShapeMathTest, LevelsInDecibelsHaveAFloorAndNeverANaN) {
    EXPECT_NEAR(TakeShapeMath::toDb(1.0), 0.0, 1e-12);
    EXPECT_NEAR(TakeShapeMath::toDb(0.5), -6.0206, 1e-4);
    EXPECT_NEAR(TakeShapeMath::fromDb(-6.0206), 0.5, 1e-5);
    for (const double nothing : {0.0, -1.0, kNaN, 1e-30, kInf}) {
        EXPECT_EQ(TakeShapeMath::toDb(nothing), TakeShapeMath::kNoLevelDb) << nothing;
    }
    std::vector<float> samples = {0.25f, -0.75f, std::numeric_limits<float>::quiet_NaN(),
                                  -std::numeric_limits<float>::infinity()};
    EXPECT_EQ(TakeShapeMath::samplePeak(samples), 0.75f);
    TakeShapeMath::replaceNonFinite(samples);
    EXPECT_EQ(samples, (std::vector<float>{0.25f, -0.75f, 0.0f, 0.0f}));
}

}  // namespace
}  // namespace pelkora
