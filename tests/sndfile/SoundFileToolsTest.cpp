#include "platform/sndfile/SoundFileTools.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>

#include "platform/sndfile/TakeWriter.h"
#include "sndfile/FfmpegLoudness.h"
#include "sndfile/TempDir.h"
#include "sndfile/TestWav.h"

namespace pelkora {
namespace {

std::string bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

float amplitude(double dbfs) {
    return static_cast<float>(std::pow(10.0, dbfs / 20.0));
}

// A 1 kHz tone with some noise under it, peaking near peakDbfs, between
// `silentBefore` and `silentAfter` seconds of digital silence.
test::SampleAt voice(int rate, double peakDbfs, double silentBefore = 0, double seconds = 1e9) {
    return [=](std::int64_t frame, int) {
        const double t = static_cast<double>(frame) / rate - silentBefore;
        if (t < 0 || t >= seconds) {
            return 0.0f;
        }
        const auto noise =
            static_cast<float>(static_cast<double>(frame * 7919 % 2003) / 1001.5 - 1.0);
        return amplitude(peakDbfs) *
               (0.8f * static_cast<float>(std::sin(2 * std::numbers::pi * 1000 * t)) +
                0.2f * noise);
    };
}

void expectOnTarget(const std::string& path, bool exact = true) {
    ASSERT_TRUE(test::FfmpegLoudness::available()) << "ffmpeg: scripts/install-deps.sh --tests";
    const std::optional<test::FfmpegLoudness> heard = test::FfmpegLoudness::of(path);
    ASSERT_TRUE(heard);
    if (exact) {
        EXPECT_NEAR(heard->integratedLufs, SoundFileTools::kTargetLufs, 0.5);
    } else {
        EXPECT_LT(heard->integratedLufs, SoundFileTools::kTargetLufs - 0.5);
    }
    EXPECT_LE(heard->truePeakDbtp, SoundFileTools::kTruePeakCeilingDbtp);
}

struct LevelCase {
    std::string name;
    test::SoundFormat format;
    test::SampleAt sample;
    bool reachesTarget;
};

TEST(SoundFileToolsTest, NormaliseBringsEveryFileToTheTargetUnderTheCeiling) {
    const int peaky = 48000;
    const std::vector<LevelCase> cases = {
        {"quiet", {48000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16}, voice(48000, -30), true},
        {"loud stereo float", {44100, 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT}, voice(44100, -6), true},
        {"8 kHz", {8000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16}, voice(8000, -20), true},
        // Clicks far over a quiet tone: the peaks stop the gain short of the target.
        {"peaky",
         {peaky, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_24},
         [tone = voice(peaky, -40)](std::int64_t frame, int channel) {
             return frame % (peaky / 10) == 0 ? 0.7f : tone(frame, channel);
         },
         false},
    };
    for (const LevelCase& row : cases) {
        SCOPED_TRACE(row.name);
        test::TempDir dir;
        const std::string path = dir.file("cq.wav");
        test::writeSound(path, row.format, 3 * row.format.rate, row.sample);
        const std::string original = bytesOf(path);
        std::string error;
        ASSERT_TRUE(SoundFileTools::normalise(path, &error)) << error;

        const test::ReadBack back = test::readSound(path);
        EXPECT_EQ(back.info.channels, 1);
        EXPECT_EQ(back.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
        EXPECT_EQ(back.info.samplerate, std::max(row.format.rate, TakeWriter::kLowestRate));
        expectOnTarget(path, row.reachesTarget);
        EXPECT_EQ(bytesOf(TakeWriter::undoPathOf(path)), original);
        const std::optional<SoundFileFacts> facts = SoundFileTools::measure(path, &error);
        ASSERT_TRUE(facts) << error;
        EXPECT_NEAR(facts->seconds, 3.0, 0.001);
        if (row.reachesTarget) {
            EXPECT_NEAR(facts->loudnessLufs, SoundFileTools::kTargetLufs, 0.5);
        }
    }
}

TEST(SoundFileToolsTest, TrimKeepsTheToneAndAMarginAndLeavesItsLevel) {
    test::TempDir dir;
    const std::string path = dir.file("A.wav");
    test::writeSound(path, {48000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16}, 48000 * 7 / 2,
                     voice(48000, -12, 1.0, 1.0));
    const std::vector<float> original = test::readSound(path).samples;
    std::string error;
    ASSERT_TRUE(SoundFileTools::trim(path, &error)) << error;

    const std::vector<float> kept = test::readSound(path).samples;
    EXPECT_NEAR(static_cast<double>(kept.size()), 1.2 * 48000, 48);
    const auto loudest = [](const std::vector<float>& samples, double from, double to) {
        float peak = 0;
        for (auto i = static_cast<std::size_t>(from * 48000);
             i < static_cast<std::size_t>(to * 48000); ++i) {
            peak = std::max(peak, std::fabs(samples.at(i)));
        }
        return peak;
    };
    EXPECT_EQ(loudest(kept, 0.0, 0.099), 0.0f);
    EXPECT_EQ(loudest(kept, 1.101, 1.2), 0.0f);
    EXPECT_EQ(loudest(kept, 0.1, 1.1), loudest(original, 0.0, 3.5));

    // Nothing left to cut: the file and its undo copy stay as they are.
    const std::string trimmed = bytesOf(path);
    ASSERT_TRUE(SoundFileTools::trim(path, &error)) << error;
    EXPECT_EQ(bytesOf(path), trimmed);
    EXPECT_NE(bytesOf(TakeWriter::undoPathOf(path)), trimmed);
}

struct OddCase {
    std::string name;
    std::int64_t frames;
    test::SampleAt sample;
    bool normalises;
    std::string error;  // part of it
};

TEST(SoundFileToolsTest, SilentShortAndBrokenFilesGetAClearAnswer) {
    const int rate = 16000;
    const std::vector<OddCase> cases = {
        {"silence", 2 * rate, voice(rate, -200), false, "silent"},
        {"5 ms", rate / 200, voice(rate, -6), false, "too short"},
        {"300 ms, short of one loudness block", rate * 3 / 10, voice(rate, -30), true, ""},
        {"no frames", 0, voice(rate, -6), false, ""},
    };
    for (const OddCase& row : cases) {
        SCOPED_TRACE(row.name);
        test::TempDir dir;
        const std::string path = dir.file("x.wav");
        test::writeSound(path, {rate, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16}, row.frames, row.sample);
        std::string error;
        if (const std::optional<SoundFileFacts> facts = SoundFileTools::measure(path, &error)) {
            EXPECT_TRUE(std::isfinite(facts->peakDbfs) && std::isfinite(facts->loudnessLufs));
            EXPECT_GE(facts->loudnessLufs, -200);
        }
        error.clear();
        EXPECT_EQ(SoundFileTools::normalise(path, &error), row.normalises) << error;
        EXPECT_NE(error.find(row.error), std::string::npos) << error;
        EXPECT_EQ(row.normalises, TakeWriter::canUndo(path));
        if (row.normalises) {
            expectOnTarget(path);
        }
    }
    test::TempDir dir;
    test::writeBytes(dir.file("notes.wav"), "not a sound");
    std::string error;
    EXPECT_FALSE(SoundFileTools::measure(dir.file("notes.wav"), &error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(SoundFileTools::trim(dir.file("missing.wav"), &error));
    EXPECT_FALSE(error.empty());
}

TEST(SoundFileToolsTest, NormaliseAllTakesEveryWavAndLeavesTheRest) {
    test::TempDir dir;
    test::writeSound(dir.file("a.wav"), {16000, 1}, 48000, voice(16000, -30));
    test::writeSound(dir.file("B.WAV"), {22050, 2}, 66150, voice(22050, -6));
    test::writeSound(dir.file("silent.wav"), {16000, 1}, 16000, voice(16000, -200));
    test::writeSound(dir.file(".x.wav.undo"), {16000, 1}, 16000, voice(16000, -3));
    test::writeBytes(dir.file("notes.txt"), "73");
    std::filesystem::create_directory(dir.file("folder.wav"));
    const std::string undo = bytesOf(dir.file(".x.wav.undo"));

    for (const bool again : {false, true}) {
        SCOPED_TRACE(again ? "second run" : "first run");
        std::string error;
        const std::vector<SoundFileResult> results =
            SoundFileTools::normaliseAll(dir.path(), &error);
        ASSERT_EQ(results.size(), 3U) << error;
        EXPECT_EQ(results[0].name, "B.WAV");
        EXPECT_EQ(results[1].name, "a.wav");
        EXPECT_EQ(results[2].name, "silent.wav");
        EXPECT_TRUE(results[0].ok && results[1].ok) << results[0].error << results[1].error;
        // Already on target the second time: not rewritten, the undo copy kept.
        EXPECT_EQ(results[0].changed && results[1].changed, !again);
        EXPECT_FALSE(results[2].ok || results[2].changed);
        EXPECT_NE(results[2].error.find("silent"), std::string::npos);
    }
    expectOnTarget(dir.file("a.wav"));
    expectOnTarget(dir.file("B.WAV"));
    EXPECT_EQ(bytesOf(dir.file(".x.wav.undo")), undo);
    EXPECT_EQ(bytesOf(dir.file("notes.txt")), "73");
    std::string error;
    EXPECT_TRUE(SoundFileTools::normaliseAll(dir.file("missing"), &error).empty());
    EXPECT_NE(error.find("missing"), std::string::npos);
}

}  // namespace
}  // namespace pelkora
