#pragma once

#include <cstdint>
#include <functional>

#include "platform/Scheduler.h"

namespace pelkora {

// A repeating timer in the manner of a window timer: once started it ticks
// every interval until stopped. Starting it again restarts the countdown.
// Threading: loop thread only; ticks arrive on the loop thread.
class IntervalTimer {
  public:
    enum class ZeroInterval {
        NeverTicks,   // a window timer with interval 0 is never armed
        TicksAtOnce,  // a zero or negative wait is over as soon as the loop is free
    };

    IntervalTimer(Scheduler& scheduler, ZeroInterval zeroRule, std::function<void()> onTick);
    ~IntervalTimer();
    IntervalTimer(const IntervalTimer&) = delete;
    IntervalTimer& operator=(const IntervalTimer&) = delete;

    // Changes the interval; a running timer starts counting it afresh.
    void setInterval(std::int64_t ms);
    void start();
    void stop();

    bool enabled() const { return enabled_; }
    std::int64_t interval() const { return interval_; }

  private:
    void arm();
    void disarm();
    void fire();

    Scheduler& scheduler_;
    ZeroInterval zeroRule_;
    std::function<void()> onTick_;
    std::int64_t interval_ = 0;
    bool enabled_ = false;
    Scheduler::TaskId pending_ = 0;
};

}  // namespace pelkora
