#pragma once

#include <functional>
#include <string>

namespace pelkora {

// One way of keying the transmitter: the modem lines of a serial port, or a
// radio through Hamlib (rigctld, a CAT port, a CM108 GPIO pin).
// A rig can take seconds to answer, so every operation reports its outcome
// through a completion instead of a return value, and the loop thread never
// waits for a rig. Operations run in the order they were asked for.
// Threading: loop thread only. A completion runs on the loop thread, exactly
// once, either before the call that asked for it returns (a device whose
// lines change at once) or later from the loop; it never runs after the
// device is destroyed.
class PttDevice {
  public:
    enum class Status {
        Ok,
        CannotOpen,      // missing, held by another program, no rights, no answer
        NotASerialPort,  // a serial device that opened but is no serial port
        CannotClearDtr,  // opened, but the DTR line could not be lowered
        Failed,          // keying or releasing failed on an open device
    };
    struct Outcome {
        Status status = Status::Ok;
        // Plain words for the operator, shown on a second line under the
        // program's own message ("" when there is nothing to add).
        std::string reason;
        bool ok() const { return status == Status::Ok; }
    };
    using Done = std::function<void(const Outcome&)>;

    virtual ~PttDevice() = default;

    // Opens the device and leaves the transmitter released. On CannotOpen
    // and NotASerialPort the device is closed again; on CannotClearDtr it
    // stays open and in use.
    virtual void open(Done done) = 0;

    // Keys (true) or releases (false) the transmitter. lineChoice is the
    // serial line choice (1 = RTS, 2 = DTR, 3 = both); a rig ignores it.
    // A device that is not open completes with Ok and does nothing.
    virtual void setPtt(bool on, int lineChoice, Done done) = 0;

    // Closes the device. A transmitter this device keyed is released first;
    // the call does not wait on a rig longer than its own time-out.
    virtual void close() = 0;

    // Whether open() has succeeded and close() has not run since.
    virtual bool isOpen() const = 0;
};

}  // namespace pelkora
