#pragma once

#include <cstdint>

#include "core/mixer/LineVolume.h"
#include "core/mixer/TMixerDestinations.h"
#include "platform/MixerLayer.h"

namespace pelkora {

// The four value operations on one line of an open device's tree. A line is
// a destination index and a connection index, −1 for the destination line
// itself; an index outside its list throws ListIndexError before anything is
// read or written.
//
// On a source line without a control of its own, the mute value stands for
// the source's selection on its destination's list control (MUX or MIXER):
// item c of the list is the source at position c of Connections. A position
// the list does not hold is never read or written.
class MixerLineValues {
  public:
    MixerLineValues(MixerLayer& layer, int device, const TMixerDestinations& destinations)
        : layer_(layer), device_(device), destinations_(destinations) {}

    bool GetLineVolume(std::int32_t destination, std::int32_t connection, LineVolume& volume);
    // left −1 leaves the volume, right −1 means left, mute −1 leaves the mute.
    bool SetLineVolume(std::int32_t destination, std::int32_t connection, std::int32_t left,
                       std::int32_t right, std::int32_t mute);
    bool GetLineMute(std::int32_t destination, std::int32_t connection, bool& mute);
    bool SetLineMute(std::int32_t destination, std::int32_t connection, bool mute);

  private:
    struct Line {
        const TMixerDestination& destination;
        const MixerLine& data;
        const TMixerControls& controls;
    };

    Line resolve(std::int32_t destination, std::int32_t connection) const;
    void readVolumeAndMute(const Line& line, LineVolume& volume);
    std::int32_t readSelection(const TMixerDestination& destination, std::int32_t connection);
    void writeVolume(const Line& line, const MixerControl& control, std::int32_t left,
                     std::int32_t right);
    void writeMute(const Line& line, const MixerControl& control, std::int32_t mute);
    void writeSelection(const TMixerDestination& destination, std::int32_t connection,
                        std::int32_t value);
    bool selectOnList(const TMixerDestination& destination, std::int32_t connection, bool mute);

    MixerLayer& layer_;
    int device_;
    const TMixerDestinations& destinations_;
};

}  // namespace pelkora
