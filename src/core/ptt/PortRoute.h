#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pelkora {

// What one PTT port (COM1..COM8) is, as a [Ports] value holds it on one line:
//   /dev/ttyUSB0                   a serial port keyed on RTS/DTR
//   rigctld localhost:4532         PTT through a running rigctld
//   rig 1035 /dev/ttyUSB1 38400    a radio on a CAT port (Hamlib model, device, baud)
//   cm108 /dev/hidraw2 3           a CM108/CM119 GPIO pin (hidraw device, GPIO)
// Words are separated by blanks; the kind word is read in any case. Optional
// trailing words: the rigctld address (localhost:4532; a bare host keeps
// port 4532; an IPv6 address is written [::1]:4532), the baud rate (0 = the
// rig's default) and the GPIO number (3, the pin most interfaces use).
struct PortRoute {
    enum class Kind { Serial, Rigctld, HamlibRig, Cm108 };

    Kind kind = Kind::Serial;
    std::string device;              // Serial, HamlibRig, Cm108
    std::string host = "localhost";  // Rigctld
    int tcpPort = 4532;              // Rigctld
    int rigModel = 0;                // HamlibRig
    int baudRate = 0;                // HamlibRig; 0 = the rig's default
    int gpio = 3;                    // Cm108, 1..8

    struct Parsed;  // below: it holds a PortRoute, complete only after this brace
    static Parsed parse(std::string_view value);

    // The one-line form parse() reads back to an equal route; a serial port is
    // its bare device path, as older settings files hold it.
    std::string format() const;

    // A short description for the operator ("rigctld at localhost:4532").
    std::string describe() const;

    bool operator==(const PortRoute&) const = default;
};

struct PortRoute::Parsed {
    std::optional<PortRoute> route;
    std::string error;  // plain words when route is empty
};

}  // namespace pelkora
