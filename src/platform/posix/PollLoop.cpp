#include "platform/posix/PollLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <stdexcept>
#include <string>
#include <system_error>

namespace pelkora {

namespace {

constexpr std::int64_t kUsPerMs = 1000;
constexpr std::int64_t kUsPerSecond = 1'000'000;
// About a century: far beyond any keyer delay, and due times stay far from
// int64 overflow whatever the caller passes.
constexpr std::int64_t kLongestDelayMs = std::int64_t{100} * 366 * 24 * 3600 * 1000;

[[noreturn]] void throwErrno(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

std::int64_t delayToUs(std::int64_t delayMs) {
    return std::clamp<std::int64_t>(delayMs, 0, kLongestDelayMs) * kUsPerMs;
}

timespec toTimespec(std::int64_t us) {
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(us / kUsPerSecond);
    ts.tv_nsec = static_cast<long>((us % kUsPerSecond) * 1000);
    return ts;
}

// The shorter of two waits, where a negative wait means "no limit".
std::int64_t shorterWait(std::int64_t a, std::int64_t b) {
    if (a < 0) {
        return b;
    }
    return b < 0 ? a : std::min(a, b);
}

bool isCatchable(int signalNumber) {
    return signalNumber != SIGKILL && signalNumber != SIGSTOP;
}

}  // namespace

PollLoop::PollLoop() {
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        throwErrno("eventfd");
    }
    sigemptyset(&watchedSignals_);
}

PollLoop::~PollLoop() {
    ::close(wakeFd_);
    if (signalFd_ >= 0) {
        ::close(signalFd_);
    }
}

std::int64_t PollLoop::nowMs() const {
    return nowUs() / kUsPerMs;
}

std::int64_t PollLoop::nowUs() const {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t{ts.tv_sec} * kUsPerSecond + ts.tv_nsec / 1000;
}

Scheduler::TaskId PollLoop::callAfter(std::int64_t delayMs, Task task) {
    const TaskId id = nextId_++;
    const std::int64_t dueUs = nowUs() + delayToUs(delayMs);
    timers_.emplace(TimerKey{dueUs, id}, std::move(task));
    dueUsById_.emplace(id, dueUs);
    return id;
}

void PollLoop::cancel(TaskId id) {
    auto found = dueUsById_.find(id);
    if (found == dueUsById_.end()) {
        return;
    }
    timers_.erase(TimerKey{found->second, id});
    dueUsById_.erase(found);
}

void PollLoop::post(std::function<void()> task) {
    if (!task) {
        return;
    }
    {
        std::lock_guard lock(postedMutex_);
        posted_.push_back(std::move(task));
    }
    const std::uint64_t one = 1;
    if (::write(wakeFd_, &one, sizeof one) < 0) {
        // EAGAIN: the counter is saturated, so the loop is awake already.
    }
}

void PollLoop::watchSignals(const std::vector<int>& signals, SignalHandler handler) {
    if (!handler) {
        throw std::invalid_argument("watchSignals: empty handler");
    }
    sigset_t added;
    sigemptyset(&added);
    for (int signalNumber : signals) {
        if (!isCatchable(signalNumber) || sigaddset(&added, signalNumber) != 0) {
            throw std::invalid_argument("watchSignals: cannot watch signal " +
                                        std::to_string(signalNumber));
        }
    }
    sigset_t combined = watchedSignals_;
    for (int signalNumber : signals) {
        sigaddset(&combined, signalNumber);
    }
    // The descriptor first: should it fail, nothing is blocked and the
    // signals keep their old disposition.
    const int fd = ::signalfd(signalFd_, &combined, SFD_CLOEXEC | SFD_NONBLOCK);
    if (fd < 0) {
        throwErrno("signalfd");
    }
    signalFd_ = fd;
    const int error = ::pthread_sigmask(SIG_BLOCK, &added, nullptr);
    if (error != 0) {
        throw std::system_error(error, std::generic_category(), "pthread_sigmask");
    }
    watchedSignals_ = combined;
    for (int signalNumber : signals) {
        signalHandlers_[signalNumber] = handler;
    }
}

int PollLoop::run() {
    while (!quitRequested_) {
        runPass(-1);
    }
    quitRequested_ = false;
    return exitCode_;
}

void PollLoop::quit(int code) {
    exitCode_ = code;
    quitRequested_ = true;
}

bool PollLoop::runOnce(int timeoutMs) {
    const bool ran = runPass(timeoutMs < 0 ? -1 : std::int64_t{timeoutMs} * kUsPerMs);
    quitRequested_ = false;
    return ran;
}

bool PollLoop::runPass(std::int64_t waitLimitUs) {
    // Timers armed from here on belong to the next pass, even with delay 0.
    const TaskId firstIdOfPass = nextId_;
    const ReadyFds ready = waitForEvents(waitLimitUs);
    const std::int64_t passStartUs = nowUs();
    if (ready.wakeUp) {
        clearWakeUp();
    }
    bool ran = ready.signals && runSignals();
    ran = runPosted() || ran;
    ran = runDueTimers(firstIdOfPass, passStartUs) || ran;
    return ran;
}

std::int64_t PollLoop::sleepBudgetUs(std::int64_t waitLimitUs) const {
    if (!postedBatch_.empty()) {
        return 0;  // left over from a pass cut short by quit() or an exception
    }
    if (timers_.empty()) {
        return waitLimitUs;
    }
    const std::int64_t untilTimerUs =
        std::max<std::int64_t>(timers_.begin()->first.first - nowUs(), 0);
    return shorterWait(untilTimerUs, waitLimitUs);
}

PollLoop::ReadyFds PollLoop::waitForEvents(std::int64_t waitLimitUs) {
    pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {signalFd_, POLLIN, 0}};
    const nfds_t count = signalFd_ >= 0 ? 2 : 1;
    // ppoll takes the wait to the microsecond, so it never wakes before a
    // timer is due and then spins on a zero timeout.
    const std::int64_t budgetUs = sleepBudgetUs(waitLimitUs);
    const timespec budget = toTimespec(std::max<std::int64_t>(budgetUs, 0));
    if (::ppoll(fds, count, budgetUs < 0 ? nullptr : &budget, nullptr) < 0) {
        if (errno == EINTR) {
            return {};  // a signal we do not watch; its handler has run
        }
        throwErrno("ppoll");
    }
    return {fds[0].revents != 0, count == 2 && fds[1].revents != 0};
}

