#pragma once

#include <pulse/channelmap.h>
#include <pulse/sample.h>
#include <pulse/volume.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/MixerLayer.h"

namespace pelkora {

// What the sound server last told of one sink or source.
struct PulseDevice {
    struct Port {
        std::string name;
        std::string description;
        std::uint32_t componentType = mixer::kSourceUndefined;
    };

    bool known = false;
    std::string name;
    std::string description;
    std::string monitor;  // of a sink: the source that records what it plays
    pa_sample_spec spec{};
    pa_cvolume volume{};
    pa_channel_map map{};
    bool mute = false;
    std::vector<Port> ports;
    std::size_t activePort = 0;
};

// A stream of the keyer's own whose level the mixer sets. channels 0 in the
// volume stands for full volume on every channel.
struct PulseStreamLevel {
    pa_cvolume volume{};
    bool mute = false;
};

// What a control acts on.
enum class PulseTarget {
    SinkVolume,
    SinkMute,
    Peak,
    WaveVolume,
    WaveMute,
    MicrophoneVolume,
    MicrophoneMute,
    SourceVolume,
    SourceMute,
    SourcePort,
};

// A write the server is to carry out; the state already holds its result.
struct PulseWrite {
    PulseTarget target = PulseTarget::SinkVolume;
    pa_cvolume volume{};
    bool mute = false;
    std::string port;  // empty: nothing to select
};

// The mixer device as the keyer sees it, built from what the server told:
// destination 0 is the sink the keyer plays to, with the keyer's own stream
// ("Wave") and the microphone path as its sources, and a peak meter of what
// the sink plays; destination 1 is the source, with its ports as sources and
// a single-select list choosing the active one. Line and control numbers
// depend only on the positions, so they stay the same while the server's
// devices come and go.
// Threading: none of its own; the owner guards it.
class PulseMixerState {
  public:
    struct Control {
        MixerControl control;
        PulseTarget target = PulseTarget::SinkVolume;
        std::uint32_t channels = 1;  // of its line
    };
    struct Line {
        MixerLine line;
        std::vector<Control> controls;
    };

    static constexpr std::uint32_t kDestinations = 2;
    static constexpr std::int32_t kVolumeMaximum = 65535;
    static constexpr std::int32_t kPeakMaximum = 32767;
    // Line identifiers: destination d is (d << 16) | 0xFFFF, its source s is (d << 16) | s.
    static constexpr std::uint32_t kDestinationSlot = 0xFFFF;

    PulseDevice sink;
    PulseDevice source;
    PulseStreamLevel wave;
    PulseStreamLevel microphone;

    PulseMixerState();

    std::optional<Line> destination(std::uint32_t index) const;
    std::optional<Line> sourceOf(std::uint32_t destination, std::uint32_t index) const;
    std::optional<Line> lineById(std::uint32_t lineId) const;
    std::optional<Control> control(std::uint32_t controlId) const;

    static std::uint32_t destinationLineId(std::uint32_t destination);
    static std::uint32_t sourceLineId(std::uint32_t destination, std::uint32_t source);
    static std::uint32_t controlId(std::uint32_t lineId, std::uint32_t position);

    // peak is the meter's latest value, 0..kPeakMaximum.
    bool read(const ControlRequest& request, std::span<std::int32_t> values,
              std::int32_t peak) const;
    // Takes the values into this state and says what to send; nothing for a
    // request that does not fit the control or a control that cannot be set.
    std::optional<PulseWrite> write(const ControlRequest& request,
                                    std::span<const std::int32_t> values);

    // Mixer values 0..65535 stand linearly for 0..PA_VOLUME_NORM.
    static pa_volume_t toPulse(std::int32_t value);
    static std::int32_t toMixer(pa_volume_t volume);

    // The component type of a source port, from its type or else its name.
    static std::uint32_t portComponent(std::uint32_t portType, const std::string& name);

  private:
    std::uint32_t sourceLineCount(std::uint32_t destination) const;
    Line makeDestination(std::uint32_t index) const;
    Line makeSource(std::uint32_t destination, std::uint32_t index) const;
    static void addControl(Line& line, std::uint32_t type, PulseTarget target,
                           const std::string& name);
    const pa_cvolume* volumeOf(PulseTarget target) const;
    bool muteOf(PulseTarget target) const;
    static bool fits(const Control& control, const ControlRequest& request, std::size_t count);
    pa_cvolume volumeFrom(const Control& control, const ControlRequest& request,
                          std::span<const std::int32_t> values) const;
    std::optional<PulseWrite> selectPort(const ControlRequest& request,
                                         std::span<const std::int32_t> values);
};

}  // namespace pelkora
