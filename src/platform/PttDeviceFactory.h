#pragma once

#include <memory>

#include "platform/PttDevice.h"

namespace pelkora {

// Makes the device that stands behind a PTT port number (COM<n>), as the
// station's port settings describe it at the moment of the call.
// Threading: loop thread only.
class PttDeviceFactory {
  public:
    virtual ~PttDeviceFactory() = default;

    // Never null: a port whose description cannot be used gives a device
    // whose open() fails with CannotOpen and the reason in plain words.
    virtual std::unique_ptr<PttDevice> create(int portNumber) = 0;
};

}  // namespace pelkora
