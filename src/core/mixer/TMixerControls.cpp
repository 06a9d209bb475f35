#include "core/mixer/TMixerControls.h"

namespace pelkora {

TMixerControls::TMixerControls(const MixerLayer& layer, int device, const MixerLine& line) {
    auto listed = layer.lineControls(device, line.lineId, line.controls);
    if (!listed) {
        return;
    }
    block_ = std::move(*listed);
    for (const MixerControl& control : block_) {
        list_.Add(&control);
    }
}

}  // namespace pelkora
