#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/ptt/PortRoute.h"

namespace pelkora {

// The command line of pelkora-play.
struct PlayOptions {
    std::optional<std::string> soundDir;
    std::optional<std::string> call;
    std::optional<std::string> report;
    std::optional<std::string> iniFile;
    bool keyFirst = false;  // --tx
    bool printEvents = false;
    std::optional<std::int64_t> maxMs;
    std::string outputPath;  // empty: play live on the sound server
    std::string macro;
    std::optional<int> key;  // --key F<n>: the macro of that key from pelkora.ini
    // Live keying: a port by name ("COM3") or a device path, and the line(s).
    std::optional<int> port;
    std::optional<std::string> device;
    std::optional<int> line;  // 1 RTS, 2 DTR, 3 both
    // A rig keyed through rigctld (--rigctld) or a CM108 pin (--cm108), and
    // how the messages name it.
    std::optional<PortRoute> rig;
    std::optional<std::string> rigName;
    // --tx-timeout: seconds of continuous keying before the release; 0 off.
    std::optional<std::int64_t> txTimeoutSeconds;

    // What keys the transmitter whatever port is chosen: --device, --rigctld
    // or --cm108; nothing when the port comes from --port or pelkora.ini.
    std::optional<PortRoute> portOverride() const;
    // How messages name that override ("/dev/ttyUSB0", "rigctld host:4532").
    std::optional<std::string> overrideName() const { return device ? device : rigName; }

    bool live() const { return outputPath.empty(); }

    // Parses argv; on a bad command line returns nothing and sets error.
    static std::optional<PlayOptions> parse(const std::vector<std::string>& args,
                                            std::string& error);
    static const char* usage();
};

}  // namespace pelkora
