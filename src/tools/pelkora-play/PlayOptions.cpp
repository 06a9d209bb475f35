#include "PlayOptions.h"

#include <charconv>

namespace pelkora {

namespace {

std::optional<std::int64_t> parseMilliseconds(const std::string& text) {
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || value < 0) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

const char* PlayOptions::usage() {
    return "usage: pelkora-play [--sound-dir DIR] [--call CALL] [--rs RS] [--ini FILE] [--tx]\n"
           "                    [--events] [--max-ms N] --output OUT.wav MACRO\n"
           "\n"
           "Expands MACRO as the keyer would, plays its queue in virtual time and writes\n"
           "what would go on air to OUT.wav.\n"
           "  --sound-dir DIR  directory of the WAV files (default: SoundDir of pelkora.ini)\n"
           "  --call CALL      the call sign that ~[ec] spells\n"
           "  --rs RS          the report that ~[er] spells (default 59)\n"
           "  --ini FILE       the settings file (default: pelkora.ini of the settings directory)\n"
           "  --tx             key the transmitter first, as the TX button would\n"
           "  --events         print one line per event: <ms> <event> [<argument>]\n"
           "  --max-ms N       stop after N ms of keyer time (needed by an endless beacon)\n"
           "  --output OUT.wav where the rendered sound goes\n";
}

std::optional<PlayOptions> PlayOptions::parse(const std::vector<std::string>& args,
                                              std::string& error) {
    PlayOptions options;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto value = [&](std::string& into) {
            if (i + 1 >= args.size()) {
                error = "option " + arg + " needs a value";
                return false;
            }
            into = args[++i];
            return true;
        };
        std::string text;
        if (arg == "--tx") {
            options.keyFirst = true;
        } else if (arg == "--events") {
            options.printEvents = true;
        } else if (arg == "--sound-dir" || arg == "--call" || arg == "--rs" || arg == "--ini") {
            if (!value(text)) {
                return std::nullopt;
            }
            (arg == "--sound-dir" ? options.soundDir
             : arg == "--call"    ? options.call
             : arg == "--rs"      ? options.report
                                  : options.iniFile) = text;
        } else if (arg == "--output") {
            if (!value(options.outputPath)) {
                return std::nullopt;
            }
        } else if (arg == "--max-ms") {
            if (!value(text)) {
                return std::nullopt;
            }
            options.maxMs = parseMilliseconds(text);
            if (!options.maxMs) {
                error = "--max-ms needs a whole number of milliseconds, not '" + text + "'";
                return std::nullopt;
            }
        } else if (arg == "--") {
            positional.insert(positional.end(), args.begin() + static_cast<long>(i) + 1,
                              args.end());
            break;
        } else if (arg.size() > 1 && arg.rfind("--", 0) == 0) {
            error = "unknown option " + arg;
            return std::nullopt;
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 1) {
        error = positional.empty() ? "no macro given" : "give the macro as one argument (quote it)";
        return std::nullopt;
    }
    if (options.outputPath.empty()) {
        error = "--output OUT.wav is required";
        return std::nullopt;
    }
    options.macro = positional.front();
    return options;
}

}  // namespace pelkora
