#include "core/mixer/TMixerDestinations.h"

#include <memory>

namespace pelkora {

TMixerDestinations::TMixerDestinations(const MixerLayer& layer, int device,
                                       std::uint32_t destinations) {
    for (std::uint32_t d = 0; d < destinations; ++d) {
        const auto line = layer.destinationLine(device, d);
        if (line) {
            list_.Add(std::make_unique<TMixerDestination>(layer, device, *line));
        }
    }
}

}  // namespace pelkora
