#pragma once

namespace pelkora {

// The rigctld connections that may have a transmitter keyed, kept where a
// fatal-signal handler can reach them: release() writes rigctld's PTT-off
// command straight onto each socket, without Hamlib, locks or memory.
//
// What the operator must know: rigctld keeps the PTT state its clients set.
// A program that dies without a word (SIGKILL, a power cut, a frozen machine
// whose socket times out) leaves the transmitter keyed until some client
// releases it ("rigctl -m 2 T 0" does). Only a fault the program survives
// long enough to run its handler can be cleaned up here.
// Threading: arm() and disarm() from any thread; release() from a signal
// handler or any thread. Up to eight connections at once (one per port).
class RigctldFaultRelease {
  public:
    // Registers an open rigctld socket; vfoMode: rigctld runs with --vfo and
    // wants the VFO named in every command. Returns a slot for disarm(), or
    // -1 when every slot is taken (the connection then goes unguarded).
    static int arm(int socketFd, bool vfoMode) noexcept;
    static void disarm(int slot) noexcept;

    // Async-signal-safe: one write() per armed socket, nothing else.
    static void release() noexcept;
};

}  // namespace pelkora
