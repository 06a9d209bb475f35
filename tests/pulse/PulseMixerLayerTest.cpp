#include "platform/pulse/PulseMixerLayer.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <memory>
#include <regex>
#include <vector>

#include "platform/pulse/PulseSoundOutput.h"
#include "pulse/PrivateSoundServer.h"
#include "pulse/SoundServerSuite.h"
#include "pulse/QueuePoster.h"
#include "pulse/SoundFiles.h"

namespace pelkora {
namespace {

using namespace std::chrono_literals;

constexpr const char* kSink = "pelkora_null";
constexpr int kRate = 48000;
// What the meter reads for silence, and for a file at half scale (16384).
constexpr std::int32_t kQuiet = 300;
constexpr std::int32_t kLoud = 12000;
// PipeWire keeps volumes as floats: what it gives back can be a step or two off.
constexpr std::int64_t kVolumeSlack = 100;

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

// The raw per-channel volumes pactl prints for the sink.
std::vector<pa_volume_t> sinkVolumes() {
    const std::string text = output(std::string("pactl get-sink-volume ") + kSink);
    std::vector<pa_volume_t> volumes;
    const std::regex raw("([0-9]+) /");
    for (auto match = std::sregex_iterator(text.begin(), text.end(), raw);
         match != std::sregex_iterator(); ++match) {
        volumes.push_back(static_cast<pa_volume_t>(std::stoul((*match)[1].str())));
    }
    return volumes;
}

bool near(std::int64_t one, std::int64_t other) {
    return std::abs(one - other) <= kVolumeSlack;
}

bool sinkMuted() {
    return output(std::string("pactl get-sink-mute ") + kSink).find("yes") != std::string::npos;
}

struct RecordingListener : MixerChangeListener {
    void onLineChange(std::uint32_t, std::uint32_t lineId) override { lines.push_back(lineId); }
    void onControlChange(std::uint32_t, std::uint32_t controlId) override {
        controls.push_back(controlId);
    }
    bool toldOf(std::uint32_t controlId) const {
        return std::find(controls.begin(), controls.end(), controlId) != controls.end();
    }
    std::vector<std::uint32_t> lines;
    std::vector<std::uint32_t> controls;
};

class PulseMixerLayerTest : public test::SoundServerSuite<PulseMixerLayerTest> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(setupError().empty()) << setupError();
        // Each test starts from the sink as the server made it.
        output(std::string("pactl set-sink-volume ") + kSink + " 100%");
        output(std::string("pactl set-sink-mute ") + kSink + " 0");
        connection = std::make_unique<PulseConnection>("Pelkora test", 2s);
        layer = std::make_unique<PulseMixerLayer>(loop, *connection);
    }

    void TearDown() override {
        layer.reset();  // it may hold the sound output
        sound.reset();
        connection.reset();
    }

    std::uint32_t controlOn(const std::optional<MixerLine>& line, std::uint32_t type) const {
        EXPECT_TRUE(line.has_value());
        const std::optional<MixerControl> control =
            line ? layer->controlOfType(0, line->lineId, type) : std::nullopt;
        EXPECT_TRUE(control.has_value()) << std::hex << type;
        return control ? control->controlId : 0;
    }
    std::uint32_t playbackControl(std::uint32_t type) const {
        return controlOn(layer->destinationLine(0, 0), type);
    }
    std::uint32_t playbackSourceControl(std::uint32_t source, std::uint32_t type) const {
        return controlOn(layer->sourceLine(0, 0, source), type);
    }

    bool write(std::uint32_t controlId, std::vector<std::int32_t> values) {
        const ControlRequest request{controlId, static_cast<std::uint32_t>(values.size()), 0};
        return layer->writeValues(0, request, values);
    }
    std::int32_t read(std::uint32_t controlId) const {
        std::array<std::int32_t, 1> value = {-1};
        EXPECT_TRUE(layer->readValues(0, ControlRequest{controlId, 1, 0}, value));
        return value[0];
    }
    std::int32_t peak() const { return read(playbackControl(mixer::kPeakMeter)); }

