#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "KeyerFixture.h"
#include "MixerScene.h"
#include "core/mixer/MicrophoneMode.h"
#include "core/mixer/TAudioMixer.h"
#include "platform/fake/FakeMixerLayer.h"

namespace pelkora::test {
namespace {

using Texts = std::vector<std::string>;

class RecordingHost : public MicrophoneHost {
  public:
    void showInformation(const std::string& message) override { messages.push_back(message); }
    void setMikeEnabled(bool enabled) override { mikeEnabled = enabled; }
    void setCaption(const std::string& text) override { caption = text; }
    Texts messages;
    bool mikeEnabled = true;
    std::string caption = "Pelkora";
};

class MicrophoneModeTest : public KeyerFixture {
  protected:
    // The mixer takes its snapshot here: script the fake before.
    void start() {
        mixer = std::make_unique<TAudioMixer>(fake);
        mode = std::make_unique<MicrophoneMode>(*mixer, engine, log, host);
        mode->FindMicrophoneLines();
        fake.clearAccesses();
    }
    // A card whose sources have these component types; a playback microphone
    // gets a mute switch holding `outMute`.
    void card(const std::vector<std::uint32_t>& playback,
              const std::vector<std::uint32_t>& recording, std::int32_t outMute = 1) {
        scene.device = fake.addDevice();
        fake.addDestination(scene.device, MixerScene::line(2, 0));
        fake.addDestination(scene.device, MixerScene::line(2, 0));
        for (const auto type : playback) {
            const auto line = scene.source(0, type, 1);
            if (type == mixer::kSourceMicrophone) {
                scene.control(line, "out" + std::to_string(line), mixer::kMute, mixer::kUniform, 0,
                              {outMute});
            }
        }
        for (const auto type : recording) {
            scene.source(1, type, 1);
        }
    }
    Texts writes() const { return scene.writes(); }

