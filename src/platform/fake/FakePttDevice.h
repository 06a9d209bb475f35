#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/PttDevice.h"
#include "platform/Scheduler.h"

namespace pelkora {

// How fake PTT devices answer: at once (latencyMs 0) or latencyMs later on
// the scheduler, and with which outcome for each kind of call.
struct FakePttScript {
    std::int64_t latencyMs = 0;
    PttDevice::Outcome open;
    PttDevice::Outcome key;
    PttDevice::Outcome release;
};

// What every fake device of one factory shares: the calls in the order they
// were made ("open COM2", "key COM2", "release COM2", "close COM2"), and
// whether a transmitter is keyed right now.
struct FakePttRecord {
    std::vector<std::string> calls;
    bool keyed = false;
};

// A PTT device that records its calls and answers as its script says. A
// device that answers late completes its calls in the order they were made,
// and never after it was closed or destroyed.
// Threading: loop thread only.
class FakePttDevice : public PttDevice {
  public:
    FakePttDevice(Scheduler& scheduler, std::string name, const FakePttScript& script,
                  FakePttRecord& record);
    ~FakePttDevice() override;
    FakePttDevice(const FakePttDevice&) = delete;
    FakePttDevice& operator=(const FakePttDevice&) = delete;

    void open(Done done) override;
    void setPtt(bool on, int lineChoice, Done done) override;
    void close() override;
    bool isOpen() const override { return open_; }

  private:
    void complete(Outcome outcome, Done done, std::function<void()> effect);
    void cancelPending();

    Scheduler& scheduler_;
    std::string name_;
    FakePttScript script_;
    FakePttRecord& record_;
    bool open_ = false;
    std::vector<Scheduler::TaskId> pending_;
    std::int64_t lastDueMs_ = 0;
};

}  // namespace pelkora
