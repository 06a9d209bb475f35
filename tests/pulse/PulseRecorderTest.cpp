#include "platform/pulse/PulseRecorder.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/sndfile/SndfileWavProbe.h"
#include "platform/sndfile/TakeWriter.h"
#include "pulse/PrivateSoundServer.h"
#include "pulse/SoundServerSuite.h"
#include "pulse/QueuePoster.h"

namespace pelkora {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr const char* kSource = "pelkora_sine";
constexpr double kToneHz = 1000;
constexpr int kRate = PulseRecorder::kDefaultRate;

std::string output(const std::string& command) {
    std::string text;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return text;
    }
    std::array<char, 256> buffer{};
    while (::fgets(buffer.data(), static_cast<int>(buffer.size()), pipe) != nullptr) {
        text += buffer.data();
    }
    ::pclose(pipe);
    return text;
}

std::string bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::set<std::string> entries(const std::string& directory) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

std::uint32_t littleEndian(const std::string& bytes, std::size_t at, int count) {
    std::uint32_t value = 0;
    for (int index = count - 1; index >= 0; --index) {
        value =
            value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(index)]);
    }
    return value;
}

// RIFF, a 16-byte fmt chunk of mono 16-bit PCM at kRate, data: 44 bytes, then the samples.
void expectCanonicalHeader(const std::string& bytes) {
    ASSERT_GE(bytes.size(), 44U);
    EXPECT_EQ(bytes.substr(0, 4), "RIFF");
    EXPECT_EQ(littleEndian(bytes, 4, 4), bytes.size() - 8);
    EXPECT_EQ(bytes.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(littleEndian(bytes, 16, 4), 16U);
    EXPECT_EQ(littleEndian(bytes, 20, 2), 1U);  // PCM
    EXPECT_EQ(littleEndian(bytes, 22, 2), 1U);  // mono
    EXPECT_EQ(littleEndian(bytes, 24, 4), static_cast<std::uint32_t>(kRate));
    EXPECT_EQ(littleEndian(bytes, 28, 4), static_cast<std::uint32_t>(kRate * 2));
    EXPECT_EQ(littleEndian(bytes, 32, 2), 2U);
    EXPECT_EQ(littleEndian(bytes, 34, 2), 16U);
    EXPECT_EQ(bytes.substr(36, 4), "data");
    EXPECT_EQ(littleEndian(bytes, 40, 4), bytes.size() - 44);
}

std::vector<float> samplesOf(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        return {};
    }
    std::vector<float> samples(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    return samples;
}

// Rising zero crossings per second: the frequency of a clean tone.
double toneHz(const std::vector<float>& samples) {
    int rising = 0;
    for (std::size_t index = 1; index < samples.size(); ++index) {
        rising += samples[index - 1] < 0 && samples[index] >= 0 ? 1 : 0;
    }
    return samples.empty()
               ? 0
               : rising * static_cast<double>(kRate) / static_cast<double>(samples.size());
}

class PulseRecorderTest : public test::SoundServerSuite<PulseRecorderTest> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(setupError().empty()) << setupError();
        dir_ = server()->dir() + "/takes";
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        path_ = dir_ + "/cq.wav";
        connection_ = std::make_unique<PulseConnection>("Pelkora test", 2s);
    }

    void TearDown() override {
        recorder_.reset();
        connection_.reset();
        unloadSource();
    }

    // The tone as the default source; false (the reason in module_) when the
    // server has no such module, as PipeWire's pulse service has not.
    bool loadSource() {
        module_ = output(std::string("pactl load-module module-sine-source source_name=") +
                         kSource + " frequency=1000");
        if (module_.empty() || module_.find_first_not_of("0123456789\n") != std::string::npos) {
            return false;
        }
        output(std::string("pactl set-default-source ") + kSource);
        return true;
    }

    // A recording already under the name, made without the server.
    std::string earlierTake() const {
        TakeWriter writer;
        const std::vector<float> samples(800, 0.25f);
        EXPECT_TRUE(writer.open(path_, kRate, nullptr) &&
                    writer.write(samples.data(), 800, nullptr) && writer.finish(nullptr));
        return bytesOf(path_);
    }

    void unloadSource() {
        if (!module_.empty()) {
            output("pactl unload-module " + module_);
            module_.clear();
        }
    }

    PulseRecorder& recorder(const std::string& source = {}) {
        recorder_ = std::make_unique<PulseRecorder>(loop_, *connection_, source);
        recorder_->onTakeEnded = [this](const std::string& why) { ended_.push_back(why); };
        return *recorder_;
    }

    // Records for `length`, reading the level as a bar would; the loudest it read.
    std::int32_t hold(std::chrono::milliseconds length) {
        std::int32_t loudest = 0;
        const auto end = std::chrono::steady_clock::now() + length;
        for (auto now = std::chrono::steady_clock::now(); now < end;
             now = std::chrono::steady_clock::now()) {
            loop_.runFor(std::min<std::chrono::milliseconds>(
                20ms, std::chrono::duration_cast<std::chrono::milliseconds>(end - now)));
            loudest = std::max(loudest, recorder_->readPeak());
        }
        return loudest;
    }

    std::string take(std::chrono::milliseconds length) {
        std::string error;
        if (!recorder_->start(path_, &error)) {
            return error;
        }
        hold(length);
        return recorder_->stop(&error) ? std::string() : error;
    }

    test::QueuePoster loop_;
    std::unique_ptr<PulseConnection> connection_;
    std::unique_ptr<PulseRecorder> recorder_;
    std::vector<std::string> ended_;
    std::string module_;
    std::string dir_;
    std::string path_;
};

