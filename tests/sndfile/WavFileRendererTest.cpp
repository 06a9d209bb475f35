#include "platform/sndfile/WavFileRenderer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/fake/VirtualScheduler.h"
#include "sndfile/TempDir.h"
#include "sndfile/TestWav.h"

namespace pelkora {
namespace {

using test::SoundFormat;

constexpr int kRate = 16000;
constexpr std::int64_t kFramesPerMs = kRate / 1000;
const SoundFormat kAtOutputRate{kRate};
// One step of 16-bit PCM, plus rounding slack.
constexpr float kPcm16Tolerance = 2.0f / 32768.0f;

// Resident memory of this process now, and the most it has had since
// resetPeakResident(), from /proc/self/status.
std::int64_t statusKilobytes(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) {
            return std::stoll(line.substr(field.size() + 1));
        }
    }
    return -1;
}

std::int64_t residentBytes() {
    return statusKilobytes("VmRSS") * 1024;
}
std::int64_t peakResidentBytes() {
    return statusKilobytes("VmHWM") * 1024;
}

bool resetPeakResident() {
    std::ofstream clearRefs("/proc/self/clear_refs");
    clearRefs << "5";
    clearRefs.close();
    return static_cast<bool>(clearRefs) && peakResidentBytes() <= residentBytes() + (1 << 20);
}

std::vector<std::string> filesIn(const std::string& directory) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class WavFileRendererTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(renderer.open(out(), &error)) << error;
    }

    std::string out() const { return dir.file("out.wav"); }

    std::string constantFile(const std::string& name, std::int64_t frames, float value,
                             SoundFormat format = kAtOutputRate) {
        const std::string path = dir.file(name);
        test::writeConstant(path, format, frames, value);
        return path;
    }

    test::ReadBack render(std::int64_t endMs) {
        std::string error;
        EXPECT_TRUE(renderer.close(endMs, &error)) << error;
        return test::readSound(out());
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
    const std::string first = constantFile("first.wav", 1600, 0.5f);     // 100 ms
    const std::string second = constantFile("second.wav", 800, -0.25f);  // 50 ms
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
    EXPECT_EQ(out.info.frames, 6400);
    expectRange(out.samples, 0, 1600, 0.5f);
    expectRange(out.samples, 1600, 2400, 0.0f);
    expectRange(out.samples, 2400, 3200, -0.25f);
    expectRange(out.samples, 3200, 4800, 0.5f);
    expectRange(out.samples, 4800, 6400, 0.0f);
}

