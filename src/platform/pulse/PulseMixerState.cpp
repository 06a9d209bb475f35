#include "platform/pulse/PulseMixerState.h"

#include <pulse/def.h>

#include <algorithm>
#include <cctype>

namespace pelkora {
namespace {

// Component types of the lines this device has beyond the source kinds the
// mixer model names.
constexpr std::uint32_t kDestinationSpeakers = 4;
constexpr std::uint32_t kDestinationWaveIn = 7;
constexpr std::uint32_t kSourceWaveOut = 0x1008;

constexpr std::uint32_t kMaximumPorts = mixer::kMaxValues;  // one list request holds them all

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::uint32_t channelsOf(const pa_cvolume& volume) {
    return std::max<std::uint32_t>(volume.channels, 1);
}

}  // namespace

PulseMixerState::PulseMixerState() {
    pa_cvolume_init(&wave.volume);
    pa_cvolume_init(&microphone.volume);
    // The microphone path is closed until the operator opens it: the
    // transmitter must not carry the room by surprise.
    microphone.mute = true;
}

std::uint32_t PulseMixerState::destinationLineId(std::uint32_t destination) {
    return destination << 16 | kDestinationSlot;
}

std::uint32_t PulseMixerState::sourceLineId(std::uint32_t destination, std::uint32_t source) {
    return destination << 16 | source;
}

std::uint32_t PulseMixerState::controlId(std::uint32_t lineId, std::uint32_t position) {
    return lineId << 4 | position;
}

// Rounded to the nearest step both ways, so that a value read back is the one written.
pa_volume_t PulseMixerState::toPulse(std::int32_t value) {
    constexpr auto kScale = static_cast<std::uint64_t>(kVolumeMaximum);
    const auto clamped = static_cast<std::uint64_t>(std::clamp(value, 0, kVolumeMaximum));
    return static_cast<pa_volume_t>((clamped * PA_VOLUME_NORM + kScale / 2) / kScale);
}

std::int32_t PulseMixerState::toMixer(pa_volume_t volume) {
    constexpr auto kScale = static_cast<std::uint64_t>(kVolumeMaximum);
    const std::uint64_t scaled =
        (std::uint64_t{volume} * kScale + PA_VOLUME_NORM / 2) / PA_VOLUME_NORM;
    return static_cast<std::int32_t>(std::min(scaled, kScale));
}

std::uint32_t PulseMixerState::portComponent(std::uint32_t portType, const std::string& name) {
    if (portType == PA_DEVICE_PORT_TYPE_MIC || portType == PA_DEVICE_PORT_TYPE_HEADSET) {
        return mixer::kSourceMicrophone;
    }
    if (portType == PA_DEVICE_PORT_TYPE_LINE) {
        return mixer::kSourceLine;
    }
    // Servers that do not type their ports still name them after what they are.
    const std::string lower = lowered(name);
    if (lower.find("mic") != std::string::npos) {
        return mixer::kSourceMicrophone;
    }
    if (lower.find("line") != std::string::npos) {
        return mixer::kSourceLine;
    }
    return mixer::kSourceUndefined;
}

std::uint32_t PulseMixerState::sourceLineCount(std::uint32_t destination) const {
    if (destination == 0) {
        return 2;
    }
    // A source without ports is one line: itself.
    const auto ports = static_cast<std::uint32_t>(source.ports.size());
    return std::clamp<std::uint32_t>(ports, 1, kMaximumPorts);
}

void PulseMixerState::addControl(Line& line, std::uint32_t type, PulseTarget target,
                                 const std::string& name) {
    Control added;
    added.target = target;
    added.channels = line.line.channels;
    added.control.controlId =
        controlId(line.line.lineId, static_cast<std::uint32_t>(line.controls.size()));
    added.control.controlType = type;
    added.control.name = name;
    if (type == mixer::kVolume) {
        added.control.maximum = kVolumeMaximum;
    } else if (type == mixer::kPeakMeter) {
        added.control.flags = mixer::kUniform;
        added.control.maximum = kPeakMaximum;
    } else {
        added.control.flags = mixer::kUniform;
        added.control.maximum = 1;
    }
    line.controls.push_back(added);
    line.line.controls = static_cast<std::uint32_t>(line.controls.size());
}

PulseMixerState::Line PulseMixerState::makeDestination(std::uint32_t index) const {
    const PulseDevice& device = index == 0 ? sink : source;
    Line made;
    made.line.destination = index;
    made.line.lineId = destinationLineId(index);
    made.line.componentType = index == 0 ? kDestinationSpeakers : kDestinationWaveIn;
    made.line.channels = channelsOf(device.volume);
    made.line.connections = sourceLineCount(index);
    made.line.name = device.description.empty() ? device.name : device.description;
    const PulseTarget volume = index == 0 ? PulseTarget::SinkVolume : PulseTarget::SourceVolume;
    const PulseTarget mute = index == 0 ? PulseTarget::SinkMute : PulseTarget::SourceMute;
    addControl(made, mixer::kVolume, volume, "Volume");
    addControl(made, mixer::kMute, mute, "Mute");
    if (index == 0) {
        addControl(made, mixer::kPeakMeter, PulseTarget::Peak, "Peak");
    } else {
        addControl(made, mixer::kMux, PulseTarget::SourcePort, "Input");
        Control& list = made.controls.back();
        list.control.flags = mixer::kUniform | mixer::kMultiple;
        list.control.multipleItems = made.line.connections;
    }
    return made;
}

PulseMixerState::Line PulseMixerState::makeSource(std::uint32_t destination,
                                                  std::uint32_t index) const {
    Line made;
    made.line.destination = destination;
    made.line.source = index;
    made.line.lineId = sourceLineId(destination, index);
    PulseTarget volume = PulseTarget::SourceVolume;
    PulseTarget mute = PulseTarget::SourceMute;
    if (destination == 0 && index == 0) {
        made.line.componentType = kSourceWaveOut;
        made.line.channels = channelsOf(sink.volume);
        made.line.name = "Wave";
        volume = PulseTarget::WaveVolume;
        mute = PulseTarget::WaveMute;
    } else if (destination == 0) {
        // The microphone path plays the source's own channels into the sink.
        made.line.componentType = mixer::kSourceMicrophone;
        made.line.channels = channelsOf(source.volume);
        made.line.name = "Microphone";
        volume = PulseTarget::MicrophoneVolume;
        mute = PulseTarget::MicrophoneMute;
    } else if (source.ports.empty()) {
        // The source the station takes its microphone from, when it has no
        // ports to tell what is plugged in.
        made.line.componentType = mixer::kSourceMicrophone;
        made.line.channels = channelsOf(source.volume);
        made.line.name = source.description.empty() ? source.name : source.description;
    } else {
        const PulseDevice::Port& port = source.ports[index];
        made.line.componentType = port.componentType;
        made.line.channels = channelsOf(source.volume);
        made.line.name = port.description.empty() ? port.name : port.description;
    }
    addControl(made, mixer::kVolume, volume, "Volume");
    addControl(made, mixer::kMute, mute, "Mute");
    return made;
}

std::optional<PulseMixerState::Line> PulseMixerState::destination(std::uint32_t index) const {
    if (index >= kDestinations || !(index == 0 ? sink : source).known) {
        return std::nullopt;
    }
    return makeDestination(index);
}

std::optional<PulseMixerState::Line> PulseMixerState::sourceOf(std::uint32_t destinationIndex,
                                                               std::uint32_t index) const {
    // The microphone path needs both devices; the others need their destination's.
    if (!destination(destinationIndex) || index >= sourceLineCount(destinationIndex) ||
        (destinationIndex == 0 && index == 1 && !source.known)) {
        return std::nullopt;
    }
    return makeSource(destinationIndex, index);
}

std::optional<PulseMixerState::Line> PulseMixerState::lineById(std::uint32_t lineId) const {
    const std::uint32_t destinationIndex = lineId >> 16;
    const std::uint32_t slot = lineId & 0xFFFF;
    return slot == kDestinationSlot ? destination(destinationIndex)
                                    : sourceOf(destinationIndex, slot);
}

std::optional<PulseMixerState::Control> PulseMixerState::control(std::uint32_t controlId) const {
    const std::optional<Line> line = lineById(controlId >> 4);
    const std::uint32_t position = controlId & 0xF;
    if (!line || position >= line->controls.size()) {
        return std::nullopt;
    }
    return line->controls[position];
}

const pa_cvolume* PulseMixerState::volumeOf(PulseTarget target) const {
    switch (target) {
        case PulseTarget::SinkVolume:
            return &sink.volume;
        case PulseTarget::SourceVolume:
            return &source.volume;
        case PulseTarget::WaveVolume:
            return &wave.volume;
        case PulseTarget::MicrophoneVolume:
            return &microphone.volume;
        default:
            return nullptr;
    }
}

bool PulseMixerState::muteOf(PulseTarget target) const {
    switch (target) {
        case PulseTarget::SinkMute:
            return sink.mute;
        case PulseTarget::SourceMute:
            return source.mute;
        case PulseTarget::WaveMute:
            return wave.mute;
        default:
            return microphone.mute;
    }
}

// Lists take exactly their items; other controls take no items and any
// number of channels (a uniform one repeats its single value).
bool PulseMixerState::fits(const Control& control, const ControlRequest& request,
                           std::size_t count) {
    const bool list = (control.control.flags & mixer::kMultiple) != 0;
    const std::uint32_t items = list ? control.control.multipleItems : 0;
    return request.channels > 0 && request.items == items && count == request.valueCount() &&
           count <= mixer::kMaxValues;
}

bool PulseMixerState::read(const ControlRequest& request, std::span<std::int32_t> values,
                           std::int32_t peak) const {
    const std::optional<Control> found = control(request.controlId);
    if (!found || !fits(*found, request, values.size())) {
        return false;
    }
    if (found->target == PulseTarget::Peak) {
        std::fill(values.begin(), values.end(), std::clamp(peak, 0, kPeakMaximum));
    } else if (found->target == PulseTarget::SourcePort) {
        const std::uint32_t items = request.items;
        for (std::size_t index = 0; index < values.size(); ++index) {
            values[index] = index % items == source.activePort ? 1 : 0;
        }
    } else if (const pa_cvolume* volume = volumeOf(found->target)) {
        for (std::size_t index = 0; index < values.size(); ++index) {
            values[index] =
                volume->channels == 0
                    ? kVolumeMaximum
                    : toMixer(volume->values[std::min<std::size_t>(index, volume->channels - 1U)]);
        }
    } else {
        std::fill(values.begin(), values.end(), muteOf(found->target) ? 1 : 0);
    }
    return true;
}

// Channels the request did not give take its last value.
pa_cvolume PulseMixerState::volumeFrom(const Control& control, const ControlRequest& request,
                                       std::span<const std::int32_t> values) const {
    pa_cvolume volume{};
    volume.channels =
        static_cast<std::uint8_t>(std::min<std::uint32_t>(control.channels, PA_CHANNELS_MAX));
    for (std::uint32_t channel = 0; channel < volume.channels; ++channel) {
        volume.values[channel] = toPulse(values[std::min(channel, request.channels - 1)]);
    }
    return volume;
}

std::optional<PulseWrite> PulseMixerState::write(const ControlRequest& request,
                                                 std::span<const std::int32_t> values) {
    const std::optional<Control> found = control(request.controlId);
    if (!found || !fits(*found, request, values.size()) || found->target == PulseTarget::Peak) {
        return std::nullopt;
    }
    if (found->target == PulseTarget::SourcePort) {
        return selectPort(request, values);
    }
    PulseWrite change;
    change.target = found->target;
    switch (found->target) {
        case PulseTarget::SinkVolume:
            change.volume = sink.volume = volumeFrom(*found, request, values);
            break;
        case PulseTarget::SourceVolume:
            change.volume = source.volume = volumeFrom(*found, request, values);
            break;
        case PulseTarget::WaveVolume:
            change.volume = wave.volume = volumeFrom(*found, request, values);
            break;
        case PulseTarget::MicrophoneVolume:
            change.volume = microphone.volume = volumeFrom(*found, request, values);
            break;
        case PulseTarget::SinkMute:
            change.mute = sink.mute = values[0] != 0;
            break;
        case PulseTarget::SourceMute:
            change.mute = source.mute = values[0] != 0;
            break;
        case PulseTarget::WaveMute:
            change.mute = wave.mute = values[0] != 0;
            break;
        default:
            change.mute = microphone.mute = values[0] != 0;
            break;
    }
    return change;
}

// The first item set chooses the port; none set leaves the active one, as a
// source always records from one of its ports.
std::optional<PulseWrite> PulseMixerState::selectPort(const ControlRequest& request,
                                                      std::span<const std::int32_t> values) {
    PulseWrite change;
    change.target = PulseTarget::SourcePort;
    for (std::uint32_t item = 0; item < request.items; ++item) {
        if (values[item] == 0) {
            continue;
        }
        if (item < source.ports.size()) {
            source.activePort = item;
            change.port = source.ports[item].name;
        }
        break;
    }
    return change;
}

}  // namespace pelkora
