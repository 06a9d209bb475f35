#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/PttDeviceFactory.h"
#include "platform/Scheduler.h"
#include "platform/fake/FakePttDevice.h"

namespace pelkora {

// Makes fake PTT devices named "COM<n>" that record their calls as text and
// answer as scripted: every port alike (script()), or one port differently
// (script(n)). A script change applies to the devices made after it.
// Threading: loop thread only.
class FakePttDeviceFactory : public PttDeviceFactory {
  public:
    explicit FakePttDeviceFactory(Scheduler& scheduler) : scheduler_(scheduler) {}

    std::unique_ptr<PttDevice> create(int portNumber) override;

    FakePttScript& script() { return defaultScript_; }
    FakePttScript& script(int portNumber);

    const std::vector<std::string>& calls() const { return record_.calls; }
    void clearCalls() { record_.calls.clear(); }
    // A transmitter is keyed through one of the devices right now.
    bool keyed() const { return record_.keyed; }
    int created() const { return created_; }

  private:
    Scheduler& scheduler_;
    FakePttScript defaultScript_;
    std::map<int, FakePttScript> portScripts_;
    FakePttRecord record_;
    int created_ = 0;
};

}  // namespace pelkora
