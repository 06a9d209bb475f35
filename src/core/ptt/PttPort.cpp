#include "core/ptt/PttPort.h"

#include <utility>

namespace pelkora {

PttPort::PttPort(SerialLines& lines, ErrorHandler showError)
    : lines_(lines), showError_(std::move(showError)) {}

void PttPort::OpenPort() {
    const std::string device = portName(portNumber_);
    closePort();
    switch (lines_.open(device)) {
        case SerialLines::OpenStatus::CannotOpen:
            showError_("Can't open port " + device + "!");
            return;
        case SerialLines::OpenStatus::NotASerialPort:
            showError_("Pelkora COM-port error");
            return;
        case SerialLines::OpenStatus::Opened:
            break;
    }
    // A freshly opened port may come up with its lines high: drop both so the
    // transmitter is not keyed behind the operator's back. Only a failure on
    // DTR is reported, as before.
    lines_.setLine(SerialLines::Line::Rts, false);
    if (!lines_.setLine(SerialLines::Line::Dtr, false)) {
        showError_("Can't clear DTR on " + device + "!");
    }
}

void PttPort::closePort() {
    if (lines_.isOpen()) {
        lines_.close();
    }
    rtsRaised_ = false;
    dtrRaised_ = false;
}

void PttPort::TxOnOff(bool on) {
    if (!lines_.isOpen()) {
        return;
    }
    if (usesRts() || (!on && rtsRaised_)) {
        lines_.setLine(SerialLines::Line::Rts, on);
        rtsRaised_ = on;
    }
    if (usesDtr() || (!on && dtrRaised_)) {
        lines_.setLine(SerialLines::Line::Dtr, on);
        dtrRaised_ = on;
    }
}

}  // namespace pelkora
