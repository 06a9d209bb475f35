#pragma once

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/SerialLines.h"

namespace pelkora {

// Serial lines that record every call as text ("open COM3", "RTS 1",
// "DTR 0", "close") and fail where a test says so.
class FakeSerialLines : public SerialLines {
  public:
    void failOpen(const std::string& port, OpenStatus status, std::string reason = {}) {
        openFailures_[port] = status;
        openReasons_[port] = std::move(reason);
    }
    void failLine(Line line) { failingLines_.insert(line); }

    OpenStatus open(const std::string& portName) override;
    void close() override;
    bool isOpen() const override { return !openPort_.empty(); }
    bool setLine(Line line, bool raised) override;
    std::string openFailureReason() const override { return lastReason_; }

    const std::vector<std::string>& calls() const { return calls_; }
    void clearCalls() { calls_.clear(); }
    const std::string& openPort() const { return openPort_; }
    bool rts() const { return rts_; }
    bool dtr() const { return dtr_; }

  private:
    std::map<std::string, OpenStatus> openFailures_;
    std::map<std::string, std::string> openReasons_;
    std::string lastReason_;
    std::set<Line> failingLines_;
    std::vector<std::string> calls_;
    std::string openPort_;
    bool rts_ = false;
    bool dtr_ = false;
};

}  // namespace pelkora
