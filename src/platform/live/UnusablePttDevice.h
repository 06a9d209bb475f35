#pragma once

#include <string>

#include "platform/PttDevice.h"

namespace pelkora {

// The device of a port that cannot be used as described (a [Ports] value that
// does not parse, a kind this build cannot drive): its open fails with
// CannotOpen and the reason; it keys nothing.
// Threading: loop thread only.
class UnusablePttDevice : public PttDevice {
  public:
    explicit UnusablePttDevice(std::string reason) : reason_(std::move(reason)) {}

    void open(Done done) override { done({Status::CannotOpen, reason_}); }
    void setPtt(bool, int, Done done) override { done({}); }
    void close() override {}
    bool isOpen() const override { return false; }

  private:
    std::string reason_;
};

}  // namespace pelkora
