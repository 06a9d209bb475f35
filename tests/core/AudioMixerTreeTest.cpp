#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "MixerScene.h"
#include "core/mixer/TAudioMixer.h"
#include "core/mixer/TPointerList.h"
#include "platform/fake/FakeMixerLayer.h"

namespace pelkora::test {
namespace {

using Texts = std::vector<std::string>;

struct OpenCase {
    std::string name;
    int devices;
    int failingOpen;  // -1: none
    std::vector<std::int32_t> assignments;
    std::int32_t mixerId;
    Texts calls;
};

TEST(AudioMixerTree, DeviceNumberAssignmentsOpenCloseAndClamp) {
    const std::vector<OpenCase> cases = {
        {"construction opens device 0", 2, -1, {}, 0, {"open 0"}},
        {"past the end opens the last", 2, -1, {5}, 1, {"open 0", "close 0", "open 1"}},
        {"negative closes", 2, -1, {-1}, -1, {"open 0", "close 0"}},
        {"closed stays closed on -1", 2, -1, {-1, -3}, -1, {"open 0", "close 0"}},
        {"reassigning the same device reopens it", 1, -1, {0}, 0, {"open 0", "close 0", "open 0"}},
        {"no device: nothing happens", 0, -1, {0, 3}, -1, {}},
        {"a device that fails to open stays closed",
         2,
         1,
         {1},
         -1,
         {"open 0", "close 0", "open 1"}},
        {"device 0 failing leaves construction closed", 2, 0, {}, -1, {"open 0"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeMixerLayer fake;
        for (int d = 0; d < c.devices; ++d) {
            fake.addDestination(fake.addDevice());
        }
        if (c.failingOpen >= 0) {
            fake.failOpen(c.failingOpen);
        }
        TAudioMixer mixer(fake);
        for (const std::int32_t n : c.assignments) {
            mixer.setMixerId(n);
        }
        EXPECT_EQ(mixer.MixerCount(), c.devices);
        EXPECT_EQ(mixer.MixerId(), c.mixerId);
        EXPECT_EQ(mixer.Destinations() != nullptr, c.mixerId >= 0);
        if (mixer.Destinations() != nullptr) {
            EXPECT_EQ(mixer.Destinations()->Count(), 1);
        }
        EXPECT_EQ(fake.calls(), c.calls);
    }
}

TEST(AudioMixerTree, DestructionClosesTheOpenDevice) {
    FakeMixerLayer fake;
    fake.addDevice();
    {
        TAudioMixer mixer(fake);
        EXPECT_TRUE(fake.isOpen(0));
    }
    EXPECT_FALSE(fake.isOpen(0));
    EXPECT_EQ(fake.calls(), (Texts{"open 0", "close 0"}));
}

TEST(AudioMixerTree, CapabilitiesAreCopiedAndTheManufacturerNamed) {
    struct Case {
        std::uint16_t mid;
        std::string manufacturer;
    };
    for (const Case& c : std::vector<Case>{{1, "Microsoft"},
                                           {2, "2 = Unknown"},
                                           {0, "0 = Unknown"},
                                           {65535, "65535 = Unknown"}}) {
        FakeMixerLayer fake;
        const int device = fake.addDevice(MixerCaps{c.mid, 0x1234, 0x0501, "Card", 0});
        fake.addDestination(device);
        fake.addDestination(device);
        TAudioMixer mixer(fake);
        EXPECT_EQ(mixer.Manufacturer(), c.manufacturer);
        EXPECT_EQ(mixer.ProductId(), 0x1234);
        EXPECT_EQ(mixer.DriverVersion(), 0x0501u);
        EXPECT_EQ(mixer.ProductName(), "Card");
        EXPECT_EQ(mixer.NumberOfLine(), 2);
    }
}

TEST(AudioMixerTree, UnreadableCapabilitiesGiveADeviceWithoutLines) {
    FakeMixerLayer fake;
    fake.addDestination(fake.addDevice(MixerCaps{1, 2, 3, "Card", 0}));
    fake.failCapabilities(0);
    TAudioMixer mixer(fake);
    EXPECT_EQ(mixer.MixerId(), 0);
    ASSERT_NE(mixer.Destinations(), nullptr);
    EXPECT_EQ(mixer.Destinations()->Count(), 0);
    EXPECT_EQ(mixer.Manufacturer(), "0 = Unknown");
}

TEST(AudioMixerTree, UnreadableLinesAreLeftOutAndLaterOnesMoveUp) {
    struct Case {
        std::string name;
        std::vector<std::uint32_t> failingDestinations;
        std::vector<std::uint32_t> failingSources;  // of the last destination
        std::vector<std::uint32_t> destinations;    // dwDestination by position
        std::vector<std::uint32_t> sources;         // dwSource of the last destination's sources
    };
    const std::vector<Case> cases = {
        {"all readable", {}, {}, {0, 1, 2}, {0, 1, 2, 3}},
        {"source 2 of 4", {}, {2}, {0, 1, 2}, {0, 1, 3}},
        {"sources 0 and 3", {}, {0, 3}, {0, 1, 2}, {1, 2}},
        {"destination 0", {0}, {}, {1, 2}, {0, 1, 2, 3}},
        {"destinations 0 and 1", {0, 1}, {1}, {2}, {0, 2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeMixerLayer fake;
        const int device = fake.addDevice();
        for (std::uint32_t d = 0; d < 3; ++d) {
            fake.addDestination(device);
        }
        for (std::uint32_t s = 0; s < 4; ++s) {
            fake.addSource(device, 2, MixerLine{});
        }
        for (const auto d : c.failingDestinations) {
            fake.failDestination(device, d);
        }
        for (const auto s : c.failingSources) {
            fake.failSource(device, 2, s);
        }
        TAudioMixer mixer(fake);
        const TMixerDestinations& tree = *mixer.Destinations();
        std::vector<std::uint32_t> destinations, sources;
        for (std::int32_t i = 0; i < tree.Count(); ++i) {
            destinations.push_back(tree[i].Data().destination);
        }
        const TMixerConnections& last = tree[tree.Count() - 1].Connections();
        for (std::int32_t i = 0; i < last.Count(); ++i) {
            sources.push_back(last[i].Data().source);
            EXPECT_EQ(last[i].Data().destination, 2u);
        }
        EXPECT_EQ(destinations, c.destinations);
        EXPECT_EQ(sources, c.sources);
    }
}

TEST(AudioMixerTree, ControlsKeepTheDeviceOrderOrAreEmptyWhenUnlisted) {
    FakeMixerLayer fake;
    MixerScene scene(fake);
    fake.failControlList(scene.wave);
    TAudioMixer mixer(fake);
    const TMixerDestination& playback = (*mixer.Destinations())[0];
    ASSERT_EQ(playback.Controls().Count(), 2);
    EXPECT_EQ(playback.Controls()[0].name, "master.vol");
    EXPECT_EQ(playback.Controls()[1].name, "master.mute");
    EXPECT_EQ(playback.Connections()[0].Controls().Count(), 0);
    EXPECT_EQ(playback.Connections()[1].Controls().Count(), 2);

    // An unlisted line finds nothing: both values not found, both disabled.
    LineVolume volume;
    EXPECT_TRUE(mixer.GetLineVolume(0, 0, volume));
    EXPECT_EQ(volume.left, -1);
    EXPECT_EQ(volume.mute, -1);
    EXPECT_TRUE(volume.volumeDisabled);
    EXPECT_TRUE(volume.muteDisabled);
}

TEST(AudioMixerTree, IndexesOutsideTheListsRaiseTheRangeErrorBeforeAnyAccess) {
    struct Case {
        std::int32_t destination, connection;
        std::string message;
    };
    const std::vector<Case> cases = {
        {1, -1, "List index out of bounds (1)"},
        {-1, -1, "List index out of bounds (-1)"},
        {0, 1, "List index out of bounds (1)"},
        {0, -2, "List index out of bounds (-2)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        FakeMixerLayer fake;
        const int device = fake.addDevice();
        const std::uint32_t only = fake.addDestination(device);
        fake.addSource(device, 0, MixerLine{});
        MixerControl mute;
        mute.controlType = mixer::kMute;
        fake.addControl(device, only, mute, {0});
        TAudioMixer mixer(fake);
        LineVolume volume;
        bool muted = false;
        const std::vector<std::function<void()>> operations = {
            [&] { mixer.GetLineVolume(c.destination, c.connection, volume); },
            [&] { mixer.SetLineVolume(c.destination, c.connection, 1, 1, 1); },
            [&] { mixer.GetLineMute(c.destination, c.connection, muted); },
            [&] { mixer.SetLineMute(c.destination, c.connection, true); },
        };
        for (const auto& operation : operations) {
            try {
                operation();
                ADD_FAILURE() << "no range error";
            } catch (const ListIndexError& error) {
                EXPECT_EQ(std::string(error.what()), c.message);
            }
        }
        EXPECT_TRUE(fake.reads().empty());
        EXPECT_TRUE(fake.writes().empty());
    }
    FakeMixerLayer fake;
    fake.addDestination(fake.addDevice());
    TAudioMixer mixer(fake);
    EXPECT_THROW((*mixer.Destinations())[1], ListIndexError);
}

TEST(AudioMixerTree, ChangeNotificationsReachTheEventsOfTheOpenDevice) {
    FakeMixerLayer fake;
    fake.addDevice();
    fake.addDevice();
    TAudioMixer mixer(fake);
    EXPECT_TRUE(fake.fireLineChange(0, 5)) << "an unset event swallows the notification";
    Texts seen;
    mixer.OnLineChange = [&](TAudioMixer& sender, std::uint32_t handle, std::uint32_t id) {
        EXPECT_EQ(&sender, &mixer);
        seen.push_back("line " + std::to_string(handle) + " " + std::to_string(id));
    };
    mixer.OnControlChange = [&](TAudioMixer&, std::uint32_t handle, std::uint32_t id) {
        seen.push_back("control " + std::to_string(handle) + " " + std::to_string(id));
    };
    fake.fireLineChange(0, 7);
    fake.fireControlChange(0, 9);
    mixer.setMixerId(1);
    EXPECT_FALSE(fake.fireControlChange(0, 3)) << "device 0 was closed";
    fake.fireControlChange(1, 4);
    EXPECT_EQ(seen, (Texts{"line 0 7", "control 0 9", "control 1 4"}));
}

TEST(PointerList, ClearFreesItemsInIndexOrderAndRangeErrorsNameTheIndex) {
    std::vector<int> freed;
    int items[3] = {10, 20, 30};
    {
        TPointerList<int> list([&](int* item) { freed.push_back(*item); });
        for (int& item : items) {
            list.Add(&item);
        }
        EXPECT_EQ(list.Count(), 3);
        EXPECT_EQ(*list.Get(2), 30);
        for (const std::int32_t bad : {3, -1, 100}) {
            try {
                list.Get(bad);
                ADD_FAILURE() << bad;
            } catch (const ListIndexError& error) {
                EXPECT_EQ(error.index(), bad);
                EXPECT_EQ(std::string(error.what()),
                          "List index out of bounds (" + std::to_string(bad) + ")");
            }
        }
        list.Clear();
        EXPECT_EQ(list.Count(), 0);
        list.Add(&items[1]);
    }  // destruction clears once more
    EXPECT_EQ(freed, (std::vector<int>{10, 20, 30, 20}));
}

}  // namespace
}  // namespace pelkora::test
