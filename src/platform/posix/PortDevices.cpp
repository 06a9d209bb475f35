#include "platform/posix/PortDevices.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <string_view>
#include <utility>

namespace pelkora {

namespace {

constexpr std::string_view kPortPrefix = "COM";
constexpr int kHighestPort = 99;

bool hasPortPrefix(std::string_view name) {
    const auto sameLetter = [](char expected, char given) {
        return std::toupper(static_cast<unsigned char>(given)) == expected;
    };
    return name.size() >= kPortPrefix.size() &&
           std::equal(kPortPrefix.begin(), kPortPrefix.end(), name.begin(), sameLetter);
}

// The port number of "COM<n>", n = 1..99 written without leading zeros. The
// prefix matches without regard to case, as the settings keys do.
std::optional<int> portNumber(std::string_view name) {
    if (!hasPortPrefix(name)) {
        return std::nullopt;
    }
    const std::string_view digits = name.substr(kPortPrefix.size());
    if (digits.empty() || digits.size() > 2 || digits.front() == '0') {
        return std::nullopt;
    }
    int number = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        number = number * 10 + (c - '0');
    }
    return number <= kHighestPort ? std::optional<int>(number) : std::nullopt;
}

std::string trimmed(const std::string& text) {
    constexpr const char* kBlanks = " \t\r\n";
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

}  // namespace

PortDevices::PortDevices(ProfileStore& store, std::string settingsFile)
    : store_(store), settingsFile_(std::move(settingsFile)) {}

std::string PortDevices::configuredValue(const std::string& portName) const {
    if (portName.starts_with('/')) {
        return portName;
    }
    const std::optional<int> number = portNumber(portName);
    if (!number) {
        return {};
    }
    const std::string configured = trimmed(store_.readString(settingsFile_, "Ports", portName, ""));
    if (!configured.empty()) {
        return configured;
    }
    return "/dev/ttyS" + std::to_string(*number - 1);
}

std::string PortDevices::devicePath(const std::string& portName) const {
    // A serial port's value is its bare device path.
    return configuredValue(portName);
}

}  // namespace pelkora
