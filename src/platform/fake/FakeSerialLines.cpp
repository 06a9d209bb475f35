#include "platform/fake/FakeSerialLines.h"

namespace pelkora {

SerialLines::OpenStatus FakeSerialLines::open(const std::string& portName) {
    close();
    calls_.push_back("open " + portName);
    lastReason_.clear();
    const auto failure = openFailures_.find(portName);
    if (failure != openFailures_.end()) {
        lastReason_ = openReasons_[portName];
        return failure->second;
    }
    openPort_ = portName;
    return OpenStatus::Opened;
}

void FakeSerialLines::close() {
    if (!openPort_.empty()) {
        calls_.push_back("close");
        openPort_.clear();
    }
}

bool FakeSerialLines::setLine(Line line, bool raised) {
    if (openPort_.empty()) {
        return false;
    }
    calls_.push_back(std::string(line == Line::Rts ? "RTS " : "DTR ") + (raised ? "1" : "0"));
    if (failingLines_.count(line) != 0) {
        return false;
    }
    (line == Line::Rts ? rts_ : dtr_) = raised;
    return true;
}

}  // namespace pelkora
