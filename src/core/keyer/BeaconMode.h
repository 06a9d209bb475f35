#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/keyer/BeaconHost.h"
#include "core/keyer/IntervalTimer.h"
#include "platform/Scheduler.h"

namespace pelkora {

// Repeats the entries queued before a "~[rp<interval>:<count>]" entry: key the
// transmitter, play them, release it, wait the interval, again; count times,
// or until stopped when count is 0 or less.
//
// A repetition is a small state machine driven by the loop: it advances when
// a sound ends or a pause timer falls due, never by waiting in place. Only one
// repetition plays its entries at a time; a Timer3 tick during the wait that
// follows a repetition starts the next one.
// Threading: loop thread only.
class BeaconMode {
  public:
    BeaconMode(BeaconHost& host, Scheduler& scheduler);
    ~BeaconMode();
    BeaconMode(const BeaconMode&) = delete;
    BeaconMode& operator=(const BeaconMode&) = delete;

    // The beacon start of the queue runner: the last queue entry is a beacon.
    void start();
    // One repetition; the tick of Timer3.
    void Timer3Timer();
    void StopButtonClick();
    // The player's sound for the current entry has finished or was cut.
    void soundEnded();
    // The device has keyed and the lead is over.
    void keyingSettled();

    void setBeaconText(std::string text) { beaconText_ = std::move(text); }

    const std::string& BeaconText() const { return beaconText_; }
    std::int32_t BeaconRepeats() const { return beaconRepeats_; }
    std::int32_t BeaconDone() const { return beaconDone_; }
    bool BeaconBusy() const { return beaconBusy_; }
    bool running() const { return running_; }
    const IntervalTimer& Timer3() const { return timer3_; }
    bool repetitionActive() const { return phase_ != Phase::Idle; }

  private:
    enum class Phase { Idle, Entries, TailWait };

    void advance();
    bool beginPause(const std::string& upperEntry, std::string_view entry);
    void waitMs(std::int64_t ms);
    void finishRepetition();
    void countRepetition();
    void endBeacon();
    void completeRepetition();
    void abandonRepetition();
    void cancelWait();
    void releaseTransmitter();

    BeaconHost& host_;
    Scheduler& scheduler_;
    IntervalTimer timer3_;

    std::int32_t beaconRepeats_ = 0;
    std::int32_t beaconDone_ = 0;
    bool beaconBusy_ = false;
    std::string beaconText_;
    bool running_ = false;
    int repetitionNumber_ = 0;

    Phase phase_ = Phase::Idle;
    std::size_t index_ = 0;  // next entry of the repetition
    std::size_t count_ = 0;  // queue length when the repetition began
    std::int64_t startedAt_ = 0;
    bool timer3WasRunning_ = false;
    bool waitingForSound_ = false;
    bool waitingForKeying_ = false;
    bool startTimer3WhenDone_ = false;
    Scheduler::TaskId wait_ = 0;
};

}  // namespace pelkora
