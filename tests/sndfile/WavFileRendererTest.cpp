#include "platform/sndfile/WavFileRenderer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "platform/fake/VirtualScheduler.h"
#include "sndfile/TempDir.h"
#include "sndfile/TestWav.h"

namespace pelkora {
namespace {

using test::SoundFormat;

// One step of 16-bit PCM, plus rounding slack.
constexpr float kPcm16Tolerance = 2.0f / 32768.0f;

class WavFileRendererTest : public ::testing::Test {
  protected:
    std::string constantFile(const std::string& name, std::int64_t frames, float value,
                             SoundFormat format = {}) {
        const std::string path = dir.file(name);
        test::writeConstant(path, format, frames, value);
        return path;
    }

    test::ReadBack render(std::int64_t endMs) {
        const std::string path = dir.file("out.wav");
        std::string error;
        EXPECT_TRUE(renderer.writeWav(path, endMs, &error)) << error;
        return test::readSound(path);
    }

    static void expectRange(const std::vector<float>& samples, std::size_t from, std::size_t to,
                            float value) {
        ASSERT_LE(to, samples.size());
        for (std::size_t frame = from; frame < to; ++frame) {
            ASSERT_NEAR(samples[frame], value, kPcm16Tolerance) << "frame " << frame;
        }
    }

