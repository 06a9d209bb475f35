#include "core/ptt/PttPort.h"

#include <utility>

namespace pelkora {

using Status = PttDevice::Status;

PttPort::PttPort(PttDeviceFactory& devices, ErrorHandler showError)
    : devices_(devices), showError_(std::move(showError)) {}

PttPort::~PttPort() {
    // Whoever waits for an answer may be gone already: nobody is told.
    pending_.clear();
    closePort();
}

void PttPort::OpenPort(Completion opened) {
    closePort();
    keyFailureShown_ = false;
    device_ = devices_.create(portNumber_);
    ask({[this, opened](const PttDevice::Outcome& outcome) { this->opened(outcome, opened); },
         opened},
        [this](PttDevice::Done done) { device_->open(std::move(done)); });
}

void PttPort::opened(const PttDevice::Outcome& outcome, const Completion& done) {
    const std::string device = portName(portNumber_);
    switch (outcome.status) {
        case Status::Ok:
            break;
        case Status::CannotClearDtr:
            show("Can't clear DTR on " + device + "!", outcome.reason);
            break;
        case Status::NotASerialPort:
            show("Pelkora COM-port error", outcome.reason);
            break;
        case Status::CannotOpen:
        case Status::Failed:
            show("Can't open port " + device + "!", outcome.reason);
            break;
    }
    if (done) {
        done(outcome.ok() || outcome.status == Status::CannotClearDtr);
    }
}

void PttPort::closePort() {
    std::deque<Pending> abandoned;
    abandoned.swap(pending_);
    if (device_) {
        device_->close();
        if (answering_ > 0) {
            retired_.push_back(std::move(device_));
        }
        device_.reset();
    }
    for (Pending& pending : abandoned) {
        if (pending.abandoned) {
            pending.abandoned(false);
        }
    }
}

void PttPort::TxOnOff(bool on, Completion done) {
    if (!device_) {
        if (done) {
            done(true);
        }
        return;
    }
    const Completion onClose = done ? [done](bool) { done(true); } : Completion{};
    ask({[this, on, done](const PttDevice::Outcome& outcome) { keyed(on, outcome, done); },
         onClose},
        [this, on](PttDevice::Done answer) {
            device_->setPtt(on, lineChoice_, std::move(answer));
        });
}

void PttPort::keyed(bool on, const PttDevice::Outcome& outcome, const Completion& done) {
    if (outcome.ok()) {
        keyFailureShown_ = keyFailureShown_ && !on;
    } else if (!on) {
        // A rig that may still be keyed: the operator must know at once. Not
        // after a key that failed: nothing was keyed, and the operator has
        // just been told why (a rig that went away fails both).
        if (!keyFailureShown_) {
            show("Can't release the transmitter on " + portName(portNumber_) + "!",
                 outcome.reason);
        }
    } else if (!keyFailureShown_) {
        keyFailureShown_ = true;
        show("Can't key the transmitter on " + portName(portNumber_) + "!", outcome.reason);
    }
    if (done) {
        done(outcome.ok());
    }
}

// Calls are answered in the order they were asked, so the oldest pending
// entry is the one a completion belongs to.
void PttPort::ask(Pending pending, const std::function<void(PttDevice::Done)>& call) {
    pending_.push_back(std::move(pending));
    PttDevice* const asked = device_.get();
    call([this, asked](const PttDevice::Outcome& outcome) {
        if (asked == device_.get()) {
            answer(outcome);
        }
    });
}

void PttPort::answer(const PttDevice::Outcome& outcome) {
    if (pending_.empty()) {
        return;
    }
    Pending pending = std::move(pending_.front());
    pending_.pop_front();
    ++answering_;
    struct Answered {
        PttPort& port;
        ~Answered() {
            if (--port.answering_ == 0) {
                port.retired_.clear();
            }
        }
    } guard{*this};
    pending.answered(outcome);
}

void PttPort::show(std::string message, const std::string& reason) {
    if (!reason.empty()) {
        message += "\n" + reason;
    }
    showError_(message);
}

}  // namespace pelkora
