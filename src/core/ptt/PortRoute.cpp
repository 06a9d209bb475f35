#include "core/ptt/PortRoute.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "core/text/TextRules.h"

namespace pelkora {

namespace {

constexpr int kDefaultRigctldPort = 4532;
constexpr int kHighestTcpPort = 65535;
constexpr int kLowestGpio = 1;
constexpr int kHighestGpio = 8;

// The rates a serial CAT port can be set to; 0 leaves the rig's own default.
constexpr std::array kBaudRates = {0,     300,   600,   1200,   2400,   4800,  9600,
                                   19200, 38400, 57600, 115200, 230400, 460800};

using Words = std::vector<std::string_view>;
using Parsed = PortRoute::Parsed;

Parsed failure(std::string message) {
    return {std::nullopt, std::move(message)};
}

Parsed success(PortRoute route) {
    return {std::move(route), {}};
}

// Blanks and other control characters all separate words: a device path never
// holds one, and a stray one must not become part of a name handed to open().
bool isSeparator(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte <= ' ' || byte == 0x7f;
}

Words splitWords(std::string_view text) {
    Words words;
    auto at = text.begin();
    while (at != text.end()) {
        const auto start = std::find_if_not(at, text.end(), isSeparator);
        const auto end = std::find_if(start, text.end(), isSeparator);
        if (start != end) {
            words.emplace_back(start, end);
        }
        at = end;
    }
    return words;
}

// A non-negative decimal number, digits only; empty when it is anything else
// or too large for an int.
std::optional<int> parseNumber(std::string_view text) {
    if (text.empty() ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::string quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

// A device is named by its absolute path: a relative name would depend on the
// directory the program happens to start in.
std::optional<std::string> deviceError(std::string_view device) {
    if (device.starts_with('/') && device.size() > 1) {
        return std::nullopt;
    }
    std::string example = "/dev/ttyUSB0";
    if (device.starts_with("dev/")) {
        example = "/" + std::string(device);
    } else if (!device.empty() && !device.starts_with('/')) {
        example = "/dev/" + std::string(device);
    }
    return "The device " + quoted(device) + " is not a full path; write it as " + example + ".";
}

Parsed tooManyWords(std::string_view usage) {
    return failure("There are extra words after the port; write it as " + std::string(usage) + ".");
}

bool isHostCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '.' || c == '_';
}

bool isIpv6Character(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0 || c == ':' || c == '.';
}

struct Address {
    std::string host;
    std::string_view port;  // empty: the default port
};

// "host", "host:port", "[v6]" or "[v6]:port"; the message on failure.
std::variant<Address, std::string> splitAddress(std::string_view text) {
    constexpr const char* kBracketHint = "; an IPv6 address is written in brackets, [::1]:4532.";
    if (text.starts_with('[')) {
        const auto close = text.find(']');
        if (close == std::string_view::npos) {
            return "The address " + quoted(text) + " has no closing bracket" + kBracketHint;
        }
        const std::string_view inside = text.substr(1, close - 1);
        const std::string_view rest = text.substr(close + 1);
        if (inside.empty() || !std::all_of(inside.begin(), inside.end(), isIpv6Character) ||
            inside.find(':') == std::string_view::npos) {
            return "The address " + quoted(text) + " is not an IPv6 address" + kBracketHint;
        }
        if (!rest.empty() && !rest.starts_with(':')) {
            return "The address " + quoted(text) + " has text after the bracket" + kBracketHint;
        }
        if (rest == ":") {
            return "The address " + quoted(text) + " has no port number after the colon.";
        }
        return Address{std::string(inside), rest.empty() ? rest : rest.substr(1)};
    }
    const auto colon = text.find(':');
    if (colon != std::string_view::npos && text.find(':', colon + 1) != std::string_view::npos) {
        return "The address " + quoted(text) + " has more than one colon" + kBracketHint;
    }
    const std::string_view host = text.substr(0, colon);
    if (host.empty() || !std::all_of(host.begin(), host.end(), isHostCharacter)) {
        return "The host " + quoted(host) + " is not a host name or address; write it as " +
               "localhost:4532.";
    }
    const std::string_view port =
        colon == std::string_view::npos ? std::string_view() : text.substr(colon + 1);
    if (colon != std::string_view::npos && port.empty()) {
        return "The address " + quoted(text) + " has no port number after the colon.";
    }
    return Address{std::string(host), port};
}

Parsed parseRigctld(const Words& words) {
    PortRoute route;
    route.kind = PortRoute::Kind::Rigctld;
    if (words.size() > 2) {
        return tooManyWords("rigctld localhost:4532");
    }
    if (words.size() == 1) {
        return success(route);
    }
    auto split = splitAddress(words[1]);
    if (const auto* message = std::get_if<std::string>(&split)) {
        return failure(*message);
    }
    auto& address = std::get<Address>(split);
    route.host = std::move(address.host);
    route.tcpPort = kDefaultRigctldPort;
    if (!address.port.empty()) {
        const auto port = parseNumber(address.port);
        if (!port || *port < 1 || *port > kHighestTcpPort) {
            return failure("The port number " + quoted(address.port) +
                           " is not a number from 1 to 65535.");
        }
        route.tcpPort = *port;
    }
    return success(route);
}

Parsed parseRig(const Words& words) {
    constexpr const char* kUsage = "rig 1035 /dev/ttyUSB1 38400";
    if (words.size() < 3) {
        return failure(std::string("A radio needs its model number and device; write it as ") +
                       kUsage + ".");
    }
    if (words.size() > 4) {
        return tooManyWords(kUsage);
    }
    PortRoute route;
    route.kind = PortRoute::Kind::HamlibRig;
    const auto model = parseNumber(words[1]);
    if (!model || *model < 1) {
        return failure("The radio model " + quoted(words[1]) + " is not a positive number.");
    }
    route.rigModel = *model;
    if (auto message = deviceError(words[2])) {
        return failure(*message);
    }
    route.device = std::string(words[2]);
    if (words.size() == 4) {
        const auto baud = parseNumber(words[3]);
        if (!baud || std::find(kBaudRates.begin(), kBaudRates.end(), *baud) == kBaudRates.end()) {
            return failure("The baud rate " + quoted(words[3]) +
                           " is not one a serial port can use (such as 4800, 9600, 19200, "
                           "38400, 57600 or 115200).");
        }
        route.baudRate = *baud;
    }
    return success(route);
}

Parsed parseCm108(const Words& words) {
    constexpr const char* kUsage = "cm108 /dev/hidraw2 3";
    if (words.size() < 2) {
        return failure(std::string("A CM108 interface needs its device; write it as ") + kUsage +
                       ".");
    }
    if (words.size() > 3) {
        return tooManyWords(kUsage);
    }
    PortRoute route;
    route.kind = PortRoute::Kind::Cm108;
    if (auto message = deviceError(words[1])) {
        return failure(*message);
    }
    route.device = std::string(words[1]);
    if (words.size() == 3) {
        const auto gpio = parseNumber(words[2]);
        if (!gpio || *gpio < kLowestGpio || *gpio > kHighestGpio) {
            return failure("The GPIO " + quoted(words[2]) + " is not a number from 1 to 8.");
        }
        route.gpio = *gpio;
    }
    return success(route);
}

Parsed parseSerial(const Words& words) {
    if (auto message = deviceError(words[0])) {
        return failure(*message);
    }
    if (words.size() > 1) {
        return tooManyWords(std::string(words[0]));
    }
    PortRoute route;
    route.device = std::string(words[0]);
    return success(route);
}

// A first word that is neither a kind nor a path: a device name without its
// directory ("ttyUSB0") gets the path hint, anything else the list of kinds.
Parsed unknownKind(std::string_view word) {
    if (word.find('/') != std::string_view::npos || word.starts_with("tty") ||
        word.starts_with("hidraw")) {
        return failure(*deviceError(word));
    }
    if (word.find(':') != std::string_view::npos) {
        return failure("The address " + quoted(word) +
                       " needs the word rigctld before it; write it as rigctld localhost:4532.");
    }
    return failure("The port kind " + quoted(word) +
                   " is not known; use a device path such as /dev/ttyUSB0, or rigctld, rig or "
                   "cm108.");
}

}  // namespace

PortRoute::Parsed PortRoute::parse(std::string_view value) {
    const Words words = splitWords(value);
    if (words.empty()) {
        return failure("The port is empty; give a device such as /dev/ttyUSB0.");
    }
    const std::string kind = toUpperAscii(words[0]);
    if (kind == "RIGCTLD") {
        return parseRigctld(words);
    }
    if (kind == "RIG") {
        return parseRig(words);
    }
    if (kind == "CM108") {
        return parseCm108(words);
    }
    if (words[0].starts_with('/')) {
        return parseSerial(words);
    }
    return unknownKind(words[0]);
}

namespace {

std::string addressText(const PortRoute& route) {
    const bool ipv6 = route.host.find(':') != std::string::npos;
    return (ipv6 ? "[" + route.host + "]" : route.host) + ":" + std::to_string(route.tcpPort);
}

}  // namespace

std::string PortRoute::format() const {
    switch (kind) {
        case Kind::Serial:
            return device;
        case Kind::Rigctld:
            return "rigctld " + addressText(*this);
        case Kind::HamlibRig:
            return "rig " + std::to_string(rigModel) + " " + device +
                   (baudRate != 0 ? " " + std::to_string(baudRate) : std::string());
        case Kind::Cm108:
            return "cm108 " + device + " " + std::to_string(gpio);
    }
    return device;
}

std::string PortRoute::describe() const {
    switch (kind) {
        case Kind::Serial:
            return "serial port " + device;
        case Kind::Rigctld:
            return "rigctld at " + addressText(*this);
        case Kind::HamlibRig:
            return "radio model " + std::to_string(rigModel) + " on " + device +
                   (baudRate != 0 ? " at " + std::to_string(baudRate) + " baud"
                                  : std::string(" at the radio's default speed"));
        case Kind::Cm108:
            return "CM108 GPIO " + std::to_string(gpio) + " on " + device;
    }
    return device;
}

}  // namespace pelkora
