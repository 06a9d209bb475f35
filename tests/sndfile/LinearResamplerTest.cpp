#include "platform/sndfile/LinearResampler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace pelkora {
namespace {

// The whole sound in memory, interpolated directly: what the block-by-block
// resampler must reproduce exactly.
std::vector<float> resampledAtOnce(const std::vector<float>& input, std::int64_t fromRate,
                                   std::int64_t toRate) {
    const double step = static_cast<double>(fromRate) / static_cast<double>(toRate);
    const auto frames =
        std::max<std::int64_t>(1, std::llround(static_cast<double>(input.size()) / step));
    const std::size_t last = input.size() - 1;
    std::vector<float> output(static_cast<std::size_t>(frames));
    for (std::size_t frame = 0; frame < output.size(); ++frame) {
        const double position = static_cast<double>(frame) * step;
        const auto before = std::min(static_cast<std::size_t>(position), last);
        const auto after = std::min(before + 1, last);
        const auto fraction = static_cast<float>(position - static_cast<double>(before));
        output[frame] = input[before] + (input[after] - input[before]) * fraction;
    }
    return output;
}

// Hands the input out in small, uneven pieces, and stops after `available` frames.
LinearResampler::Source piecesOf(const std::vector<float>& input, std::size_t available) {
    auto next = std::make_shared<std::size_t>(0);
    return [&input, available, next](float* mono, std::int64_t count) -> std::int64_t {
        const std::size_t piece = std::min<std::size_t>(
            {static_cast<std::size_t>(count), 7 + *next % 5, available - *next});
        std::copy_n(input.begin() + static_cast<std::ptrdiff_t>(*next), piece, mono);
        *next += piece;
        return static_cast<std::int64_t>(piece);
    };
}

std::vector<float> readAll(LinearResampler& resampler, std::int64_t chunk) {
    std::vector<float> output(static_cast<std::size_t>(resampler.outputFrames()) + 10);
    std::size_t done = 0;
    while (const std::int64_t got = resampler.read(output.data() + done, chunk)) {
        done += static_cast<std::size_t>(got);
    }
    output.resize(done);
    return output;
}

std::vector<float> wave(std::size_t frames) {
    std::vector<float> input(frames);
    for (std::size_t frame = 0; frame < frames; ++frame) {
        input[frame] = static_cast<float>(std::sin(static_cast<double>(frame) * 0.01));
    }
    return input;
}

TEST(LinearResampler, BlockByBlockEqualsTheWholeSoundAtOnce) {
    struct Case {
        std::int64_t fromRate;
        std::int64_t frames;
    };
    for (const Case& c :
         {Case{8000, 10000}, Case{44100, 20000}, Case{48000, 9001}, Case{11025, 5000},
          Case{384000, 50000}, Case{1000, 700}, Case{16000, 9000}, Case{22050, 1}}) {
        const std::vector<float> input = wave(static_cast<std::size_t>(c.frames));
        LinearResampler resampler(c.fromRate, 16000, c.frames, piecesOf(input, input.size()));

        const std::vector<float> output = readAll(resampler, 333);

        EXPECT_EQ(output, resampledAtOnce(input, c.fromRate, 16000)) << c.fromRate;
    }
}

TEST(LinearResampler, FramesTheSourceFailsToDeliverAreSilence) {
    const std::vector<float> input(1000, 0.5f);
    LinearResampler resampler(8000, 16000, 1000, piecesOf(input, 600));

    const std::vector<float> output = readAll(resampler, 4096);

    ASSERT_EQ(output.size(), 2000u);
    EXPECT_EQ(output[1198], 0.5f);
    EXPECT_EQ(output[1199], 0.25f);  // halfway to the first missing frame
    EXPECT_TRUE(std::all_of(output.begin() + 1200, output.end(), [](float v) { return v == 0; }));
}

}  // namespace
}  // namespace pelkora