void PollLoop::clearWakeUp() {
    std::uint64_t count = 0;
    if (::read(wakeFd_, &count, sizeof count) < 0) {
        // EAGAIN: another reader cannot exist, so nothing was pending.
    }
}

bool PollLoop::runSignals() {
    bool ran = false;
    signalfd_siginfo info{};
    while (!quitRequested_ && ::read(signalFd_, &info, sizeof info) == sizeof info) {
        const int signalNumber = static_cast<int>(info.ssi_signo);
        auto handler = signalHandlers_.find(signalNumber);
        if (handler != signalHandlers_.end()) {
            // A copy: the handler may call watchSignals() and replace itself.
            SignalHandler call = handler->second;
            call(signalNumber);
            ran = true;
        }
    }
    return ran;
}

bool PollLoop::runPosted() {
    {
        std::lock_guard lock(postedMutex_);
        std::move(posted_.begin(), posted_.end(), std::back_inserter(postedBatch_));
        posted_.clear();
    }
    bool ran = false;
    // Tasks posted while the batch runs land in posted_, i.e. the next pass.
    while (!quitRequested_ && !postedBatch_.empty()) {
        Task task = std::move(postedBatch_.front());
        postedBatch_.pop_front();
        task();
        ran = true;
    }
    return ran;
}

bool PollLoop::runDueTimers(TaskId firstIdOfPass, std::int64_t passStartUs) {
    bool ran = false;
    while (!quitRequested_ && !timers_.empty()) {
        auto first = timers_.begin();
        const auto [dueUs, id] = first->first;
        if (dueUs > passStartUs || id >= firstIdOfPass) {
            break;
        }
        Task task = std::move(first->second);
        timers_.erase(first);
        dueUsById_.erase(id);
        if (task) {
            task();
        }
        ran = true;
    }
    return ran;
}

}  // namespace pelkora
