#pragma once

#include <cstdint>
#include <string>

namespace pelkora {

// What the microphone mode shows through the window that hosts it.
// Threading: called on the loop thread from inside MicrophoneMode operations.
class MicrophoneHost {
  public:
    virtual ~MicrophoneHost() = default;

    // An information box with one OK button.
    virtual void showInformation(const std::string& message) = 0;
    virtual void setMikeEnabled(bool enabled) = 0;
    virtual void setCaption(const std::string& caption) = 0;
    // A slider moved from the program; its change handler runs right after.
    virtual void mikeVolumeShown(std::int32_t /*value*/) {}
    virtual void lineVolumeShown(std::int32_t /*value*/) {}
};

}  // namespace pelkora
