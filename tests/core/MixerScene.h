#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/fake/FakeMixerLayer.h"

namespace pelkora::test {

// A sound card on the fake mixer layer, controls named for the expectations:
//   destination 0, playback, 2 channels: master.vol [300,200], master.mute [0]
//     source 0 wave 2 ch:     wave.vol [100,100], wave.mute [1]
//     source 1 microphone 1 ch: micout.vol (uniform) [50], micout.mute [1]
//     source 2 line 2 ch:     no controls
//   destination 1, recording, 2 channels: rec.vol [1000,1000], rec.mux (4 items) [0,0,1,0]
//     source 0 line: line.vol (uniform) [10]
//     source 1 CD:   cd.vol [20,21]
//     source 2 microphone 1 ch: mic.vol [900]
//     source 3 auxiliary: no controls
struct MixerScene {
    static constexpr std::uint32_t kCd = 0x1005;
    static constexpr std::uint32_t kWave = 0x1008;
    static constexpr std::uint32_t kAux = 0x1009;

    explicit MixerScene(FakeMixerLayer& fake, bool build = true) : layer(fake) {
        if (build) {
            buildCard();
        }
    }

    void buildCard() {
        device = layer.addDevice(MixerCaps{1, 7, 0x0500, "Scene Card", 0});
        playback = layer.addDestination(device, line(2, 0x0004));
        control(playback, "master.vol", mixer::kVolume, 0, 0, {300, 200});
        control(playback, "master.mute", mixer::kMute, mixer::kUniform, 0, {0});
        wave = source(0, kWave, 2);
        control(wave, "wave.vol", mixer::kVolume, 0, 0, {100, 100});
        control(wave, "wave.mute", mixer::kMute, mixer::kUniform, 0, {1});
        micOut = source(0, mixer::kSourceMicrophone, 1);
        control(micOut, "micout.vol", mixer::kVolume, mixer::kUniform, 0, {50});
        control(micOut, "micout.mute", mixer::kMute, mixer::kUniform, 0, {1});
        source(0, mixer::kSourceLine, 2);
        recording = layer.addDestination(device, line(2, 0x0007));
        control(recording, "rec.vol", mixer::kVolume, 0, 0, {1000, 1000});
        control(recording, "rec.mux", mixer::kMux, mixer::kUniform | mixer::kMultiple, 4,
                {0, 0, 1, 0});
        control(source(1, mixer::kSourceLine, 2), "line.vol", mixer::kVolume, mixer::kUniform, 0,
                {10});
        control(source(1, kCd, 2), "cd.vol", mixer::kVolume, 0, 0, {20, 21});
        micIn = source(1, mixer::kSourceMicrophone, 1);
        control(micIn, "mic.vol", mixer::kVolume, 0, 0, {900});
        source(1, kAux, 2);
    }

    static MixerLine line(std::uint32_t channels, std::uint32_t type) {
        MixerLine l;
        l.channels = channels;
        l.componentType = type;
        return l;
    }
    std::uint32_t source(std::uint32_t destination, std::uint32_t type, std::uint32_t channels) {
        return layer.addSource(device, destination, line(channels, type));
    }
    std::uint32_t control(std::uint32_t lineId, const std::string& name, std::uint32_t type,
                          std::uint32_t flags, std::uint32_t items,
                          std::vector<std::int32_t> values) {
        MixerControl c;
        c.controlType = type;
        c.flags = flags;
        c.multipleItems = items;
        c.maximum = 65535;
        c.name = name;
        const std::uint32_t id = layer.addControl(device, lineId, c, std::move(values));
        ids[name] = id;
        names[id] = name;
        return id;
    }

    // Accesses as "name=v,v".
    std::vector<std::string> render(const std::vector<FakeMixerLayer::Access>& accesses) const {
        std::vector<std::string> out;
        for (const auto& a : accesses) {
            std::string text = names.at(a.controlId) + "=";
            for (std::size_t i = 0; i < a.values.size(); ++i) {
                text += (i == 0 ? "" : ",") + std::to_string(a.values[i]);
            }
            out.push_back(text);
        }
        return out;
    }
    std::vector<std::string> writes() const { return render(layer.writes()); }
    const std::vector<std::int32_t>& values(const std::string& name) const {
        return layer.values(ids.at(name));
    }

    FakeMixerLayer& layer;
    int device = 0;
    std::uint32_t playback = 0, recording = 0, wave = 0, micOut = 0, micIn = 0;
    std::map<std::string, std::uint32_t> ids;
    std::map<std::uint32_t, std::string> names;
};

}  // namespace pelkora::test
