#include "platform/pulse/PulseSoundOutput.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <fstream>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "pulse/MonitorRecorder.h"
#include "pulse/PrivateSoundServer.h"
#include "pulse/QueuePoster.h"
#include "pulse/SoundFiles.h"
#include "pulse/SoundServerSuite.h"

namespace pelkora {
namespace {

using namespace std::chrono_literals;
using test::MonitorRecorder;
using test::SoundFormat;

constexpr int kRate = MonitorRecorder::kRate;
constexpr SoundFormat kPcm16{SF_FORMAT_WAV | SF_FORMAT_PCM_16, kRate, 1};

// Generous limits: these run on a busy CI machine against a real server. The
// figures they measure are printed; the benchmark keeps the exact ones.
constexpr double kLatencyLimit = 0.025;  // play() to the first sample on the sink
// The same when play() opens a stream: PipeWire has its session manager link
// a new one to the sink first (18-20 ms here, a single paplay 25 ms).
constexpr double kFirstPlayLimit = 0.050;
// Between files played back to back. The figures (1 ms on PulseAudio, 12 ms
// on PipeWire's 256-frame cycles) are the live benchmark's to report; this
// guards against an audible break on a busy CI machine, where the server's
// drain report can come late.
constexpr double kGapLimit = 0.030;
// Between a file handed over and its follower: far less than a new start.
constexpr double kFollowGapLimit = 0.005;
constexpr double kCutLimit = 0.050;       // stop() to the last sample on the sink
constexpr double kEndSlack = 0.002;       // the sink renders up to one block ahead of the clock
constexpr double kLengthSlack = 0.002;    // recorded length against the file's own
constexpr float kLevelTolerance = 0.03f;  // 16-bit sink, mu-law and A-law steps

// The frames of a recording that sit at one level, from the first such frame
// to the last; dropouts counts the frames in between that are off that level.
struct LevelRun {
    std::int64_t first = -1;
    std::int64_t last = -1;
    std::int64_t dropouts = 0;

    bool found() const { return first >= 0; }
    double seconds() const { return static_cast<double>(last + 1 - first) / kRate; }
};

LevelRun findRun(const MonitorRecorder::Recording& recording, float level, std::int64_t from = 0,
                 float tolerance = kLevelTolerance) {
    LevelRun run;
    std::int64_t matching = 0;
    const auto frames = static_cast<std::int64_t>(recording.levels.size());
    for (std::int64_t frame = from; frame < frames; ++frame) {
        if (std::fabs(recording.levels[static_cast<std::size_t>(frame)] - level) <= tolerance) {
            run.first = run.found() ? run.first : frame;
            run.last = frame;
            ++matching;
        }
    }
    run.dropouts = run.found() ? run.last + 1 - run.first - matching : 0;
    return run;
}

// The stretch of a recording that sits at one level from the first frame at
// it, ending where the level has been gone for half a millisecond: a resampled
// file's neighbours ring through its level for a frame or two at their edges.
LevelRun heardRun(const MonitorRecorder::Recording& recording, float level, std::int64_t from,
                  float tolerance) {
    constexpr std::int64_t kGone = kRate / 2000;
    LevelRun run;
    std::int64_t matching = 0;
    const auto frames = static_cast<std::int64_t>(recording.levels.size());
    for (std::int64_t frame = from; frame < frames; ++frame) {
        if (std::fabs(recording.levels[static_cast<std::size_t>(frame)] - level) <= tolerance) {
            run.first = run.found() ? run.first : frame;
            run.last = frame;
            ++matching;
        } else if (run.found() && frame - run.last > kGone) {
            break;
        }
    }
    run.dropouts = run.found() ? run.last + 1 - run.first - matching : 0;
    return run;
}

// Each of the back-to-back files has a level of its own, so that its run can be
// found even when no silence at all separates it from the next.
float partLevel(int index) {
    return 0.15f * static_cast<float>(index + 1);
}

void report(const std::string& what, double seconds) {
    std::cout << "[ measured ] " << what << ": " << seconds * 1000.0 << " ms\n";
}

// What this process holds in memory now.
std::int64_t residentBytes() {
    std::int64_t size = 0;
    std::int64_t resident = 0;
    std::ifstream("/proc/self/statm") >> size >> resident;
    return resident * ::sysconf(_SC_PAGESIZE);
}

// The loop thread of the tests, which can be made to fail as a loop short of
// memory would: the next posts throw std::bad_alloc.
class FlakyPoster : public test::QueuePoster {
  public:
    void post(std::function<void()> task) override {
        if (failures_ > 0) {
            --failures_;
            throw std::bad_alloc();
        }
        QueuePoster::post(std::move(task));
    }
    void failNextPosts(int count) { failures_ = count; }

