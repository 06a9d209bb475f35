#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>

#include "platform/LoopPoster.h"
#include "platform/Scheduler.h"

namespace pelkora {

// The keyer's timers and cross-thread posts on Qt's event loop.
//
// The timers run on one timerfd, armed for the earliest task to the
// nanosecond: Qt's own timers wake the GUI thread through a poll whose
// timeout is rounded up to the next millisecond, so an entry's end (and the
// next spelled file's start) came up to a millisecond late.
// Threading: callAfter/cancel/nowMs on the GUI thread only; post() from any
// thread (it queues onto the GUI thread).
class QtScheduler : public QObject, public Scheduler, public LoopPoster {
    Q_OBJECT
  public:
    // Throws std::system_error when the kernel gives no timer descriptor.
    explicit QtScheduler(QObject* parent = nullptr);
    ~QtScheduler() override;

    std::int64_t nowMs() const override;
    TaskId callAfter(std::int64_t delayMs, Task task) override;
    void cancel(TaskId id) override;
    void post(std::function<void()> task) override;

    // Called on the GUI thread with what() of an exception that a task let
    // out: Qt's event loop must not see it, and the keyer must not carry on
    // as if the task had run. Without a handler the exception is rethrown.
    std::function<void(const std::string& what)> onTaskFailed;

  private:
    using DueKey = std::pair<std::int64_t, TaskId>;  // due (ns, monotonic), then order

    void runDueTasks();
    void armForEarliest();
    void runTask(const std::function<void()>& task);

    int timerFd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    std::int64_t startNs_ = 0;
    std::map<DueKey, Task> timers_;
    std::unordered_map<TaskId, std::int64_t> dueNsById_;
    TaskId nextId_ = 1;
};

}  // namespace pelkora