    test::TempDir dir;
    VirtualScheduler scheduler;
    WavFileRenderer renderer{scheduler};
};

TEST_F(WavFileRendererTest, FilesPlayedOneAfterAnotherLandAtTheirTimes) {
    const std::string first = constantFile("first.wav", 800, 0.5f);      // 100 ms
    const std::string second = constantFile("second.wav", 400, -0.25f);  // 50 ms
    std::vector<std::int64_t> finishedAt;
    // first, a 50 ms gap, second, then first again straight from second's callback
    ASSERT_TRUE(renderer.play(first, [&] {
        finishedAt.push_back(scheduler.nowMs());
        scheduler.callAfter(50, [&] {
            renderer.play(second, [&] {
                finishedAt.push_back(scheduler.nowMs());
                renderer.play(first, [&] { finishedAt.push_back(scheduler.nowMs()); });
            });
        });
    }));
    scheduler.runUntilIdle();

    EXPECT_EQ(finishedAt, (std::vector<std::int64_t>{100, 200, 300}));
    const test::ReadBack out = render(400);
    EXPECT_EQ(out.info.frames, 3200);
    expectRange(out.samples, 0, 800, 0.5f);
    expectRange(out.samples, 800, 1200, 0.0f);
    expectRange(out.samples, 1200, 1600, -0.25f);
    expectRange(out.samples, 1600, 2400, 0.5f);
    expectRange(out.samples, 2400, 3200, 0.0f);
}

TEST_F(WavFileRendererTest, FinishedFiresAtTheLengthRoundedUpToAMillisecond) {
    struct Case {
        int rate;
        std::int64_t frames;
        std::int64_t finishedMs;
    };
    for (const Case& c : {Case{8000, 800, 100}, Case{8000, 1001, 126}, Case{44100, 441, 10},
                          Case{44100, 442, 11}, Case{8000, 1, 1}}) {
        VirtualScheduler clock;
        WavFileRenderer output(clock);
        int finishedCount = 0;
        ASSERT_TRUE(output.play(constantFile("len.wav", c.frames, 0.1f, {c.rate}),
                                [&] { ++finishedCount; }));

        clock.advanceTo(c.finishedMs - 1);
        EXPECT_EQ(finishedCount, 0) << c.rate << "/" << c.frames;
        EXPECT_TRUE(output.isPlaying());
        clock.advanceTo(c.finishedMs);
        EXPECT_EQ(finishedCount, 1) << c.rate << "/" << c.frames;
        EXPECT_FALSE(output.isPlaying());
    }
}

TEST_F(WavFileRendererTest, StopCutsAtTheCurrentTimeAndDropsTheCallback) {
    bool finished = false;
    ASSERT_TRUE(renderer.play(constantFile("long.wav", 8000, 0.5f), [&] { finished = true; }));
    scheduler.advanceTo(300);

    renderer.stop();

    EXPECT_FALSE(renderer.isPlaying());
    EXPECT_TRUE(scheduler.runUntilIdle());
    EXPECT_FALSE(finished);
    ASSERT_EQ(renderer.segments().size(), 1u);
    EXPECT_EQ(renderer.segments()[0].frames(), 2400);
    const test::ReadBack out = render(500);
    expectRange(out.samples, 0, 2400, 0.5f);
    expectRange(out.samples, 2400, 4000, 0.0f);
}

TEST_F(WavFileRendererTest, PlayingWhilePlayingCutsTheOldSound) {
    std::vector<std::string> finished;
    ASSERT_TRUE(
        renderer.play(constantFile("old.wav", 8000, 0.5f), [&] { finished.push_back("old"); }));
    scheduler.advanceTo(40);
    ASSERT_TRUE(
        renderer.play(constantFile("new.wav", 800, -0.5f), [&] { finished.push_back("new"); }));
    scheduler.runUntilIdle();

    EXPECT_EQ(finished, std::vector<std::string>{"new"});
    EXPECT_EQ(scheduler.nowMs(), 140);
    ASSERT_EQ(renderer.segments().size(), 2u);
    EXPECT_EQ(renderer.segments()[0].frames(), 320);
    EXPECT_EQ(renderer.segments()[1].startMs, 40);
    const test::ReadBack out = render(200);
    expectRange(out.samples, 0, 320, 0.5f);
    expectRange(out.samples, 320, 1120, -0.5f);
    expectRange(out.samples, 1120, 1600, 0.0f);
}

TEST_F(WavFileRendererTest, OutputIsExactlyEndMsLongAtTheFirstFilesRate) {
    struct Case {
        int rate;
        std::int64_t endMs;
        sf_count_t frames;
    };
    // 44.1 frames a millisecond at 44.1 kHz: rounded to the nearest frame
    for (const Case& c : {Case{8000, 0, 0}, Case{8000, 1001, 8008}, Case{44100, 1, 44},
                          Case{44100, 5, 221}, Case{22050, 3, 66}, Case{11025, 2, 22}}) {
        VirtualScheduler clock;
        WavFileRenderer output(clock);
        ASSERT_TRUE(output.play(constantFile("long.wav", 2 * c.rate, 0.5f, {c.rate}), nullptr));
        const std::string path = dir.file("out.wav");
        ASSERT_TRUE(output.writeWav(path, c.endMs, nullptr));

        const test::ReadBack out = test::readSound(path);

        EXPECT_EQ(out.info.frames, c.frames) << c.rate << "/" << c.endMs;
        EXPECT_EQ(out.info.samplerate, c.rate);
        EXPECT_EQ(out.info.channels, 1);
        EXPECT_EQ(out.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
        expectRange(out.samples, 0, out.samples.size(), 0.5f);
    }
}

TEST_F(WavFileRendererTest, NothingPlayedGivesSilenceAtTheDefaultRate) {
    const test::ReadBack out = render(250);

    EXPECT_EQ(out.info.samplerate, 8000);
    EXPECT_EQ(out.info.frames, 2000);
    expectRange(out.samples, 0, 2000, 0.0f);
}

TEST_F(WavFileRendererTest, OtherRatesAreResampledLinearlyKeepingTheirLength) {
    const SoundFormat floatAt16k{16000, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT};
    const SoundFormat floatAt4k{4000, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT};
    const auto ramp = [](std::int64_t frame, int) { return static_cast<float>(frame) / 10000.0f; };
    test::writeSound(dir.file("fast.wav"), floatAt16k, 8000, ramp);            // 500 ms
    test::writeSound(dir.file("slow.wav"), floatAt4k, 400, ramp);              // 100 ms
    ASSERT_TRUE(renderer.play(constantFile("first.wav", 80, 0.0f), nullptr));  // sets 8 kHz
    scheduler.runUntilIdle();

    ASSERT_TRUE(renderer.play(dir.file("fast.wav"), nullptr));
    EXPECT_TRUE(scheduler.runUntilIdle());
    EXPECT_EQ(scheduler.nowMs(), 510);
    ASSERT_TRUE(renderer.play(dir.file("slow.wav"), nullptr));

    EXPECT_EQ(renderer.outputRate(), 8000);
    const std::vector<float>& down = renderer.segments()[1].samples;
    ASSERT_EQ(down.size(), 4000u);
    EXPECT_NEAR(down[1000], 2000 / 10000.0f, 1e-6f);
    const std::vector<float>& up = renderer.segments()[2].samples;
    ASSERT_EQ(up.size(), 800u);
    EXPECT_NEAR(up[100], 50 / 10000.0f, 1e-6f);
    EXPECT_NEAR(up[101], 50.5f / 10000.0f, 1e-6f);  // halfway between two source frames
    EXPECT_NEAR(up[799], 399 / 10000.0f, 1e-6f);    // the last source frame, not beyond
}

TEST_F(WavFileRendererTest, ChannelsAreAveragedAndFullScaleIsClipped) {
    const auto leftRight = [](std::int64_t, int channel) { return channel == 0 ? 0.5f : -0.1f; };
    test::writeSound(dir.file("stereo.wav"), {8000, 2}, 800, leftRight);
    const SoundFormat floatFormat{8000, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT};

    ASSERT_TRUE(renderer.play(dir.file("stereo.wav"), nullptr));
    scheduler.runUntilIdle();
    ASSERT_TRUE(renderer.play(constantFile("loud.wav", 800, -1.5f, floatFormat), nullptr));
    scheduler.runUntilIdle();

    const test::ReadBack out = render(200);
    expectRange(out.samples, 0, 800, 0.2f);
    expectRange(out.samples, 800, 1600, -1.0f);
}

TEST_F(WavFileRendererTest, UnplayableFilesAreRefusedAndLeaveNoTrace) {
    test::writeBytes(dir.file("garbage.wav"), std::string(100, 'g'));
    test::writeBytes(dir.file("empty.wav"), test::wavHeader(44100, 1, 16, 0));
    ASSERT_EQ(::mkfifo(dir.file("fifo.wav").c_str(), 0600), 0);
    // 31 minutes of 16-bit audio claimed by the header, stored as a hole
    constexpr std::uint32_t kDataBytes = 31u * 60u * 8000u * 2u;
    test::writeBytes(dir.file("long.wav"), test::wavHeader(8000, 1, 16, kDataBytes));
    ASSERT_EQ(::truncate(dir.file("long.wav").c_str(), 44 + off_t{kDataBytes}), 0);

    for (const char* name :
         {"absent.wav", "", "garbage.wav", "empty.wav", "fifo.wav", "long.wav"}) {
        bool finished = false;
        EXPECT_FALSE(renderer.play(dir.file(name), [&] { finished = true; })) << name;
        EXPECT_FALSE(renderer.isPlaying()) << name;
        EXPECT_TRUE(scheduler.runUntilIdle());
        EXPECT_FALSE(finished) << name;
    }
    EXPECT_TRUE(renderer.segments().empty());
    EXPECT_EQ(renderer.outputRate(), 8000);
}

TEST_F(WavFileRendererTest, WriteFailuresAreReported) {
    std::string error;
    EXPECT_FALSE(renderer.writeWav(dir.file("out.wav"), -1, &error));
    EXPECT_FALSE(error.empty());

    const std::string unwritable = dir.file("missing/out.wav");
    EXPECT_FALSE(renderer.writeWav(unwritable, 100, &error));
    EXPECT_NE(error.find(unwritable), std::string::npos) << error;

    EXPECT_FALSE(renderer.writeWav(dir.file("huge.wav"), INT64_MAX, nullptr));
    EXPECT_FALSE(renderer.writeWav(dir.path(), 100, nullptr));
}

}  // namespace
}  // namespace pelkora
