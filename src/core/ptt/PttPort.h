#pragma once

#include <functional>
#include <string>

#include "platform/SerialLines.h"

namespace pelkora {

// The serial port whose RTS and/or DTR line keys the transmitter.
// Port 0 means no PTT port; n means the port "COM<n>". Line choice 1 = RTS,
// 2 = DTR, 3 = both. Failures of the open are shown to the operator through
// showError; failures of single line changes are silent (the keyer carries on
// and the next change tries again).
// Threading: loop thread only.
class PttPort {
  public:
    using ErrorHandler = std::function<void(const std::string&)>;

    PttPort(SerialLines& lines, ErrorHandler showError);

    int portNumber() const { return portNumber_; }
    int lineChoice() const { return lineChoice_; }
    void setPortNumber(int port) { portNumber_ = port; }
    // A choice outside 1..3 is taken as RTS: it would key no line at all
    // while the keyer reports the transmitter on.
    void setLineChoice(int line) { lineChoice_ = (line >= 1 && line <= 3) ? line : 1; }
    bool isOpen() const { return lines_.isOpen(); }

    static std::string portName(int port) { return "COM" + std::to_string(port); }

    // Closes any open port, opens COM<n>, proves it is a serial port and
    // lowers both lines.
    void OpenPort();
    void closePort();

    // Raises (true) or lowers (false) the chosen line(s), RTS before DTR.
    // Lowering also lowers a line raised under an earlier choice: the choice
    // can change while the transmitter is keyed (a menu click whose setting
    // could not be stored), and the release must still drop what keyed it.
    // Does nothing when no port is open.
    void TxOnOff(bool on);

  private:
    bool usesRts() const { return lineChoice_ == 1 || lineChoice_ == 3; }
    bool usesDtr() const { return lineChoice_ == 2 || lineChoice_ == 3; }

    SerialLines& lines_;
    ErrorHandler showError_;
    int portNumber_ = 0;
    int lineChoice_ = 1;
    // Lines this port has raised and not lowered since it was opened.
    bool rtsRaised_ = false;
    bool dtrRaised_ = false;
};

}  // namespace pelkora
