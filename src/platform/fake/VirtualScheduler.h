#pragma once

#include <cstdint>
#include <map>
#include <utility>

#include "platform/Scheduler.h"

namespace pelkora {

// A scheduler whose clock moves only when told to: tests and offline
// rendering run seconds of keyer time in microseconds, exactly and
// repeatably. Tasks due at the same time run in the order they were posted.
class VirtualScheduler : public Scheduler {
  public:
    std::int64_t nowMs() const override { return now_; }
    TaskId callAfter(std::int64_t delayMs, Task task) override;
    void cancel(TaskId id) override;

    // Runs every task due up to and including time t, then sets the clock to t.
    void advanceTo(std::int64_t t);
    void advanceBy(std::int64_t ms) { advanceTo(now_ + ms); }

    // Runs the next pending task, moving the clock to its time. False when
    // nothing is pending.
    bool runNext();

    // Runs tasks until none is left or the clock would pass limitMs.
    // Returns true when it stopped because nothing was pending.
    bool runUntilIdle(std::int64_t limitMs = INT64_MAX);

    bool hasPending() const { return !tasks_.empty(); }
    std::size_t pendingCount() const { return tasks_.size(); }
    // Time of the next pending task; only meaningful when hasPending().
    std::int64_t nextDueMs() const;

  private:
    using Key = std::pair<std::int64_t, TaskId>;  // due time, posting order
    std::map<Key, Task> tasks_;
    std::map<TaskId, std::int64_t> dueById_;
    std::int64_t now_ = 0;
    TaskId nextId_ = 1;
};

}  // namespace pelkora
