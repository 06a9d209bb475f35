#pragma once

#include "core/mixer/TMixerConnections.h"
#include "core/mixer/TMixerControls.h"
#include "platform/MixerLayer.h"

namespace pelkora {

// A destination line: its record, the sources feeding it, then its own
// controls, built in that order.
class TMixerDestination {
  public:
    TMixerDestination(const MixerLayer& layer, int device, const MixerLine& data)
        : data_(data), connections_(layer, device, data_), controls_(layer, device, data_) {}

    const MixerLine& Data() const { return data_; }
    const TMixerConnections& Connections() const { return connections_; }
    const TMixerControls& Controls() const { return controls_; }

  private:
    MixerLine data_;
    TMixerConnections connections_;
    TMixerControls controls_;
};

}  // namespace pelkora
