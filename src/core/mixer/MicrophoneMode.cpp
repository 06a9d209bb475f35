#include "core/mixer/MicrophoneMode.h"

#include <algorithm>

namespace pelkora {
namespace {

constexpr std::int32_t kPlayback = 0;
constexpr std::int32_t kRecording = 1;
constexpr std::int32_t kWholeLine = -1;

std::string connectionName(std::int32_t destination, std::int32_t i) {
    return "Mixer.Destinations[" + std::to_string(destination) + "].Connections[" +
           std::to_string(i) + "].Data.dwComponentType";
}

}  // namespace

MicrophoneMode::MicrophoneMode(TAudioMixer& mixer, KeyerEngine& engine, DiagnosticLog& log,
                               MicrophoneHost& host)
    : mixer_(mixer), engine_(engine), log_(log), host_(host) {}

bool MicrophoneMode::mixerUsable() const {
    return mixer_.MixerCount() > 0 && mixer_.Destinations() != nullptr &&
           mixer_.Destinations()->Count() > kRecording;
}

void MicrophoneMode::FindMicrophoneLines() {
    log_.logInteger("Mixer.MixerCount", mixer_.MixerCount());
    available_ = mixerUsable();
    if (!available_) {
        host_.showInformation(kNoMixer);
        host_.setMikeEnabled(false);
        return;
    }
    findRecordingMicrophone();
    findPlaybackMicrophone();
}

// Neither search resets its index first: with several microphones the last
// one wins, with none the index keeps what it had.
void MicrophoneMode::findRecordingMicrophone() {
    const TMixerConnections& sources = (*mixer_.Destinations())[kRecording].Connections();
    log_.logInteger("Mixer.Destinations[1].Connections.Count", sources.Count());
    for (std::int32_t i = 0; i < sources.Count(); ++i) {
        const std::uint32_t type = sources[i].Data().componentType;
        log_.logInteger("i", i);
        log_.logString(connectionName(kRecording, i), std::to_string(type));
        if (type == mixer::kSourceMicrophone) {
            iMikeId_ = i;
            log_.logInteger("iMikeId", i);
        }
    }
}

void MicrophoneMode::findPlaybackMicrophone() {
    const TMixerConnections& sources = (*mixer_.Destinations())[kPlayback].Connections();
    log_.logInteger("Mixer.Destinations[0].Connections.Count", sources.Count());
    for (std::int32_t i = 0; i < sources.Count(); ++i) {
        const std::uint32_t type = sources[i].Data().componentType;
        log_.logString(connectionName(kPlayback, i), std::to_string(type));
        if (type == mixer::kSourceMicrophone) {
            iMikeOutId_ = i;
            log_.logInteger("iMikeOutId", i);
            log_.logInteger("i", i);
            mixer_.GetLineMute(kPlayback, i, savedMikeOutMute_);
        }
    }
}

void MicrophoneMode::setMikeButton(bool down) {
    mikeDown_ = down;
    sbMikeClick();
}

void MicrophoneMode::sbMikeClick() {
    if (!available_) {
        // The button is disabled; a click that still arrives changes nothing.
        mikeDown_ = false;
        return;
    }
    if (mikeDown_) {
        enter();
    } else {
        leave();
    }
}

void MicrophoneMode::enter() {
    // Ends a running beacon and whatever was queued, and releases the
    // transmitter, before the microphone goes on air.
    engine_.ClearListButtonClick();
    engine_.StopButtonClick();
    host_.setCaption(kMicrophoneCaption);

    setMikeVolume(leftVolume(kRecording, iMikeId_));
    log_.logInteger("VolForm.MikeVolume.Value", mikeVolume_);
    const std::int32_t v = mikeVolume_;
    mixer_.SetLineMute(kRecording, iMikeId_, false);
    mixer_.SetLineVolume(kRecording, iMikeId_, v, v, 0);
    mixer_.SetLineMute(kPlayback, iMikeOutId_, false);
    mixer_.SetLineVolume(kPlayback, iMikeOutId_, v, v, 0);

    setLineVolume(leftVolume(kPlayback, kWholeLine));
    log_.logInteger("VolForm.LineVolume.Value", lineVolume_);
    // Keyed last: a mixer fault above leaves the transmitter released.
    engine_.setTxButton(true);
}

void MicrophoneMode::leave() {
    try {
        mixer_.SetLineMute(kPlayback, iMikeOutId_, true);
    } catch (...) {
        // The transmitter must not stay keyed on a microphone path that the
        // mixer could not close.
        engine_.setTxButton(false);
        host_.setCaption(kNormalCaption);
        throw;
    }
    engine_.setTxButton(false);
    host_.setCaption(kNormalCaption);
}

void MicrophoneMode::setMikeVolume(std::int32_t value) {
    value = std::clamp(value, 0, kSliderMax);
    if (value == mikeVolume_) {
        return;
    }
    mikeVolume_ = value;
    host_.mikeVolumeShown(value);
    MikeVolumeChange();
}

void MicrophoneMode::setLineVolume(std::int32_t value) {
    value = std::clamp(value, 0, kSliderMax);
    if (value == lineVolume_) {
        return;
    }
    lineVolume_ = value;
    host_.lineVolumeShown(value);
    LineVolumeChange();
}

void MicrophoneMode::MikeVolumeChange() {
    if (!available_ || !mikeDown_) {
        return;
    }
    setVolumeBoth(kRecording, iMikeId_, mikeVolume_);
    setVolumeBoth(kPlayback, iMikeOutId_, mikeVolume_);
}

void MicrophoneMode::LineVolumeChange() {
    if (!available_) {
        return;
    }
    setVolumeBoth(kPlayback, kWholeLine, lineVolume_);
    mixer_.SetLineMute(kPlayback, kWholeLine, false);
}

void MicrophoneMode::showRegulators() {
    if (!available_) {
        return;
    }
    setMikeVolume(leftVolume(kRecording, iMikeId_));
    setLineVolume(leftVolume(kPlayback, kWholeLine));
}

void MicrophoneMode::restoreMikeMute() {
    if (available_) {
        mixer_.SetLineMute(kPlayback, iMikeOutId_, savedMikeOutMute_);
    }
}

std::int32_t MicrophoneMode::leftVolume(std::int32_t destination, std::int32_t connection) {
    pelkora::LineVolume volume;
    mixer_.GetLineVolume(destination, connection, volume);
    return volume.left;
}

void MicrophoneMode::setVolumeBoth(std::int32_t destination, std::int32_t connection,
                                   std::int32_t value) {
    mixer_.SetLineVolume(destination, connection, value, value, 0);
}

}  // namespace pelkora
