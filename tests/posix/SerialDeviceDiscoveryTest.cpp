#include "platform/posix/SerialDeviceDiscovery.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace pelkora {
namespace {

namespace fs = std::filesystem;
using Device = SerialDeviceDiscovery::Device;
using Facts = std::map<std::string, std::string>;  // sysfs file name -> first line

// A /dev and a /sys of our own, laid out as the kernel lays them out: class
// entries are links into /sys/devices, and each class device's "device" link
// points at its hardware a few levels below the USB device.
class FakeDeviceTree {
  public:
    FakeDeviceTree()
        : root_(fs::temp_directory_path() / ("pelkora-discovery-" + std::to_string(getpid()))) {
        fs::remove_all(root_);
        fs::create_directories(dev());
        fs::create_directories(sys());
    }
    ~FakeDeviceTree() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    FakeDeviceTree(const FakeDeviceTree&) = delete;
    FakeDeviceTree& operator=(const FakeDeviceTree&) = delete;

    fs::path dev() const { return root_ / "dev"; }
    fs::path sys() const { return root_ / "sys"; }

    void node(const std::string& name) const { write(dev() / name, ""); }

    void byId(const std::string& name, const std::string& target) const {
        fs::create_directories(dev() / "serial" / "by-id");
        fs::create_symlink("../../" + target, dev() / "serial" / "by-id" / name);
    }

    // A USB device folder under /sys/devices with its identifying files.
    std::string usbDevice(const std::string& port, const Facts& facts) const {
        const std::string folder = "devices/pci0000:00/0000:00:14.0/usb1/" + port;
        for (const auto& [file, value] : facts) {
            write(sys() / folder / file, value + "\n");
        }
        return folder;
    }

    // A class device (tty or hidraw) whose hardware is at hardware (relative
    // to /sys), with its own attributes.
    void classDevice(const std::string& cls, const std::string& name, const std::string& hardware,
                     const Facts& attributes = {}) const {
        const fs::path own = sys() / hardware / cls / name;
        fs::create_directories(own);
        fs::create_symlink("../../../" + fs::path(hardware).filename().string(), own / "device");
        for (const auto& [file, value] : attributes) {
            write(own / file, value + "\n");
        }
        fs::create_directories(sys() / "class" / cls);
        fs::create_symlink(fs::relative(own, sys() / "class" / cls), sys() / "class" / cls / name);
    }

    std::string path(const std::string& relative) const { return (dev() / relative).string(); }

  private:
    static void write(const fs::path& file, const std::string& text) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text;
    }
    fs::path root_;
};

class SerialDeviceDiscoveryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto ftdi = tree.usbDevice("1-2", {{"idVendor", "0403"},
                                                 {"idProduct", "6001"},
                                                 {"manufacturer", "FTDI"},
                                                 {"product", "FT232R USB UART"},
                                                 {"serial", "A10KXYZ"}});
        fs::create_directories(tree.sys() / ftdi / "1-2:1.0" / "ttyUSB1");
        tree.classDevice("tty", "ttyUSB1", ftdi + "/1-2:1.0/ttyUSB1");
        const auto icom = tree.usbDevice("1-3", {{"idVendor", "0c26"},
                                                 {"idProduct", "0036"},
                                                 {"manufacturer", "Icom Inc."},
                                                 {"product", "IC-7300"},
                                                 {"serial", "IC-7300 03001234"}});
        tree.classDevice("tty", "ttyACM0", icom + "/1-3:1.0");
        const auto bare = tree.usbDevice("1-5", {{"idVendor", "1a86"}, {"idProduct", "7523"}});
        tree.classDevice("tty", "ttyUSB0", bare + "/1-5:1.0/ttyUSB0");
        tree.classDevice("tty", "ttyS0", "devices/pnp0/00:04", {{"type", "4"}});
        tree.classDevice("tty", "ttyS1", "devices/platform/serial8250", {{"type", "0"}});
        tree.classDevice("tty", "ttyS2", "devices/platform/serial8250");
        tree.classDevice("tty", "ttyS10", "devices/pci0000:00/0000:00:1c.0/0000:03:00.0");
        for (const auto* name : {"ttyUSB0", "ttyUSB1", "ttyUSB2", "ttyUSB10", "ttyACM0", "ttyS0",
                                 "ttyS1", "ttyS2", "ttyS3", "ttyS10", "ttyUSBx", "ttyS", "tty0",
                                 "hidraw0", "hidraw1", "hidraw2", "hidraw3", "hidrawA"}) {
            tree.node(name);
        }
        tree.byId("usb-Icom_Inc._IC-7300_IC-7300_03001234-if00", "ttyACM0");
        tree.byId("usb-FTDI_FT232R_USB_UART_A10KXYZ-if00-port0", "ttyUSB1");
        tree.byId("usb-Prolific_unplugged-if00-port0", "ttyUSB9");
    }

    FakeDeviceTree tree;
};