    FakeMixerLayer fake;
    MixerScene scene{fake, false};
    RecordingHost host;
    std::unique_ptr<TAudioMixer> mixer;
    std::unique_ptr<MicrophoneMode> mode;
};

TEST_F(MicrophoneModeTest, FindsTheLastMicrophoneOnEachSide) {
    constexpr std::uint32_t mic = mixer::kSourceMicrophone;
    constexpr std::uint32_t line = mixer::kSourceLine;
    struct Case {
        std::string name;
        std::vector<std::uint32_t> playback, recording;
        std::int32_t outMute;
        std::int32_t mikeId, mikeOutId;
        bool saved;
    };
    const std::vector<Case> cases = {
        {"one each", {MixerScene::kWave, mic, line}, {line, MixerScene::kCd, mic}, 1, 2, 1, true},
        {"playback microphone unmuted", {mic}, {mic}, 0, 0, 0, false},
        {"two recording microphones", {line}, {line, mic, line, mic}, 1, 3, 0, false},
        {"none", {line, line}, {line}, 1, 0, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fake = FakeMixerLayer();
        card(c.playback, c.recording, c.outMute);
        start();
        EXPECT_EQ(mode->iMikeId(), c.mikeId);
        EXPECT_EQ(mode->iMikeOutId(), c.mikeOutId);
        EXPECT_EQ(mode->SavedMikeOutMute(), c.saved);
        EXPECT_TRUE(mode->mixerAvailable());
        EXPECT_TRUE(host.messages.empty());
        mode.reset();
        mixer.reset();
    }
}

TEST_F(MicrophoneModeTest, LogsTheSearch) {
    scene.buildCard();
    start();
    EXPECT_EQ(
        log.lines(),
        (Texts{"Mixer.MixerCount=1", "Mixer.Destinations[1].Connections.Count=4", "i=0",
               "Mixer.Destinations[1].Connections[0].Data.dwComponentType=4098", "i=1",
               "Mixer.Destinations[1].Connections[1].Data.dwComponentType=4101", "i=2",
               "Mixer.Destinations[1].Connections[2].Data.dwComponentType=4099", "iMikeId=2", "i=3",
               "Mixer.Destinations[1].Connections[3].Data.dwComponentType=4105",
               "Mixer.Destinations[0].Connections.Count=3",
               "Mixer.Destinations[0].Connections[0].Data.dwComponentType=4104",
               "Mixer.Destinations[0].Connections[1].Data.dwComponentType=4099", "iMikeOutId=1",
               "i=1", "Mixer.Destinations[0].Connections[2].Data.dwComponentType=4098"}));
}

TEST_F(MicrophoneModeTest, AMissingUnopenedOrOneSidedMixerCountsAsNone) {
    struct Case {
        std::string name;
        std::function<void(FakeMixerLayer&)> script;
    };
    const std::vector<Case> cases = {
        {"no device", [](FakeMixerLayer&) {}},
        {"device does not open", [](FakeMixerLayer& f) { MixerScene(f).layer.failOpen(0); }},
        {"one destination",
         [](FakeMixerLayer& f) {
             MixerScene s(f, false);
             s.device = f.addDevice();
             const auto d = f.addDestination(s.device, MixerScene::line(2, 0));
             s.control(d, "vol", mixer::kVolume, 0, 0, {5, 5});
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fake = FakeMixerLayer();
        c.script(fake);
        host = RecordingHost();
        start();
        EXPECT_EQ(host.messages, (Texts{"No mixer present in the system!"}));
        EXPECT_FALSE(host.mikeEnabled);
        EXPECT_FALSE(mode->mixerAvailable());
        EXPECT_EQ(mode->iMikeId(), 0);
        EXPECT_EQ(mode->iMikeOutId(), 0);
        // Nothing acts on the mixer and nothing keys the transmitter.
        mode->setMikeButton(true);
        mode->setLineVolume(600);
        mode->setMikeVolume(800);
        mode->showRegulators();
        mode->restoreMikeMute();
        EXPECT_FALSE(mode->mikeDown());
        EXPECT_FALSE(engine.txDown());
        EXPECT_TRUE(fake.writes().empty());
        EXPECT_EQ(fake.contractViolations(), 0);
        mode.reset();
        mixer.reset();
    }
}

TEST_F(MicrophoneModeTest, EnteringRoutesTheMicrophoneAndKeysLast) {
    scene.buildCard();
    start();
    mode->setMikeButton(true);
    EXPECT_EQ(mode->MikeVolume(), 900);
    EXPECT_EQ(mode->LineVolume(), 300);
    EXPECT_EQ(writes(), (Texts{// the Mike slider moved from 0 to 900: its handler runs
                               "mic.vol=900", "rec.mux=0,0,0,0", "micout.vol=900", "micout.mute=0",
                               // recording side unmuted (through the MUX) and set
                               "rec.mux=0,0,0,0", "mic.vol=900", "rec.mux=0,0,0,0",
                               // playback side unmuted and set
                               "micout.mute=0", "micout.vol=900", "micout.mute=0",
                               // the Line slider moved to the master's left volume
                               "master.vol=300,300", "master.mute=0", "master.mute=0"}));
    EXPECT_EQ(host.caption, "Pelkora (Microphone mode)");
    EXPECT_TRUE(engine.txDown());
    EXPECT_EQ(recorder.only({"ptt"}), (Texts{"0 ptt off", "0 ptt on"}));
    EXPECT_EQ(Texts(log.lines().end() - 2, log.lines().end()),
              (Texts{"VolForm.MikeVolume.Value=900", "VolForm.LineVolume.Value=300"}));
}

TEST_F(MicrophoneModeTest, LeavingMutesThePlaybackMicrophoneAndReleases) {
    scene.buildCard();
    start();
    mode->setMikeButton(true);
    fake.clearAccesses();
    mode->setMikeButton(false);
    EXPECT_EQ(writes(), (Texts{"micout.mute=1"}));
    EXPECT_FALSE(engine.txDown());
    EXPECT_EQ(host.caption, "Pelkora");
    EXPECT_EQ(mode->MikeVolume(), 900);
    EXPECT_EQ(mode->LineVolume(), 300);
}

TEST_F(MicrophoneModeTest, SlidersClampAndOnlyTheLineActsOutsideMicrophoneMode) {
    scene.buildCard();
    start();
    struct Case {
        bool mikeDown;
        bool mikeSlider;
        std::int32_t value;
        std::int32_t shown;
        Texts writes;
    };
    const std::vector<Case> cases = {
        {false, true, 1200, 1200, {}},
        {false, false, 70000, 65535, {"master.vol=65535,65535", "master.mute=0", "master.mute=0"}},
        {false, false, -5, 0, {"master.vol=0,0", "master.mute=0", "master.mute=0"}},
        {false, false, 0, 0, {}},  // unchanged: no handler
        {true,
         true,
         70000,
         65535,
         {"mic.vol=65535", "rec.mux=0,0,0,0", "micout.vol=65535", "micout.mute=0"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        if (c.mikeDown != mode->mikeDown()) {
            mode->setMikeButton(c.mikeDown);
        }
        fake.clearAccesses();
        if (c.mikeSlider) {
            mode->setMikeVolume(c.value);
            EXPECT_EQ(mode->MikeVolume(), c.shown);
        } else {
            mode->setLineVolume(c.value);
            EXPECT_EQ(mode->LineVolume(), c.shown);
        }
        EXPECT_EQ(writes(), c.writes);
    }
}

TEST_F(MicrophoneModeTest, PressingMikeEndsARunningBeacon) {
    scene.buildCard();
    start();
    addFile("cq.wav", 300);
    engine.AddToQueue("~[tx]~[fcq.wav]~[rp1000:0]");
    engine.PlayStack();
    advance(2000);
    ASSERT_TRUE(engine.stopEnabled());
    mode->setMikeButton(true);
    EXPECT_EQ(engine.beacon().BeaconDone(), 0);
    EXPECT_TRUE(engine.PlayQueue().empty());
    EXPECT_FALSE(engine.stopEnabled());
    EXPECT_FALSE(engine.beacon().Timer3().enabled());
    EXPECT_EQ(engine.displayText(), "");
    EXPECT_TRUE(engine.txDown());
    const std::size_t playedBefore = played().size();
    advance(10000);
    EXPECT_EQ(played().size(), playedBefore) << "nothing plays over the microphone";
    mode->setMikeButton(false);
    EXPECT_FALSE(engine.txDown());
}

TEST_F(MicrophoneModeTest, RegulatorsShowTheMixerAndCloseRestoresTheMute) {
    scene.buildCard();
    scene.layer.setValues(scene.ids.at("master.vol"), {600, 300});
    scene.layer.setValues(scene.ids.at("master.mute"), {1});
    start();
    EXPECT_TRUE(mode->SavedMikeOutMute());
    mode->showRegulators();
    EXPECT_EQ(mode->MikeVolume(), 900);
    EXPECT_EQ(mode->LineVolume(), 600);
    EXPECT_EQ(writes(), (Texts{"master.vol=600,600", "master.mute=0", "master.mute=0"}));
    EXPECT_EQ(scene.values("master.mute"), (std::vector<std::int32_t>{0}));

    mode->setMikeButton(true);  // unmutes the playback microphone
    mode->restoreMikeMute();
    EXPECT_EQ(scene.values("micout.mute"), (std::vector<std::int32_t>{1}));
}

TEST_F(MicrophoneModeTest, AMixerFaultNeverLeavesTheTransmitterKeyed) {
    // No playback sources: the playback microphone position 0 is out of range.
    card({}, {mixer::kSourceMicrophone});
    start();
    ASSERT_TRUE(mode->mixerAvailable());
    EXPECT_THROW(mode->setMikeButton(true), ListIndexError);
    EXPECT_FALSE(engine.txDown());

    engine.setTxButton(true);  // keyed by other means meanwhile
    EXPECT_THROW(mode->setMikeButton(false), ListIndexError);
    EXPECT_FALSE(engine.txDown());
    EXPECT_EQ(host.caption, "Pelkora");
}

}  // namespace
}  // namespace pelkora::test