TEST_F(WavFileRendererTest, FinishedFiresAtTheLengthRoundedUpToAMillisecond) {
    struct Case {
        int rate;
        std::int64_t frames;
        std::int64_t finishedMs;
    };
    for (const Case& c :
         {Case{8000, 800, 100}, Case{8000, 1001, 126}, Case{44100, 441, 10}, Case{44100, 442, 11},
          Case{8000, 1, 1}, Case{1000, 3, 3}, Case{384000, 385, 2}}) {
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
    ASSERT_TRUE(renderer.play(constantFile("long.wav", 16000, 0.5f), [&] { finished = true; }));
    scheduler.advanceTo(300);

    renderer.stop();

    EXPECT_FALSE(renderer.isPlaying());
    EXPECT_TRUE(scheduler.runUntilIdle());
    EXPECT_FALSE(finished);
    const test::ReadBack out = render(500);
    expectRange(out.samples, 0, 4800, 0.5f);
    expectRange(out.samples, 4800, 8000, 0.0f);
}

TEST_F(WavFileRendererTest, PlayingWhilePlayingCutsTheOldSound) {
    std::vector<std::string> finished;
    ASSERT_TRUE(
        renderer.play(constantFile("old.wav", 16000, 0.5f), [&] { finished.push_back("old"); }));
    scheduler.advanceTo(40);
    ASSERT_TRUE(
        renderer.play(constantFile("new.wav", 1600, -0.5f), [&] { finished.push_back("new"); }));
    scheduler.runUntilIdle();

    EXPECT_EQ(finished, std::vector<std::string>{"new"});
    EXPECT_EQ(scheduler.nowMs(), 140);
    const test::ReadBack out = render(200);
    expectRange(out.samples, 0, 640, 0.5f);
    expectRange(out.samples, 640, 2240, -0.5f);
    expectRange(out.samples, 2240, 3200, 0.0f);
}

TEST_F(WavFileRendererTest, OutputIsExactlyEndMsLongAtTheOutputRate) {
    struct Case {
        int rate;
        bool playedOut;  // the 2 s file finished before the end, else it is still playing
        std::int64_t endMs;
    };
    for (const Case& c : {Case{8000, false, 0}, Case{8000, false, 1001}, Case{44100, false, 5},
                          Case{22050, true, 2500}, Case{11025, true, 1999}, Case{48000, true, 0}}) {
        VirtualScheduler clock;
        WavFileRenderer output(clock);
        const std::string path = dir.file("end.wav");
        ASSERT_TRUE(output.open(path, nullptr));
        ASSERT_TRUE(output.play(constantFile("long.wav", 2 * c.rate, 0.5f, {c.rate}), nullptr));
        if (c.playedOut) {
            clock.runUntilIdle();
        }
        ASSERT_TRUE(output.close(c.endMs, nullptr));

        const test::ReadBack read = test::readSound(path);

        const auto frames = static_cast<std::size_t>(c.endMs * kFramesPerMs);
        const std::size_t sounding = std::min<std::size_t>(frames, 2 * kRate);
        ASSERT_EQ(read.samples.size(), frames) << c.rate << "/" << c.endMs;
        EXPECT_EQ(read.info.samplerate, kRate);
        EXPECT_EQ(read.info.channels, 1);
        EXPECT_EQ(read.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
        // the very last frame interpolates towards the held end of the file
        expectRange(read.samples, 0, sounding, 0.5f);
        expectRange(read.samples, sounding, frames, 0.0f);
    }
}

TEST_F(WavFileRendererTest, NothingPlayedGivesSilence) {
    const test::ReadBack out = render(250);

    EXPECT_EQ(out.info.samplerate, kRate);
    EXPECT_EQ(out.info.frames, 4000);
    expectRange(out.samples, 0, 4000, 0.0f);
}

TEST_F(WavFileRendererTest, OtherRatesAreResampledLinearlyKeepingTheirLength) {
    const SoundFormat floatAt48k{48000, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT};
    const SoundFormat floatAt4k{4000, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT};
    test::writeSound(dir.file("fast.wav"), floatAt48k, 24000, [](std::int64_t frame, int) {
        return static_cast<float>(frame) / 100000.0f;
    });  // 500 ms
    test::writeSound(dir.file("slow.wav"), floatAt4k, 400, [](std::int64_t frame, int) {
        return static_cast<float>(frame) / 1000.0f;
    });  // 100 ms
    ASSERT_TRUE(renderer.play(dir.file("fast.wav"), nullptr));
    EXPECT_TRUE(scheduler.runUntilIdle());
    EXPECT_EQ(scheduler.nowMs(), 500);
    ASSERT_TRUE(renderer.play(dir.file("slow.wav"), nullptr));
    EXPECT_TRUE(scheduler.runUntilIdle());

    const test::ReadBack out = render(700);
    const std::vector<float>& s = out.samples;
    EXPECT_NEAR(s[1000], 3000 / 100000.0f, kPcm16Tolerance);  // every third source frame
    EXPECT_NEAR(s[7999], 23997 / 100000.0f, kPcm16Tolerance);
    constexpr std::size_t kSlow = 8000;
    EXPECT_NEAR(s[kSlow + 400], 100 / 1000.0f, kPcm16Tolerance);
    EXPECT_NEAR(s[kSlow + 401], 100.25f / 1000.0f, kPcm16Tolerance);  // between two source frames
    EXPECT_NEAR(s[kSlow + 1599], 399 / 1000.0f, kPcm16Tolerance);     // the last, not beyond
    expectRange(s, kSlow + 1600, s.size(), 0.0f);
}

TEST_F(WavFileRendererTest, ChannelsAreAveragedAndFullScaleIsClipped) {
    const auto leftRight = [](std::int64_t, int channel) { return channel == 0 ? 0.5f : -0.1f; };
    test::writeSound(dir.file("stereo.wav"), {kRate, 2}, 1600, leftRight);
    const SoundFormat floatFormat{kRate, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT};

    ASSERT_TRUE(renderer.play(dir.file("stereo.wav"), nullptr));
    scheduler.runUntilIdle();
    ASSERT_TRUE(renderer.play(constantFile("loud.wav", 1600, -1.5f, floatFormat), nullptr));
    scheduler.runUntilIdle();

    const test::ReadBack out = render(200);
    expectRange(out.samples, 0, 1600, 0.2f);
    expectRange(out.samples, 1600, 3200, -1.0f);
}

TEST_F(WavFileRendererTest, UnplayableFilesAreRefusedWithAReasonAndLeaveNoTrace) {
    test::writeBytes(dir.file("garbage.wav"), std::string(100, 'g'));
    test::writeBytes(dir.file("empty.wav"), test::wavHeader(44100, 1, 16, 0));
    ASSERT_EQ(::mkfifo(dir.file("fifo.wav").c_str(), 0600), 0);
    const std::string tenFrames(20, '\x10');
    test::writeBytes(dir.file("999.wav"), test::wavHeader(999, 1, 16, 20) + tenFrames);
    test::writeBytes(dir.file("1hz.wav"), test::wavHeader(1, 1, 16, 20) + tenFrames);
    test::writeBytes(dir.file("2ghz.wav"), test::wavHeader(2000000000, 1, 16, 20) + tenFrames);
    test::writeBytes(dir.file("384001.wav"), test::wavHeader(384001, 1, 16, 20) + tenFrames);
    // 37.5 hours at 1 kHz, more than the longest render, stored as a hole
    constexpr std::uint32_t kTooLongBytes = 270000000u;
    test::writeBytes(dir.file("toolong.wav"), test::wavHeader(1000, 1, 16, kTooLongBytes));
    ASSERT_EQ(::truncate(dir.file("toolong.wav").c_str(), 44 + off_t{kTooLongBytes}), 0);
    struct Case {
        const char* name;
        const char* reason;  // part of it; the file reader words the others
    };
    for (const Case& c : {Case{"absent.wav", ""}, Case{"", ""}, Case{"garbage.wav", ""},
                          Case{"empty.wav", ""}, Case{"fifo.wav", ""}, Case{"999.wav", "999 Hz"},
                          Case{"1hz.wav", "1 Hz"}, Case{"2ghz.wav", "2000000000 Hz"},
                          Case{"384001.wav", "384001 Hz"}, Case{"toolong.wav", ""}}) {
        bool finished = false;
        const PlayStart start = renderer.play(dir.file(c.name), [&] { finished = true; });
        EXPECT_FALSE(start) << c.name;
        EXPECT_FALSE(start.refusal.empty()) << c.name;
        EXPECT_NE(start.refusal.find(c.reason), std::string::npos)
            << c.name << ": " << start.refusal;
        EXPECT_FALSE(renderer.isPlaying()) << c.name;
        EXPECT_TRUE(scheduler.runUntilIdle());
        EXPECT_FALSE(finished) << c.name;
    }
    const test::ReadBack out = render(10);
    EXPECT_EQ(out.info.samplerate, kRate);
    expectRange(out.samples, 0, 160, 0.0f);
}

TEST_F(WavFileRendererTest, OpenFailsWhereNoOutputCanBeCreated) {
    const test::TempDir elsewhere;
    ASSERT_EQ(::mkfifo(elsewhere.file("fifo").c_str(), 0600), 0);
    for (const std::string& path :
         {std::string(), elsewhere.file("missing/out.wav"), elsewhere.path(),
          elsewhere.file("fifo"), elsewhere.path() + "/", std::string("/dev/null")}) {
        VirtualScheduler clock;
        WavFileRenderer output(clock);
        std::string error;
        EXPECT_FALSE(output.open(path, &error)) << path;
        EXPECT_FALSE(error.empty()) << path;
        EXPECT_FALSE(output.close(0, nullptr)) << path;
    }
    EXPECT_EQ(filesIn(elsewhere.path()), std::vector<std::string>{"fifo"});
}

TEST_F(WavFileRendererTest, TheOutputTakesItsNameOnlyWhenFinished) {
    test::writeBytes(out(), "old contents");
    ASSERT_EQ(::chmod(out().c_str(), 0640), 0);
    VirtualScheduler clock;
    WavFileRenderer failing(clock);
    ASSERT_TRUE(failing.open(out(), nullptr));
    ASSERT_TRUE(failing.play(constantFile("a.wav", 1600, 0.5f), nullptr));
    clock.runUntilIdle();
    std::string error;

    EXPECT_FALSE(failing.close(-1, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(renderer.close(renderer.longestRenderMs() + 1, &error));
    EXPECT_NE(error.find(std::to_string(renderer.longestRenderMs())), std::string::npos) << error;
    std::ifstream kept(out());
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "old contents");
    EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"a.wav", "out.wav"}));

    WavFileRenderer succeeding(clock);
    ASSERT_TRUE(succeeding.open(out(), nullptr));
    ASSERT_TRUE(succeeding.close(10, nullptr));
    EXPECT_EQ(test::readSound(out()).info.frames, 10 * kFramesPerMs);
    struct stat status {};
    ASSERT_EQ(::stat(out().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640u);
    EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"a.wav", "out.wav"}));
}

