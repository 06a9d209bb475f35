#pragma once

#include <signal.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/LoopPoster.h"
#include "platform/Scheduler.h"

namespace pelkora {

// The real-time event loop of the command-line player: one thread sleeping in
// ppoll(2) until the next timer falls due, a task is posted or a watched signal
// arrives. It never busy-waits.
//
// Threading: every member except post() is called on the loop thread (the one
// that calls run() or runOnce()); every task, timer and signal handler runs on
// that thread. post() may be called from any thread while the loop object
// exists. watchSignals() must be called before any other thread is started,
// so that the threads inherit the blocked mask.
//
// One pass handles, in this order: watched signals, posted tasks, due timers.
// Work added during a pass (a post, a timer of delay 0) runs in the next pass,
// so a task that re-arms itself cannot starve the rest of the loop.
class PollLoop : public Scheduler, public LoopPoster {
  public:
    using SignalHandler = std::function<void(int signalNumber)>;

    // Throws std::system_error when the kernel refuses the wake-up eventfd.
    PollLoop();
    ~PollLoop() override;

    PollLoop(const PollLoop&) = delete;
    PollLoop& operator=(const PollLoop&) = delete;

    std::int64_t nowMs() const override;
    // Microseconds on the same monotonic clock as nowMs().
    std::int64_t nowUs() const;

    TaskId callAfter(std::int64_t delayMs, Task task) override;
    void cancel(TaskId id) override;

    void post(std::function<void()> task) override;

    // Blocks the signals for this thread (and every thread started later) and
    // hands them to handler on the loop thread instead, e.g. SIGINT/SIGTERM for
    // an orderly stop. Later calls add signals; a signal named twice gets the
    // newer handler. The signals stay blocked after the loop is gone, and a
    // child process inherits the mask: unblock them after fork() if needed.
    // Throws std::invalid_argument for SIGKILL, SIGSTOP, a number that is no
    // signal or an empty handler (nothing is changed then), std::system_error
    // when the kernel refuses.
    void watchSignals(std::initializer_list<int> signals, SignalHandler handler) {
        watchSignals(std::vector<int>(signals), std::move(handler));
    }
    void watchSignals(const std::vector<int>& signals, SignalHandler handler);

    // Runs passes until quit() is called, then returns its code. Tasks still
    // pending stay pending for a later run().
    int run();
    // Makes run() return code once the task now running returns; nothing else
    // runs in between. Called on the loop thread; other threads post() it.
    void quit(int code);

    // One pass: waits at most timeoutMs (negative: until something happens)
    // for an event or the next timer, then runs what is due. True when any
    // task or handler ran. A quit() inside the pass only cuts the pass short.
    bool runOnce(int timeoutMs);

  private:
    using TimerKey = std::pair<std::int64_t, TaskId>;  // due time in us, posting order

    struct ReadyFds {
        bool wakeUp = false;
        bool signals = false;
    };

    bool runPass(std::int64_t waitLimitUs);
    ReadyFds waitForEvents(std::int64_t waitLimitUs);
    std::int64_t sleepBudgetUs(std::int64_t waitLimitUs) const;
    void clearWakeUp();
    bool runSignals();
    bool runPosted();
    bool runDueTimers(TaskId firstIdOfPass, std::int64_t passStartUs);

    int wakeFd_ = -1;
    int signalFd_ = -1;

    std::map<TimerKey, Task> timers_;
    std::map<TaskId, std::int64_t> dueUsById_;
    TaskId nextId_ = 1;

    std::mutex postedMutex_;
    std::deque<Task> posted_;       // filled by any thread, under postedMutex_
    std::deque<Task> postedBatch_;  // taken over by the loop thread, run in order

    sigset_t watchedSignals_{};
    std::map<int, SignalHandler> signalHandlers_;

    bool quitRequested_ = false;
    int exitCode_ = 0;
};

}  // namespace pelkora
