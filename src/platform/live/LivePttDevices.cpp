#include "platform/live/LivePttDevices.h"

#include <string>
#include <utility>

#include "platform/hamlib/HamlibPttDevice.h"
#include "platform/live/UnusablePttDevice.h"
#include "platform/posix/SerialPttDevice.h"

namespace pelkora {

LivePttDevices::LivePttDevices(const PortDevices& ports, SerialLines& lines, LoopPoster& poster,
                               std::optional<PortRoute> override)
    : ports_(ports), lines_(lines), poster_(poster), override_(std::move(override)) {}

PortRoute::Parsed LivePttDevices::routeOf(int portNumber) const {
    if (override_) {
        return {override_, {}};
    }
    return PortRoute::parse(ports_.configuredValue("COM" + std::to_string(portNumber)));
}

std::unique_ptr<PttDevice> LivePttDevices::create(int portNumber) {
    const PortRoute::Parsed parsed = routeOf(portNumber);
    if (!parsed.route) {
        return std::make_unique<UnusablePttDevice>(parsed.error);
    }
    if (parsed.route->kind == PortRoute::Kind::Serial) {
        // The lines map the port's name to its device (LiveStation::devicePath).
        return std::make_unique<SerialPttDevice>(lines_, "COM" + std::to_string(portNumber));
    }
    return rigDevice(*parsed.route);
}

// rigctld, a CAT port and a CM108 pin are all driven through Hamlib.
std::unique_ptr<PttDevice> LivePttDevices::rigDevice(const PortRoute& route) {
    return std::make_unique<HamlibPttDevice>(route, poster_);
}

}  // namespace pelkora
