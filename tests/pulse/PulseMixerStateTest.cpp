#include "platform/pulse/PulseMixerState.h"

#include <gtest/gtest.h>
#include <pulse/def.h>

#include <array>
#include <vector>

namespace pelkora {
namespace {

using Line = PulseMixerState::Line;

pa_cvolume stereo(pa_volume_t left, pa_volume_t right) {
    pa_cvolume volume{};
    volume.channels = 2;
    volume.values[0] = left;
    volume.values[1] = right;
    return volume;
}

// A stereo sink and a mono source with the ports given.
PulseMixerState stateWith(std::vector<PulseDevice::Port> ports) {
    PulseMixerState state;
    state.sink.known = true;
    state.sink.name = "out";
    state.sink.description = "Line out";
    state.sink.volume = stereo(PA_VOLUME_NORM, PA_VOLUME_NORM / 2);
    state.source.known = true;
    state.source.name = "in";
    state.source.volume.channels = 1;
    state.source.volume.values[0] = PA_VOLUME_NORM;
    state.source.ports = std::move(ports);
    return state;
}

const std::vector<PulseDevice::Port> kThreePorts = {
    {"analog-input-mic", "Microphone", mixer::kSourceMicrophone},
    {"analog-input-linein", "Line in", mixer::kSourceLine},
    {"hdmi-input", "HDMI", mixer::kSourceUndefined},
};

std::vector<std::int32_t> readAll(const PulseMixerState& state, std::uint32_t controlId,
                                  std::uint32_t channels, std::uint32_t items = 0) {
    const ControlRequest request{controlId, channels, items};
    std::vector<std::int32_t> values(request.valueCount(), -7);
    EXPECT_TRUE(state.read(request, values, 1234)) << std::hex << controlId;
    return values;
}

std::uint32_t controlOf(const PulseMixerState& state, std::uint32_t lineId, std::uint32_t type) {
    const std::optional<Line> line = state.lineById(lineId);
    EXPECT_TRUE(line.has_value()) << std::hex << lineId;
    for (const auto& control : line->controls) {
        if (control.control.controlType == type) {
            return control.control.controlId;
        }
    }
    ADD_FAILURE() << "no control of type " << std::hex << type << " on line " << lineId;
    return 0;
}

TEST(PulseMixerStateTest, VolumesMapLinearlyBothWaysAndClamp) {
    struct Case {
        std::int32_t mixer;
        pa_volume_t pulse;
    };
    const std::array<Case, 5> cases = {{
        {0, PA_VOLUME_MUTED},
        {65535, PA_VOLUME_NORM},
        {32768, PA_VOLUME_NORM / 2 + 1},  // 32768.5 rounds up
        {-5, PA_VOLUME_MUTED},
        {70000, PA_VOLUME_NORM},
    }};
    for (const Case& each : cases) {
        EXPECT_EQ(PulseMixerState::toPulse(each.mixer), each.pulse) << each.mixer;
    }
    EXPECT_EQ(PulseMixerState::toMixer(PA_VOLUME_NORM), 65535);
    EXPECT_EQ(PulseMixerState::toMixer(PA_VOLUME_NORM * 2), 65535);  // amplified: full scale
    EXPECT_EQ(PulseMixerState::toMixer(PA_VOLUME_MUTED), 0);
    for (std::int32_t value : {1, 2, 1000, 32767, 40000, 65534}) {
        EXPECT_EQ(PulseMixerState::toMixer(PulseMixerState::toPulse(value)), value) << value;
    }
}

TEST(PulseMixerStateTest, PortsGetTheirComponentFromTheirTypeOrElseTheirName) {
    struct Case {
        std::uint32_t type;
        const char* name;
        std::uint32_t component;
    };
    const std::array<Case, 7> cases = {{
        {PA_DEVICE_PORT_TYPE_MIC, "whatever", mixer::kSourceMicrophone},
        {PA_DEVICE_PORT_TYPE_HEADSET, "whatever", mixer::kSourceMicrophone},
        {PA_DEVICE_PORT_TYPE_LINE, "whatever", mixer::kSourceLine},
        {PA_DEVICE_PORT_TYPE_UNKNOWN, "analog-input-rear-mic", mixer::kSourceMicrophone},
        {PA_DEVICE_PORT_TYPE_UNKNOWN, "Analog-Input-LineIn", mixer::kSourceLine},
        {PA_DEVICE_PORT_TYPE_UNKNOWN, "hdmi-input", mixer::kSourceUndefined},
        {PA_DEVICE_PORT_TYPE_SPDIF, "", mixer::kSourceUndefined},
    }};
    for (const Case& each : cases) {
        EXPECT_EQ(PulseMixerState::portComponent(each.type, each.name), each.component)
            << each.name;
    }
}

TEST(PulseMixerStateTest, ThePlaybackDestinationHasTheWaveAndTheMicrophoneAndAMeter) {
    const PulseMixerState state = stateWith(kThreePorts);
    const std::optional<Line> playback = state.destination(0);
    ASSERT_TRUE(playback.has_value());
    EXPECT_EQ(playback->line.name, "Line out");
    EXPECT_EQ(playback->line.channels, 2U);
    EXPECT_EQ(playback->line.connections, 2U);
    ASSERT_EQ(playback->controls.size(), 3U);
    EXPECT_EQ(playback->line.controls, 3U);
    const std::array<std::uint32_t, 3> types = {mixer::kVolume, mixer::kMute, mixer::kPeakMeter};
    for (std::size_t index = 0; index < types.size(); ++index) {
        EXPECT_EQ(playback->controls[index].control.controlType, types[index]) << index;
    }
    EXPECT_EQ(playback->controls[0].control.flags & mixer::kUniform, 0U);  // per channel
    EXPECT_EQ(playback->controls[0].control.maximum, 65535);
    EXPECT_EQ(playback->controls[2].control.maximum, 32767);

    struct Source {
        const char* name;
        std::uint32_t component;
        std::uint32_t channels;
    };
    const std::array<Source, 2> sources = {{{"Wave", 0x1008, 2}, {"Microphone", 0x1003, 1}}};
    std::vector<std::uint32_t> ids;
    for (std::uint32_t index = 0; index < sources.size(); ++index) {
        const std::optional<Line> line = state.sourceOf(0, index);
        ASSERT_TRUE(line.has_value()) << index;
        EXPECT_EQ(line->line.name, sources[index].name);
        EXPECT_EQ(line->line.componentType, sources[index].component);
        EXPECT_EQ(line->line.channels, sources[index].channels);
        EXPECT_EQ(line->line.source, index);
        ASSERT_EQ(line->controls.size(), 2U);
        EXPECT_EQ(line->controls[0].control.controlType, mixer::kVolume);
        EXPECT_EQ(line->controls[1].control.controlType, mixer::kMute);
        ids.push_back(line->line.lineId);
        for (const auto& control : line->controls) {
            ids.push_back(control.control.controlId);
        }
    }
    EXPECT_FALSE(state.sourceOf(0, 2).has_value());
    // Every line and control is found again by its number.
    for (std::size_t index = 0; index < ids.size(); index += 3) {
        EXPECT_TRUE(state.lineById(ids[index]).has_value());
        EXPECT_TRUE(state.control(ids[index + 1]).has_value());
        EXPECT_TRUE(state.control(ids[index + 2]).has_value());
    }
    EXPECT_EQ(readAll(state, controlOf(state, state.sourceOf(0, 1)->line.lineId, mixer::kMute), 1),
              std::vector<std::int32_t>{1})
        << "the microphone path starts muted";
}

TEST(PulseMixerStateTest, TheRecordingDestinationListsThePortsOfTheSource) {
    struct Case {
        std::vector<PulseDevice::Port> ports;
        std::vector<std::uint32_t> components;
    };
    const std::array<Case, 2> cases = {{
        {kThreePorts, {mixer::kSourceMicrophone, mixer::kSourceLine, mixer::kSourceUndefined}},
        {{}, {mixer::kSourceMicrophone}},  // a source without ports is one line
    }};
    for (const Case& each : cases) {
        const PulseMixerState state = stateWith(each.ports);
        const std::optional<Line> recording = state.destination(1);
        ASSERT_TRUE(recording.has_value());
        const auto count = static_cast<std::uint32_t>(each.components.size());
        EXPECT_EQ(recording->line.connections, count);
        ASSERT_EQ(recording->controls.size(), 3U);
        const MixerControl& list = recording->controls[2].control;
        EXPECT_EQ(list.controlType, mixer::kMux);
        EXPECT_EQ(list.multipleItems, count);
        EXPECT_EQ(list.flags, mixer::kUniform | mixer::kMultiple);
        for (std::uint32_t index = 0; index < count; ++index) {
            const std::optional<Line> line = state.sourceOf(1, index);
            ASSERT_TRUE(line.has_value()) << index;
            EXPECT_EQ(line->line.componentType, each.components[index]) << index;
        }
        EXPECT_FALSE(state.sourceOf(1, count).has_value());
    }
}

TEST(PulseMixerStateTest, UnknownDevicesHaveNoLines) {
    PulseMixerState state = stateWith(kThreePorts);
    state.source.known = false;
    EXPECT_TRUE(state.destination(0).has_value());
    EXPECT_TRUE(state.sourceOf(0, 0).has_value());
    EXPECT_FALSE(state.sourceOf(0, 1).has_value()) << "the microphone path needs the source";
    EXPECT_FALSE(state.destination(1).has_value());
    state.sink.known = false;
    EXPECT_FALSE(state.destination(0).has_value());
    EXPECT_FALSE(state.destination(2).has_value());
    EXPECT_FALSE(state.control(PulseMixerState::controlId(PulseMixerState::destinationLineId(0), 0))
                     .has_value());
}

TEST(PulseMixerStateTest, WritesAreKeptAndReadBack) {
    PulseMixerState state = stateWith(kThreePorts);
    const std::uint32_t sinkVolume =
        controlOf(state, PulseMixerState::destinationLineId(0), mixer::kVolume);
    EXPECT_EQ(readAll(state, sinkVolume, 2), (std::vector<std::int32_t>{65535, 32768}));

    const std::array<std::int32_t, 2> both = {1000, 2000};
    const std::optional<PulseWrite> change = state.write(ControlRequest{sinkVolume, 2, 0}, both);
    ASSERT_TRUE(change.has_value());
    EXPECT_EQ(change->target, PulseTarget::SinkVolume);
    EXPECT_EQ(change->volume.channels, 2);
    EXPECT_EQ(readAll(state, sinkVolume, 2), (std::vector<std::int32_t>{1000, 2000}));

    // One value stands for every channel.
    const std::array<std::int32_t, 1> one = {3000};
    ASSERT_TRUE(state.write(ControlRequest{sinkVolume, 1, 0}, one).has_value());
    EXPECT_EQ(readAll(state, sinkVolume, 2), (std::vector<std::int32_t>{3000, 3000}));

    const std::uint32_t waveMute =
        controlOf(state, state.sourceOf(0, 0)->line.lineId, mixer::kMute);
    const std::array<std::int32_t, 1> on = {1};
    const auto muted = state.write(ControlRequest{waveMute, 1, 0}, on);
    ASSERT_TRUE(muted.has_value());
    EXPECT_EQ(muted->target, PulseTarget::WaveMute);
    EXPECT_TRUE(muted->mute);
    EXPECT_EQ(readAll(state, waveMute, 1), std::vector<std::int32_t>{1});
    EXPECT_FALSE(state.sink.mute) << "the keyer's stream, not the sink";

    const std::uint32_t list = controlOf(state, PulseMixerState::destinationLineId(1), mixer::kMux);
    EXPECT_EQ(readAll(state, list, 1, 3), (std::vector<std::int32_t>{1, 0, 0}));
    const std::array<std::int32_t, 3> third = {0, 0, 1};
    const auto selected = state.write(ControlRequest{list, 1, 3}, third);
    ASSERT_TRUE(selected.has_value());
    EXPECT_EQ(selected->port, "hdmi-input");
    EXPECT_EQ(readAll(state, list, 1, 3), (std::vector<std::int32_t>{0, 0, 1}));
    const std::array<std::int32_t, 3> none = {0, 0, 0};
    const auto cleared = state.write(ControlRequest{list, 1, 3}, none);
    ASSERT_TRUE(cleared.has_value());
    EXPECT_TRUE(cleared->port.empty()) << "a source always records from one port";
}

TEST(PulseMixerStateTest, RequestsThatDoNotFitAreRefused) {
    PulseMixerState state = stateWith(kThreePorts);
    const std::uint32_t volume =
        controlOf(state, PulseMixerState::destinationLineId(0), mixer::kVolume);
    const std::uint32_t peak =
        controlOf(state, PulseMixerState::destinationLineId(0), mixer::kPeakMeter);
    const std::uint32_t list = controlOf(state, PulseMixerState::destinationLineId(1), mixer::kMux);
    struct Case {
        const char* what;
        ControlRequest request;
        std::size_t values;
    };
    const std::array<Case, 6> cases = {{
        {"fewer values than asked", {volume, 2, 0}, 1},
        {"no channel", {volume, 0, 0}, 0},
        {"items on a fader", {volume, 1, 2}, 2},
        {"a list with the wrong items", {list, 1, 2}, 2},
        {"more than one request holds", {volume, 32, 0}, 32},
        {"no such control", {0xFFFFFFF0U, 1, 0}, 1},
    }};
    for (const Case& each : cases) {
        std::vector<std::int32_t> values(each.values, 5);
        EXPECT_FALSE(state.read(each.request, values, 0)) << each.what;
        EXPECT_FALSE(state.write(each.request, values).has_value()) << each.what;
    }
    EXPECT_EQ(readAll(state, volume, 2), (std::vector<std::int32_t>{65535, 32768}));
    const std::array<std::int32_t, 1> loud = {30000};
    EXPECT_FALSE(state.write(ControlRequest{peak, 1, 0}, loud).has_value())
        << "a meter is read-only";
    std::array<std::int32_t, 1> level = {};
    ASSERT_TRUE(state.read(ControlRequest{peak, 1, 0}, level, 40000));
    EXPECT_EQ(level[0], 32767);
}

}  // namespace
}  // namespace pelkora
