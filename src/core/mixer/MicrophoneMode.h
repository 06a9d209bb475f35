#pragma once

#include <cstdint>
#include <string>

#include "core/keyer/KeyerEngine.h"
#include "core/mixer/MicrophoneHost.h"
#include "core/mixer/TAudioMixer.h"
#include "platform/DiagnosticLog.h"

namespace pelkora {

// Microphone mode and the two volume regulators. Destination 0 of the first
// mixer is taken as playback (its output feeds the transmitter), destination
// 1 as recording; the microphone sources on each are found once by
// FindMicrophoneLines. Microphone mode routes the microphone to the playback
// side and keys the transmitter through the engine's TX toggle; leaving it
// mutes that path again and releases the transmitter, also when the mixer
// fails on the way.
//
// A first mixer that is missing, did not open, or has fewer than two
// destinations counts as no mixer: the Mike button is disabled and the
// regulators act on nothing.
// Threading: loop thread only.
class MicrophoneMode {
  public:
    static constexpr std::int32_t kSliderMax = 65535;
    static constexpr const char* kNoMixer = "No mixer present in the system!";
    static constexpr const char* kMicrophoneCaption = "Pelkora (Microphone mode)";
    static constexpr const char* kNormalCaption = "Pelkora";

    MicrophoneMode(TAudioMixer& mixer, KeyerEngine& engine, DiagnosticLog& log,
                   MicrophoneHost& host);

    void FindMicrophoneLines();

    // The Mike button's new state, then its click operation.
    void setMikeButton(bool down);
    void sbMikeClick();
    bool mikeDown() const { return mikeDown_; }

    // A slider set to a value, by the user or the program: clamped to
    // 0..kSliderMax; when it differs from the slider's value its change
    // handler runs.
    void setMikeVolume(std::int32_t value);
    void setLineVolume(std::int32_t value);
    std::int32_t MikeVolume() const { return mikeVolume_; }
    std::int32_t LineVolume() const { return lineVolume_; }
    void MikeVolumeChange();
    void LineVolumeChange();

    // The regulators are shown at start-up: both sliders from the mixer.
    void showRegulators();
    // At close: the playback microphone gets the mute state found at start.
    void restoreMikeMute();

    bool mixerAvailable() const { return available_; }
    std::int32_t iMikeId() const { return iMikeId_; }
    std::int32_t iMikeOutId() const { return iMikeOutId_; }
    bool SavedMikeOutMute() const { return savedMikeOutMute_; }

  private:
    bool mixerUsable() const;
    void findRecordingMicrophone();
    void findPlaybackMicrophone();
    void enter();
    void leave();
    std::int32_t leftVolume(std::int32_t destination, std::int32_t connection);
    void setVolumeBoth(std::int32_t destination, std::int32_t connection, std::int32_t value);

    TAudioMixer& mixer_;
    KeyerEngine& engine_;
    DiagnosticLog& log_;
    MicrophoneHost& host_;

    bool available_ = false;
    bool mikeDown_ = false;
    std::int32_t iMikeId_ = 0;
    std::int32_t iMikeOutId_ = 0;
    bool savedMikeOutMute_ = false;
    std::int32_t mikeVolume_ = 0;
    std::int32_t lineVolume_ = 0;
};

}  // namespace pelkora
