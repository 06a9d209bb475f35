#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>
#include <map>
#include <string>

#include "platform/LoopPoster.h"
#include "platform/Scheduler.h"

namespace pelkora {

// The keyer's timers and cross-thread posts on Qt's event loop.
// Threading: callAfter/cancel/nowMs on the GUI thread only; post() from any
// thread (it queues onto the GUI thread).
class QtScheduler : public QObject, public Scheduler, public LoopPoster {
    Q_OBJECT
  public:
    explicit QtScheduler(QObject* parent = nullptr);
    ~QtScheduler() override;

    std::int64_t nowMs() const override { return clock_.elapsed(); }
    TaskId callAfter(std::int64_t delayMs, Task task) override;
    void cancel(TaskId id) override;
    void post(std::function<void()> task) override;

    // Called on the GUI thread with what() of an exception that a task let
    // out: Qt's event loop must not see it, and the keyer must not carry on
    // as if the task had run. Without a handler the exception is rethrown.
    std::function<void(const std::string& what)> onTaskFailed;

  private:
    void runTask(const std::function<void()>& task);

    QElapsedTimer clock_;
    std::map<TaskId, QTimer*> timers_;
    TaskId nextId_ = 1;
};

}  // namespace pelkora
