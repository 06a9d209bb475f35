#pragma once

#include <cstdint>

#include "core/keyer/KeyerEngine.h"
#include "core/remote/RemoteHost.h"

namespace pelkora {

// The logger's control message: a code in its first parameter plays a
// macro, pauses or resumes the player, or keys or releases the transmitter.
// Threading: loop thread only; a code may arrive while a queue is playing.
class LoggerControl {
  public:
    static constexpr std::int64_t kResume = 100;
    static constexpr std::int64_t kPause = 101;
    static constexpr std::int64_t kRelease = 110;
    static constexpr std::int64_t kKey = 111;

    LoggerControl(KeyerEngine& engine, RemoteHost& host) : engine_(engine), host_(host) {}

    // The whole parameter counts: 1..12 queue macro n without starting the
    // queue (the next PlayStack, or a runner already at work, plays it);
    // 100, 101, 110, 111 act on the buttons as the engine's commanded
    // operations do; any other value does nothing. Nothing is broadcast back.
    void handle(std::int64_t code);

    static bool isMacroCode(std::int64_t code) { return code >= 1 && code <= 12; }

  private:
    KeyerEngine& engine_;
    RemoteHost& host_;
};

}  // namespace pelkora
