#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "core/ptt/PortRoute.h"
#include "platform/LoopPoster.h"
#include "platform/PttDeviceFactory.h"
#include "platform/SerialLines.h"
#include "platform/posix/PortDevices.h"

namespace pelkora {

// The station's PTT devices: COM<n> is what its [Ports] value says (a serial
// device, rigctld, a radio on a CAT port, a CM108 pin; no value:
// /dev/ttyS(n-1)), or the override, whatever port is chosen. The value is
// read afresh at every create(), so an edit takes effect at the next open.
// Threading: loop thread only; rigs answer through the poster.
class LivePttDevices : public PttDeviceFactory {
  public:
    LivePttDevices(const PortDevices& ports, SerialLines& lines, LoopPoster& poster,
                   std::optional<PortRoute> override = std::nullopt);

    std::unique_ptr<PttDevice> create(int portNumber) override;

    // What COM<n> stands for now; the parse error when its value is unusable.
    PortRoute::Parsed routeOf(int portNumber) const;

  private:
    std::unique_ptr<PttDevice> rigDevice(const PortRoute& route);

    const PortDevices& ports_;
    SerialLines& lines_;
    LoopPoster& poster_;
    std::optional<PortRoute> override_;
};

}  // namespace pelkora
