#pragma once

#include <cstdint>
#include <functional>

namespace pelkora {

// Time source and one-shot timers of the event loop that runs the keyer.
// Threading: called only on the loop thread; callbacks arrive on that thread,
// never from inside callAfter() itself.
class Scheduler {
  public:
    using TaskId = std::uint64_t;
    using Task = std::function<void()>;

    virtual ~Scheduler() = default;

    // Milliseconds on a monotonic clock; only differences are meaningful.
    virtual std::int64_t nowMs() const = 0;

    // Runs task once, delayMs from now (0 or less: as soon as the loop is free).
    virtual TaskId callAfter(std::int64_t delayMs, Task task) = 0;

    // Forgets a task that has not run yet; unknown or finished ids are ignored.
    virtual void cancel(TaskId id) = 0;
};

}  // namespace pelkora
