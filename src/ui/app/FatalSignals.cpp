#include "ui/app/FatalSignals.h"

#include <signal.h>

#include <atomic>
#include <cstddef>

namespace pelkora {

namespace {

std::atomic<FatalSignals::Release> releaseOnFault{nullptr};
static_assert(std::atomic<FatalSignals::Release>::is_always_lock_free);

// Large enough for the release's few system calls; a fixed size, as
// SIGSTKSZ is no longer a constant.
constexpr std::size_t kHandlerStackBytes = 64 * 1024;
alignas(16) char handlerStack[kHandlerStackBytes];

extern "C" void releaseAndDie(int signalNumber) {
    if (const FatalSignals::Release release = releaseOnFault.load()) {
        release();
    }
    // SA_RESETHAND has restored the default and SA_NODEFER lets it through:
    // the program ends here with the signal's own status.
    ::raise(signalNumber);
}

}  // namespace

bool FatalSignals::install(Release release) {
    releaseOnFault = release;
    stack_t stack{};
    stack.ss_sp = handlerStack;
    stack.ss_size = sizeof handlerStack;
    const bool ownStack = ::sigaltstack(&stack, nullptr) == 0;
    struct sigaction action {};
    action.sa_handler = releaseAndDie;
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    if (ownStack) {
        action.sa_flags |= SA_ONSTACK;
    }
    sigemptyset(&action.sa_mask);
    bool all = true;
    for (const int signalNumber : kSignals) {
        all = ::sigaction(signalNumber, &action, nullptr) == 0 && all;
    }
    return all;
}

}  // namespace pelkora
