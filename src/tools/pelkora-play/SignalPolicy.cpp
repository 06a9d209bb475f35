#include "SignalPolicy.h"

#include <signal.h>

#include "platform/hamlib/HamlibPttDevice.h"
#include "platform/posix/PosixSerialLines.h"

namespace pelkora {

namespace {

constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS};

extern "C" void dropLinesAndDie(int signalNumber) {
    PosixSerialLines::dropLinesAfterFault();
    // rigctld keeps the PTT state of a client that has died.
    HamlibPttDevice::releaseAfterFault();
    // SA_RESETHAND has restored the default and SA_NODEFER lets it through:
    // the program ends here with the signal's own status.
    ::raise(signalNumber);
}

}  // namespace

std::vector<int> SignalPolicy::stopSignals() {
    std::vector<int> signals = {SIGINT,  SIGTERM, SIGHUP,    SIGPIPE, SIGQUIT, SIGALRM,
                                SIGUSR1, SIGUSR2, SIGVTALRM, SIGPROF, SIGXCPU, SIGXFSZ,
                                SIGIO,   SIGPWR,  SIGSTKFLT, SIGTSTP, SIGTTIN, SIGTTOU};
    for (int realTime = SIGRTMIN; realTime <= SIGRTMAX; ++realTime) {
        signals.push_back(realTime);
    }
    return signals;
}

void SignalPolicy::installFaultHandlers() {
    struct sigaction action {};
    action.sa_handler = dropLinesAndDie;
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (const int signalNumber : kFaultSignals) {
        ::sigaction(signalNumber, &action, nullptr);
    }
}

}  // namespace pelkora