TEST_F(PulseRecorderTest, RecordsTheToneOfTheDefaultSourceForAsLongAsTheKeyIsHeld) {
    if (!loadSource()) {
        GTEST_SKIP() << "the server has no sine source: " << module_;
    }
    recorder();
    std::string error;
    ASSERT_TRUE(recorder_->start(path_, &error)) << error;
    EXPECT_TRUE(recorder_->isRecording());
    const std::int32_t loudest = hold(1500ms);
    ASSERT_TRUE(recorder_->stop(&error)) << error;

    EXPECT_FALSE(recorder_->isRecording());
    EXPECT_GT(loudest, 1000) << "the level bar saw the tone";
    const std::string bytes = bytesOf(path_);
    expectCanonicalHeader(bytes);
    const std::vector<float> samples = samplesOf(path_);
    EXPECT_NEAR(static_cast<double>(samples.size()), 1.5 * kRate, 0.030 * kRate);
    EXPECT_NEAR(toneHz(samples), kToneHz, kToneHz * 0.05);
    EXPECT_GT(*std::max_element(samples.begin(), samples.end()), 0.03f);

    SndfileWavProbe probe;
    const auto facts = probe.probe(path_);
    ASSERT_TRUE(facts && facts->decodedSeconds);
    EXPECT_NEAR(*facts->decodedSeconds, 1.5, 0.030);
    EXPECT_EQ(facts->bytesPerSecond, static_cast<std::uint32_t>(kRate * 2));
    EXPECT_EQ(entries(dir_), std::set<std::string>{"cq.wav"});
    EXPECT_TRUE(ended_.empty());
}

TEST_F(PulseRecorderTest, UndoPutsTheEarlierTakeBackByteForByte) {
    if (!loadSource()) {
        GTEST_SKIP() << "the server has no sine source: " << module_;
    }
    recorder();
    ASSERT_EQ(take(300ms), "");
    const std::string first = bytesOf(path_);
    ASSERT_EQ(take(600ms), "");
    const std::string second = bytesOf(path_);
    expectCanonicalHeader(second);
    EXPECT_GT(second.size(), first.size());
    EXPECT_EQ(entries(dir_), (std::set<std::string>{"cq.wav", ".cq.wav.undo"}));

    std::string error;
    ASSERT_TRUE(TakeWriter::undo(path_, &error)) << error;
    EXPECT_EQ(bytesOf(path_), first);
    EXPECT_EQ(entries(dir_), std::set<std::string>{"cq.wav"});
}

TEST_F(PulseRecorderTest, ATakeStoppedAtOnceKeepsTheEarlierRecording) {
    if (!loadSource()) {
        GTEST_SKIP() << "the server has no sine source: " << module_;
    }
    recorder();
    const std::string earlier = earlierTake();
    std::string error;
    ASSERT_TRUE(recorder_->start(path_, &error)) << error;
    EXPECT_FALSE(recorder_->start(path_, &error)) << "one take at a time";
    EXPECT_NE(error.find("already"), std::string::npos) << error;
    recorder_->cancel();
    EXPECT_FALSE(recorder_->isRecording());
    EXPECT_FALSE(recorder_->stop(&error));
    EXPECT_EQ(bytesOf(path_), earlier);
    EXPECT_EQ(entries(dir_), std::set<std::string>{"cq.wav"});
}

