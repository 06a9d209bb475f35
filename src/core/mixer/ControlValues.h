#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/MixerLayer.h"

namespace pelkora {

// The value buffer of one read or write of a control: channels × items values
// (items 0 counts as 1), never more than one request carries. A request that
// would not fit, or that asks for no value at all, is refused before it
// reaches the layer, as a failed read or write.
class ControlValues {
  public:
    ControlValues(const MixerControl& control, std::uint32_t channels, std::uint32_t items);

    // The channels of a control on a line with lineChannels: 1 for a uniform
    // control. The items: cMultipleItems for a control with several, else 0.
    static std::uint32_t channelsOf(const MixerControl& control, std::uint32_t lineChannels);
    static std::uint32_t itemsOf(const MixerControl& control);

    bool read(const MixerLayer& layer, int device);
    bool write(MixerLayer& layer, int device) const;

    std::uint32_t channels() const { return request_.channels; }
    std::size_t count() const { return request_.valueCount(); }
    bool fits() const { return count() > 0 && count() <= values_.size(); }
    // Positions at or past count() are not part of the request.
    bool holds(std::int64_t position) const {
        return position >= 0 && static_cast<std::uint64_t>(position) < count();
    }
    // Sets positions first..end-1, as far as the request reaches.
    void fill(std::size_t first, std::size_t end, std::int32_t value);
    std::int32_t& operator[](std::size_t position) { return values_.at(position); }
    std::int32_t operator[](std::size_t position) const { return values_.at(position); }

  private:
    ControlRequest request_;
    std::array<std::int32_t, mixer::kMaxValues> values_{};
};

}  // namespace pelkora