TEST_F(SerialDeviceDiscoveryTest, ListsPortsByIdFirstThenThoseWithHardwareOnce) {
    const std::string byId = tree.path("serial/by-id/");
    const std::vector<Device> expected = {
        {byId + "usb-FTDI_FT232R_USB_UART_A10KXYZ-if00-port0",
         "FTDI FT232R USB UART, serial A10KXYZ (ttyUSB1)", false},
        {byId + "usb-Icom_Inc._IC-7300_IC-7300_03001234-if00",
         "Icom Inc. IC-7300, serial IC-7300 03001234 (ttyACM0)", false},
        // Found in sysfs, but with nothing to tell the operator.
        {tree.path("ttyUSB0"), "USB serial port", false},
        // No sysfs entry at all: a USB node exists only while plugged in.
        {tree.path("ttyUSB2"), "USB serial port", false},
        {tree.path("ttyUSB10"), "USB serial port", false},
        // ttyS1 (type 0), ttyS2 (the placeholder) and ttyS3 (no sysfs) have no UART.
        {tree.path("ttyS0"), "serial port", false},
        {tree.path("ttyS10"), "serial port", false},
    };
    EXPECT_EQ(SerialDeviceDiscovery(tree.dev(), tree.sys()).serialPorts(), expected);
}

TEST_F(SerialDeviceDiscoveryTest, ListsHidDevicesAndMarksTheCMediaFamily) {
    const auto cmedia = tree.usbDevice("1-4", {{"idVendor", "0D8C"},
                                               {"idProduct", "013c"},
                                               {"manufacturer", "C-Media Electronics Inc."},
                                               {"product", "USB PnP Sound Device"}});
    tree.classDevice("hidraw", "hidraw0", cmedia + "/1-4:1.3/0003:0D8C:013C.0001");
    const auto keyboard = tree.usbDevice("1-6", {{"idVendor", "046d"},
                                                 {"idProduct", "c31c"},
                                                 {"manufacturer", "Logitech"},
                                                 {"product", "USB Keyboard"}});
    tree.classDevice("hidraw", "hidraw1", keyboard + "/1-6:1.0/0003:046D:C31C.0002");
    // No USB folder above it: the ids come from the HID device's own name.
    tree.classDevice("hidraw", "hidraw2", "devices/virtual/misc/0003:0D8C:000C.0003");

    const std::vector<Device> expected = {
        {tree.path("hidraw0"),
         "C-Media Electronics Inc. USB PnP Sound Device (0d8c:013c), CM108 family", true},
        {tree.path("hidraw1"), "Logitech USB Keyboard (046d:c31c)", false},
        {tree.path("hidraw2"), "(0d8c:000c), CM108 family", true},
        {tree.path("hidraw3"), "HID device", false},
    };
    EXPECT_EQ(SerialDeviceDiscovery(tree.dev(), tree.sys()).hidDevices(), expected);
}

TEST(SerialDeviceDiscoveryMissingTest, FindsNothingWhereThereIsNothing) {
    const fs::path nowhere =
        fs::temp_directory_path() / ("pelkora-nowhere-" + std::to_string(getpid()));
    const SerialDeviceDiscovery discovery(nowhere / "dev", nowhere / "sys");
    EXPECT_TRUE(discovery.serialPorts().empty());
    EXPECT_TRUE(discovery.hidDevices().empty());
}

TEST(SerialDeviceDiscoveryMachineTest, EveryDeviceListedOnThisMachineExists) {
    const SerialDeviceDiscovery discovery;
    for (const auto& list : {discovery.serialPorts(), discovery.hidDevices()}) {
        for (const auto& device : list) {
            EXPECT_TRUE(fs::exists(device.path)) << device.path;
            EXPECT_FALSE(device.description.empty()) << device.path;
        }
    }
}

}  // namespace
}  // namespace pelkora
