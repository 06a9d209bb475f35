#pragma once

#include <memory>

#include "platform/PttDeviceFactory.h"
#include "platform/SerialLines.h"

namespace pelkora {

// Every port COM<n> is a serial port on the same lines, opened by its name.
// Threading: loop thread only.
class SerialPttDeviceFactory : public PttDeviceFactory {
  public:
    explicit SerialPttDeviceFactory(SerialLines& lines) : lines_(lines) {}
    std::unique_ptr<PttDevice> create(int portNumber) override;

  private:
    SerialLines& lines_;
};

}  // namespace pelkora
