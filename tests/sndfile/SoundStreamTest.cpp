#include "platform/sndfile/SoundStream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <vector>

#include "platform/sndfile/DecodedSound.h"
#include "sndfile/TempDir.h"
#include "sndfile/TestWav.h"

namespace pelkora {
namespace {

using test::SoundFormat;

constexpr std::int64_t kLongest = 30 * 60;

float ramp(std::int64_t frame, int channel) {
    return static_cast<float>((frame * 2 + channel) % 200) / 256.0f - 0.4f;
}

// Blocks of awkward sizes, the first of one frame, return the file's samples in order.
TEST(SoundStreamTest, ReadsTheWholeFileInBlocksOfAnySize) {
    test::TempDir dir;
    const SoundFormat stereo{22050, 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT};
    test::writeSound(dir.file("ramp.wav"), stereo, 5000, ramp);
    std::string why;
    const auto stream = SoundStream::open(dir.file("ramp.wav"), kLongest, &why);
    ASSERT_TRUE(stream) << why;
    EXPECT_EQ(stream->rate(), 22050);
    EXPECT_EQ(stream->channels(), 2);
    EXPECT_EQ(stream->frames(), 5000);

    std::vector<float> samples;
    for (std::int64_t block : {1, 7, 1000, 4096, 4096}) {
        std::vector<float> buffer(static_cast<std::size_t>(block * 2));
        const std::int64_t got = stream->read(buffer.data(), block);
        samples.insert(samples.end(), buffer.begin(), buffer.begin() + got * 2);
    }
    ASSERT_EQ(samples.size(), 10000u);
    for (std::int64_t frame = 0; frame < 5000; ++frame) {
        ASSERT_EQ(samples[static_cast<std::size_t>(frame * 2 + 1)], ramp(frame, 1)) << frame;
    }
    float spare[2];
    EXPECT_EQ(stream->read(spare, 1), 0);
    EXPECT_EQ(DecodedSound::load(dir.file("ramp.wav"), kLongest)->samples, samples);
}

TEST(SoundStreamTest, RefusesWhatItCannotReadAndSaysWhy) {
    test::TempDir dir;
    test::writeBytes(dir.file("notes.wav"), "these are not samples\n");
    test::writeBytes(dir.file("no data.wav"), test::wavHeader(8000, 1, 16, 0));
    // The header promises a second; not one sample follows it.
    test::writeBytes(dir.file("cut off.wav"), test::wavHeader(8000, 1, 16, 16000));
    ::mkdir(dir.file("folder.wav").c_str(), 0700);
    ::mkfifo(dir.file("fifo.wav").c_str(), 0600);
    const SoundFormat oneHertz{1, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16};
    test::writeConstant(dir.file("long.wav"), oneHertz, kLongest + 1, 0.5f);
    test::writeConstant(dir.file("longest.wav"), oneHertz, kLongest, 0.5f);
    EXPECT_TRUE(SoundStream::open(dir.file("longest.wav"), kLongest, nullptr));

    const struct {
        const char* name;
        const char* reason;  // a part of it
    } cases[] = {
        {"missing.wav", "cannot open the file"},
        {"notes.wav", "not a sound file"},
        {"no data.wav", "no audio"},
        {"cut off.wav", "no audio"},
        {"folder.wav", "not a regular file"},
        {"fifo.wav", "not a regular file"},
        {"long.wav", "longer than 30 minutes"},
    };
    for (const auto& refused : cases) {
        std::string why;
        EXPECT_FALSE(SoundStream::open(dir.file(refused.name), kLongest, &why)) << refused.name;
        EXPECT_NE(why.find(refused.reason), std::string::npos) << refused.name << ": " << why;
        EXPECT_FALSE(DecodedSound::load(dir.file(refused.name), kLongest)) << refused.name;
    }
}

}  // namespace
}  // namespace pelkora
