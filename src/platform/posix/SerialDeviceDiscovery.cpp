#include "platform/posix/SerialDeviceDiscovery.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <string_view>
#include <tuple>
#include <utility>

namespace pelkora {

namespace fs = std::filesystem;

namespace {

constexpr std::array<std::string_view, 3> kTtyPrefixes = {"ttyUSB", "ttyACM", "ttyS"};
constexpr std::string_view kHidrawPrefix = "hidraw";
constexpr std::string_view kCMediaVendor = "0d8c";
// How far up from a tty or hidraw node the USB device's own folder may lie
// (interface, port, HID device: three levels on the adapters seen so far).
constexpr int kUsbSearchDepth = 6;

// The first line of a small sysfs file, without its trailing blanks; "" when
// it cannot be read.
std::string firstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())) != 0) {
        line.pop_back();
    }
    return line;
}

// The number after prefix in name ("ttyUSB12" -> 12); -1 when name is not
// prefix followed by digits only.
long numberAfter(std::string_view name, std::string_view prefix) {
    if (!name.starts_with(prefix) || name.size() == prefix.size() ||
        name.size() > prefix.size() + 6) {
        return -1;
    }
    long number = 0;
    for (const char c : name.substr(prefix.size())) {
        if (c < '0' || c > '9') {
            return -1;
        }
        number = number * 10 + (c - '0');
    }
    return number;
}

// The names in folder that are prefix followed by a number, in numeric order.
std::vector<std::string> numberedEntries(const fs::path& folder, std::string_view prefix) {
    std::vector<std::pair<long, std::string>> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        std::string name = entry.path().filename().string();
        const long number = numberAfter(name, prefix);
        if (number >= 0) {
            found.emplace_back(number, std::move(name));
        }
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> names;
    for (auto& [number, name] : found) {
        names.push_back(std::move(name));
    }
    return names;
}

std::vector<std::string> sortedEntries(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The kernel name of the device a by-id link leads to ("ttyUSB0"), followed
// to its end; "" when the link leads nowhere.
std::string kernelNameOf(const fs::path& link) {
    std::error_code error;
    const fs::path target = fs::canonical(link, error);
    return error ? std::string() : target.filename().string();
}

std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
    std::string text;
    for (const auto& part : parts) {
        if (part.empty()) {
            continue;
        }
        text += (text.empty() ? "" : std::string(separator)) + part;
    }
    return text;
}

std::string lowerAscii(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// A HID device's folder is named "BUS:VENDOR:PRODUCT.N" ("0003:0D8C:013C.0001"):
// the ids even when no USB folder above it can be read.
std::pair<std::string, std::string> idsFromHidName(const std::string& name) {
    if (name.size() < 14 || name[4] != ':' || name[9] != ':') {
        return {};
    }
    return {lowerAscii(name.substr(5, 4)), lowerAscii(name.substr(10, 4))};
}

}  // namespace

SerialDeviceDiscovery::SerialDeviceDiscovery(fs::path devRoot, fs::path sysRoot)
    : devRoot_(std::move(devRoot)), sysRoot_(std::move(sysRoot)) {}

std::vector<SerialDeviceDiscovery::Device> SerialDeviceDiscovery::serialPorts() const {
    std::vector<std::string> kernelNames;
    std::vector<Device> devices = portsById(kernelNames);
    std::vector<Device> rest = portsByName(kernelNames);
    devices.insert(devices.end(), std::make_move_iterator(rest.begin()),
                   std::make_move_iterator(rest.end()));
    return devices;
}

std::vector<SerialDeviceDiscovery::Device> SerialDeviceDiscovery::portsById(
    std::vector<std::string>& kernelNames) const {
    const fs::path folder = devRoot_ / "serial" / "by-id";
    std::vector<Device> devices;
    for (const auto& name : sortedEntries(folder)) {
        const std::string kernelName = kernelNameOf(folder / name);
        if (kernelName.empty()) {
            continue;  // a link left behind by an adapter already unplugged
        }
        std::string description = ttyDescription(kernelName);
        description = (description.empty() ? name : description) + " (" + kernelName + ")";
        devices.push_back({(folder / name).string(), std::move(description), false});
        kernelNames.push_back(kernelName);
    }
    return devices;
}

