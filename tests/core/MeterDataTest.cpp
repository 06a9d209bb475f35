#include "core/meter/TMeterData.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/MeterMixerFake.h"
#include "core/mixer/ListIndexError.h"

namespace pelkora {
namespace {

using test::MeterMixerFake;
using Fake = MeterMixerFake;

constexpr std::uint32_t kSignedMeter = 0x10020000;
constexpr std::uint32_t kUnsignedMeter = 0x10030000;
constexpr std::uint32_t kBooleanMeter = 0x10010000;

// Control ids of the metered lines, in the order the list must hold them.
std::vector<std::uint32_t> idsOf(const TMeterData& data) {
    std::vector<std::uint32_t> ids;
    for (int i = 0; i < data.MeterCount(); ++i) {
        ids.push_back(data.Meters(i).control().controlId);
    }
    return ids;
}

// Two devices: device 0 with two destinations, metered here and there among
// volumes and mutes; device 1 with one meter.
Fake twoDevices() {
    Fake fake;
    Fake::Device first;
    first.destinations.push_back(Fake::line(
        10, {Fake::control(1, mixer::kVolume), Fake::control(2, mixer::kPeakMeter, 32767)},
        {Fake::line(11, {Fake::control(3, mixer::kMute), Fake::control(4, kSignedMeter)}),
         Fake::line(12, {Fake::control(5, mixer::kVolume)}),
         Fake::line(13, {Fake::control(6, kBooleanMeter), Fake::control(7, kUnsignedMeter)})}));
    first.destinations.push_back(Fake::line(20, {Fake::control(8, mixer::kMux)},
                                            {Fake::line(21, {Fake::control(9, kSignedMeter)})}));
    Fake::Device second;
    second.destinations.push_back(Fake::line(30, {Fake::control(10, mixer::kPeakMeter, 100)}));
    fake.devices = {first, second};
    return fake;
}

TEST(MeterDataTest, ListsEveryMeterByDeviceDestinationThenItsSources) {
    Fake fake = twoDevices();
    TMeterData data(fake);
    EXPECT_FALSE(data.Active());
    EXPECT_EQ(data.MeterCount(), 0);
    data.setActive(true);
    EXPECT_TRUE(data.Active());
    EXPECT_EQ(idsOf(data), (std::vector<std::uint32_t>{2, 4, 6, 7, 9, 10}));
    const std::vector<std::pair<std::uint32_t, int>> lineAndDevice = {{10, 0}, {11, 0}, {13, 0},
                                                                      {13, 0}, {21, 0}, {30, 1}};
    for (int i = 0; i < data.MeterCount(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(data.Meters(i).lineId(), lineAndDevice[static_cast<std::size_t>(i)].first);
        EXPECT_EQ(data.Meters(i).deviceNumber(), lineAndDevice[static_cast<std::size_t>(i)].second);
    }
    EXPECT_EQ(data.Meters(0).Maximum(), 32767);
    EXPECT_EQ(data.Meters(5).Maximum(), 100);
    // Nothing is read while the list is built.
    EXPECT_TRUE(fake.reads.empty());
}

struct SkipCase {
    const char* what;
    void (*spoil)(Fake&);
    std::vector<std::uint32_t> ids;
};

TEST(MeterDataTest, UnreadableDevicesLinesAndListingsContributeNothing) {
    const std::vector<SkipCase> cases = {
        {"device 0's capabilities", [](Fake& f) { f.devices[0].capsReadable = false; }, {10}},
        // A destination that cannot be read takes its sources with it.
        {"destination 10", [](Fake& f) { f.failingLines.insert(10); }, {9, 10}},
        {"source 11", [](Fake& f) { f.failingLines.insert(11); }, {2, 6, 7, 9, 10}},
        {"listing of destination 10",
         [](Fake& f) { f.failingListings.insert(10); },
         {4, 6, 7, 9, 10}},
        {"listing of source 13", [](Fake& f) { f.failingListings.insert(13); }, {2, 4, 9, 10}},
        {"device 1's only line", [](Fake& f) { f.failingLines.insert(30); }, {2, 4, 6, 7, 9}},
        {"no device at all", [](Fake& f) { f.devices.clear(); }, {}},
    };
    for (const SkipCase& c : cases) {
        SCOPED_TRACE(c.what);
        Fake fake = twoDevices();
        c.spoil(fake);
        TMeterData data(fake);
        data.setActive(true);
        EXPECT_TRUE(data.Active());
        EXPECT_EQ(idsOf(data), c.ids);
    }
}

TEST(MeterDataTest, ActivationListsOnceAndDeactivationForgets) {
    Fake fake = twoDevices();
    TMeterData data(fake);
    data.setActive(true);
    const int queries = fake.lineQueries;
    data.setActive(true);  // the current value again: nothing happens
    EXPECT_EQ(fake.lineQueries, queries);
    EXPECT_EQ(data.MeterCount(), 6);

    data.setActive(false);
    EXPECT_FALSE(data.Active());
    EXPECT_EQ(data.MeterCount(), 0);
    data.setActive(false);
    EXPECT_EQ(fake.lineQueries, queries);

    // The mixer changed meanwhile: a new activation sees it.
    fake.devices.pop_back();
    data.setActive(true);
    EXPECT_EQ(idsOf(data), (std::vector<std::uint32_t>{2, 4, 6, 7, 9}));
}

TEST(MeterDataTest, IndexOutsideTheListIsTheListRangeError) {
    Fake fake = twoDevices();
    TMeterData data(fake);
    for (int index : {0, -1}) {
        SCOPED_TRACE(index);
        EXPECT_THROW((void)data.Meters(index), ListIndexError);
    }
    data.setActive(true);
    try {
        (void)data.Meters(6);
        FAIL() << "no error past the end";
    } catch (const ListIndexError& error) {
        EXPECT_EQ(error.index(), 6);
        EXPECT_STREQ(error.what(), "List index out of bounds (6)");
    }
    EXPECT_NO_THROW((void)data.Meters(5));
}

struct ReadCase {
    const char* what;
    std::uint32_t flags;
    std::uint32_t items;
    std::uint32_t channels;
};

TEST(MeterDataTest, ReadAsksForTwoChannelsOnlyForPerChannelLists) {
    const std::vector<ReadCase> cases = {
        {"plain", 0, 0, 1},
        {"multiple", mixer::kMultiple, 3, 2},
        {"multiple and uniform", mixer::kMultiple | mixer::kUniform, 3, 1},
        {"uniform", mixer::kUniform, 0, 1},
        {"disabled", mixer::kDisabled, 0, 1},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.what);
        Fake fake;
        Fake::Device device;
        device.destinations.push_back(
            Fake::line(1, {Fake::control(77, mixer::kPeakMeter, 32767, c.flags, c.items)}));
        fake.devices = {device};
        fake.values[{0, 77}] = -1638;
        TMeterData data(fake);
        data.setActive(true);
        ASSERT_EQ(data.MeterCount(), 1);
        EXPECT_EQ(data.Meters(0).ReadValue(), -1638);
        ASSERT_EQ(fake.reads.size(), 1u);
        EXPECT_EQ(fake.reads[0].device, 0);
        EXPECT_EQ(fake.reads[0].request.controlId, 77u);
        EXPECT_EQ(fake.reads[0].request.channels, c.channels);
        EXPECT_EQ(fake.reads[0].request.items, c.items);
    }
}

TEST(MeterDataTest, MeterIsReadOnDeviceZeroWhereverItWasFound) {
    // Device 0 has no meter, device 1 has one: it is the first meter, but
    // its value is asked of device 0.
    Fake fake;
    Fake::Device quiet;
    quiet.destinations.push_back(Fake::line(1, {Fake::control(5, mixer::kVolume)}));
    Fake::Device metered;
    metered.destinations.push_back(Fake::line(2, {Fake::control(6, mixer::kPeakMeter, 32767)}));
    fake.devices = {quiet, metered};
    fake.values[{1, 6}] = 20000;
    TMeterData data(fake);
    data.setActive(true);
    ASSERT_EQ(data.MeterCount(), 1);
    EXPECT_EQ(data.Meters(0).deviceNumber(), 1);
    EXPECT_EQ(data.Meters(0).ReadValue(), 0);  // device 0 has no control 6
    ASSERT_EQ(fake.reads.size(), 1u);
    EXPECT_EQ(fake.reads[0].device, 0);
    // Should device 0 answer to that id, its value is the one shown.
    fake.values[{0, 6}] = 123;
    EXPECT_EQ(data.Meters(0).ReadValue(), 123);
}

TEST(MeterDataTest, MeterClaimingMoreValuesThanARequestHoldsReadsZero) {
    Fake fake;
    Fake::Device device;
    // 2 channels × 16 items = 32 values, one more than a request carries.
    device.destinations.push_back(
        Fake::line(1, {Fake::control(8, mixer::kPeakMeter, 32767, mixer::kMultiple, 16),
                       Fake::control(9, mixer::kPeakMeter, 32767, mixer::kMultiple, 15)}));
    fake.devices = {device};
    fake.values[{0, 8}] = 500;
    fake.values[{0, 9}] = 600;
    TMeterData data(fake);
    data.setActive(true);
    EXPECT_EQ(data.Meters(0).ReadValue(), 0);
    EXPECT_TRUE(fake.reads.empty());
    EXPECT_EQ(data.Meters(1).ReadValue(), 600);  // 30 values fit
}

}  // namespace
}  // namespace pelkora
