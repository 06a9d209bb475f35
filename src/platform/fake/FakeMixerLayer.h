#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/MixerLayer.h"

namespace pelkora {

// Sound mixers scripted by a test: devices with any destinations, sources and
// controls, stored control values, failures on demand, and a record of every
// read and write. Line and control ids are unique across the whole fake and
// handed out as lines and controls are added; a line's `connections` and
// `controls` counts follow what was added to it.
// Threading: the test's thread; change notifications go out only when the
// test fires them.
class FakeMixerLayer : public MixerLayer {
  public:
    // One read or write that reached a control.
    struct Access {
        int device = 0;
        std::uint32_t controlId = 0;
        std::uint32_t channels = 0;
        std::uint32_t items = 0;
        std::vector<std::int32_t> values;  // written, or returned by a read
    };

    // Scripting. Each returns the number or id of what it added.
    int addDevice(MixerCaps caps = {});
    std::uint32_t addDestination(int device, MixerLine line = {});  // returns its line id
    std::uint32_t addSource(int device, std::uint32_t destination, MixerLine line = {});
    // Values are stored channel-major; a read returns the first values the
    // request asks for (0 past the stored ones), a write replaces them.
    std::uint32_t addControl(int device, std::uint32_t lineId, MixerControl control,
                             std::vector<std::int32_t> values = {});
    void setValues(std::uint32_t controlId, std::vector<std::int32_t> values);
    const std::vector<std::int32_t>& values(std::uint32_t controlId) const;

    // Failures.
    void failOpen(int device) { failingOpens_.insert(device); }
    void failCapabilities(int device) { failingCaps_.insert(device); }
    void failDestination(int device, std::uint32_t destination);
    void failSource(int device, std::uint32_t destination, std::uint32_t source);
    // Both ways of listing a line's controls fail.
    void failControlList(std::uint32_t lineId) { failingLists_.insert(lineId); }
    void failRead(std::uint32_t controlId) { failingReads_.insert(controlId); }
    void failWrite(std::uint32_t controlId) { failingWrites_.insert(controlId); }

    // Notifications to the listener of an open device; false when it is closed.
    bool fireLineChange(int device, std::uint32_t lineId);
    bool fireControlChange(int device, std::uint32_t controlId);

    // What was asked.
    const std::vector<Access>& reads() const { return reads_; }
    const std::vector<Access>& writes() const { return writes_; }
    void clearAccesses();
    // Calls that broke the layer's contract: a value span of the wrong size,
    // more than kMaxValues values, or a control of another device.
    int contractViolations() const { return violations_; }
    bool isOpen(int device) const { return listeners_.count(device) != 0; }
    const std::vector<std::string>& calls() const { return calls_; }  // "open 0", "close 0"

    // MixerLayer
    int deviceCount() const override { return static_cast<int>(devices_.size()); }
    bool open(int device, MixerChangeListener& listener) override;
    void close(int device) override;
    std::optional<MixerCaps> capabilities(int device) const override;
    std::optional<MixerLine> destinationLine(int device, std::uint32_t destination) const override;
    std::optional<MixerLine> sourceLine(int device, std::uint32_t destination,
                                        std::uint32_t source) const override;
    std::optional<std::vector<MixerControl>> lineControls(int device, std::uint32_t lineId,
                                                          std::uint32_t count) const override;
    std::optional<MixerControl> controlOfType(int device, std::uint32_t lineId,
                                              std::uint32_t controlType) const override;
    bool readValues(int device, const ControlRequest& request,
                    std::span<std::int32_t> values) const override;
    bool writeValues(int device, const ControlRequest& request,
                     std::span<const std::int32_t> values) override;

  private:
    struct Control {
        MixerControl info;
        std::vector<std::int32_t> values;
    };
    struct Line {
        MixerLine info;
        std::vector<std::uint32_t> controls;  // ids, in the device's order
    };
    struct Destination {
        Line line;
        std::vector<Line> sources;
    };
    struct Device {
        MixerCaps caps;
        std::vector<Destination> destinations;
    };

    Device* device(int number);
    const Device* device(int number) const;
    Line* findLine(int device, std::uint32_t lineId);
    const Line* findLine(int device, std::uint32_t lineId) const;
    bool requestFits(int device, const ControlRequest& request, std::size_t spanSize) const;

    std::vector<Device> devices_;
    std::map<std::uint32_t, Control> controls_;
    std::map<std::uint32_t, int> controlDevice_;
    std::uint32_t nextId_ = 1;

    std::set<int> failingOpens_;
    std::set<int> failingCaps_;
    std::set<std::pair<int, std::uint32_t>> failingDestinations_;
    std::set<std::pair<std::pair<int, std::uint32_t>, std::uint32_t>> failingSources_;
    std::set<std::uint32_t> failingLists_;
    std::set<std::uint32_t> failingReads_;
    std::set<std::uint32_t> failingWrites_;

    std::map<int, MixerChangeListener*> listeners_;
    mutable std::vector<Access> reads_;
    std::vector<Access> writes_;
    mutable int violations_ = 0;
    std::vector<std::string> calls_;
};

}  // namespace pelkora
