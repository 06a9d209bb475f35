#pragma once

#include <array>
#include <csignal>

namespace pelkora {

// The faults that end the desktop program where it stands (SEGV, BUS, FPE,
// ILL, ABRT, TRAP, SYS). The kernel drops a serial port's lines when the
// program dies, but a rigctld keeps the PTT state its client left: a crash
// while keyed would hold the transmitter on air. The handler runs the given
// release (async-signal-safe calls only), then the signal takes its default
// course, so the status and any core dump are as they would have been.
// The handler runs on a stack of its own, so that a stack overflow is caught
// too (on the thread that installed it).
// Threading: install once, from the main thread, before anything is keyed.
class FatalSignals {
  public:
    static constexpr std::array<int, 7> kSignals{SIGSEGV, SIGBUS,  SIGFPE, SIGILL,
                                                 SIGABRT, SIGTRAP, SIGSYS};
    using Release = void (*)() noexcept;

    // False when a handler could not be set; the others are in place.
    static bool install(Release release);
};

}  // namespace pelkora
