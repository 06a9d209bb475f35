#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/mixer/LineVolume.h"
#include "core/mixer/TMixerDestinations.h"
#include "platform/MixerLayer.h"

namespace pelkora {

// One mixer device mirrored as a tree: its destination lines, the sources
// feeding each, and the controls of every line, built once when the device
// opens and never updated (change notifications are only passed on). The
// four value operations read and write the volume and mute of one line.
//
// Construction opens device 0 when there is one. Closed: MixerId −1 and no
// Destinations; the value operations then report false and touch nothing.
// Threading: loop thread only; the events fire on it.
class TAudioMixer : private MixerChangeListener {
  public:
    // Sender, the device the notification came from, the line or control id.
    using TMixerChange =
        std::function<void(TAudioMixer& Sender, std::uint32_t MixerH, std::uint32_t ID)>;

    explicit TAudioMixer(MixerLayer& layer);
    ~TAudioMixer() override;
    TAudioMixer(const TAudioMixer&) = delete;
    TAudioMixer& operator=(const TAudioMixer&) = delete;

    std::int32_t MixerCount() const { return mixerCount_; }
    std::int32_t MixerId() const { return mixerId_; }
    // Closes the open device and opens device n (the last one when n is past
    // the end; none when n is negative). With no device at all, nothing changes.
    void setMixerId(std::int32_t n);
    void CloseMixer();

    std::uint32_t DriverVersion() const { return caps_.driverVersion; }
    const std::string& Manufacturer() const { return manufacturer_; }
    std::uint16_t ProductId() const { return caps_.productId; }
    std::int32_t NumberOfLine() const { return numberOfLine_; }
    const std::string& ProductName() const { return caps_.productName; }
    // Absent (null) while closed.
    const TMixerDestinations* Destinations() const { return destinations_.get(); }

    bool GetLineVolume(std::int32_t destination, std::int32_t connection, LineVolume& volume);
    bool SetLineVolume(std::int32_t destination, std::int32_t connection, std::int32_t left,
                       std::int32_t right, std::int32_t mute);
    bool GetLineMute(std::int32_t destination, std::int32_t connection, bool& mute);
    bool SetLineMute(std::int32_t destination, std::int32_t connection, bool mute);

    TMixerChange OnLineChange;
    TMixerChange OnControlChange;

  private:
    void onLineChange(std::uint32_t device, std::uint32_t lineId) override;
    void onControlChange(std::uint32_t device, std::uint32_t controlId) override;
    void takeCapabilities();

    MixerLayer& layer_;
    std::unique_ptr<TMixerDestinations> destinations_;
    std::int32_t mixerCount_ = 0;
    std::int32_t mixerId_ = -1;
    MixerCaps caps_;
    std::string manufacturer_;
    std::int32_t numberOfLine_ = 0;
};

}  // namespace pelkora
