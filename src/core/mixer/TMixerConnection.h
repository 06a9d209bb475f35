#pragma once

#include "core/mixer/TMixerControls.h"
#include "platform/MixerLayer.h"

namespace pelkora {

// A source line feeding a destination, with its controls.
class TMixerConnection {
  public:
    TMixerConnection(const MixerLayer& layer, int device, const MixerLine& data)
        : data_(data), controls_(layer, device, data_) {}

    // The platform's source index is data.source; the position in its
    // destination's list may be lower when earlier sources could not be read.
    const MixerLine& Data() const { return data_; }
    const TMixerControls& Controls() const { return controls_; }

  private:
    MixerLine data_;
    TMixerControls controls_;
};

}  // namespace pelkora
