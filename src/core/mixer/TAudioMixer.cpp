#include "core/mixer/TAudioMixer.h"

#include "core/mixer/MixerLineValues.h"

namespace pelkora {
namespace {

constexpr std::uint16_t kMicrosoft = 1;  // the manufacturer id of the system's own drivers

}  // namespace

TAudioMixer::TAudioMixer(MixerLayer& layer) : layer_(layer), mixerCount_(layer.deviceCount()) {
    setMixerId(0);
}

TAudioMixer::~TAudioMixer() {
    CloseMixer();
}

void TAudioMixer::setMixerId(std::int32_t n) {
    if (mixerCount_ <= 0) {
        return;
    }
    if (n >= mixerCount_) {
        n = mixerCount_ - 1;
    }
    CloseMixer();
    if (n < 0 || !layer_.open(n, *this)) {
        return;
    }
    mixerId_ = n;
    takeCapabilities();
    destinations_ = std::make_unique<TMixerDestinations>(layer_, n, caps_.destinations);
}

void TAudioMixer::CloseMixer() {
    if (mixerId_ >= 0) {
        layer_.close(mixerId_);
        mixerId_ = -1;
    }
    destinations_.reset();
}

void TAudioMixer::takeCapabilities() {
    // A device that cannot describe itself is taken as one without lines.
    caps_ = layer_.capabilities(mixerId_).value_or(MixerCaps{});
    manufacturer_ = caps_.manufacturerId == kMicrosoft
                        ? "Microsoft"
                        : std::to_string(caps_.manufacturerId) + " = Unknown";
    numberOfLine_ = static_cast<std::int32_t>(caps_.destinations);
}

bool TAudioMixer::GetLineVolume(std::int32_t destination, std::int32_t connection,
                                LineVolume& volume) {
    volume.stereo = false;
    if (!destinations_) {
        return false;
    }
    return MixerLineValues(layer_, mixerId_, *destinations_)
        .GetLineVolume(destination, connection, volume);
}

bool TAudioMixer::SetLineVolume(std::int32_t destination, std::int32_t connection,
                                std::int32_t left, std::int32_t right, std::int32_t mute) {
    if (!destinations_) {
        return false;
    }
    return MixerLineValues(layer_, mixerId_, *destinations_)
        .SetLineVolume(destination, connection, left, right, mute);
}

bool TAudioMixer::GetLineMute(std::int32_t destination, std::int32_t connection, bool& mute) {
    mute = false;
    if (!destinations_) {
        return false;
    }
    return MixerLineValues(layer_, mixerId_, *destinations_)
        .GetLineMute(destination, connection, mute);
}

bool TAudioMixer::SetLineMute(std::int32_t destination, std::int32_t connection, bool mute) {
    if (!destinations_) {
        return false;
    }
    return MixerLineValues(layer_, mixerId_, *destinations_)
        .SetLineMute(destination, connection, mute);
}

void TAudioMixer::onLineChange(std::uint32_t device, std::uint32_t lineId) {
    if (OnLineChange) {
        OnLineChange(*this, device, lineId);
    }
}

void TAudioMixer::onControlChange(std::uint32_t device, std::uint32_t controlId) {
    if (OnControlChange) {
        OnControlChange(*this, device, controlId);
    }
}

}  // namespace pelkora