  private:
    std::atomic<int> failures_{0};
};

class PulseSoundOutputTest : public test::SoundServerSuite<PulseSoundOutputTest> {
  protected:
    explicit PulseSoundOutputTest(std::chrono::milliseconds recorderFragment = 1ms)
        : recorder("pelkora_null.monitor", recorderFragment), recorderFragment_(recorderFragment) {}

    void SetUp() override {
        ASSERT_TRUE(setupError().empty()) << setupError();
        const std::string error = recorder.start();
        ASSERT_TRUE(error.empty()) << error;
        makeOutput();
        // Lets the sink settle on the recorder's one-millisecond blocks.
        loop.runFor(100ms);
    }

    void makeOutput() {
        output = std::make_unique<PulseSoundOutput>(loop);
        output->onServerLost = [this](const std::string&) { ++lost; };
        output->onServerBack = [this](const std::string&) { ++back; };
    }

    std::string levelFile(const std::string& name, std::int64_t frames, float level,
                          const SoundFormat& format = kPcm16) {
        const std::string path = server()->dir() + "/" + name;
        test::writeLevelFile(path, format, frames, level);
        return path;
    }

    // When onFinished arrived, or nothing when it did not within the timeout.
    std::optional<double> playToEnd(const std::string& path) {
        std::optional<double> finishedAt;
        if (!output->play(path, [&] { finishedAt = MonitorRecorder::nowSeconds(); })) {
            return std::nullopt;
        }
        if (!loop.runUntil([&] { return finishedAt.has_value(); }, 5s)) {
            output->stop();  // the callback points at this frame
        }
        return finishedAt;
    }

    // What the sink played so far, once the last blocks have come in.
    MonitorRecorder::Recording recording() {
        loop.runFor(30ms + 2 * recorderFragment_);
        return recorder.snapshot();
    }

    struct BackToBack {
        std::vector<double> playedAt;
        MonitorRecorder::Recording heard;
        std::vector<LevelRun> runs;
    };

    // Five files of 100 ms, each played from the previous one's onFinished as
    // the engine does; each must be heard whole, in order, with small gaps.
    BackToBack playBackToBack() {
        constexpr std::size_t kFiles = 5;
        constexpr std::int64_t kFrames = kRate / 10;
        const auto from = static_cast<std::int64_t>(recorder.snapshot().levels.size());
        std::vector<std::string> paths;
        for (std::size_t index = 0; index < kFiles; ++index) {
            const int part = static_cast<int>(index);
            paths.push_back(
                levelFile("part" + std::to_string(index) + ".wav", kFrames, partLevel(part)));
        }
        BackToBack played;
        std::function<void()> playNext = [&] {
            if (played.playedAt.size() < paths.size()) {
                played.playedAt.push_back(MonitorRecorder::nowSeconds());
                EXPECT_TRUE(output->play(paths[played.playedAt.size() - 1], playNext));
            }
        };
        playNext();
        EXPECT_TRUE(loop.runUntil(
            [&] { return played.playedAt.size() == kFiles && !output->isPlaying(); }, 5s));
        played.heard = recording();
        for (std::size_t index = 0; index < kFiles; ++index) {
            const LevelRun run = findRun(played.heard, partLevel(static_cast<int>(index)), from);
            EXPECT_TRUE(run.found()) << "file " << index;
            EXPECT_NEAR(run.seconds(), 0.1, kLengthSlack) << "file " << index;
            EXPECT_LE(run.dropouts, test::PrivateSoundServer::toleratedDropoutFrames())
                << "file " << index;
            if (!played.runs.empty()) {
                const LevelRun& before = played.runs.back();
                EXPECT_GT(run.first, before.last) << "file " << index;
                const double gap = static_cast<double>(run.first - before.last - 1) / kRate;
                EXPECT_LT(gap, kGapLimit) << "before file " << index;
                report("gap before file " + std::to_string(index), gap);
            }
            played.runs.push_back(run);
        }
        return played;
    }

