#include "core/ptt/TransmitControl.h"

#include <algorithm>
#include <utility>

namespace pelkora {

TransmitControl::TransmitControl(Scheduler& scheduler, PttPort& ptt, KeyerObserver& observer,
                                 TransmitHost& host)
    : scheduler_(scheduler),
      timeoutScheduler_(&scheduler),
      ptt_(ptt),
      observer_(observer),
      host_(host) {}

TransmitControl::~TransmitControl() {
    cancelWaits();
    cancel(*timeoutScheduler_, timeout_);
}

void TransmitControl::setTiming(const PttTiming& timing) {
    timing_ = timing.clamped();
    if (timeout_ != 0 || (down_ && timing_.timeoutSeconds > 0)) {
        cancel(*timeoutScheduler_, timeout_);
        if (down_) {
            armTimeout();
        }
    }
}

void TransmitControl::setButton(bool down) {
    down_ = down;
    click();
}

void TransmitControl::click() {
    if (down_) {
        key(false);
    } else {
        release();
    }
}

void TransmitControl::key(bool commanded) {
    cancel(scheduler_, tail_);
    observer_.onTxButtonChanged(true);
    host_.keyingReady(commanded);
    if (!commanded) {
        host_.broadcast(111);
    }
    keyLines();
}

void TransmitControl::release() {
    cancelWaits();
    cancel(*timeoutScheduler_, timeout_);
    observer_.onTxButtonChanged(false);
    host_.releaseStopsPlayer();
    host_.broadcast(110);
    host_.releaseUpdatesDisplay();
    dropLines();
}

void TransmitControl::command(bool keyed) {
    down_ = keyed;
    if (keyed) {
        key(true);
        return;
    }
    cancelWaits();
    cancel(*timeoutScheduler_, timeout_);
    observer_.onTxButtonChanged(false);
    dropLines();
}

void TransmitControl::keyLines() {
    if (timeout_ == 0) {
        keyedAtMs_ = timeoutScheduler_->nowMs();
        armTimeout();
    }
    cancel(scheduler_, lead_);
    const std::uint64_t number = ++keyNumber_;
    awaitingKey_ = true;
    keying_ = true;
    struct KeyingEnd {
        bool& keying;
        ~KeyingEnd() { keying = false; }
    } end{keying_};
    ptt_.TxOnOff(true, [this, number, alive = std::weak_ptr<int>(lifetime_)](bool ok) {
        if (!alive.expired()) {
            keyAnswered(number, ok);
        }
    });
}

void TransmitControl::keyAnswered(std::uint64_t number, bool ok) {
    if (ok) {
        observer_.onTransmit(true);
    }
    if (number != keyNumber_ || !down_) {
        return;  // released or keyed again meanwhile
    }
    awaitingKey_ = false;
    if (!ok) {
        host_.keyingFailed();
        return;
    }
    if (timing_.leadMs > 0) {
        lead_ = scheduler_.callAfter(timing_.leadMs, [this] {
            lead_ = 0;
            host_.keyingSettled();
        });
        return;
    }
    if (!keying_) {
        host_.keyingSettled();  // a late answer: the queue waited for it
    }
}

void TransmitControl::dropLines() {
    awaitingKey_ = false;
    ++keyNumber_;  // an answer still due to a key starts no lead
    ptt_.TxOnOff(false, [this, alive = std::weak_ptr<int>(lifetime_)](bool) {
        if (!alive.expired()) {
            observer_.onTransmit(false);
        }
    });
}

void TransmitControl::releaseAfterTail(std::function<void()> release) {
    if (!down_ || timing_.tailMs <= 0) {
        release();
        return;
    }
    cancel(scheduler_, tail_);
    tail_ = scheduler_.callAfter(timing_.tailMs, [this, release = std::move(release)] {
        tail_ = 0;
        release();
    });
}

void TransmitControl::dropAfterFault() noexcept {
    down_ = false;
    try {
        cancelWaits();
        cancel(*timeoutScheduler_, timeout_);
        ptt_.TxOnOff(false);
    } catch (...) {
        // Nothing more can be done from here; the port's close drops the lines.
    }
}

void TransmitControl::armTimeout() {
    if (timing_.timeoutSeconds <= 0) {
        return;
    }
    const std::int64_t dueMs = keyedAtMs_ + timing_.timeoutSeconds * 1000;
    timeout_ = timeoutScheduler_->callAfter(
        std::max<std::int64_t>(0, dueMs - timeoutScheduler_->nowMs()), [this] {
            timeout_ = 0;
            timeoutFell();
        });
}

void TransmitControl::timeoutFell() {
    if (down_) {
        host_.transmitTimedOut(timing_.timeoutSeconds);
    }
}

void TransmitControl::cancel(Scheduler& scheduler, Scheduler::TaskId& id) {
    if (id != 0) {
        scheduler.cancel(id);
        id = 0;
    }
}

void TransmitControl::cancelWaits() {
    cancel(scheduler_, lead_);
    cancel(scheduler_, tail_);
}

}  // namespace pelkora
