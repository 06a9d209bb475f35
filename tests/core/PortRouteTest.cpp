#include "core/ptt/PortRoute.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pelkora {
namespace {

using Kind = PortRoute::Kind;

PortRoute serial(std::string device) {
    PortRoute route;
    route.device = std::move(device);
    return route;
}

PortRoute rigctld(std::string host, int port) {
    PortRoute route;
    route.kind = Kind::Rigctld;
    route.host = std::move(host);
    route.tcpPort = port;
    return route;
}

PortRoute rig(int model, std::string device, int baud) {
    PortRoute route;
    route.kind = Kind::HamlibRig;
    route.rigModel = model;
    route.device = std::move(device);
    route.baudRate = baud;
    return route;
}

PortRoute cm108(std::string device, int gpio) {
    PortRoute route;
    route.kind = Kind::Cm108;
    route.device = std::move(device);
    route.gpio = gpio;
    return route;
}

struct ReadCase {
    std::string value;
    PortRoute expected;
    std::string formatted;  // what format() writes back
    std::string described;
};

TEST(PortRouteTest, ReadsEveryFormAndWritesItBackInItsOwnForm) {
    const std::vector<ReadCase> cases = {
        {"/dev/ttyUSB0", serial("/dev/ttyUSB0"), "/dev/ttyUSB0", "serial port /dev/ttyUSB0"},
        {"  /dev/ttyS0\t", serial("/dev/ttyS0"), "/dev/ttyS0", "serial port /dev/ttyS0"},
        {"/dev/serial/by-id/usb-FTDI_FT232R-if00-port0",
         serial("/dev/serial/by-id/usb-FTDI_FT232R-if00-port0"),
         "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0",
         "serial port /dev/serial/by-id/usb-FTDI_FT232R-if00-port0"},
        {"rigctld localhost:4532", rigctld("localhost", 4532), "rigctld localhost:4532",
         "rigctld at localhost:4532"},
        {"RigCtlD", rigctld("localhost", 4532), "rigctld localhost:4532",
         "rigctld at localhost:4532"},
        {"rigctld shack-pi.local", rigctld("shack-pi.local", 4532), "rigctld shack-pi.local:4532",
         "rigctld at shack-pi.local:4532"},
        {"rigctld 192.168.1.20:4533", rigctld("192.168.1.20", 4533), "rigctld 192.168.1.20:4533",
         "rigctld at 192.168.1.20:4533"},
        {"rigctld [::1]:4532", rigctld("::1", 4532), "rigctld [::1]:4532", "rigctld at [::1]:4532"},
        {"rigctld [fe80::1]", rigctld("fe80::1", 4532), "rigctld [fe80::1]:4532",
         "rigctld at [fe80::1]:4532"},
        {"rigctld host:1", rigctld("host", 1), "rigctld host:1", "rigctld at host:1"},
        {"rigctld host:65535", rigctld("host", 65535), "rigctld host:65535",
         "rigctld at host:65535"},
        {"rig 1035 /dev/ttyUSB1 38400", rig(1035, "/dev/ttyUSB1", 38400),
         "rig 1035 /dev/ttyUSB1 38400", "radio model 1035 on /dev/ttyUSB1 at 38400 baud"},
        {"RIG   2   /dev/ttyACM0", rig(2, "/dev/ttyACM0", 0), "rig 2 /dev/ttyACM0",
         "radio model 2 on /dev/ttyACM0 at the radio's default speed"},
        {"rig 1035 /dev/ttyUSB1 0", rig(1035, "/dev/ttyUSB1", 0), "rig 1035 /dev/ttyUSB1",
         "radio model 1035 on /dev/ttyUSB1 at the radio's default speed"},
        {"cm108 /dev/hidraw2 3", cm108("/dev/hidraw2", 3), "cm108 /dev/hidraw2 3",
         "CM108 GPIO 3 on /dev/hidraw2"},
        {"CM108 /dev/hidraw0", cm108("/dev/hidraw0", 3), "cm108 /dev/hidraw0 3",
         "CM108 GPIO 3 on /dev/hidraw0"},
        {"cm108 /dev/hidraw1 8", cm108("/dev/hidraw1", 8), "cm108 /dev/hidraw1 8",
         "CM108 GPIO 8 on /dev/hidraw1"},
        {"cm108 /dev/hidraw1 1", cm108("/dev/hidraw1", 1), "cm108 /dev/hidraw1 1",
         "CM108 GPIO 1 on /dev/hidraw1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        const auto parsed = PortRoute::parse(c.value);
        ASSERT_TRUE(parsed.route.has_value()) << parsed.error;
        EXPECT_EQ(parsed.error, "");
        EXPECT_EQ(*parsed.route, c.expected);
        EXPECT_EQ(parsed.route->format(), c.formatted);
        EXPECT_EQ(parsed.route->describe(), c.described);
        // What is written must read back to the same port.
        const auto again = PortRoute::parse(parsed.route->format());
        ASSERT_TRUE(again.route.has_value()) << again.error;
        EXPECT_EQ(*again.route, c.expected);
    }
}

struct ErrorCase {
    std::string value;
    std::string error;
};

TEST(PortRouteTest, RefusesGarbageWithAReasonInPlainWords) {
    const std::vector<ErrorCase> cases = {
        {"", "The port is empty; give a device such as /dev/ttyUSB0."},
        {" \t ", "The port is empty; give a device such as /dev/ttyUSB0."},
        {"modem /dev/ttyS0",
         "The port kind \"modem\" is not known; use a device path such as /dev/ttyUSB0, or "
         "rigctld, rig or cm108."},
        {"ttyUSB0", "The device \"ttyUSB0\" is not a full path; write it as /dev/ttyUSB0."},
        {"dev/ttyUSB0", "The device \"dev/ttyUSB0\" is not a full path; write it as /dev/ttyUSB0."},
        {"/", "The device \"/\" is not a full path; write it as /dev/ttyUSB0."},
        {"/dev/ttyUSB0 9600", "There are extra words after the port; write it as /dev/ttyUSB0."},
        {"[::1]:4532",
         "The address \"[::1]:4532\" needs the word rigctld before it; write it as rigctld "
         "localhost:4532."},
        {"localhost:4532",
         "The address \"localhost:4532\" needs the word rigctld before it; write it as rigctld "
         "localhost:4532."},
        {"rigctld host:0", "The port number \"0\" is not a number from 1 to 65535."},
        {"rigctld host:65536", "The port number \"65536\" is not a number from 1 to 65535."},
        {"rigctld host:99999999999",
         "The port number \"99999999999\" is not a number from 1 to "
         "65535."},
        {"rigctld host:-1", "The port number \"-1\" is not a number from 1 to 65535."},
        {"rigctld host:45x", "The port number \"45x\" is not a number from 1 to 65535."},
        {"rigctld host:", "The address \"host:\" has no port number after the colon."},
        {"rigctld :4532",
         "The host \"\" is not a host name or address; write it as localhost:4532."},
        {"rigctld ho$t",
         "The host \"ho$t\" is not a host name or address; write it as "
         "localhost:4532."},
        {"rigctld ::1:4532",
         "The address \"::1:4532\" has more than one colon; an IPv6 address is written in "
         "brackets, [::1]:4532."},
        {"rigctld [::1:4532",
         "The address \"[::1:4532\" has no closing bracket; an IPv6 address is written in "
         "brackets, [::1]:4532."},
        {"rigctld []:4532",
         "The address \"[]:4532\" is not an IPv6 address; an IPv6 address is written in "
         "brackets, [::1]:4532."},
        {"rigctld [::1]4532",
         "The address \"[::1]4532\" has text after the bracket; an IPv6 address is written in "
         "brackets, [::1]:4532."},
        {"rigctld [::1]:", "The address \"[::1]:\" has no port number after the colon."},
        {"rigctld localhost:4532 now",
         "There are extra words after the port; write it as rigctld localhost:4532."},
        {"rig",
         "A radio needs its model number and device; write it as rig 1035 /dev/ttyUSB1 "
         "38400."},
        {"rig 1035",
         "A radio needs its model number and device; write it as rig 1035 "
         "/dev/ttyUSB1 38400."},
        {"rig 0 /dev/ttyUSB1", "The radio model \"0\" is not a positive number."},
        {"rig -3 /dev/ttyUSB1", "The radio model \"-3\" is not a positive number."},
        {"rig FT991 /dev/ttyUSB1", "The radio model \"FT991\" is not a positive number."},
        {"rig 1035 ttyUSB1",
         "The device \"ttyUSB1\" is not a full path; write it as /dev/ttyUSB1."},
        {"rig 1035 /dev/ttyUSB1 12345",
         "The baud rate \"12345\" is not one a serial port can use (such as 4800, 9600, 19200, "
         "38400, 57600 or 115200)."},
        {"rig 1035 /dev/ttyUSB1 fast",
         "The baud rate \"fast\" is not one a serial port can use (such as 4800, 9600, 19200, "
         "38400, 57600 or 115200)."},
        {"rig 1035 /dev/ttyUSB1 38400 8N1",
         "There are extra words after the port; write it as rig 1035 /dev/ttyUSB1 38400."},
        {"cm108", "A CM108 interface needs its device; write it as cm108 /dev/hidraw2 3."},
        {"cm108 hidraw2", "The device \"hidraw2\" is not a full path; write it as /dev/hidraw2."},
        {"cm108 /dev/hidraw2 0", "The GPIO \"0\" is not a number from 1 to 8."},
        {"cm108 /dev/hidraw2 9", "The GPIO \"9\" is not a number from 1 to 8."},
        {"cm108 /dev/hidraw2 three", "The GPIO \"three\" is not a number from 1 to 8."},
        {"cm108 /dev/hidraw2 3 4",
         "There are extra words after the port; write it as cm108 /dev/hidraw2 3."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        const auto parsed = PortRoute::parse(c.value);
        EXPECT_FALSE(parsed.route.has_value());
        EXPECT_EQ(parsed.error, c.error);
    }
}

TEST(PortRouteTest, BytesThatAreNotTextNeverCrashTheReader) {
    // Every byte value in every position of a short value: parse must answer
    // with a route or a reason, never both or neither.
    const std::string base = "rig 1 /dev/x 9600";
    for (std::size_t at = 0; at < base.size(); ++at) {
        for (int byte = 0; byte < 256; ++byte) {
            std::string value = base;
            value[at] = static_cast<char>(byte);
            const auto parsed = PortRoute::parse(value);
            EXPECT_NE(parsed.route.has_value(), !parsed.error.empty()) << value;
        }
    }
}

}  // namespace
}  // namespace pelkora
