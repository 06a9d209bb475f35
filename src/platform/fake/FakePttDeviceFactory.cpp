#include "platform/fake/FakePttDeviceFactory.h"

namespace pelkora {

std::unique_ptr<PttDevice> FakePttDeviceFactory::create(int portNumber) {
    ++created_;
    const auto own = portScripts_.find(portNumber);
    const FakePttScript& chosen = own != portScripts_.end() ? own->second : defaultScript_;
    return std::make_unique<FakePttDevice>(scheduler_, "COM" + std::to_string(portNumber), chosen,
                                           record_);
}

FakePttScript& FakePttDeviceFactory::script(int portNumber) {
    const auto own = portScripts_.find(portNumber);
    if (own != portScripts_.end()) {
        return own->second;
    }
    return portScripts_.emplace(portNumber, defaultScript_).first->second;
}

}  // namespace pelkora
