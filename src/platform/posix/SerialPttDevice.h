#pragma once

#include <string>

#include "platform/PttDevice.h"
#include "platform/SerialLines.h"

namespace pelkora {

// Keys the transmitter on the RTS and/or DTR line of one serial port. The
// lines change at once, so every completion runs inside the call.
// Threading: loop thread only, like the lines it drives.
class SerialPttDevice : public PttDevice {
  public:
    // portName is what lines.open() is given ("COM3").
    SerialPttDevice(SerialLines& lines, std::string portName);
    ~SerialPttDevice() override;
    SerialPttDevice(const SerialPttDevice&) = delete;
    SerialPttDevice& operator=(const SerialPttDevice&) = delete;

    // Opens the port, proves it is a serial port and lowers RTS, then DTR.
    // Only a failure on DTR is reported (CannotClearDtr); the port stays open.
    void open(Done done) override;
    // Raises or lowers the chosen line(s), RTS before DTR. Lowering also
    // lowers a line raised under an earlier choice: the choice can change
    // while the transmitter is keyed (a menu click whose setting could not be
    // stored), and the release must still drop what keyed it. A single line
    // that fails is not reported: the keyer carries on and the next change
    // tries again.
    void setPtt(bool on, int lineChoice, Done done) override;
    // The port is opened with HUPCL, so the kernel drops both lines when it
    // closes; the lines are not touched first.
    void close() override;
    bool isOpen() const override { return opened_ && lines_.isOpen(); }

  private:
    SerialLines& lines_;
    std::string portName_;
    bool opened_ = false;
    // Lines this device has raised and not lowered since it was opened.
    bool rtsRaised_ = false;
    bool dtrRaised_ = false;
};

}  // namespace pelkora
