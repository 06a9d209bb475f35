#pragma once

#include <memory>
#include <optional>
#include <string>

#include "core/ptt/PortRoute.h"
#include "platform/DiagnosticLog.h"
#include "platform/LoopPoster.h"
#include "platform/live/LivePttDevices.h"
#include "platform/posix/IniFileStore.h"
#include "platform/posix/PortDevices.h"
#include "platform/posix/PosixSerialLines.h"
#include "platform/pulse/PulseConnection.h"
#include "platform/pulse/PulseMixerLayer.h"
#include "platform/pulse/PulseSoundOutput.h"
#include "platform/sndfile/SndfileWavProbe.h"

namespace pelkora {

class KeyerEngine;

// The station's real services for a program that keys a transmitter live:
// the settings files, the sound server (one connection, shared by the sound
// output and the mixer), the WAV probe and the serial lines.
// The desktop program and the command-line player both build theirs here, so
// that what happens to the transmitter when sound cannot go on air is decided
// in one place (KeyerEngine::onSoundServerLost), not once per program.
// Threading: loop thread only; the sound server's reports arrive posted.
class LiveStation {
  public:
    // Whether anything will use the mixer: building it waits for the
    // server's list of devices, a round trip before the first sound that a
    // program without a mixer need not pay.
    enum class MixerUse { Needed, NotNeeded };

    // settingsFile is read for [Sound] Sink and Source and [Ports]; portOverride, when
    // given, is what keys the transmitter whatever port is chosen.
    LiveStation(LoopPoster& poster, const std::string& startDir, std::string settingsFile,
                std::optional<PortRoute> portOverride = std::nullopt,
                MixerUse mixerUse = MixerUse::Needed);
    LiveStation(const LiveStation&) = delete;
    LiveStation& operator=(const LiveStation&) = delete;

    // Routes the sound server's reports to the engine: a lost server releases
    // the transmitter; a stream that fails is logged and reported, and its
    // entry ends as its sound does.
    void attach(KeyerEngine& engine, DiagnosticLog& log);

    // The device a port name stands for, as the lines will open it.
    std::string devicePath(const std::string& portName) const;
    // How the operator knows what keys port n: its device path, or the
    // one-line form of a rig ("rigctld localhost:4532").
    std::string portDescription(int portNumber) const;

    IniFileStore profiles;
    PortDevices devices;
    PosixSerialLines lines;
    // What PttPort opens: the device behind each COM<n>.
    LivePttDevices pttDevices;
    SndfileWavProbe probe;
    // Before everything that lives on it, so that it is destroyed after them.
    PulseConnection soundServer;
    PulseSoundOutput sound;
    std::unique_ptr<PulseMixerLayer> mixer;  // null when not needed

  private:
    std::optional<PortRoute> portOverride_;
};

}  // namespace pelkora
