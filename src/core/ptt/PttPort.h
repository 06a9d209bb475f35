#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/PttDevice.h"
#include "platform/PttDeviceFactory.h"

namespace pelkora {

// The port that keys the transmitter: the RTS and/or DTR line of a serial
// port, or a radio behind Hamlib, as the factory makes the device of COM<n>.
// Port 0 means no PTT port. Line choice 1 = RTS, 2 = DTR, 3 = both.
// A failed open is shown to the operator through showError when the device
// answers (at once for a serial port, later for a rig); a failed key is shown
// once, and its completion tells the caller so the transmit state can be
// released. A single serial line that fails is silent (the keyer carries on
// and the next change tries again).
// Threading: loop thread only; completions run on the loop thread, either
// inside the call or later.
class PttPort {
  public:
    using ErrorHandler = std::function<void(const std::string&)>;
    // ok is false when the device refused; a port that was closed before it
    // answered, or no port at all, counts as done.
    using Completion = std::function<void(bool ok)>;

    PttPort(PttDeviceFactory& devices, ErrorHandler showError);
    ~PttPort();
    PttPort(const PttPort&) = delete;
    PttPort& operator=(const PttPort&) = delete;

    int portNumber() const { return portNumber_; }
    int lineChoice() const { return lineChoice_; }
    void setPortNumber(int port) { portNumber_ = port; }
    // A choice outside 1..3 is taken as RTS: it would key no line at all
    // while the keyer reports the transmitter on.
    void setLineChoice(int line) { lineChoice_ = (line >= 1 && line <= 3) ? line : 1; }
    bool isOpen() const { return device_ && device_->isOpen(); }
    // Calls asked of the device that it has not answered yet.
    bool busy() const { return !pending_.empty(); }

    static std::string portName(int port) { return "COM" + std::to_string(port); }

    // Closes any open port, makes the device of COM<n>, opens it and leaves
    // the transmitter released. opened(true) once the port is in use (also
    // when DTR could not be cleared); opened(false) after a failure, which is
    // shown, or when the port was closed before the device answered.
    void OpenPort(Completion opened = {});
    void closePort();

    // Keys (true) or releases (false) the transmitter. done(false) when the
    // device could not do it; the failure is shown (a failed key once until a
    // key succeeds or the port is opened again).
    void TxOnOff(bool on, Completion done = {});

  private:
    struct Pending {
        std::function<void(const PttDevice::Outcome&)> answered;
        Completion abandoned;  // the port closed before the device answered
    };

    void ask(Pending pending, const std::function<void(PttDevice::Done)>& call);
    void answer(const PttDevice::Outcome& outcome);
    void opened(const PttDevice::Outcome& outcome, const Completion& done);
    void keyed(bool on, const PttDevice::Outcome& outcome, const Completion& done);
    void show(std::string message, const std::string& reason);

    PttDeviceFactory& devices_;
    ErrorHandler showError_;
    int portNumber_ = 0;
    int lineChoice_ = 1;
    std::unique_ptr<PttDevice> device_;
    std::deque<Pending> pending_;
    // A device closed while one of its completions runs is destroyed once
    // that completion has returned.
    std::vector<std::unique_ptr<PttDevice>> retired_;
    int answering_ = 0;
    bool keyFailureShown_ = false;
};

}  // namespace pelkora
