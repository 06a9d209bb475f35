#include "core/meter/TMeterData.h"

#include "core/mixer/ListIndexError.h"

namespace pelkora {

TMeterData::TMeterData(MixerLayer& layer) : layer_(layer) {}

TMeterData::~TMeterData() = default;

void TMeterData::setActive(bool active) {
    if (active == active_) {
        return;
    }
    meters_.clear();
    if (active) {
        activate();
    }
    active_ = active;
}

const TMeterControl& TMeterData::Meters(int index) const {
    if (index < 0 || index >= MeterCount()) {
        throw ListIndexError(index);
    }
    return *meters_[static_cast<std::size_t>(index)];
}

void TMeterData::activate() {
    // Devices are addressed by number, never opened: a device whose
    // capabilities cannot be read is passed over.
    const int devices = layer_.deviceCount();
    for (int device = 0; device < devices; ++device) {
        if (const auto caps = layer_.capabilities(device)) {
            collectDevice(device, caps->destinations);
        }
    }
}

void TMeterData::collectDevice(int device, std::uint32_t destinations) {
    for (std::uint32_t d = 0; d < destinations; ++d) {
        // A destination that cannot be read has no controls and no sources.
        const auto destination = layer_.destinationLine(device, d);
        if (!destination) {
            continue;
        }
        collectLine(device, *destination);
        for (std::uint32_t s = 0; s < destination->connections; ++s) {
            if (const auto source = layer_.sourceLine(device, d, s)) {
                collectLine(device, *source);
            }
        }
    }
}

void TMeterData::collectLine(int device, const MixerLine& line) {
    if (line.controls == 0) {
        return;
    }
    const auto controls = layer_.lineControls(device, line.lineId, line.controls);
    if (!controls) {
        return;
    }
    for (const MixerControl& control : *controls) {
        // Peak, signed, unsigned and boolean meters all belong to the class.
        if ((control.controlType & mixer::kClassMask) == mixer::kMeterClass) {
            meters_.push_back(std::make_unique<TMeterControl>(*this, control, line.lineId, device));
        }
    }
}

}  // namespace pelkora
