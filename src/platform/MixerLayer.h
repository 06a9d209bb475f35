#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace pelkora {

// Types, flags and component kinds of mixer lines and controls. The numbers
// are the ones the mixer model and its settings have always used, whatever
// the sound system underneath.
namespace mixer {
inline constexpr std::uint32_t kVolume = 0x50030001;
inline constexpr std::uint32_t kMute = 0x20010002;
inline constexpr std::uint32_t kMixer = 0x71010001;  // multi-select source list
inline constexpr std::uint32_t kMux = 0x70010001;    // single-select source list
inline constexpr std::uint32_t kPeakMeter = 0x10020001;
inline constexpr std::uint32_t kMeterClass = 0x10000000;
inline constexpr std::uint32_t kClassMask = 0xF0000000;

inline constexpr std::uint32_t kUniform = 0x1;
inline constexpr std::uint32_t kMultiple = 0x2;
inline constexpr std::uint32_t kDisabled = 0x80000000;

inline constexpr std::uint32_t kSourceUndefined = 0x1000;
inline constexpr std::uint32_t kSourceLine = 0x1002;
inline constexpr std::uint32_t kSourceMicrophone = 0x1003;

// Every value exchanged with a control is one 32-bit integer; one request
// carries at most this many.
inline constexpr std::size_t kMaxValues = 31;
}  // namespace mixer

struct MixerCaps {
    std::uint16_t manufacturerId = 0;
    std::uint16_t productId = 0;
    std::uint32_t driverVersion = 0;
    std::string productName;
    std::uint32_t destinations = 0;
};

struct MixerLine {
    std::uint32_t destination = 0;  // index of the destination line
    std::uint32_t source = 0;       // index of the source within it; 0 for a destination
    std::uint32_t lineId = 0;
    std::uint32_t componentType = 0;
    std::uint32_t channels = 0;
    std::uint32_t connections = 0;  // sources feeding a destination
    std::uint32_t controls = 0;
    std::string name;
};

struct MixerControl {
    std::uint32_t controlId = 0;
    std::uint32_t controlType = 0;
    std::uint32_t flags = 0;
    std::uint32_t multipleItems = 0;
    std::int32_t minimum = 0;
    std::int32_t maximum = 0;
    std::string name;
};

// One read or write of a control's values: channels × items values (items 0
// counts as 1), channel-major for a list control.
struct ControlRequest {
    std::uint32_t controlId = 0;
    std::uint32_t channels = 1;
    std::uint32_t items = 0;
    std::size_t valueCount() const { return std::size_t{channels} * (items == 0 ? 1 : items); }
};

// Told of changes on an open device, on the loop thread (posted, never from
// inside a call of the layer).
class MixerChangeListener {
  public:
    virtual ~MixerChangeListener() = default;
    virtual void onLineChange(std::uint32_t device, std::uint32_t lineId) = 0;
    virtual void onControlChange(std::uint32_t device, std::uint32_t controlId) = 0;
};

// The station's sound mixers, presented as devices with destination lines,
// the source lines feeding each, and typed controls holding 32-bit values.
// Devices are addressed by number. Every call answers at once from what the
// backend knows (no call waits on a sound server); a failure is an empty
// optional or false, never an exception.
// Threading: loop thread only.
class MixerLayer {
  public:
    virtual ~MixerLayer() = default;

    virtual int deviceCount() const = 0;
    // Starts change notifications for the device to the listener (which must
    // outlive the open device); false when the device cannot be opened.
    virtual bool open(int device, MixerChangeListener& listener) = 0;
    virtual void close(int device) = 0;
    virtual std::optional<MixerCaps> capabilities(int device) const = 0;

    virtual std::optional<MixerLine> destinationLine(int device,
                                                     std::uint32_t destination) const = 0;
    virtual std::optional<MixerLine> sourceLine(int device, std::uint32_t destination,
                                                std::uint32_t source) const = 0;
    // All controls of a line, in the device's order; count is what the line
    // said it has.
    virtual std::optional<std::vector<MixerControl>> lineControls(int device, std::uint32_t lineId,
                                                                  std::uint32_t count) const = 0;
    // The first control of a line with this type.
    virtual std::optional<MixerControl> controlOfType(int device, std::uint32_t lineId,
                                                      std::uint32_t controlType) const = 0;

    // values has exactly request.valueCount() elements.
    virtual bool readValues(int device, const ControlRequest& request,
                            std::span<std::int32_t> values) const = 0;
    virtual bool writeValues(int device, const ControlRequest& request,
                             std::span<const std::int32_t> values) = 0;
};

}  // namespace pelkora
