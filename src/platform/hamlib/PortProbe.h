#pragma once

#include <chrono>
#include <string>

namespace pelkora {

// Checks made before a port is handed to Hamlib, whose own failures say
// little more than "IO error": each returns "" when the port looks usable,
// otherwise plain words for the operator.
// Threading: any thread; each call blocks for at most its time-out.

// Connects to host:port and hangs up. Unlike Hamlib's own connect, it gives
// up after connectTimeout on a host that drops the connection attempt.
std::string probeTcpServer(const std::string& host, int port,
                           std::chrono::milliseconds connectTimeout);

// The device can be opened for reading and writing and is a terminal (a
// serial CAT port).
std::string probeDevice(const std::string& path);

// The device can be opened and is a hidraw device (a CM108 GPIO interface).
std::string probeHidraw(const std::string& path);

}  // namespace pelkora
