#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "core/meter/TMeterControl.h"
#include "platform/MixerLayer.h"

namespace pelkora {

// The source of the line-out level: every meter control of every mixer,
// found once when it is activated, in device, destination, source order.
// It asks no device for change notifications; the main window polls the
// first meter on its timer.
// Threading: loop thread only.
class TMeterData {
  public:
    explicit TMeterData(MixerLayer& layer);
    TMeterData(const TMeterData&) = delete;
    TMeterData& operator=(const TMeterData&) = delete;
    ~TMeterData();

    bool Active() const { return active_; }
    // True lists the meter controls afresh, false forgets them; setting the
    // current value again does nothing.
    void setActive(bool active);

    int MeterCount() const { return static_cast<int>(meters_.size()); }
    // Throws ListIndexError outside the list, as every list of the mixer
    // model does.
    const TMeterControl& Meters(int index) const;

    // The device that values are read from; activation does not change it.
    int deviceReference() const { return deviceReference_; }
    MixerLayer& layer() const { return layer_; }

    // The window binds it to its timer tick; nothing here fires it while no
    // device reports changes.
    std::function<void()> OnLineChange;

  private:
    void activate();
    void collectDevice(int device, std::uint32_t destinations);
    void collectLine(int device, const MixerLine& line);

    MixerLayer& layer_;
    int deviceReference_ = 0;
    bool active_ = false;
    std::vector<std::unique_ptr<TMeterControl>> meters_;
};

}  // namespace pelkora
