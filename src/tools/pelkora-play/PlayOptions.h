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
    std::string outputPath;
    std::string macro;

    // Parses argv; on a bad command line returns nothing and sets error.
    static std::optional<PlayOptions> parse(const std::vector<std::string>& args,
                                            std::string& error);
    static const char* usage();
};

}  // namespace pelkora
