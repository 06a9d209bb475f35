#pragma once

#include <vector>

namespace pelkora {

// Which signals end pelkora-play, and how, so that none of them leaves the
// transmitter keyed.
class SignalPolicy {
  public:
    // Every catchable signal whose default would end (or suspend) the player
    // and that comes from outside, not from a fault of the program itself:
    // INT, TERM, HUP, PIPE, QUIT, the job-control stops, the user and
    // real-time signals and the like. The loop handles them as a stop: the
    // sound is cut, the transmitter released, the exit status 128 + the
    // signal. A suspended player would hold the transmitter keyed on silence,
    // so Ctrl+Z ends it too.
    static std::vector<int> stopSignals();

    // For the faults that end the program where it stands (SEGV, BUS, FPE,
    // ILL, ABRT, TRAP, SYS): a handler drops the modem lines of the open port
    // and switches a rigctld's PTT off, with async-signal-safe calls only,
    // then lets the signal take its default course, so the status and any
    // core dump are as they would be.
    static void installFaultHandlers();
};

}  // namespace pelkora
