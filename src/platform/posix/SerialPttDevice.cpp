#include "platform/posix/SerialPttDevice.h"

#include <utility>

namespace pelkora {

SerialPttDevice::SerialPttDevice(SerialLines& lines, std::string portName)
    : lines_(lines), portName_(std::move(portName)) {}

SerialPttDevice::~SerialPttDevice() {
    close();
}

void SerialPttDevice::open(Done done) {
    close();
    switch (lines_.open(portName_)) {
        case SerialLines::OpenStatus::CannotOpen:
            done({Status::CannotOpen, lines_.openFailureReason()});
            return;
        case SerialLines::OpenStatus::NotASerialPort:
            done({Status::NotASerialPort, lines_.openFailureReason()});
            return;
        case SerialLines::OpenStatus::Opened:
            break;
    }
    opened_ = true;
    // A freshly opened port may come up with its lines high: drop both so the
    // transmitter is not keyed behind the operator's back. Only a failure on
    // DTR is reported, as it always was.
    lines_.setLine(SerialLines::Line::Rts, false);
    if (!lines_.setLine(SerialLines::Line::Dtr, false)) {
        done({Status::CannotClearDtr, {}});
        return;
    }
    done({});
}

void SerialPttDevice::setPtt(bool on, int lineChoice, Done done) {
    if (isOpen()) {
        const bool usesRts = lineChoice != 2;  // 1, 3 and anything unknown
        const bool usesDtr = lineChoice == 2 || lineChoice == 3;
        if (usesRts || (!on && rtsRaised_)) {
            lines_.setLine(SerialLines::Line::Rts, on);
            rtsRaised_ = on;
        }
        if (usesDtr || (!on && dtrRaised_)) {
            lines_.setLine(SerialLines::Line::Dtr, on);
            dtrRaised_ = on;
        }
    }
    done({});
}

void SerialPttDevice::close() {
    if (opened_ && lines_.isOpen()) {
        lines_.close();
    }
    opened_ = false;
    rtsRaised_ = false;
    dtrRaised_ = false;
}

}  // namespace pelkora
