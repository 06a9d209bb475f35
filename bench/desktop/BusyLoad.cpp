#include "BusyLoad.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

namespace pelkora::bench {
namespace {

// Only async-signal-safe calls after the fork: the parent has other threads.
[[noreturn]] void spin(pid_t parent) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The parent may have ended before the line above took effect.
    if (::getppid() != parent) {
        ::_exit(0);
    }
    volatile unsigned long turns = 0;
    for (;;) {
        turns = turns + 1;
    }
}

}  // namespace

BusyLoad::BusyLoad(int count) {
    const pid_t parent = ::getpid();
    for (int index = 0; index < count; ++index) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            spin(parent);
        }
        if (pid < 0) {
            stopAll();
            throw std::runtime_error("cannot start a busy loop");
        }
        pids_.push_back(pid);
    }
}

BusyLoad::~BusyLoad() {
    stopAll();
}

void BusyLoad::stopAll() noexcept {
    for (const pid_t pid : pids_) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    pids_.clear();
}

}  // namespace pelkora::bench