    // Runs posted tasks until the condition holds; false when it does not within 3 s.
    bool eventually(const std::function<bool()>& condition) {
        const auto deadline = std::chrono::steady_clock::now() + 3s;
        while (std::chrono::steady_clock::now() < deadline) {
            if (condition()) {
                return true;
            }
            loop.runFor(20ms);
        }
        return condition();
    }

    void playLevel(float level, std::int64_t frames = kRate * 3) {
        const std::string path = server()->dir() + "/level.wav";
        test::writeLevelFile(path, test::SoundFormat{SF_FORMAT_WAV | SF_FORMAT_PCM_16, kRate, 1},
                             frames, level);
        if (!sound) {
            sound = std::make_unique<PulseSoundOutput>(loop, *connection);
        }
        ASSERT_TRUE(sound->play(path, [] {}));
    }

    test::QueuePoster loop;
    std::unique_ptr<PulseConnection> connection;
    std::unique_ptr<PulseMixerLayer> layer;
    std::unique_ptr<PulseSoundOutput> sound;
};

TEST_F(PulseMixerLayerTest, PresentsOneDeviceWithAServerAndNoneWithout) {
    RecordingListener listener;
    EXPECT_EQ(layer->deviceCount(), 1);
    const std::optional<MixerCaps> caps = layer->capabilities(0);
    ASSERT_TRUE(caps.has_value());
    EXPECT_EQ(caps->destinations, 2U);
    EXPECT_FALSE(caps->productName.empty());
    EXPECT_TRUE(layer->open(0, listener));
    EXPECT_FALSE(layer->open(1, listener));
    EXPECT_FALSE(layer->capabilities(1).has_value());
    layer->close(0);

    layer.reset();
    connection.reset();
    server()->stop();
    connection = std::make_unique<PulseConnection>("Pelkora test", 500ms);
    layer = std::make_unique<PulseMixerLayer>(loop, *connection);
    EXPECT_EQ(layer->deviceCount(), 0);
    EXPECT_FALSE(layer->open(0, listener));
    EXPECT_FALSE(layer->capabilities(0).has_value());
    EXPECT_FALSE(layer->destinationLine(0, 0).has_value());
    ASSERT_EQ(server()->start(), "");
}

TEST_F(PulseMixerLayerTest, ThePlaybackDestinationIsTheSinkWithTheKeyersSources) {
    const std::optional<MixerLine> playback = layer->destinationLine(0, 0);
    ASSERT_TRUE(playback.has_value());
    EXPECT_EQ(playback->channels, 2U);  // the test sink is stereo
    EXPECT_EQ(playback->connections, 2U);
    const auto controls = layer->lineControls(0, playback->lineId, playback->controls);
    ASSERT_TRUE(controls.has_value());
    ASSERT_EQ(controls->size(), 3U);
    EXPECT_EQ((*controls)[0].controlType, mixer::kVolume);
    EXPECT_EQ((*controls)[1].controlType, mixer::kMute);
    EXPECT_EQ((*controls)[2].controlType, mixer::kPeakMeter);
    EXPECT_EQ((*controls)[2].maximum, 32767);
    EXPECT_FALSE(layer->lineControls(0, playback->lineId, 2).has_value());

    const std::array<std::uint32_t, 2> components = {0x1008, mixer::kSourceMicrophone};
    for (std::uint32_t index = 0; index < components.size(); ++index) {
        const std::optional<MixerLine> line = layer->sourceLine(0, 0, index);
        ASSERT_TRUE(line.has_value()) << index;
        EXPECT_EQ(line->componentType, components[index]) << index;
        EXPECT_TRUE(layer->controlOfType(0, line->lineId, mixer::kVolume).has_value());
        EXPECT_TRUE(layer->controlOfType(0, line->lineId, mixer::kMute).has_value());
    }
    EXPECT_EQ(read(playbackSourceControl(1, mixer::kMute)), 1) << "the microphone starts muted";
    EXPECT_TRUE(layer->destinationLine(0, 1).has_value());
    EXPECT_FALSE(layer->destinationLine(0, 2).has_value());
}