    FlakyPoster loop;
    MonitorRecorder recorder;
    const std::chrono::milliseconds recorderFragment_;
    std::unique_ptr<PulseSoundOutput> output;
    int lost = 0;
    int back = 0;
};

TEST_F(PulseSoundOutputTest, PlaysAWholeFileAndReportsItsEndAfterTheLastSample) {
    const std::string path = levelFile("whole.wav", kRate * 3 / 10, 0.5f);
    std::optional<double> finishedAt;
    const double playedAt = MonitorRecorder::nowSeconds();
    ASSERT_TRUE(output->play(path, [&] { finishedAt = MonitorRecorder::nowSeconds(); }));
    EXPECT_TRUE(output->isPlaying());
    ASSERT_TRUE(loop.runUntil([&] { return finishedAt.has_value(); }, 3s));
    EXPECT_FALSE(output->isPlaying());

    const MonitorRecorder::Recording heard = recording();
    const LevelRun run = findRun(heard, 0.5f);
    ASSERT_TRUE(run.found());
    EXPECT_NEAR(run.seconds(), 0.3, kLengthSlack);
    EXPECT_LE(run.dropouts, test::PrivateSoundServer::toleratedDropoutFrames());
    const double latency = heard.timeOf(run.first) - playedAt;
    const double endOfSound = heard.timeOf(run.last + 1);
    EXPECT_LT(latency, kFirstPlayLimit);
    EXPECT_GE(*finishedAt, endOfSound - kEndSlack);
    EXPECT_LT(*finishedAt, endOfSound + 0.1);
    report("first play (opens the stream), play() to first sample", latency);
    report("end of sound to onFinished", *finishedAt - endOfSound);
}

TEST_F(PulseSoundOutputTest, FilesPlayedBackToBackAreWholeWithSmallGaps) {
    const BackToBack played = playBackToBack();
    for (std::size_t index = 1; index < played.runs.size(); ++index) {
        const double latency =
            played.heard.timeOf(played.runs[index].first) - played.playedAt[index];
        EXPECT_LT(latency, kLatencyLimit) << "file " << index;
        report("play() to first sample, file " + std::to_string(index), latency);
    }
}

// With the recorder asking for long fragments, the sink's cycle is the one the
// output asks for, as on a desktop where nothing else plays. PipeWire sizes its
// cycle from the stream's requests: with a long one the silence between files
// grew to four times that of the short one.
class PulseSoundOutputDesktopTest : public PulseSoundOutputTest {
  protected:
    PulseSoundOutputDesktopTest() : PulseSoundOutputTest(100ms) {}
};

TEST_F(PulseSoundOutputDesktopTest, FilesPlayedBackToBackAreWholeWithSmallGaps) {
    playBackToBack();
}

TEST_F(PulseSoundOutputTest, StopCutsTheSoundAtOnceAndDropsItsCallback) {
    bool finished = false;
    ASSERT_TRUE(output->play(levelFile("long.wav", kRate * 2, 0.5f), [&] { finished = true; }));
    loop.runFor(200ms);
    const double stoppedAt = MonitorRecorder::nowSeconds();
    output->stop();
    EXPECT_FALSE(output->isPlaying());
    loop.runFor(300ms);
    EXPECT_FALSE(finished);

    const MonitorRecorder::Recording heard = recording();
    const LevelRun run = findRun(heard, 0.5f);
    ASSERT_TRUE(run.found());
    const double cut = heard.timeOf(run.last + 1) - stoppedAt;
    EXPECT_LT(std::fabs(cut), kCutLimit);
    report("stop() to last sample", cut);
}

TEST_F(PulseSoundOutputTest, PlayWhilePlayingCutsTheOldSoundAndDropsOnlyItsCallback) {
    int oldFinished = 0;
    bool newFinished = false;
    ASSERT_TRUE(output->play(levelFile("old.wav", kRate * 2, 0.3f), [&] { ++oldFinished; }));
    loop.runFor(200ms);
    const double replacedAt = MonitorRecorder::nowSeconds();
    ASSERT_TRUE(output->play(levelFile("new.wav", kRate / 10, 0.6f), [&] { newFinished = true; }));
    ASSERT_TRUE(loop.runUntil([&] { return newFinished; }, 3s));
    loop.runFor(200ms);
    EXPECT_EQ(oldFinished, 0);

    const MonitorRecorder::Recording heard = recording();
    const LevelRun oldRun = findRun(heard, 0.3f);
    const LevelRun newRun = findRun(heard, 0.6f);
    ASSERT_TRUE(oldRun.found() && newRun.found());
    EXPECT_LT(heard.timeOf(oldRun.last + 1) - replacedAt, kCutLimit);
    EXPECT_GT(newRun.first, oldRun.last);
    EXPECT_NEAR(newRun.seconds(), 0.1, kLengthSlack);
}

// Five files of 100 ms, each one after the first handed over at the previous
// one's header time (less the lead the output asks for, after a file started
// anew), as the engine does for spelled files: each must be heard
// whole, in order, and the silence between them must not come near the
// request block that starting anew would cost.
TEST_F(PulseSoundOutputTest, FilesHandedOverAreWholeAndFollowEachOtherClosely) {
    struct Case {
        const char* name;
        SoundFormat format;
        // Resampling rings at the edges: past the level, for a few frames.
        float tolerance;
        std::int64_t edgeFrames;
        double padding;  // silence the output may leave after a file
    };
    const double flush =
        std::chrono::duration<double>(PulseSoundOutput::kPipeWireResamplerFlush).count();
    const Case cases[] = {
        {"at the sink's rate", kPcm16, kLevelTolerance, 0, 0.0},
        {"resampled", {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 16000, 1}, 0.05f, 8, flush},
    };
    constexpr std::size_t kFiles = 5;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> paths;
        for (std::size_t index = 0; index < kFiles; ++index) {
            paths.push_back(levelFile("follow" + std::to_string(index) + ".wav", c.format.rate / 10,
                                      partLevel(static_cast<int>(index)), c.format));
        }
        const auto headerTime = std::chrono::microseconds(
            100'000 + 44'000'000 / (static_cast<std::int64_t>(c.format.rate) * 2));
        const auto from = static_cast<std::int64_t>(recorder.snapshot().levels.size());
        std::size_t finished = 0;
        std::size_t keptCount = 0;
        std::vector<bool> handedOver(kFiles, false);
        const auto onFinished = [&] { ++finished; };
        ASSERT_TRUE(output->play(paths[0], onFinished));
        auto playedAt = std::chrono::steady_clock::now();
        const std::chrono::milliseconds lead(output->handOverLeadMs());
        for (std::size_t index = 1; index < kFiles; ++index) {
            const auto due = playedAt + headerTime - (handedOver[index - 1] ? 0ms : lead);
            loop.runFor(std::chrono::ceil<std::chrono::milliseconds>(
                due - std::chrono::steady_clock::now()));
            // A sound already over is not kept: it ends as before, and the
            // next file starts anew.
            handedOver[index] = output->keepForFollower(paths[index]);
            if (handedOver[index]) {
                ++keptCount;
                playedAt = std::chrono::steady_clock::now();
                ASSERT_TRUE(output->playFollowing(paths[index], onFinished)) << "file " << index;
            } else {
                ASSERT_TRUE(loop.runUntil([&] { return finished + keptCount == index; }, 2s));
                playedAt = std::chrono::steady_clock::now();
                ASSERT_TRUE(output->play(paths[index], onFinished)) << "file " << index;
            }
        }
        ASSERT_TRUE(loop.runUntil(
            [&] { return finished + keptCount == kFiles && !output->isPlaying(); }, 3s));
        loop.runFor(200ms);
        EXPECT_EQ(finished + keptCount, kFiles) << "a kept sound's end is not reported";
        std::cout << "[ measured ] " << c.name << ": " << keptCount << " of " << kFiles - 1
                  << " handed over\n";

        const MonitorRecorder::Recording heard = recording();
        std::int64_t after = from;
        for (std::size_t index = 0; index < kFiles; ++index) {
            const LevelRun run =
                heardRun(heard, partLevel(static_cast<int>(index)), after, c.tolerance);
            ASSERT_TRUE(run.found()) << "file " << index;
            EXPECT_NEAR(run.seconds(), 0.1, 0.001) << "file " << index;
            EXPECT_LE(run.dropouts,
                      test::PrivateSoundServer::toleratedDropoutFrames() + c.edgeFrames)
                << "file " << index;
            if (index > 0) {
                const double gap = static_cast<double>(run.first - after) / kRate;
                // Started anew, the padding after a resampled file comes first;
                // handed over on PipeWire, the follower takes its place.
                const bool padded = !handedOver[index] || !test::PrivateSoundServer::isPipeWire();
                EXPECT_LT(gap, (padded ? c.padding : 0.0) +
                                   (handedOver[index] ? kFollowGapLimit : kGapLimit))
                    << "before file " << index;
                report(std::string(c.name) + ", gap before file " + std::to_string(index), gap);
            }
            after = run.last + 1;
        }
    }
}

// A kept sound plays out on its own when nothing follows it, and stop() cuts
// it at once like any other.
TEST_F(PulseSoundOutputTest, AKeptSoundPlaysOutAloneAndStopCutsIt) {
    for (const bool stopIt : {false, true}) {
        SCOPED_TRACE(stopIt ? "stopped" : "played out");
        const std::string path = levelFile("kept.wav", kRate / 10, 0.5f);
        const auto from = static_cast<std::int64_t>(recorder.snapshot().levels.size());
        bool finished = false;
        ASSERT_TRUE(output->play(path, [&] { finished = true; }));
        // The whole file fits in the stream's buffer: it is on the server as
        // soon as the stream has asked for it.
        loop.runFor(40ms);
        ASSERT_TRUE(output->keepForFollower(path));
        const double keptAt = MonitorRecorder::nowSeconds();
        if (stopIt) {
            output->stop();
            EXPECT_FALSE(output->isPlaying());
        } else {
            EXPECT_TRUE(output->isPlaying());
            EXPECT_TRUE(loop.runUntil([&] { return !output->isPlaying(); }, 2s));
        }
        loop.runFor(200ms);
        EXPECT_FALSE(finished) << "a kept sound's end is nobody's business";

        const MonitorRecorder::Recording heard = recording();
        const LevelRun run = findRun(heard, 0.5f, from);
        ASSERT_TRUE(run.found());
        if (stopIt) {
            EXPECT_LT(heard.timeOf(run.last + 1) - keptAt, kCutLimit);
            EXPECT_LT(run.seconds(), 0.1 - 0.02);
            report("kept sound, stop() to last sample", heard.timeOf(run.last + 1) - keptAt);
        } else {
            EXPECT_NEAR(run.seconds(), 0.1, kLengthSlack);
        }
        // The stream is as good as before for the next file.
        EXPECT_TRUE(playToEnd(levelFile("next.wav", kRate / 20, 0.3f)).has_value());
    }
}

// Nothing to hand over: a file still being written, a follower of another
// format (it needs a stream of its own), a file that cannot be played.
TEST_F(PulseSoundOutputTest, KeepsASoundOnlyWhenItsFollowerCanGoOnTheSameStream) {
    const std::string shortSound = levelFile("short.wav", kRate / 10, 0.5f);
    const std::string longSound = levelFile("long.wav", kRate * 2, 0.5f);
    const std::string otherRate =
        levelFile("other.wav", 1600, 0.5f, {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 16000, 1});
    std::ofstream(server()->dir() + "/notes.wav") << "these are not samples\n";
    EXPECT_FALSE(output->keepForFollower(shortSound)) << "nothing plays";

    bool finished = false;
    ASSERT_TRUE(output->play(longSound, [&] { finished = true; }));
    loop.runFor(40ms);
    EXPECT_FALSE(output->keepForFollower(shortSound)) << "the file is not all written";
    output->stop();

    ASSERT_TRUE(output->play(shortSound, [&] { finished = true; }));
    loop.runFor(40ms);
    EXPECT_FALSE(output->keepForFollower(otherRate));
    EXPECT_FALSE(output->keepForFollower(server()->dir() + "/notes.wav"));
    EXPECT_TRUE(loop.runUntil([&] { return finished; }, 2s)) << "its end is still reported";
}

TEST_F(PulseSoundOutputTest, RefusesWhatItCannotPlayAndSaysWhy) {
    const std::string dir = server()->dir();
    std::ofstream(dir + "/notes.wav") << "these are not samples\n";
    levelFile("empty.wav", 0, 0.0f);
    ::mkdir((dir + "/folder.wav").c_str(), 0700);
    // One frame a second keeps files of thirty minutes small.
    const SoundFormat oneHertz{SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 1};
    levelFile("long.wav", 30 * 60 + 1, 0.5f, oneHertz);
    levelFile("33 channels.wav", 100, 0.5f, {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 33});
    levelFile("400 kHz.wav", 4000, 0.5f, {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 400000, 1});
    // Seven hours of 8 kHz mono as the header says: refused from the header, never read.
    test::writeSparseWav(dir + "/sparse long.wav", 8000, 1, 8, 200'000'000);
    EXPECT_TRUE(output->play(levelFile("longest.wav", 30 * 60, 0.5f, oneHertz), [] {}));
    output->stop();

    const struct {
        const char* name;
        const char* reason;  // a part of the refusal
    } cases[] = {
        {"missing.wav", "cannot open"},
        {"notes.wav", "not a sound file"},
        {"empty.wav", "no audio"},
        {"folder.wav", "not a regular file"},
        {"long.wav", "longer than 30 minutes"},
        {"sparse long.wav", "longer than 30 minutes"},
        {"33 channels.wav", "33 channels (at most 32)"},
        {"400 kHz.wav", "400000 Hz (at most 384000 Hz)"},
    };
    for (const auto& refused : cases) {
        bool called = false;
        const PlayStart start = output->play(dir + "/" + refused.name, [&] { called = true; });
        EXPECT_FALSE(start) << refused.name;
        EXPECT_NE(start.refusal.find(refused.reason), std::string::npos)
            << refused.name << ": " << start.refusal;
        EXPECT_FALSE(output->isPlaying()) << refused.name;
        loop.runFor(20ms);
        EXPECT_FALSE(called) << refused.name;
    }
}

// The widest format the server takes: 32 channels at 384 kHz. It plays, or the
// server fails its stream; either way the engine hears that the sound is over.
TEST_F(PulseSoundOutputTest, AFileAtTheServersLimitsEndsEitherWay) {
    const std::string path =
        levelFile("widest.wav", 384000 / 10, 0.5f, {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 384000, 32});
    std::vector<std::string> errors;
    output->onPlaybackError = [&](const std::string& detail) { errors.push_back(detail); };
    EXPECT_TRUE(playToEnd(path).has_value());
    EXPECT_FALSE(output->isPlaying());
    if (!errors.empty()) {
        std::cout << "[ measured ] the server failed the widest stream: " << errors.front() << "\n";
    }
}

// Played files are read as the server asks for them: neither a long file nor a
// header that promises gigabytes of the widest format makes memory grow.
TEST_F(PulseSoundOutputTest, MemoryDoesNotGrowWithTheLengthOfTheFile) {
    constexpr std::int64_t kGrowthLimit = 48 * 1024 * 1024;
    const struct {
        const char* name;
        std::uint32_t dataBytes;  // 8-bit, 32 channels at 384 kHz: 81 s a gigabyte
    } cases[] = {{"1 GB.wav", 1'000'000'000}, {"4 GB.wav", 4'000'000'000}};
    for (const auto& huge : cases) {
        const std::string path = server()->dir() + "/" + huge.name;
        test::writeSparseWav(path, 384000, 32, 8, huge.dataBytes);
        const std::int64_t before = residentBytes();
        bool finished = false;
        const PlayStart start = output->play(path, [&] { finished = true; });
        ASSERT_TRUE(start) << huge.name << ": " << start.refusal;
        loop.runFor(300ms);
        const std::int64_t growth = residentBytes() - before;
        output->stop();
        ::unlink(path.c_str());
        EXPECT_LT(growth, kGrowthLimit) << huge.name;
        EXPECT_FALSE(finished) << huge.name;
        std::cout << "[ measured ] resident memory growth playing " << huge.name << ": "
                  << static_cast<double>(growth) / (1024.0 * 1024.0) << " MB\n";
    }
}

// The server resamples an 8 kHz file to the sink's 48 kHz; PipeWire's pulse
// server used to drain such a stream with its last 2.6 ms still in the resampler.
TEST_F(PulseSoundOutputTest, AResampledFileIsHeardToItsLastSample) {
    constexpr double kSeconds = 0.3;
    // Resampling rings for a few samples at each edge; the lost tail was 1.2 ms
    // on the test server, 2.6 ms on a desktop's.
    constexpr double kEdgeSlack = 0.0006;
    const std::string path = levelFile("voice.wav", static_cast<std::int64_t>(8000 * kSeconds),
                                       0.5f, {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 1});
    const std::optional<double> finishedAt = playToEnd(path);
    ASSERT_TRUE(finishedAt.has_value());

    const MonitorRecorder::Recording heard = recording();
    const LevelRun run = findRun(heard, 0.5f, 0, 0.05f);
    ASSERT_TRUE(run.found());
    EXPECT_NEAR(run.seconds(), kSeconds, kEdgeSlack);
    const double endOfSound = heard.timeOf(run.last + 1);
    const double flush =
        std::chrono::duration<double>(PulseSoundOutput::kPipeWireResamplerFlush).count();
    EXPECT_GE(*finishedAt, endOfSound - kEndSlack);
    EXPECT_LT(*finishedAt, endOfSound + flush + 0.1);
    report("resampled file, length on the sink", run.seconds());
    report("resampled file, end of sound to onFinished", *finishedAt - endOfSound);
}

// A loop short of memory refuses the finish once; the finish must still come,
// or the engine would keep the transmitter keyed after the sound.
TEST_F(PulseSoundOutputTest, AFinishThatCannotBePostedIsPostedAgain) {
    const std::string path = levelFile("short.wav", kRate / 20, 0.5f);
    bool finished = false;
    ASSERT_TRUE(output->play(path, [&] { finished = true; }));
    loop.failNextPosts(1);
    ASSERT_TRUE(loop.runUntil([&] { return finished; }, 3s));
    EXPECT_FALSE(output->isPlaying());
    EXPECT_TRUE(playToEnd(path).has_value());
}

TEST_F(PulseSoundOutputTest, PlaysEveryWavFlavourAtItsOwnRateAndChannels) {
    struct Case {
        const char* name;
        SoundFormat format;
    };
    const Case cases[] = {
        {"8-bit", {SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 8000, 1}},
        {"mu-law", {SF_FORMAT_WAV | SF_FORMAT_ULAW, 8000, 1}},
        {"A-law", {SF_FORMAT_WAV | SF_FORMAT_ALAW, 8000, 1}},
        {"IMA ADPCM", {SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 11025, 1}},
        {"16-bit 16 kHz stereo", {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 16000, 2}},
        {"24-bit 44.1 kHz", {SF_FORMAT_WAV | SF_FORMAT_PCM_24, 44100, 1}},
        {"32-bit 22.05 kHz", {SF_FORMAT_WAV | SF_FORMAT_PCM_32, 22050, 2}},
        {"float", {SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, 1}},
    };
    for (const Case& format : cases) {
        const std::string path =
            levelFile("flavour.wav", format.format.rate / 5, 0.5f, format.format);
        const auto from = static_cast<std::int64_t>(recorder.snapshot().levels.size());
        ASSERT_TRUE(playToEnd(path).has_value()) << format.name;
        // Resampling rings at the edges and ADPCM takes a few samples to settle.
        const LevelRun run = findRun(recording(), 0.5f, from, 0.05f);
        EXPECT_NEAR(run.seconds(), 0.2, 0.01) << format.name;
    }
}

TEST_F(PulseSoundOutputTest, ServerLossEndsTheSoundAndPlayingResumesWhenItIsBack) {
    const std::string shortSound = levelFile("short.wav", kRate / 10, 0.5f);
    bool finished = false;
    ASSERT_TRUE(output->play(levelFile("long.wav", kRate * 3, 0.5f), [&] { finished = true; }));
    loop.runFor(200ms);
    server()->kill();
    ASSERT_TRUE(loop.runUntil([&] { return lost == 1 && finished; }, 3s))
        << "lost " << lost << ", finished " << finished;
    EXPECT_FALSE(output->isPlaying());
    EXPECT_FALSE(output->play(shortSound, [] {}));

    ASSERT_EQ(server()->start(), "");
    ASSERT_TRUE(loop.runUntil([&] { return back == 1; }, 5s));
    EXPECT_TRUE(playToEnd(shortSound).has_value());
    EXPECT_EQ(lost, 1);
}

TEST_F(PulseSoundOutputTest, StartsWithoutAServerAndConnectsWhenOneAppears) {
    const std::string sound = levelFile("short.wav", kRate / 10, 0.5f);
    output.reset();
    server()->stop();
    const double before = MonitorRecorder::nowSeconds();
    makeOutput();
    EXPECT_LT(MonitorRecorder::nowSeconds() - before,
              std::chrono::duration<double>(PulseSoundOutput::kConnectWait).count() + 0.5);
    ASSERT_TRUE(loop.runUntil([&] { return lost == 1; }, 1s));
    EXPECT_FALSE(output->serverAvailable());
    EXPECT_FALSE(output->play(sound, [] {}));

    ASSERT_EQ(server()->start(), "");
    ASSERT_TRUE(loop.runUntil([&] { return back == 1; }, 5s));
    EXPECT_TRUE(output->serverAvailable());
    EXPECT_TRUE(playToEnd(sound).has_value());
}

TEST_F(PulseSoundOutputTest, PlaysOnANamedSinkAndEndsTheSoundWhenTheSinkIsMissing) {
    const std::string sound = levelFile("short.wav", kRate / 10, 0.5f);
    output = std::make_unique<PulseSoundOutput>(loop, "pelkora_null");
    EXPECT_TRUE(playToEnd(sound).has_value());
    EXPECT_TRUE(findRun(recording(), 0.5f).found());

    // PipeWire would play it on the default sink: nothing of it may be heard
    // there, and the error must be the same as on PulseAudio.
    const auto from = static_cast<std::int64_t>(recorder.snapshot().levels.size());
    const std::string other = levelFile("other.wav", kRate / 10, 0.7f);
    output = std::make_unique<PulseSoundOutput>(loop, "no_such_sink");
    std::vector<std::string> errors;
    output->onPlaybackError = [&](const std::string& detail) { errors.push_back(detail); };
    for (int attempt = 0; attempt < 2; ++attempt) {
        bool finished = false;
        // Whether the sink exists is only known once the server answers.
        ASSERT_TRUE(output->play(other, [&] { finished = true; })) << "attempt " << attempt;
        ASSERT_TRUE(loop.runUntil([&] { return finished; }, 3s)) << "attempt " << attempt;
        EXPECT_FALSE(output->isPlaying());
        ASSERT_EQ(errors.size(), static_cast<std::size_t>(attempt + 1));
        EXPECT_NE(errors.back().find("no output named 'no_such_sink'"), std::string::npos)
            << errors.back();
    }
    EXPECT_FALSE(findRun(recording(), 0.7f, from).found());
}

// A server that has just started: PipeWire's session manager can handle the
// first stream before it has chosen a default sink, and fails it at once
// ("Input/Output error"), one run in fifteen or so here. The stream is opened
// again, so the file is still played whole and no error is reported. Several
// fresh servers in a row, so that the failure comes up in most runs of this
// test; the drain, acknowledged once the sink has rendered the last sample,
// tells that the file was played. The recorder is not used here: its own
// stream would meet the same failure.
TEST_F(PulseSoundOutputTest, AFreshServerPlaysTheFirstFileWhole) {
    constexpr int kServers = 10;
    constexpr double kSeconds = 0.1;
    const std::string sound =
        levelFile("first.wav", static_cast<std::int64_t>(kRate * kSeconds), 0.5f);
    output.reset();
    for (int round = 0; round < kServers; ++round) {
        test::PrivateSoundServer fresh;
        ASSERT_EQ(fresh.start(), "") << "round " << round;
        ::setenv("PULSE_SERVER", fresh.address().c_str(), 1);
        PulseSoundOutput first(loop);
        ::setenv("PULSE_SERVER", server()->address().c_str(), 1);
        std::vector<std::string> errors;
        first.onPlaybackError = [&](const std::string& detail) { errors.push_back(detail); };
        std::optional<double> finishedAt;
        const double playedAt = MonitorRecorder::nowSeconds();
        const PlayStart start =
            first.play(sound, [&] { finishedAt = MonitorRecorder::nowSeconds(); });
        ASSERT_TRUE(start) << "round " << round << ": " << start.refusal;
        ASSERT_TRUE(loop.runUntil([&] { return finishedAt.has_value(); }, 3s)) << "round " << round;
        EXPECT_TRUE(errors.empty()) << "round " << round << ": " << errors.front();
        EXPECT_GE(*finishedAt - playedAt, kSeconds - kEndSlack) << "round " << round;
    }
}

TEST_F(PulseSoundOutputTest, DestroyingWhilePlayingReturnsAndCallsNothingBack) {
    bool called = false;
    ASSERT_TRUE(output->play(levelFile("long.wav", kRate * 2, 0.5f), [&] { called = true; }));
    loop.runFor(50ms);
    const double before = MonitorRecorder::nowSeconds();
    output.reset();
    EXPECT_LT(MonitorRecorder::nowSeconds() - before, 0.5);
    loop.runFor(100ms);
    EXPECT_FALSE(called);
}

}  // namespace
}  // namespace pelkora