std::vector<SerialDeviceDiscovery::Device> SerialDeviceDiscovery::portsByName(
    const std::vector<std::string>& listed) const {
    std::vector<Device> devices;
    for (const std::string_view prefix : kTtyPrefixes) {
        for (const auto& name : numberedEntries(devRoot_, prefix)) {
            if (std::find(listed.begin(), listed.end(), name) != listed.end() ||
                !hasHardware(name)) {
                continue;
            }
            std::string description = ttyDescription(name);
            if (description.empty()) {
                description = prefix == "ttyS" ? "serial port" : "USB serial port";
            }
            devices.push_back({(devRoot_ / name).string(), std::move(description), false});
        }
    }
    return devices;
}

// A USB or ACM node exists only while its adapter is plugged in. The kernel
// makes ttyS0..ttyS3 (or more) whether or not a UART answers there: those
// without one report type 0 (PORT_UNKNOWN) and hang off the serial8250
// placeholder device.
bool SerialDeviceDiscovery::hasHardware(const std::string& ttyName) const {
    if (!ttyName.starts_with("ttyS")) {
        return true;
    }
    const fs::path classDevice = sysRoot_ / "class" / "tty" / ttyName;
    const std::string type = firstLine(classDevice / "type");
    if (!type.empty()) {
        return type != "0";
    }
    std::error_code error;
    const fs::path device = fs::canonical(classDevice / "device", error);
    return !error && device.filename() != "serial8250";
}

// Walks up from the class device's hardware to the USB device that carries
// the manufacturer, product and serial number files.
SerialDeviceDiscovery::UsbFacts SerialDeviceDiscovery::usbFacts(const fs::path& classDevice) const {
    std::error_code error;
    fs::path folder = fs::canonical(classDevice / "device", error);
    if (error) {
        return {};
    }
    for (int level = 0; level < kUsbSearchDepth && folder.has_relative_path(); ++level) {
        if (fs::exists(folder / "idVendor", error)) {
            return {firstLine(folder / "manufacturer"), firstLine(folder / "product"),
                    firstLine(folder / "serial"), lowerAscii(firstLine(folder / "idVendor")),
                    lowerAscii(firstLine(folder / "idProduct"))};
        }
        folder = folder.parent_path();
    }
    return {};
}

std::string SerialDeviceDiscovery::ttyDescription(const std::string& ttyName) const {
    const UsbFacts facts = usbFacts(sysRoot_ / "class" / "tty" / ttyName);
    const std::string name = joined({facts.manufacturer, facts.product}, " ");
    return joined({name, facts.serial.empty() ? "" : "serial " + facts.serial}, ", ");
}

std::vector<SerialDeviceDiscovery::Device> SerialDeviceDiscovery::hidDevices() const {
    std::vector<Device> devices;
    for (const auto& name : numberedEntries(devRoot_, kHidrawPrefix)) {
        const fs::path classDevice = sysRoot_ / "class" / "hidraw" / name;
        UsbFacts facts = usbFacts(classDevice);
        if (facts.vendorId.empty()) {
            std::error_code error;
            const fs::path hid = fs::canonical(classDevice / "device", error);
            std::tie(facts.vendorId, facts.productId) =
                idsFromHidName(error ? std::string() : hid.filename().string());
        }
        const bool cm108 = facts.vendorId == kCMediaVendor;
        devices.push_back({(devRoot_ / name).string(), hidDescription(facts, cm108), cm108});
    }
    return devices;
}

std::string SerialDeviceDiscovery::hidDescription(const UsbFacts& facts, bool cm108) {
    std::string description = joined({facts.manufacturer, facts.product}, " ");
    if (!facts.vendorId.empty()) {
        description =
            joined({description, "(" + facts.vendorId + ":" + facts.productId + ")"}, " ");
    }
    if (cm108) {
        description = joined({description, "CM108 family"}, ", ");
    }
    return description.empty() ? std::string("HID device") : description;
}

}  // namespace pelkora
