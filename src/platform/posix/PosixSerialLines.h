#pragma once

#include <functional>
#include <string>

#include "platform/SerialLines.h"

namespace pelkora {

// SerialLines on a POSIX terminal device: the port is opened for modem control
// only (no baud or framing change, nothing read or written) and held
// exclusively with TIOCEXCL and an flock, the advisory lock many serial
// programs on Linux take. The one setting changed is HUPCL: the kernel then
// drops the modem lines whenever the descriptor closes, however the program
// ends (a crash, SIGKILL), so the transmitter cannot stay keyed behind it.
// Threading: every call on the loop thread; calls are short and never block
// (the device is opened non-blocking).
class PosixSerialLines : public SerialLines {
  public:
    // Maps a port name to a device path; "" when the name cannot be opened.
    using DeviceResolver = std::function<std::string(const std::string& portName)>;

    explicit PosixSerialLines(DeviceResolver deviceForPort);
    ~PosixSerialLines() override;

    PosixSerialLines(const PosixSerialLines&) = delete;
    PosixSerialLines& operator=(const PosixSerialLines&) = delete;

    OpenStatus open(const std::string& portName) override;
    void close() override;
    bool isOpen() const override { return fd_ >= 0; }
    bool setLine(Line line, bool raised) override;
    std::string openFailureReason() const override { return failureReason_; }

    // The operator's words for an open of device that failed with errorNumber
    // (EBUSY: another program holds it). groupName is the group that owns
    // the device, "" when unknown: a missing permission is fixed by joining it.
    static std::string describeOpenFailure(const std::string& device, int errorNumber,
                                           const std::string& groupName);

    // Drops RTS and DTR of the port open now (if any) and gives up the
    // exclusive claim, for a handler of a fatal signal: async-signal-safe, it
    // touches nothing but the descriptor.
    static void dropLinesAfterFault() noexcept;

  private:
    OpenStatus openDevice(const std::string& path);
    OpenStatus fail(OpenStatus status, const std::string& path, int errorNumber);
    bool claimExclusively(int fd);
    static bool isSerialPort(int fd);
    static bool hangUpOnClose(int fd);
    void closeDevice(int fd);

    DeviceResolver deviceForPort_;
    int fd_ = -1;
    bool setExclusive_ = false;  // whether TIOCEXCL is ours to undo on close
    std::string failureReason_;  // of the last open, "" after a success
};

}  // namespace pelkora
