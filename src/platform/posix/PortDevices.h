#pragma once

#include <string>

#include "platform/ProfileStore.h"

namespace pelkora {

// Maps the port names the operator knows ("COM1".."COM99", any case) to
// serial devices. The [Ports] section of the settings file may name a device
// per port (COM1=/dev/ttyUSB0); otherwise COMn is /dev/ttyS(n-1). A name that
// already is an absolute path is taken as the device itself. Any other name
// maps to "" (nothing to open).
// Threading: called only on the loop thread, like the store it reads.
class PortDevices {
  public:
    PortDevices(ProfileStore& store, std::string settingsFile);

    // Reads the [Ports] key afresh on every call, so an edit to the settings
    // file takes effect at the next open.
    std::string devicePath(const std::string& portName) const;

    // The [Ports] value of a port as stored (blanks around it dropped): a
    // serial device or the one-line form of a rig. A port without a value is
    // /dev/ttyS(n-1), as devicePath() has it; "" for a name that is no port.
    std::string configuredValue(const std::string& portName) const;

  private:
    ProfileStore& store_;
    std::string settingsFile_;
};

}  // namespace pelkora
