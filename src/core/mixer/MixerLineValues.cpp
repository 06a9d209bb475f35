#include "core/mixer/MixerLineValues.h"

#include "core/mixer/ControlValues.h"

namespace pelkora {
namespace {

bool isFader(const MixerControl& control) {
    return (control.controlType == mixer::kVolume || control.controlType == mixer::kMute) &&
           (control.flags & mixer::kMultiple) == 0;
}

bool isList(const MixerControl& control) {
    return control.controlType == mixer::kMux || control.controlType == mixer::kMixer;
}

// MUX and MIXER share these bits; the volume's selection fallback takes any
// control that has them all.
bool isListFamily(const MixerControl& control) {
    return (control.controlType & mixer::kMux) == mixer::kMux;
}

bool disabled(const MixerControl& control) {
    return (control.flags & mixer::kDisabled) != 0;
}

ControlValues listValues(const TMixerDestination& destination, const MixerControl& control) {
    return ControlValues(control, ControlValues::channelsOf(control, destination.Data().channels),
                         ControlValues::itemsOf(control));
}

}  // namespace

MixerLineValues::Line MixerLineValues::resolve(std::int32_t destination,
                                               std::int32_t connection) const {
    const TMixerDestination& d = destinations_[destination];
    if (connection == -1) {
        return Line{d, d.Data(), d.Controls()};
    }
    const TMixerConnection& source = d.Connections()[connection];
    return Line{d, source.Data(), source.Controls()};
}

bool MixerLineValues::GetLineVolume(std::int32_t destination, std::int32_t connection,
                                    LineVolume& volume) {
    volume.stereo = false;
    const Line line = resolve(destination, connection);
    volume.left = -1;
    volume.right = -1;
    volume.mute = -1;
    readVolumeAndMute(line, volume);
    if (volume.mute == -1 && connection != -1) {
        volume.mute = readSelection(line.destination, connection);
    }
    if (volume.left == -1) {
        volume.volumeDisabled = true;
    }
    if (volume.mute == -1) {
        volume.muteDisabled = true;
    }
    return true;
}

void MixerLineValues::readVolumeAndMute(const Line& line, LineVolume& volume) {
    for (std::int32_t i = 0; i < line.controls.Count() && (volume.left == -1 || volume.mute == -1);
         ++i) {
        const MixerControl& control = line.controls[i];
        if (!isFader(control)) {
            continue;
        }
        ControlValues values(control, ControlValues::channelsOf(control, line.data.channels), 0);
        if (!values.read(layer_, device_)) {
            continue;
        }
        if (control.controlType == mixer::kVolume && volume.left == -1) {
            volume.volumeDisabled = disabled(control);
            if (!volume.volumeDisabled) {
                volume.left = values[0];
                if (values.channels() > 1) {
                    volume.right = values[1];
                    volume.stereo = true;
                }
            }
        } else if (control.controlType == mixer::kMute && volume.mute == -1) {
            volume.muteDisabled = disabled(control);
            if (!volume.muteDisabled) {
                volume.mute = values[0] != 0 ? 1 : 0;
            }
        }
    }
}

std::int32_t MixerLineValues::readSelection(const TMixerDestination& destination,
                                            std::int32_t connection) {
    const TMixerControls& controls = destination.Controls();
    std::int32_t mute = -1;
    for (std::int32_t i = 0; i < controls.Count() && mute == -1; ++i) {
        const MixerControl& control = controls[i];
        if (!isListFamily(control)) {
            continue;
        }
        ControlValues values = listValues(destination, control);
        if (values.read(layer_, device_) && values.holds(connection)) {
            mute = values[static_cast<std::size_t>(connection)];
        }
    }
    return mute;
}

bool MixerLineValues::SetLineVolume(std::int32_t destination, std::int32_t connection,
                                    std::int32_t left, std::int32_t right, std::int32_t mute) {
    const Line line = resolve(destination, connection);
    bool volumeDone = left == -1;
    bool muteDone = mute == -1;
    for (std::int32_t i = 0; i < line.controls.Count() && !(volumeDone && muteDone); ++i) {
        const MixerControl& control = line.controls[i];
        if (!isFader(control)) {
            continue;
        }
        if (control.controlType == mixer::kVolume && !volumeDone) {
            writeVolume(line, control, left, right);
            volumeDone = true;
        } else if (control.controlType == mixer::kMute && !muteDone) {
            writeMute(line, control, mute);
            muteDone = true;
        }
    }
    if (!muteDone && connection != -1) {
        writeSelection(line.destination, connection, mute);
    }
    // The line was found: what the writes answered is not reported.
    return true;
}

void MixerLineValues::writeVolume(const Line& line, const MixerControl& control, std::int32_t left,
                                  std::int32_t right) {
    ControlValues values(control, ControlValues::channelsOf(control, line.data.channels), 0);
    // Channels past the second (a surround line) follow the right one rather
    // than dropping to silence.
    values.fill(0, 1, left);
    values.fill(1, values.count(), right == -1 ? left : right);
    values.write(layer_, device_);
}

void MixerLineValues::writeMute(const Line& line, const MixerControl& control, std::int32_t mute) {
    ControlValues values(control, ControlValues::channelsOf(control, line.data.channels), 0);
    // A mute switch per channel gets the same state on every channel.
    values.fill(0, values.count(), mute);
    values.write(layer_, device_);
}

void MixerLineValues::writeSelection(const TMixerDestination& destination, std::int32_t connection,
                                     std::int32_t value) {
    const TMixerControls& controls = destination.Controls();
    for (std::int32_t i = 0; i < controls.Count(); ++i) {
        const MixerControl& control = controls[i];
        if (!isList(control)) {
            continue;
        }
        ControlValues values = listValues(destination, control);
        if (values.read(layer_, device_) && values.holds(connection)) {
            if (control.controlType == mixer::kMux) {
                values.fill(0, control.multipleItems, 0);
            }
            values[static_cast<std::size_t>(connection)] = value;
            values.write(layer_, device_);
        }
        return;  // only the first list control is tried
    }
}

bool MixerLineValues::GetLineMute(std::int32_t destination, std::int32_t connection, bool& mute) {
    mute = false;
    const Line line = resolve(destination, connection);
    const auto control = layer_.controlOfType(device_, line.data.lineId, mixer::kMute);
    if (control) {
        ControlValues values(*control, 1, 0);
        if (!values.read(layer_, device_)) {
            return false;  // no fallback once the line has its own switch
        }
        mute = values[0] == 1;
        return true;
    }
    if (connection == -1) {
        return false;
    }
    const TMixerControls& controls = line.destination.Controls();
    for (std::int32_t i = 0; i < controls.Count(); ++i) {
        const MixerControl& list = controls[i];
        if (!isList(list)) {
            continue;
        }
        ControlValues values = listValues(line.destination, list);
        if (values.read(layer_, device_) && values.holds(connection)) {
            mute = values[static_cast<std::size_t>(connection)] != 0;
            return true;
        }
    }
    return false;
}

bool MixerLineValues::SetLineMute(std::int32_t destination, std::int32_t connection, bool mute) {
    const Line line = resolve(destination, connection);
    const auto control = layer_.controlOfType(device_, line.data.lineId, mixer::kMute);
    if (control) {
        ControlValues values(*control, 1, 0);
        values[0] = mute ? 1 : 0;
        return values.write(layer_, device_);
    }
    if (connection == -1) {
        return false;
    }
    return selectOnList(line.destination, connection, mute);
}

bool MixerLineValues::selectOnList(const TMixerDestination& destination, std::int32_t connection,
                                   bool mute) {
    const TMixerControls& controls = destination.Controls();
    for (std::int32_t i = 0; i < controls.Count(); ++i) {
        const MixerControl& list = controls[i];
        if (!isList(list)) {
            continue;
        }
        ControlValues values = listValues(destination, list);
        if (!values.read(layer_, device_) || !values.holds(connection)) {
            continue;
        }
        if (list.controlType == mixer::kMux) {
            values.fill(0, list.multipleItems, 0);
        }
        if (mute) {
            values[static_cast<std::size_t>(connection)] = 1;
        }
        if (values.write(layer_, device_)) {
            return true;
        }
    }
    return false;
}

}  // namespace pelkora
