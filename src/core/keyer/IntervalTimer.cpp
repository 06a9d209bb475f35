#include "core/keyer/IntervalTimer.h"

#include <utility>

namespace pelkora {

IntervalTimer::IntervalTimer(Scheduler& scheduler, ZeroInterval zeroRule,
                             std::function<void()> onTick)
    : scheduler_(scheduler), zeroRule_(zeroRule), onTick_(std::move(onTick)) {}

IntervalTimer::~IntervalTimer() {
    disarm();
}

void IntervalTimer::setInterval(std::int64_t ms) {
    interval_ = ms;
    if (enabled_) {
        arm();
    }
}

void IntervalTimer::start() {
    enabled_ = true;
    arm();
}

void IntervalTimer::stop() {
    enabled_ = false;
    disarm();
}

void IntervalTimer::arm() {
    disarm();
    if (interval_ <= 0 && zeroRule_ == ZeroInterval::NeverTicks) {
        return;
    }
    pending_ = scheduler_.callAfter(interval_, [this] { fire(); });
}

void IntervalTimer::disarm() {
    if (pending_ != 0) {
        scheduler_.cancel(pending_);
        pending_ = 0;
    }
}

void IntervalTimer::fire() {
    pending_ = 0;
    // Re-arm before the tick so that the handler can stop or restart us.
    arm();
    onTick_();
}

}  // namespace pelkora
