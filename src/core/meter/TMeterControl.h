#pragma once

#include <cstdint>

#include "platform/MixerLayer.h"

namespace pelkora {

class TMeterData;

// One meter control found on some mixer line: a copy of the control as the
// device described it, the line it sits on and the device it was found on.
// Threading: loop thread only, like its owner.
class TMeterControl {
  public:
    TMeterControl(const TMeterData& owner, MixerControl control, std::uint32_t lineId,
                  int deviceNumber);

    // The meter's current value; 0 when the device does not answer. Read on
    // the owner's device reference (device 0), whichever device the control
    // was found on.
    std::int32_t ReadValue() const noexcept;
    // The top of the meter's scale (32767 for a peak meter).
    std::int32_t Maximum() const { return control_.maximum; }

    const MixerControl& control() const { return control_; }
    std::uint32_t lineId() const { return lineId_; }
    int deviceNumber() const { return deviceNumber_; }

  private:
    const TMeterData& owner_;
    MixerControl control_;
    std::uint32_t lineId_;
    int deviceNumber_;
};

}  // namespace pelkora
