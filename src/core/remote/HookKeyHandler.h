#pragma once

#include <cstdint>

#include "core/keyer/KeyerEngine.h"
#include "core/remote/RemoteHost.h"

namespace pelkora {

// The keys the keyboard-hook library reports while another program has the
// focus. The library reports every stroke twice, on press and on release;
// only every second report acts, so one stroke fires one macro.
// Threading: loop thread only.
class HookKeyHandler {
  public:
    static constexpr std::uint16_t kF1 = 0x70;
    static constexpr std::uint16_t kF12 = 0x7B;

    HookKeyHandler(KeyerEngine& engine, RemoteHost& host) : engine_(engine), host_(host) {}

    // The key code sits in the low 16 bits of the message's first parameter.
    static std::uint16_t keyOf(std::uint64_t param) {
        return static_cast<std::uint16_t>(param & 0xFFFFu);
    }

    // On an acting report, F1..F12 queue macro 1..12; any key then runs
    // PlayStack.
    void HookKey(std::uint16_t key);

    // 0 at start, then 1, 2, 1, 2...; never reset while the program runs,
    // arming the hook again included.
    int counter() const { return counter_; }

  private:
    void advance();

    KeyerEngine& engine_;
    RemoteHost& host_;
    int counter_ = 0;
};

}  // namespace pelkora
