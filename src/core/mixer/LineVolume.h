#pragma once

#include <cstdint>

namespace pelkora {

// What GetLineVolume reports about one line. −1 means not found. The two
// disabled flags are written only when a control (or the lack of one) says
// something about them, so a caller's values survive otherwise.
struct LineVolume {
    std::int32_t left = -1;
    std::int32_t right = -1;
    std::int32_t mute = -1;
    bool stereo = false;
    bool volumeDisabled = false;
    bool muteDisabled = false;
};

}  // namespace pelkora
