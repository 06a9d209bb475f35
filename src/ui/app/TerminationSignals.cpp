#include "ui/app/TerminationSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <atomic>
#include <cerrno>
#include <cstddef>

#include "platform/posix/PosixSerialLines.h"

namespace pelkora {

namespace {

// What the handler reads: plain lock-free atomics, valid whatever the
// program was doing when the signal came.
std::atomic<int> wakeFd{-1};
std::atomic<int> firstSignal{0};
std::atomic<TerminationSignals::Release> releaseAtOnce{nullptr};
static_assert(std::atomic<int>::is_always_lock_free &&
              std::atomic<TerminationSignals::Release>::is_always_lock_free);

extern "C" void onTerminationSignal(int signalNumber) {
    const int savedErrno = errno;
    int none = 0;
    if (!firstSignal.compare_exchange_strong(none, signalNumber)) {
        // The operator (or the session) insists, or the loop is stuck: the
        // transmitter is released here, with async-signal-safe calls only.
        if (const TerminationSignals::Release release = releaseAtOnce.load()) {
            release();
        }
        ::_exit(TerminationSignals::exitStatus(signalNumber));
    }
    const auto byte = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds a wake-up; nothing more to say.
    [[maybe_unused]] const ssize_t written = ::write(wakeFd.load(), &byte, 1);
    errno = savedErrno;
}

}  // namespace

TerminationSignals::Release TerminationSignals::defaultRelease() {
    return &PosixSerialLines::dropLinesAfterFault;
}

TerminationSignals::TerminationSignals(Release release, QObject* parent) : QObject(parent) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    readFd_ = fds[0];
    writeFd_ = fds[1];
    firstSignal = 0;
    releaseAtOnce = release;
    wakeFd = writeFd_;
    notifier_ = new QSocketNotifier(readFd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { readPending(); });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        ::sigaction(kSignals[i], nullptr, &previous_[i]);
        if (previous_[i].sa_handler == SIG_IGN) {
            continue;
        }
        caught_[i] = ::sigaction(kSignals[i], &action, nullptr) == 0;
    }
}

TerminationSignals::~TerminationSignals() {
    if (readFd_ < 0) {
        return;
    }
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        if (caught_[i]) {
            ::sigaction(kSignals[i], &previous_[i], nullptr);
        }
    }
    wakeFd = -1;
    releaseAtOnce = nullptr;
    delete notifier_;
    ::close(readFd_);
    ::close(writeFd_);
}

void TerminationSignals::readPending() {
    unsigned char bytes[16];
    int first = 0;
    ssize_t count = 0;
    while ((count = ::read(readFd_, bytes, sizeof bytes)) > 0) {
        first = first != 0 ? first : bytes[0];
    }
    if (first == 0) {
        return;
    }
    // Only one end: whatever comes later is the handler's to deal with.
    notifier_->setEnabled(false);
    if (onSignal) {
        onSignal(first);
    } else {
        QCoreApplication::exit(exitStatus(first));
    }
}

}  // namespace pelkora
