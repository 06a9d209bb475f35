#include "core/mixer/ControlValues.h"

#include <algorithm>
#include <span>

namespace pelkora {

ControlValues::ControlValues(const MixerControl& control, std::uint32_t channels,
                             std::uint32_t items)
    : request_{control.controlId, channels, items} {}

std::uint32_t ControlValues::channelsOf(const MixerControl& control, std::uint32_t lineChannels) {
    return (control.flags & mixer::kUniform) != 0 ? 1 : lineChannels;
}

std::uint32_t ControlValues::itemsOf(const MixerControl& control) {
    return (control.flags & mixer::kMultiple) != 0 ? control.multipleItems : 0;
}

void ControlValues::fill(std::size_t first, std::size_t end, std::int32_t value) {
    const std::size_t stop = std::min({end, count(), values_.size()});
    for (std::size_t i = first; i < stop; ++i) {
        values_[i] = value;
    }
}

bool ControlValues::read(const MixerLayer& layer, int device) {
    if (!fits()) {
        return false;
    }
    return layer.readValues(device, request_, std::span<std::int32_t>(values_.data(), count()));
}

bool ControlValues::write(MixerLayer& layer, int device) const {
    if (!fits()) {
        return false;
    }
    return layer.writeValues(device, request_,
                             std::span<const std::int32_t>(values_.data(), count()));
}

}  // namespace pelkora
