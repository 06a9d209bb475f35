#include "platform/fake/FakeMixerLayer.h"

#include <algorithm>

namespace pelkora {

int FakeMixerLayer::addDevice(MixerCaps caps) {
    caps.destinations = 0;
    devices_.push_back(Device{std::move(caps), {}});
    return static_cast<int>(devices_.size()) - 1;
}

std::uint32_t FakeMixerLayer::addDestination(int number, MixerLine line) {
    Device& dev = *device(number);
    line.destination = static_cast<std::uint32_t>(dev.destinations.size());
    line.source = 0;
    line.lineId = nextId_++;
    line.connections = 0;
    line.controls = 0;
    dev.destinations.push_back(Destination{Line{line, {}}, {}});
    dev.caps.destinations = static_cast<std::uint32_t>(dev.destinations.size());
    return line.lineId;
}

std::uint32_t FakeMixerLayer::addSource(int number, std::uint32_t destination, MixerLine line) {
    Destination& dest = device(number)->destinations.at(destination);
    line.destination = destination;
    line.source = static_cast<std::uint32_t>(dest.sources.size());
    line.lineId = nextId_++;
    line.connections = 0;
    line.controls = 0;
    dest.sources.push_back(Line{line, {}});
    dest.line.info.connections = static_cast<std::uint32_t>(dest.sources.size());
    return line.lineId;
}

std::uint32_t FakeMixerLayer::addControl(int number, std::uint32_t lineId, MixerControl control,
                                         std::vector<std::int32_t> values) {
    Line* line = findLine(number, lineId);
    control.controlId = nextId_++;
    line->controls.push_back(control.controlId);
    line->info.controls = static_cast<std::uint32_t>(line->controls.size());
    controls_[control.controlId] = Control{control, std::move(values)};
    controlDevice_[control.controlId] = number;
    return control.controlId;
}

void FakeMixerLayer::setValues(std::uint32_t controlId, std::vector<std::int32_t> values) {
    controls_.at(controlId).values = std::move(values);
}

const std::vector<std::int32_t>& FakeMixerLayer::values(std::uint32_t controlId) const {
    return controls_.at(controlId).values;
}

void FakeMixerLayer::failDestination(int number, std::uint32_t destination) {
    failingDestinations_.insert({number, destination});
}

void FakeMixerLayer::failSource(int number, std::uint32_t destination, std::uint32_t source) {
    failingSources_.insert({{number, destination}, source});
}

bool FakeMixerLayer::fireLineChange(int number, std::uint32_t lineId) {
    const auto found = listeners_.find(number);
    if (found == listeners_.end()) {
        return false;
    }
    found->second->onLineChange(static_cast<std::uint32_t>(number), lineId);
    return true;
}

bool FakeMixerLayer::fireControlChange(int number, std::uint32_t controlId) {
    const auto found = listeners_.find(number);
    if (found == listeners_.end()) {
        return false;
    }
    found->second->onControlChange(static_cast<std::uint32_t>(number), controlId);
    return true;
}

void FakeMixerLayer::clearAccesses() {
    reads_.clear();
    writes_.clear();
}

bool FakeMixerLayer::open(int number, MixerChangeListener& listener) {
    calls_.push_back("open " + std::to_string(number));
    if (device(number) == nullptr || failingOpens_.count(number) != 0) {
        return false;
    }
    listeners_[number] = &listener;
    return true;
}

void FakeMixerLayer::close(int number) {
    calls_.push_back("close " + std::to_string(number));
    listeners_.erase(number);
}

std::optional<MixerCaps> FakeMixerLayer::capabilities(int number) const {
    const Device* dev = device(number);
    if (dev == nullptr || failingCaps_.count(number) != 0) {
        return std::nullopt;
    }
    return dev->caps;
}

std::optional<MixerLine> FakeMixerLayer::destinationLine(int number,
                                                         std::uint32_t destination) const {
    const Device* dev = device(number);
    if (dev == nullptr || destination >= dev->destinations.size() ||
        failingDestinations_.count({number, destination}) != 0) {
        return std::nullopt;
    }
    return dev->destinations[destination].line.info;
}

std::optional<MixerLine> FakeMixerLayer::sourceLine(int number, std::uint32_t destination,
                                                    std::uint32_t source) const {
    const Device* dev = device(number);
    if (dev == nullptr || destination >= dev->destinations.size()) {
        return std::nullopt;
    }
    const auto& sources = dev->destinations[destination].sources;
    if (source >= sources.size() || failingSources_.count({{number, destination}, source}) != 0) {
        return std::nullopt;
    }
    return sources[source].info;
}

std::optional<std::vector<MixerControl>> FakeMixerLayer::lineControls(int number,
                                                                      std::uint32_t lineId,
                                                                      std::uint32_t count) const {
    const Line* line = findLine(number, lineId);
    if (line == nullptr || failingLists_.count(lineId) != 0) {
        return std::nullopt;
    }
    std::vector<MixerControl> out;
    const std::size_t n = std::min<std::size_t>(count, line->controls.size());
    for (std::size_t i = 0; i < n; ++i) {
        out.push_back(controls_.at(line->controls[i]).info);
    }
    return out;
}

std::optional<MixerControl> FakeMixerLayer::controlOfType(int number, std::uint32_t lineId,
                                                          std::uint32_t controlType) const {
    const Line* line = findLine(number, lineId);
    if (line == nullptr || failingLists_.count(lineId) != 0) {
        return std::nullopt;
    }
    for (const std::uint32_t id : line->controls) {
        if (controls_.at(id).info.controlType == controlType) {
            return controls_.at(id).info;
        }
    }
    return std::nullopt;
}

bool FakeMixerLayer::readValues(int number, const ControlRequest& request,
                                std::span<std::int32_t> values) const {
    if (!requestFits(number, request, values.size())) {
        return false;
    }
    Access access{number, request.controlId, request.channels, request.items, {}};
    const bool ok = failingReads_.count(request.controlId) == 0;
    if (ok) {
        const auto& stored = controls_.at(request.controlId).values;
        for (std::size_t i = 0; i < values.size(); ++i) {
            values[i] = i < stored.size() ? stored[i] : 0;
        }
        access.values.assign(values.begin(), values.end());
    }
    reads_.push_back(std::move(access));
    return ok;
}

bool FakeMixerLayer::writeValues(int number, const ControlRequest& request,
                                 std::span<const std::int32_t> values) {
    if (!requestFits(number, request, values.size())) {
        return false;
    }
    writes_.push_back(Access{number, request.controlId, request.channels, request.items,
                             std::vector<std::int32_t>(values.begin(), values.end())});
    if (failingWrites_.count(request.controlId) != 0) {
        return false;
    }
    auto& stored = controls_.at(request.controlId).values;
    if (stored.size() < values.size()) {
        stored.resize(values.size());
    }
    std::copy(values.begin(), values.end(), stored.begin());
    return true;
}

FakeMixerLayer::Device* FakeMixerLayer::device(int number) {
    return number >= 0 && static_cast<std::size_t>(number) < devices_.size()
               ? &devices_[static_cast<std::size_t>(number)]
               : nullptr;
}

const FakeMixerLayer::Device* FakeMixerLayer::device(int number) const {
    return const_cast<FakeMixerLayer*>(this)->device(number);
}

FakeMixerLayer::Line* FakeMixerLayer::findLine(int number, std::uint32_t lineId) {
    Device* dev = device(number);
    if (dev == nullptr) {
        return nullptr;
    }
    for (Destination& dest : dev->destinations) {
        if (dest.line.info.lineId == lineId) {
            return &dest.line;
        }
        for (Line& source : dest.sources) {
            if (source.info.lineId == lineId) {
                return &source;
            }
        }
    }
    return nullptr;
}

const FakeMixerLayer::Line* FakeMixerLayer::findLine(int number, std::uint32_t lineId) const {
    return const_cast<FakeMixerLayer*>(this)->findLine(number, lineId);
}

bool FakeMixerLayer::requestFits(int number, const ControlRequest& request,
                                 std::size_t spanSize) const {
    const auto owner = controlDevice_.find(request.controlId);
    const bool fits = owner != controlDevice_.end() && owner->second == number && isOpen(number) &&
                      spanSize == request.valueCount() && spanSize <= mixer::kMaxValues;
    if (!fits) {
        ++violations_;
    }
    return fits;
}

}  // namespace pelkora
