#include "platform/speech/StarterSet.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <memory>

#include "platform/sndfile/SoundFileTools.h"
#include "sndfile/FfmpegLoudness.h"
#include "sndfile/TempDir.h"
#include "sndfile/TestWav.h"
#include "support/ChildProcess.h"

namespace pelkora {
namespace {

using namespace std::chrono_literals;
using Outcome = StarterResult::Outcome;

float peakOf(const std::vector<float>& samples) {
    float peak = 0;
    for (const float sample : samples) {
        peak = std::max(peak, std::fabs(sample));
    }
    return peak;
}

// The set is spoken once for the whole suite.
class StarterSetTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<test::TempDir>();
        std::string error;
        results_ = StarterSet::make(sound(), true, &error);
        ASSERT_FALSE(results_.empty()) << error;
    }
    static void TearDownTestSuite() { dir_.reset(); }

    static std::string sound() { return dir_->file("sound"); }

    static inline std::unique_ptr<test::TempDir> dir_;
    static inline std::vector<StarterResult> results_;
};

TEST_F(StarterSetTest, EveryCharacterIsSpokenAtTheTargetLoudness) {
    ASSERT_EQ(results_.size(), 38U);
    ASSERT_TRUE(test::FfmpegLoudness::available()) << "ffmpeg: scripts/install-deps.sh --tests";
    for (const StarterResult& result : results_) {
        SCOPED_TRACE(result.name);
        ASSERT_EQ(result.outcome, Outcome::Made) << result.error;
        const std::string path = sound() + "/" + result.name;
        const test::ReadBack back = test::readSound(path);
        EXPECT_EQ(back.info.channels, 1);
        EXPECT_GT(peakOf(back.samples), 0.1f);
        const std::optional<test::FfmpegLoudness> heard = test::FfmpegLoudness::of(path);
        ASSERT_TRUE(heard);
        EXPECT_NEAR(heard->integratedLufs, SoundFileTools::kTargetLufs, 0.5);
        EXPECT_LE(heard->truePeakDbtp, SoundFileTools::kTruePeakCeilingDbtp);
    }
    for (const char* name : {"A.wav", "Z.wav", "0.wav", "9.wav", "stroke.wav", "cq.wav"}) {
        EXPECT_TRUE(std::filesystem::exists(sound() + "/" + name)) << name;
    }
}

TEST_F(StarterSetTest, TheKeyerSpellsACallFromTheSet) {
    const test::TempDir out;
    const test::ChildProcess::Result run = test::ChildProcess::run(
        PELKORA_PLAY,
        {"--tx", "--output", "out.wav", "--call", "DL1ABC/P", "--sound-dir", sound(), "~[ec]"},
        out.path(), 60s);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    double expected = 0;
    for (const char* name : {"D", "L", "1", "A", "B", "C", "stroke", "P"}) {
        const test::ReadBack part = test::readSound(sound() + "/" + name + ".wav");
        expected += static_cast<double>(part.info.frames) / part.info.samplerate;
    }
    const test::ReadBack spelled = test::readSound(out.file("out.wav"));
    // Each file is rounded up to whole milliseconds.
    EXPECT_NEAR(static_cast<double>(spelled.info.frames) / spelled.info.samplerate, expected, 0.01);
    EXPECT_GT(peakOf(spelled.samples), 0.1f);
}

TEST_F(StarterSetTest, FilesAlreadyThereAreKeptWhateverTheirCase) {
    const std::string sound = dir_->file("again");
    std::filesystem::copy(StarterSetTest::sound(), sound);
    std::filesystem::remove(sound + "/B.wav");
    std::filesystem::rename(sound + "/C.wav", sound + "/c.wav");
    test::writeBytes(sound + "/cq.wav", "the operator's own");

    const test::ChildProcess::Result run =
        test::ChildProcess::run(PELKORA_VOICES, {"--sound-dir", sound}, sound, 60s);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("made B.wav\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("kept C.wav"), std::string::npos) << run.out;
    EXPECT_FALSE(std::filesystem::exists(sound + "/C.wav"));
    EXPECT_TRUE(std::filesystem::exists(sound + "/B.wav"));
    EXPECT_EQ(test::readSound(sound + "/c.wav").samples,
              test::readSound(StarterSetTest::sound() + "/C.wav").samples);
    std::string error;
    EXPECT_FALSE(SoundFileTools::measure(sound + "/cq.wav", &error)) << "overwritten";
}

TEST(StarterSetFailureTest, ABadDirectoryOrMissingSpeechDataIsAClearError) {
    const test::TempDir dir;
    test::writeBytes(dir.file("file"), "");
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> environment;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"--sound-dir", dir.file("file")}, {}, "file"},
        {{"--sound-dir", dir.file("new")}, {"ESPEAK_DATA_PATH=" + dir.path()}, "eSpeak NG"},
        {{}, {}, "--sound-dir"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.message);
        test::ChildProcess voices(PELKORA_VOICES, row.args, dir.path(), row.environment);
        const test::ChildProcess::Result run = voices.finish(60s);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find(row.message), std::string::npos) << run.err;
    }
}

}  // namespace
}  // namespace pelkora
