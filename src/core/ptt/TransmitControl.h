#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "core/keyer/KeyerObserver.h"
#include "core/ptt/PttPort.h"
#include "core/ptt/PttTiming.h"
#include "core/ptt/TransmitHost.h"
#include "platform/Scheduler.h"

namespace pelkora {

// The transmit state of the keyer (the TX button) and what follows from it:
// the order of the button, the player, the broadcast and the lines when the
// transmitter is keyed or released, the lead before the first sound, the
// tail after the last one and the time-out of continuous keying.
//
// Key:     button down, player ready, broadcast 111, lines; "transmit on"
//          when the device has answered.
// Release: button up, player stopped, broadcast 110, display, lines last
//          (listeners hear of the release before the radio does);
//          "transmit off" when the device has answered.
// The queue is held (holdsQueue()) from the key until the device has keyed
// and the lead has run out, and while a tail runs. A device that answers at
// once with no lead holds nothing: everything happens inside the call.
// Threading: loop thread only; timers and device answers arrive there.
class TransmitControl {
  public:
    TransmitControl(Scheduler& scheduler, PttPort& ptt, KeyerObserver& observer,
                    TransmitHost& host);
    ~TransmitControl();
    TransmitControl(const TransmitControl&) = delete;
    TransmitControl& operator=(const TransmitControl&) = delete;

    // Applies to the next key or release; a running time-out counts the new
    // value from the moment the transmitter was keyed. Values are clamped.
    void setTiming(const PttTiming& timing);
    const PttTiming& timing() const { return timing_; }
    // The time-out may run on a clock of its own: a program that ends when
    // the keyer waits for nothing must not wait for the time-out.
    void setTimeoutScheduler(Scheduler& scheduler) { timeoutScheduler_ = &scheduler; }

    bool down() const { return down_; }
    // The TX toggle: sets the button and runs its operation (a release by
    // the operator is immediate and cancels a tail).
    void setButton(bool down);
    // The TX operation for the button's current state.
    void click();
    // A release that comes from the queue: release runs TailMs from now (at
    // once without a tail, or when nothing is keyed). A key or any other
    // release meanwhile cancels it.
    void releaseAfterTail(std::function<void()> release);
    // A logger's command: the button, its lamp and the lines only, no
    // broadcast and nothing stopped.
    void command(bool keyed);
    // After a fault: the button up and the lines dropped, nothing else.
    void dropAfterFault() noexcept;

    bool holdsQueue() const { return (down_ && (awaitingKey_ || lead_ != 0)) || tail_ != 0; }
    bool tailPending() const { return tail_ != 0; }
    bool timeoutArmed() const { return timeout_ != 0; }

  private:
    void key(bool commanded);
    void release();
    void keyLines();
    void keyAnswered(std::uint64_t number, bool ok);
    void dropLines();
    void armTimeout();
    void timeoutFell();
    void cancel(Scheduler& scheduler, Scheduler::TaskId& id);
    void cancelWaits();

    Scheduler& scheduler_;
    Scheduler* timeoutScheduler_;
    PttPort& ptt_;
    KeyerObserver& observer_;
    TransmitHost& host_;
    PttTiming timing_;

    bool down_ = false;
    bool awaitingKey_ = false;  // the device has not answered the last key yet
    bool keying_ = false;       // inside the call that asks the device to key
    std::uint64_t keyNumber_ = 0;
    std::int64_t keyedAtMs_ = 0;
    Scheduler::TaskId lead_ = 0;
    Scheduler::TaskId tail_ = 0;
    Scheduler::TaskId timeout_ = 0;
    // The port may outlive this object with a rig's answer still due: its
    // completions hold this token weakly and do nothing once it is gone.
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
};

}  // namespace pelkora
