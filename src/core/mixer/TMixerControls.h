#pragma once

#include <cstdint>
#include <vector>

#include "core/mixer/TPointerList.h"
#include "platform/MixerLayer.h"

namespace pelkora {

// The controls of one line, listed once when the tree is built: one block of
// records and a list pointing into it, in the device's order. A line whose
// controls cannot be listed has none.
class TMixerControls {
  public:
    TMixerControls(const MixerLayer& layer, int device, const MixerLine& line);
    TMixerControls(const TMixerControls&) = delete;
    TMixerControls& operator=(const TMixerControls&) = delete;

    std::int32_t Count() const { return list_.Count(); }
    // Throws ListIndexError outside 0..Count()-1.
    const MixerControl& operator[](std::int32_t index) const { return *list_.Get(index); }

  private:
    std::vector<MixerControl> block_;
    TPointerList<const MixerControl> list_;  // into block_, not owning
};

}  // namespace pelkora
