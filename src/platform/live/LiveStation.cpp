#include "platform/live/LiveStation.h"

#include <utility>

#include "core/keyer/KeyerEngine.h"

namespace pelkora {

LiveStation::LiveStation(LoopPoster& poster, const std::string& startDir, std::string settingsFile,
                         std::optional<std::string> deviceOverride)
    : profiles(startDir),
      devices(profiles, settingsFile),
      lines([this](const std::string& port) { return devicePath(port); }),
      soundServer("Pelkora", PulseSoundOutput::kConnectWait),
      sound(poster, soundServer, profiles.readString(settingsFile, "Sound", "Sink", "")),
      mixer(poster, soundServer, profiles.readString(settingsFile, "Sound", "Sink", ""),
            profiles.readString(settingsFile, "Sound", "Source", ""), &sound),
      deviceOverride_(std::move(deviceOverride)) {}

std::string LiveStation::devicePath(const std::string& portName) const {
    return deviceOverride_ ? *deviceOverride_ : devices.devicePath(portName);
}

void LiveStation::attach(KeyerEngine& engine, DiagnosticLog& log) {
    sound.onServerLost = [&engine, &log](const std::string& detail) {
        log.logString("SoundServerLost", detail);
        engine.onSoundServerLost(detail);
    };
    sound.onServerBack = [&log](const std::string& detail) {
        log.logString("SoundServerBack", detail);
    };
    sound.onPlaybackError = [&engine, &log](const std::string& detail) {
        log.logString("SoundError", detail);
        engine.reportPlaybackError(detail);
    };
}

}  // namespace pelkora
