#include "StopSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>

namespace pelkora {

namespace {

volatile std::sig_atomic_t signalFd = -1;
struct sigaction previousInt {};
struct sigaction previousTerm {};

void onSignal(int) {
    const char byte = 1;
    // Nothing to do when the pipe is full: one byte already says it.
    [[maybe_unused]] const ssize_t written = ::write(signalFd, &byte, 1);
}

}  // namespace

StopSignals::StopSignals() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    readFd_ = fds[0];
    writeFd_ = fds[1];
    signalFd = writeFd_;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &previousInt);
    ::sigaction(SIGTERM, &action, &previousTerm);
}

StopSignals::~StopSignals() {
    if (readFd_ < 0) {
        return;
    }
    ::sigaction(SIGINT, &previousInt, nullptr);
    ::sigaction(SIGTERM, &previousTerm, nullptr);
    signalFd = -1;
    ::close(readFd_);
    ::close(writeFd_);
}

}  // namespace pelkora