TEST_F(PulseMixerLayerTest, WritesToTheSinkReachTheServer) {
    const std::uint32_t volume = playbackControl(mixer::kVolume);
    const std::uint32_t mute = playbackControl(mixer::kMute);
    struct Case {
        std::int32_t left;
        std::int32_t right;
    };
    for (const Case& each : std::array<Case, 3>{{{20000, 40000}, {0, 65535}, {65535, 65535}}}) {
        ASSERT_TRUE(write(volume, {each.left, each.right}));
        const std::array<pa_volume_t, 2> wanted = {PulseMixerState::toPulse(each.left),
                                                   PulseMixerState::toPulse(each.right)};
        const auto onServer = [&] {
            const std::vector<pa_volume_t> volumes = sinkVolumes();
            return volumes.size() == 2 && near(volumes[0], wanted[0]) &&
                   near(volumes[1], wanted[1]);
        };
        EXPECT_TRUE(eventually(onServer)) << each.left << "/" << each.right;
        std::array<std::int32_t, 2> back = {};
        ASSERT_TRUE(layer->readValues(0, ControlRequest{volume, 2, 0}, back));
        EXPECT_NEAR(back[0], each.left, kVolumeSlack);
        EXPECT_NEAR(back[1], each.right, kVolumeSlack);
    }
    for (const bool muted : {true, false}) {
        ASSERT_TRUE(write(mute, {muted ? 1 : 0}));
        EXPECT_TRUE(eventually([&] { return sinkMuted() == muted; })) << muted;
        EXPECT_EQ(read(mute), muted ? 1 : 0);
    }
}

TEST_F(PulseMixerLayerTest, ChangesOnTheServerReachTheListener) {
    RecordingListener listener;
    ASSERT_TRUE(layer->open(0, listener));
    const std::uint32_t volume = playbackControl(mixer::kVolume);
    const std::uint32_t mute = playbackControl(mixer::kMute);
    output(std::string("pactl set-sink-volume ") + kSink + " 50%");
    EXPECT_TRUE(eventually([&] { return listener.toldOf(volume); }));
    EXPECT_NEAR(read(volume), 32768, kVolumeSlack);
    output(std::string("pactl set-sink-mute ") + kSink + " 1");
    EXPECT_TRUE(eventually([&] { return listener.toldOf(mute); }));
    EXPECT_EQ(read(mute), 1);

    // Nothing reaches a listener once its device is closed.
    layer->close(0);
    listener.controls.clear();
    output(std::string("pactl set-sink-mute ") + kSink + " 0");
    loop.runFor(300ms);
    EXPECT_TRUE(listener.controls.empty());
}

TEST_F(PulseMixerLayerTest, ThePeakMeterFollowsWhatTheSinkPlays) {
    EXPECT_LT(peak(), kQuiet);
    playLevel(0.5f);
    EXPECT_TRUE(eventually([&] { return peak() > kLoud; })) << peak();
    EXPECT_LE(peak(), 32767);
    sound->stop();
    EXPECT_TRUE(eventually([&] { return peak() < kQuiet; })) << peak();
}

// At half the mixer's scale the stream is at half of PA_VOLUME_NORM, which
// the server hears as the cube: an eighth of the amplitude.
TEST_F(PulseMixerLayerTest, TheWaveLevelIsKeptForTheKeyersStream) {
    sound = std::make_unique<PulseSoundOutput>(loop, *connection);
    layer = std::make_unique<PulseMixerLayer>(loop, *connection, "", "", sound.get());
    const std::uint32_t volume = playbackSourceControl(0, mixer::kVolume);
    const std::uint32_t mute = playbackSourceControl(0, mixer::kMute);
    ASSERT_TRUE(write(volume, {32768, 32768}));
    // The meter runs from here on, as the window's does from its start: on
    // PipeWire (0.3.65) a peak stream opened while the keyer's stream starts
    // can read silence throughout.
    EXPECT_LT(peak(), kQuiet);
    playLevel(0.8f);  // 0.1 of full scale once the level is applied: 3277
    EXPECT_TRUE(eventually([&] { return peak() > 2500 && peak() < 4000; })) << peak();
    ASSERT_TRUE(write(mute, {1}));
    EXPECT_TRUE(eventually([&] { return peak() < kQuiet; })) << peak();
    EXPECT_FALSE(sinkMuted()) << "the keyer's stream, not the sink";
    ASSERT_TRUE(write(mute, {0}));
    EXPECT_TRUE(eventually([&] { return peak() > 2500; })) << peak();
}

