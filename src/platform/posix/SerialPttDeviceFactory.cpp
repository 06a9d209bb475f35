#include "platform/posix/SerialPttDeviceFactory.h"

#include <string>

#include "platform/posix/SerialPttDevice.h"

namespace pelkora {

std::unique_ptr<PttDevice> SerialPttDeviceFactory::create(int portNumber) {
    return std::make_unique<SerialPttDevice>(lines_, "COM" + std::to_string(portNumber));
}

}  // namespace pelkora
