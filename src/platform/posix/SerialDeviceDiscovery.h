#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace pelkora {

// Finds the devices a PTT port can use, for the operator to pick from: serial
// ports with hardware behind them and hidraw devices (CM108 GPIO). Names and
// descriptions come from the device folder and sysfs; both roots are given so
// that a test can build a tree of its own. Nothing is opened, so a device in
// use by another program is still listed.
// Threading: any thread; every call reads the file system afresh.
class SerialDeviceDiscovery {
  public:
    struct Device {
        std::string path;          // what a [Ports] value names
        std::string description;   // for the operator ("FTDI FT232R USB UART, serial A1")
        bool cm108Family = false;  // a C-Media chip whose GPIO pins can key
        bool operator==(const Device&) const = default;
    };

    explicit SerialDeviceDiscovery(std::filesystem::path devRoot = "/dev",
                                   std::filesystem::path sysRoot = "/sys");

    // /dev/serial/by-id links first (their names survive replugging and a
    // change of the order the adapters were found in), then the ttyUSB, ttyACM
    // and ttyS devices no link names, each group in numeric order.
    std::vector<Device> serialPorts() const;

    // /dev/hidraw* in numeric order, with the USB vendor and product.
    std::vector<Device> hidDevices() const;

  private:
    struct UsbFacts {
        std::string manufacturer, product, serial, vendorId, productId;
    };

    std::vector<Device> portsById(std::vector<std::string>& kernelNames) const;
    std::vector<Device> portsByName(const std::vector<std::string>& listed) const;
    bool hasHardware(const std::string& ttyName) const;
    UsbFacts usbFacts(const std::filesystem::path& classDevice) const;
    std::string ttyDescription(const std::string& ttyName) const;
    static std::string hidDescription(const UsbFacts& facts, bool cm108);

    std::filesystem::path devRoot_;
    std::filesystem::path sysRoot_;
};

}  // namespace pelkora
