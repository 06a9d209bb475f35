#pragma once

#include "platform/MixerLayer.h"

namespace pelkora {

// The sound mixers of a station that has none: no device to open or ask.
// Threading: any; it holds nothing.
class AbsentMixerLayer : public MixerLayer {
  public:
    int deviceCount() const override { return 0; }
    bool open(int, MixerChangeListener&) override { return false; }
    void close(int) override {}
    std::optional<MixerCaps> capabilities(int) const override { return std::nullopt; }
    std::optional<MixerLine> destinationLine(int, std::uint32_t) const override {
        return std::nullopt;
    }
    std::optional<MixerLine> sourceLine(int, std::uint32_t, std::uint32_t) const override {
        return std::nullopt;
    }
    std::optional<std::vector<MixerControl>> lineControls(int, std::uint32_t,
                                                          std::uint32_t) const override {
        return std::nullopt;
    }
    std::optional<MixerControl> controlOfType(int, std::uint32_t, std::uint32_t) const override {
        return std::nullopt;
    }
    bool readValues(int, const ControlRequest&, std::span<std::int32_t>) const override {
        return false;
    }
    bool writeValues(int, const ControlRequest&, std::span<const std::int32_t>) override {
        return false;
    }
};

}  // namespace pelkora
