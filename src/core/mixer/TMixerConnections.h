#pragma once

#include <cstdint>

#include "core/mixer/TMixerConnection.h"
#include "core/mixer/TPointerList.h"
#include "platform/MixerLayer.h"

namespace pelkora {

// The source lines of one destination that could be read, in source order;
// a source that cannot be read is left out and the next one takes its place.
class TMixerConnections {
  public:
    TMixerConnections(const MixerLayer& layer, int device, const MixerLine& destination);

    std::int32_t Count() const { return list_.Count(); }
    // Throws ListIndexError outside 0..Count()-1.
    const TMixerConnection& operator[](std::int32_t index) const { return *list_.Get(index); }

  private:
    TPointerList<TMixerConnection> list_{DeleteItem<TMixerConnection>};
};

}  // namespace pelkora
