#pragma once

#include <cstdint>

#include "core/mixer/TMixerDestination.h"
#include "core/mixer/TPointerList.h"
#include "platform/MixerLayer.h"

namespace pelkora {

// The destination lines of the open device that could be read, in order; a
// destination that cannot be read is left out and the next takes its place.
class TMixerDestinations {
  public:
    TMixerDestinations(const MixerLayer& layer, int device, std::uint32_t destinations);

    std::int32_t Count() const { return list_.Count(); }
    // Throws ListIndexError outside 0..Count()-1.
    const TMixerDestination& operator[](std::int32_t index) const { return *list_.Get(index); }

  private:
    TPointerList<TMixerDestination> list_{DeleteItem<TMixerDestination>};
};

}  // namespace pelkora
