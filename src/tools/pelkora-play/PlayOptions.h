#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

    bool live() const { return outputPath.empty(); }

    // Parses argv; on a bad command line returns nothing and sets error.
    static std::optional<PlayOptions> parse(const std::vector<std::string>& args,
                                            std::string& error);
    static const char* usage();
};

}  // namespace pelkora
