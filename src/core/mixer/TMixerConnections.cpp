#include "core/mixer/TMixerConnections.h"

#include <memory>

namespace pelkora {

TMixerConnections::TMixerConnections(const MixerLayer& layer, int device,
                                     const MixerLine& destination) {
    for (std::uint32_t s = 0; s < destination.connections; ++s) {
        const auto line = layer.sourceLine(device, destination.destination, s);
        if (line) {
            list_.Add(std::make_unique<TMixerConnection>(layer, device, *line));
        }
    }
}

}  // namespace pelkora
