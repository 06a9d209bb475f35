#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/MixerLayer.h"

namespace pelkora::test {

// Just enough of a mixer for the level meter: devices with destinations and
// sources, controls per line, one stored value per (device, control id), and
// lines, listings and reads that can be made to fail. Reads are recorded.
class MeterMixerFake : public MixerLayer {
  public:
    struct Line {
        MixerLine line;
        std::vector<MixerControl> controls;
        std::vector<Line> sources;
    };
    struct Device {
        bool capsReadable = true;
        std::vector<Line> destinations;
    };
    struct Read {
        int device;
        ControlRequest request;
    };

    static MixerControl control(std::uint32_t id, std::uint32_t type, std::int32_t maximum = 0,
                                std::uint32_t flags = 0, std::uint32_t items = 0) {
        return MixerControl{id, type, flags, items, 0, maximum, "c" + std::to_string(id)};
    }
    // A line with these controls; the counts follow the vectors.
    static Line line(std::uint32_t lineId, std::vector<MixerControl> controls,
                     std::vector<Line> sources = {}) {
        Line made;
        made.line.lineId = lineId;
        made.line.controls = static_cast<std::uint32_t>(controls.size());
        made.line.connections = static_cast<std::uint32_t>(sources.size());
        made.controls = std::move(controls);
        made.sources = std::move(sources);
        return made;
    }

    std::vector<Device> devices;
    std::map<std::pair<int, std::uint32_t>, std::int32_t> values;  // (device, control) → value
    std::set<std::uint32_t> failingLines;     // line ids whose line query fails
    std::set<std::uint32_t> failingListings;  // line ids whose control listing fails
    mutable std::vector<Read> reads;
    mutable int lineQueries = 0;

    int deviceCount() const override { return static_cast<int>(devices.size()); }
    bool open(int, MixerChangeListener&) override { return false; }
    void close(int) override {}
    std::optional<MixerCaps> capabilities(int device) const override {
        const Device* found = deviceAt(device);
        if (found == nullptr || !found->capsReadable) {
            return std::nullopt;
        }
        MixerCaps caps;
        caps.destinations = static_cast<std::uint32_t>(found->destinations.size());
        return caps;
    }
    std::optional<MixerLine> destinationLine(int device, std::uint32_t d) const override {
        ++lineQueries;
        const Device* found = deviceAt(device);
        if (found == nullptr || d >= found->destinations.size()) {
            return std::nullopt;
        }
        return answer(found->destinations[d], d, 0);
    }
    std::optional<MixerLine> sourceLine(int device, std::uint32_t d,
                                        std::uint32_t s) const override {
        ++lineQueries;
        const Device* found = deviceAt(device);
        if (found == nullptr || d >= found->destinations.size() ||
            s >= found->destinations[d].sources.size()) {
            return std::nullopt;
        }
        return answer(found->destinations[d].sources[s], d, s);
    }
    std::optional<std::vector<MixerControl>> lineControls(int device, std::uint32_t lineId,
                                                          std::uint32_t) const override {
        if (failingListings.count(lineId) != 0) {
            return std::nullopt;
        }
        const Line* found = lineAt(device, lineId);
        if (found == nullptr) {
            return std::nullopt;
        }
        return found->controls;
    }
    std::optional<MixerControl> controlOfType(int, std::uint32_t, std::uint32_t) const override {
        return std::nullopt;
    }
    bool readValues(int device, const ControlRequest& request,
                    std::span<std::int32_t> out) const override {
        reads.push_back(Read{device, request});
        const auto value = values.find({device, request.controlId});
        if (value == values.end() || out.size() != request.valueCount()) {
            return false;
        }
        std::fill(out.begin(), out.end(), 0);
        out[0] = value->second;
        return true;
    }
    bool writeValues(int, const ControlRequest&, std::span<const std::int32_t>) override {
        return false;
    }

  private:
    const Device* deviceAt(int device) const {
        if (device < 0 || device >= deviceCount()) {
            return nullptr;
        }
        return &devices[static_cast<std::size_t>(device)];
    }
    std::optional<MixerLine> answer(const Line& line, std::uint32_t d, std::uint32_t s) const {
        if (failingLines.count(line.line.lineId) != 0) {
            return std::nullopt;
        }
        MixerLine copy = line.line;
        copy.destination = d;
        copy.source = s;
        return copy;
    }
    const Line* lineAt(int device, std::uint32_t lineId) const {
        const Device* found = deviceAt(device);
        if (found == nullptr) {
            return nullptr;
        }
        for (const Line& destination : found->destinations) {
            if (destination.line.lineId == lineId) {
                return &destination;
            }
            for (const Line& source : destination.sources) {
                if (source.line.lineId == lineId) {
                    return &source;
                }
            }
        }
        return nullptr;
    }
};

}  // namespace pelkora::test