TEST_F(PulseMixerLayerTest, TheMicrophoneReachesTheSinkOnlyWhileItsPathIsOpen) {
    const std::string module =
        output("pactl load-module module-sine-source source_name=pelkora_sine");
    if (module.find_first_not_of("0123456789\n") != std::string::npos) {
        GTEST_SKIP() << "the server has no sine source: " << module;
    }
    output("pactl set-default-source pelkora_sine");
    layer.reset();
    layer = std::make_unique<PulseMixerLayer>(loop, *connection);
    const std::optional<MixerLine> recording = layer->destinationLine(0, 1);
    ASSERT_TRUE(recording.has_value());
    EXPECT_EQ(recording->connections, 1U);
    EXPECT_EQ(layer->sourceLine(0, 1, 0)->componentType, mixer::kSourceMicrophone);

    loop.runFor(300ms);
    EXPECT_LT(peak(), kQuiet) << "muted at the start";
    const std::uint32_t mute = playbackSourceControl(1, mixer::kMute);
    ASSERT_TRUE(write(mute, {0}));
    EXPECT_TRUE(eventually([&] { return peak() > 1000; })) << peak();
    // The sine source hands over two seconds at a time, as a source of fixed
    // latency does: all of each block must reach the sink, not the first few
    // milliseconds of it. Read as the window's bar does, over more than a block.
    int loud = 0;
    int reads = 0;
    for (const auto end = std::chrono::steady_clock::now() + 2500ms;
         std::chrono::steady_clock::now() < end; ++reads) {
        loud += peak() > 1000 ? 1 : 0;
        loop.runFor(50ms);
    }
    EXPECT_GE(loud * 10, reads * 9) << loud << " of " << reads << " reads show the tone";
    ASSERT_TRUE(write(mute, {1}));
    EXPECT_TRUE(eventually([&] { return peak() < kQuiet; })) << peak();
    output("pactl unload-module " + module);
}

// Ready and lost handlers of a subscriber, counted on the libpulse thread.
struct Counting {
    std::atomic<int> ready{0};
    std::atomic<int> recovered{0};
    std::atomic<int> lost{0};
    PulseConnection* joined = nullptr;
    PulseConnection::SubscriptionId id = 0;

    Counting() = default;
    Counting(const Counting&) = delete;
    Counting& operator=(const Counting&) = delete;
    ~Counting() {
        if (joined != nullptr) {
            joined->unsubscribe(id);
        }
    }

    void join(PulseConnection& connection) {
        joined = &connection;
        id = connection.subscribe(
            [this](pa_context*, bool again) {
                ++ready;
                recovered += again ? 1 : 0;
            },
            [this](const std::string&) { ++lost; });
    }
};

TEST_F(PulseMixerLayerTest, ALostServerIsToldOnceToEverySubscriber) {
    std::array<Counting, 3> subscribers;
    for (Counting& each : subscribers) {
        each.join(*connection);
        EXPECT_EQ(each.ready.load(), 1) << "told at once that the server is there";
    }
    sound = std::make_unique<PulseSoundOutput>(loop, *connection);
    int soundLost = 0;
    int soundBack = 0;
    sound->onServerLost = [&](const std::string&) { ++soundLost; };
    sound->onServerBack = [&](const std::string&) { ++soundBack; };

    server()->kill();
    // Long enough for two retries, none of which may be told again.
    loop.runFor(PulseConnection::kRetryInterval * 5 / 2);
    for (const Counting& each : subscribers) {
        EXPECT_EQ(each.lost.load(), 1);
    }
    EXPECT_EQ(soundLost, 1);
    EXPECT_FALSE(layer->destinationLine(0, 0).has_value());
    Counting late;
    late.join(*connection);
    EXPECT_EQ(late.lost.load(), 1) << "told at once that the server is gone";

    ASSERT_EQ(server()->start(), "");
    EXPECT_TRUE(eventually([&] { return soundBack == 1 && layer->destinationLine(0, 0); }));
    for (const Counting& each : subscribers) {
        EXPECT_EQ(each.ready.load(), 2);
        EXPECT_EQ(each.recovered.load(), 1);
        EXPECT_EQ(each.lost.load(), 1);
    }
}

}  // namespace
}  // namespace pelkora