TEST_F(PulseRecorderTest, ASourceTheServerLacksIsRefusedAtTheStart) {
    const std::string earlier = earlierTake();
    recorder("pelkora_no_such_source");
    std::string error;
    EXPECT_FALSE(recorder_->start(path_, &error));
    EXPECT_NE(error.find("pelkora_no_such_source"), std::string::npos) << error;
    EXPECT_FALSE(recorder_->isRecording());
    EXPECT_EQ(bytesOf(path_), earlier);
    EXPECT_EQ(entries(dir_), std::set<std::string>{"cq.wav"});
}

TEST_F(PulseRecorderTest, ASourceThatGoesAwayMidTakeEndsItAndKeepsTheEarlierRecording) {
    if (!loadSource()) {
        GTEST_SKIP() << "the server has no sine source: " << module_;
    }
    recorder(kSource);
    const std::string earlier = earlierTake();
    std::string error;
    ASSERT_TRUE(recorder_->start(path_, &error)) << error;
    hold(300ms);

    unloadSource();
    ASSERT_TRUE(loop_.runUntil([this] { return !ended_.empty(); }, 3s));
    EXPECT_NE(ended_.front().find(kSource), std::string::npos) << ended_.front();
    EXPECT_NE(ended_.front().find("earlier recording kept"), std::string::npos) << ended_.front();
    EXPECT_FALSE(recorder_->isRecording());
    EXPECT_FALSE(recorder_->stop(&error));
    EXPECT_EQ(bytesOf(path_), earlier);
    EXPECT_EQ(entries(dir_), std::set<std::string>{"cq.wav"});
}

// The operator stops the take after the source went, before the news of it
// reached the loop: the take is still dropped, not kept with its hole.
TEST_F(PulseRecorderTest, AStopAfterTheSourceWentDropsTheTake) {
    if (!loadSource()) {
        GTEST_SKIP() << "the server has no sine source: " << module_;
    }
    recorder(kSource);
    const std::string earlier = earlierTake();
    std::string error;
    ASSERT_TRUE(recorder_->start(path_, &error)) << error;
    hold(300ms);
    unloadSource();
    std::this_thread::sleep_for(500ms);  // the loop runs nothing meanwhile

    EXPECT_FALSE(recorder_->stop(&error));
    EXPECT_NE(error.find("dropped"), std::string::npos) << error;
    loop_.runFor(100ms);
    EXPECT_TRUE(ended_.empty()) << "told twice: " << ended_.front();
    EXPECT_EQ(bytesOf(path_), earlier);
    EXPECT_EQ(entries(dir_), std::set<std::string>{"cq.wav"});
}

TEST_F(PulseRecorderTest, ADiskThatFillsUpMidTakeEndsItAndKeepsTheEarlierRecording) {
    if (!loadSource()) {
        GTEST_SKIP() << "the server has no sine source: " << module_;
    }
    recorder();
    const std::string earlier = earlierTake();
    std::string error;
    ASSERT_TRUE(recorder_->start(path_, &error)) << error;
    {
        // The process may write no more than a few blocks, as on a full disk.
        rlimit saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        const sighandler_t previous = ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved;
        limit.rlim_cur = 8 * 1024;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        loop_.runUntil([this] { return !ended_.empty(); }, 3s);
        ::setrlimit(RLIMIT_FSIZE, &saved);
        ::signal(SIGXFSZ, previous);
    }
    ASSERT_FALSE(ended_.empty()) << "a take of " << recorder_->frames() << " frames went on";
    EXPECT_NE(ended_.front().find("could not be written"), std::string::npos) << ended_.front();
    EXPECT_FALSE(recorder_->isRecording());
    EXPECT_EQ(bytesOf(path_), earlier);
    EXPECT_EQ(entries(dir_), std::set<std::string>{"cq.wav"});
}

TEST_F(PulseRecorderTest, WithoutAServerNothingIsRecorded) {
    connection_.reset();
    server()->stop();
    connection_ = std::make_unique<PulseConnection>("Pelkora test", 500ms);
    recorder();
    const std::string earlier = earlierTake();
    std::string error;
    EXPECT_FALSE(recorder_->start(path_, &error));
    EXPECT_NE(error.find("not running"), std::string::npos) << error;
    EXPECT_EQ(bytesOf(path_), earlier);
    EXPECT_EQ(entries(dir_), std::set<std::string>{"cq.wav"});
    recorder_.reset();
    connection_.reset();
    ASSERT_EQ(server()->start(), "");
}

}  // namespace
}  // namespace pelkora
