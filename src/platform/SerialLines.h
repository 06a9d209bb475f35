#pragma once

#include <string>

namespace pelkora {

// The two modem-control outputs of one serial port, used to key a transmitter.
// Ports are named as the operator knows them ("COM1".."COM8"); the backend
// maps a name to its device. At most one port is open at a time.
// Threading: called only on the loop thread; every call is synchronous.
class SerialLines {
  public:
    enum class OpenStatus {
        Opened,
        CannotOpen,      // missing, held by another program, no rights
        NotASerialPort,  // opened, but reading or writing its settings failed
    };
    enum class Line { Rts, Dtr };

    virtual ~SerialLines() = default;

    // Opens the port exclusively for device control only; nothing is read or
    // written and its settings are left as they are. On NotASerialPort the
    // device has already been closed again.
    virtual OpenStatus open(const std::string& portName) = 0;

    // Closes the open port, if any. The lines are not touched first.
    virtual void close() = 0;

    virtual bool isOpen() const = 0;

    // Raises or lowers one line of the open port; false when that failed.
    virtual bool setLine(Line line, bool raised) = 0;

    // Why the last open() failed, in plain words for the operator ("" when
    // there is nothing to add to the program's own message).
    virtual std::string openFailureReason() const { return {}; }
};

}  // namespace pelkora