TEST_F(WavFileRendererTest, AWriteThatFailsMidwayIsReportedAtCloseAndLeavesNoFile) {
    const std::string tone = constantFile("tone.wav", 16000, 0.5f);
    // The file size limit stands in for a full disk: writes past it fail.
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::vector<bool> started;
    for (int repeat = 0; repeat < 4; ++repeat) {
        started.push_back(static_cast<bool>(renderer.play(tone, nullptr)));
        scheduler.runUntilIdle();
    }
    std::string error;
    const bool closed = renderer.close(scheduler.nowMs(), &error);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(started, std::vector<bool>(4, true));  // the run goes on regardless
    EXPECT_FALSE(closed);
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"tone.wav"});
}

TEST_F(WavFileRendererTest, LongestRenderFitsAWavFile) {
    const std::int64_t longest = renderer.longestRenderMs();
    constexpr std::int64_t kHeaderBytes = 44;
    EXPECT_LE(kHeaderBytes + longest * kFramesPerMs * 2, INT64_C(0xFFFFFFFF));
    EXPECT_GE(longest, INT64_C(37) * 3600 * 1000);  // the limit is not needlessly low
}

// The file is read, resampled and written a block at a time: neither a long
// file nor a long render makes memory grow.
TEST_F(WavFileRendererTest, MemoryStaysFlatForLongFilesAndLongRenders) {
    // two minutes at 48 kHz: one second of sound, the rest a hole in the file
    constexpr std::uint32_t kDataBytes = 2u * 60u * 48000u * 2u;
    test::writeBytes(dir.file("sparse.wav"),
                     test::wavHeader(48000, 1, 16, kDataBytes) + std::string(96000, '\x20'));
    ASSERT_EQ(::truncate(dir.file("sparse.wav").c_str(), 44 + off_t{kDataBytes}), 0);
    const std::string shortFile = constantFile("short.wav", 1600, 0.5f);
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "AddressSanitizer holds freed memory back: resident memory tells nothing";
#endif
    // Memory a segment held would be given back when it ends: the peak tells.
    if (!resetPeakResident()) {
        GTEST_SKIP() << "this kernel cannot reset the peak of resident memory";
    }
    const std::int64_t atStart = residentBytes();

    ASSERT_TRUE(renderer.play(dir.file("sparse.wav"), nullptr));
    scheduler.runUntilIdle();
    EXPECT_EQ(scheduler.nowMs(), 120000);
    const std::int64_t forFile = peakResidentBytes() - atStart;
    ASSERT_TRUE(resetPeakResident());
    const std::int64_t beforeRepeats = residentBytes();
    for (int repeat = 0; repeat < 1500; ++repeat) {
        ASSERT_TRUE(renderer.play(shortFile, nullptr));
        scheduler.runUntilIdle();
    }
    const std::int64_t forRepeats = peakResidentBytes() - beforeRepeats;
    const test::ReadBack out = render(scheduler.nowMs());

    // Whole in memory, the file alone would take 30 MB, the repeats 10 MB.
    EXPECT_LT(forFile, 8 << 20) << "bytes more for the long file";
    EXPECT_LT(forRepeats, 4 << 20) << "bytes more for the long render";
    constexpr std::size_t kFileEnd = 120000 * kFramesPerMs;
    ASSERT_EQ(out.samples.size(), kFileEnd + 1500 * 1600);
    expectRange(out.samples, 0, 16000, 0x2020 / 32768.0f);
    expectRange(out.samples, 16000, kFileEnd, 0.0f);
    expectRange(out.samples, kFileEnd, out.samples.size(), 0.5f);
}

}  // namespace
}  // namespace pelkora
