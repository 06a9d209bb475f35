#include "platform/live/LiveStation.h"

#include <utility>

#include "core/keyer/KeyerEngine.h"

namespace pelkora {

LiveStation::LiveStation(LoopPoster& poster, const std::string& startDir, std::string settingsFile,
                         std::optional<PortRoute> portOverride, MixerUse mixerUse)
    : profiles(startDir),
      devices(profiles, settingsFile),
      lines([this](const std::string& port) { return devicePath(port); }),
      pttDevices(devices, lines, poster, portOverride),
      soundServer("Pelkora", PulseSoundOutput::kConnectWait),
      sound(poster, soundServer, profiles.readString(settingsFile, "Sound", "Sink", "")),
      portOverride_(std::move(portOverride)) {
    if (mixerUse == MixerUse::Needed) {
        mixer = std::make_unique<PulseMixerLayer>(
            poster, soundServer, profiles.readString(settingsFile, "Sound", "Sink", ""),
            profiles.readString(settingsFile, "Sound", "Source", ""), &sound);
    }
}

std::string LiveStation::devicePath(const std::string& portName) const {
    if (portOverride_) {
        return portOverride_->kind == PortRoute::Kind::Serial ? portOverride_->device : "";
    }
    return devices.devicePath(portName);
}

std::string LiveStation::portDescription(int portNumber) const {
    const PortRoute::Parsed parsed = pttDevices.routeOf(portNumber);
    return parsed.route ? parsed.route->format()
                        : devices.configuredValue("COM" + std::to_string(portNumber));
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
