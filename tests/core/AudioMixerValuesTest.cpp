#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "MixerScene.h"
#include "core/mixer/TAudioMixer.h"
#include "platform/fake/FakeMixerLayer.h"

namespace pelkora::test {
namespace {

using Texts = std::vector<std::string>;
using Tweak = std::function<void(MixerScene&)>;

// One scene per case: the tweak runs before the mixer takes its snapshot.
struct Rig {
    explicit Rig(const Tweak& tweak = {}) {
        if (tweak) {
            tweak(scene);
        }
        mixer = std::make_unique<TAudioMixer>(fake);
    }
    FakeMixerLayer fake;
    MixerScene scene{fake};
    std::unique_ptr<TAudioMixer> mixer;
};

// Adds destination 2 (2 channels) holding one line of the given controls;
// returns nothing, the line is destination 2 itself.
Tweak extraLine(std::vector<MixerControl> controls) {
    return [controls](MixerScene& s) {
        const std::uint32_t line = s.layer.addDestination(s.device, MixerScene::line(2, 0));
        int n = 0;
        for (const auto& c : controls) {
            s.control(line, "x" + std::to_string(n++), c.controlType, c.flags, c.multipleItems,
                      {c.minimum, c.maximum});
        }
    };
}

// The control's two stored values travel in minimum and maximum.
MixerControl ctl(std::uint32_t type, std::uint32_t flags, std::int32_t v0, std::int32_t v1 = 0) {
    MixerControl c;
    c.controlType = type;
    c.flags = flags;
    c.minimum = v0;
    c.maximum = v1;
    return c;
}

struct GetVolumeCase {
    std::string name;
    Tweak tweak;
    std::int32_t destination, connection;
    LineVolume expected;
};

TEST(AudioMixerValues, GetLineVolumeReadsTheFirstUsableFaderAndMute) {
    using namespace mixer;
    const std::vector<GetVolumeCase> cases = {
        {"stereo, non-uniform, unmuted", {}, 0, -1, {300, 200, 0, true, false, false}},
        {"uniform volume: mono", {}, 0, 1, {50, -1, 1, false, false, false}},
        {"no mute switch, selected on the MUX", {}, 1, 2, {900, -1, 1, false, false, false}},
        {"no mute switch, not selected", {}, 1, 1, {20, 21, 0, true, false, false}},
        {"no controls, not selected", {}, 1, 3, {-1, -1, 0, false, true, false}},
        {"destination without a mute switch", {}, 1, -1, {1000, 1000, -1, true, false, true}},
        {"disabled fader and switch",
         extraLine({ctl(kVolume, kDisabled, 5, 6), ctl(kMute, kDisabled, 1)}),
         2,
         -1,
         {-1, -1, -1, false, true, true}},
        {"a disabled fader gives way to the next",
         extraLine({ctl(kVolume, kDisabled, 5, 6), ctl(kVolume, kUniform, 7)}),
         2,
         -1,
         {7, -1, -1, false, false, true}},
        {"multiple-item faders are skipped",
         extraLine(
             {ctl(kVolume, kMultiple, 5, 6), ctl(kMute, kMultiple, 1), ctl(kMute, kUniform, 3)}),
         2,
         -1,
         {-1, -1, 1, false, true, false}},
        {"a failed read skips the control",
         [](MixerScene& s) {
             extraLine({ctl(kVolume, 0, 5, 6), ctl(kVolume, 0, 8, 9)})(s);
             s.layer.failRead(s.ids.at("x0"));
         },
         2,
         -1,
         {8, 9, -1, true, false, true}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(c.tweak);
        LineVolume got;
        EXPECT_TRUE(rig.mixer->GetLineVolume(c.destination, c.connection, got));
        EXPECT_EQ(got.left, c.expected.left);
        EXPECT_EQ(got.right, c.expected.right);
        EXPECT_EQ(got.mute, c.expected.mute);
        EXPECT_EQ(got.stereo, c.expected.stereo);
        EXPECT_EQ(got.volumeDisabled, c.expected.volumeDisabled);
        EXPECT_EQ(got.muteDisabled, c.expected.muteDisabled);
        EXPECT_TRUE(rig.fake.writes().empty());
    }
}

TEST(AudioMixerValues, GetLineVolumeKeepsTheCallersDisabledFlagsWhenNothingSpeaks) {
    Rig rig;
    LineVolume got;
    got.volumeDisabled = true;
    got.muteDisabled = true;
    got.stereo = true;
    ASSERT_TRUE(rig.mixer->GetLineVolume(1, 2, got));  // mute comes from the MUX
    EXPECT_FALSE(got.volumeDisabled);
    EXPECT_TRUE(got.muteDisabled) << "the selection fallback does not write the flag";
    EXPECT_FALSE(got.stereo);
}

struct SetVolumeCase {
    std::string name;
    std::int32_t destination, connection, left, right, mute;
    Texts writes;
};

TEST(AudioMixerValues, SetLineVolumeWritesEachKindOnceAndFallsBackToTheList) {
    const std::vector<SetVolumeCase> cases = {
        {"right -1 follows left, mute cleared",
         0,
         0,
         1000,
         -1,
         0,
         {"wave.vol=1000,1000", "wave.mute=0"}},
        {"mute only", 0, 0, -1, -1, 1, {"wave.mute=1"}},
        {"volume only, both channels", 0, -1, 500, 700, -1, {"master.vol=500,700"}},
        {"uniform fader takes one value", 0, 1, 400, 400, 0, {"micout.vol=400", "micout.mute=0"}},
        {"nothing asked writes nothing", 0, 0, -1, -1, -1, {}},
        {"mute on a source without a switch selects it on the MUX",
         1,
         1,
         600,
         -1,
         1,
         {"cd.vol=600,600", "rec.mux=0,1,0,0"}},
        {"mute 0 through the MUX clears the whole list",
         1,
         2,
         900,
         900,
         0,
         {"mic.vol=900", "rec.mux=0,0,0,0"}},
        {"destination without a switch has no fallback", 1, -1, 10, -1, 1, {"rec.vol=10,10"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        EXPECT_TRUE(rig.mixer->SetLineVolume(c.destination, c.connection, c.left, c.right, c.mute));
        EXPECT_EQ(rig.scene.writes(), c.writes);
    }
}

TEST(AudioMixerValues, SetLineVolumeReportsTheLineFoundWhateverTheWritesAnswer) {
    Rig rig([](MixerScene& s) { s.layer.failWrite(s.ids.at("wave.vol")); });
    EXPECT_TRUE(rig.mixer->SetLineVolume(0, 0, 1, 1, 1));
    EXPECT_EQ(rig.scene.writes(), (Texts{"wave.vol=1,1", "wave.mute=1"}));
    EXPECT_EQ(rig.scene.values("wave.vol"), (std::vector<std::int32_t>{100, 100}));
}

struct MuteCase {
    std::string name;
    Tweak tweak;
    std::int32_t destination, connection;
    bool mute;
    bool result;
    Texts writes;
};

TEST(AudioMixerValues, SetLineMuteUsesTheSwitchOrTheSourceSelection) {
    using namespace mixer;
    const Tweak twoPicked = [](MixerScene& s) {
        // A MUX that a driver left with two items set.
        s.layer.setValues(s.ids.at("rec.mux"), {1, 0, 0, 1});
    };
    const Tweak failingMux = [](MixerScene& s) { s.layer.failRead(s.ids.at("rec.mux")); };
    const std::vector<MuteCase> cases = {
        {"switch on", {}, 0, 0, true, true, {"wave.mute=1"}},
        {"switch off", {}, 0, -1, false, true, {"master.mute=0"}},
        {"failed switch write: false, no fallback",
         [](MixerScene& s) { s.layer.failWrite(s.ids.at("wave.mute")); },
         0,
         0,
         true,
         false,
         {"wave.mute=1"}},
        {"MUX of four, true: only item c", twoPicked, 1, 1, true, true, {"rec.mux=0,1,0,0"}},
        {"MUX of four, false: all four cleared", twoPicked, 1, 1, false, true, {"rec.mux=0,0,0,0"}},
        {"destination without a switch", {}, 1, -1, true, false, {}},
        {"unreadable list: nothing written", failingMux, 1, 0, true, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(c.tweak);
        EXPECT_EQ(rig.mixer->SetLineMute(c.destination, c.connection, c.mute), c.result);
        EXPECT_EQ(rig.scene.writes(), c.writes);
    }
}

TEST(AudioMixerValues, SetLineMuteOnAMixerListKeepsOtherSelections) {
    struct Case {
        bool mute;
        bool failFirstWrite;
        Texts writes;
    };
    for (const Case& c : std::vector<Case>{
             {true, false, {"sel=1,0,1"}},
             {false, false, {"sel=1,0,0"}},
             {true, true, {"sel=1,0,1", "mux=0,0,1"}},  // a failed write tries the next list
         }) {
        FakeMixerLayer fake;
        MixerScene s(fake, false);
        s.device = fake.addDevice();
        const std::uint32_t d = fake.addDestination(s.device, MixerScene::line(1, 0));
        for (int i = 0; i < 3; ++i) {
            s.source(0, mixer::kSourceLine, 1);
        }
        const auto sel =
            s.control(d, "sel", mixer::kMixer, mixer::kUniform | mixer::kMultiple, 3, {1, 0, 0});
        s.control(d, "mux", mixer::kMux, mixer::kUniform | mixer::kMultiple, 3, {0, 1, 0});
        if (c.failFirstWrite) {
            fake.failWrite(sel);
        }
        TAudioMixer mixer(fake);
        EXPECT_TRUE(mixer.SetLineMute(0, 2, c.mute));
        EXPECT_EQ(s.writes(), c.writes);
    }
}

TEST(AudioMixerValues, GetLineMuteReadsTheSwitchOrTheSourceSelection) {
    struct Case {
        std::string name;
        Tweak tweak;
        std::int32_t destination, connection;
        bool result, mute;
    };
    const std::vector<Case> cases = {
        {"switch set", {}, 0, 0, true, true},
        {"switch clear", {}, 0, -1, true, false},
        {"a switch value other than 1 is not muted",
         [](MixerScene& s) { s.layer.setValues(s.ids.at("wave.mute"), {2}); }, 0, 0, true, false},
        {"failed switch read, no fallback",
         [](MixerScene& s) { s.layer.failRead(s.ids.at("wave.mute")); }, 0, 0, false, false},
        {"selected on the MUX", {}, 1, 2, true, true},
        {"not selected on the MUX", {}, 1, 0, true, false},
        {"destination without a switch", {}, 1, -1, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(c.tweak);
        bool mute = !c.mute;
        EXPECT_EQ(rig.mixer->GetLineMute(c.destination, c.connection, mute), c.result);
        EXPECT_EQ(mute, c.mute);
        EXPECT_TRUE(rig.fake.writes().empty());
    }
}

// Requests past the 31-value buffer and list positions the control does not
// hold are refused: no read or write past either reaches the layer.
TEST(AudioMixerValues, OversizedRequestsAndUnlistedSourcesAreRefused) {
    using namespace mixer;
    const Tweak wideList = [](MixerScene& s) {
        // 2 channels × 16 items = 32 values: one too many for a request.
        const std::uint32_t d = s.layer.addDestination(s.device, MixerScene::line(2, 0));
        for (int i = 0; i < 3; ++i) {
            s.source(2, kSourceLine, 1);
        }
        s.control(d, "wide", kMux, kMultiple, 16, {});
    };
    const Tweak shortList = [](MixerScene& s) {
        // The MUX knows two items while the destination has four sources.
        const std::uint32_t d = s.layer.addDestination(s.device, MixerScene::line(2, 0));
        for (int i = 0; i < 4; ++i) {
            s.source(2, kSourceLine, 1);
        }
        s.control(d, "short", kMux, kUniform | kMultiple, 2, {1, 0});
    };
    const Tweak manyChannels = [](MixerScene& s) {
        const std::uint32_t d = s.layer.addDestination(s.device, MixerScene::line(40, 0));
        s.control(d, "wide.vol", kVolume, 0, 0, {});
        s.control(d, "wide.mute", kMute, 0, 0, {});
    };
    struct Case {
        std::string name;
        Tweak tweak;
        std::function<bool(TAudioMixer&)> operation;
        bool result;
    };
    const std::vector<Case> cases = {
        {"wide list: set mute", wideList, [](TAudioMixer& m) { return m.SetLineMute(2, 1, true); },
         false},
        {"wide list: get mute", wideList,
         [](TAudioMixer& m) {
             bool mute = true;
             return m.GetLineMute(2, 1, mute) || mute;
         },
         false},
        {"wide list: volume's fallback", wideList,
         [](TAudioMixer& m) { return m.SetLineVolume(2, 1, -1, -1, 1); }, true},
        {"short list: set mute", shortList,
         [](TAudioMixer& m) { return m.SetLineMute(2, 3, true); }, false},
        {"short list: get mute", shortList,
         [](TAudioMixer& m) {
             bool mute = true;
             return m.GetLineMute(2, 2, mute) || mute;
         },
         false},
        {"short list: volume's fallback", shortList,
         [](TAudioMixer& m) { return m.SetLineVolume(2, 2, -1, -1, 1); }, true},
        {"short list: get volume finds no mute", shortList,
         [](TAudioMixer& m) {
             LineVolume v;
             return m.GetLineVolume(2, 3, v) && v.mute == -1 && v.muteDisabled;
         },
         true},
        {"40 channels: set volume", manyChannels,
         [](TAudioMixer& m) { return m.SetLineVolume(2, -1, 5, 5, 1); }, true},
        {"40 channels: get volume", manyChannels,
         [](TAudioMixer& m) {
             LineVolume v;
             return m.GetLineVolume(2, -1, v) && v.left == -1 && v.mute == -1;
         },
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(c.tweak);
        EXPECT_EQ(c.operation(*rig.mixer), c.result);
        EXPECT_TRUE(rig.fake.writes().empty()) << rig.scene.writes().front();
        EXPECT_EQ(rig.fake.contractViolations(), 0);
        for (const auto& read : rig.fake.reads()) {
            EXPECT_LE(read.values.size(), kMaxValues);
        }
    }
}

TEST(AudioMixerValues, AClosedDeviceReportsFalseAndTouchesNothing) {
    FakeMixerLayer fake;
    MixerScene scene(fake);
    fake.failOpen(0);
    TAudioMixer mixer(fake);
    ASSERT_EQ(mixer.Destinations(), nullptr);
    LineVolume volume;
    volume.stereo = true;
    bool mute = true;
    EXPECT_FALSE(mixer.GetLineVolume(0, -1, volume));
    EXPECT_FALSE(volume.stereo);
    EXPECT_FALSE(mixer.SetLineVolume(0, -1, 1, 1, 1));
    EXPECT_FALSE(mixer.GetLineMute(1, 5, mute));
    EXPECT_FALSE(mute);
    EXPECT_FALSE(mixer.SetLineMute(9, 9, true));
    EXPECT_TRUE(fake.reads().empty());
    EXPECT_TRUE(fake.writes().empty());
    EXPECT_EQ(fake.contractViolations(), 0);
}

}  // namespace
}  // namespace pelkora::test
