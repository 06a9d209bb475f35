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

// "F1".."F12" -> 1..12.
std::optional<int> parseKey(const std::string& text) {
    if (text.size() < 2 || (text[0] != 'F' && text[0] != 'f')) {
        return std::nullopt;
    }
    const auto n = parseMilliseconds(text.substr(1));
    return n && *n >= 1 && *n <= 12 ? std::optional<int>(static_cast<int>(*n)) : std::nullopt;
}

// "COM1".."COM8" -> 1..8, the ports the keyer's menu offers.
std::optional<int> parsePort(const std::string& text) {
    if (text.size() < 4 || (text.compare(0, 3, "COM") != 0 && text.compare(0, 3, "com") != 0)) {
        return std::nullopt;
    }
    const auto n = parseMilliseconds(text.substr(3));
    return n && *n >= 1 && *n <= 8 ? std::optional<int>(static_cast<int>(*n)) : std::nullopt;
}

std::optional<int> parseLine(const std::string& text) {
    if (text == "rts") {
        return 1;
    }
    if (text == "dtr") {
        return 2;
    }
    if (text == "both") {
        return 3;
    }
    return std::nullopt;
}

// Checks an option's value with parse; false (and error set) when it is bad.
template <typename T>
bool parseInto(std::optional<T>& into, std::optional<T> parsed, const std::string& option,
               const std::string& text, const char* expected, std::string& error) {
    into = parsed;
    if (!into) {
        error = option + " needs " + expected + ", not '" + text + "'";
        return false;
    }
    return true;
}

}  // namespace

const char* PlayOptions::usage() {
    return "usage: pelkora-play [--sound-dir DIR] [--call CALL] [--rs RS] [--ini FILE] [--tx]\n"
           "                    [--events] [--max-ms N] [--output OUT.wav]\n"
           "                    [--port COMn | --device PATH] [--line rts|dtr|both]\n"
           "                    (MACRO | --key Fn)\n"
           "\n"
           "Expands MACRO (or the macro of key Fn in pelkora.ini) as the keyer would and\n"
           "plays it: live on the sound server, keying the transmitter on a serial port,\n"
           "or with --output in virtual time, writing what would go on air to OUT.wav.\n"
           "Ctrl+C stops: the sound is cut and the transmitter released.\n"
           "  --sound-dir DIR  directory of the WAV files (default: SoundDir of pelkora.ini)\n"
           "  --call CALL      the call sign that ~[ec] spells\n"
           "  --rs RS          the report that ~[er] spells (default 59)\n"
           "  --ini FILE       the settings file (default: pelkora.ini of the settings directory)\n"
           "  --tx             key the transmitter first, as the TX button would\n"
           "  --events         print one line per event: <ms> <event> [<argument>]\n"
           "  --max-ms N       stop after N ms (an endless beacon needs it with --output)\n"
           "  --output OUT.wav render offline to this file instead of playing live\n"
           "  --key Fn         play the macro of key F1..F12 from pelkora.ini\n"
           "  --port COMn      key the transmitter on port COM1..COM8 (device as pelkora.ini\n"
           "                   maps it; default: Config/PTTPort of pelkora.ini)\n"
           "  --device PATH    key the transmitter on this serial device\n"
           "  --line L         the line that keys: rts, dtr or both (default: Config/PTTLine)\n";
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
            if (options.outputPath.empty()) {
                error = "--output needs a file name";  // not a quiet switch to a live run
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
        } else if (arg == "--key" || arg == "--port" || arg == "--line") {
            if (!value(text)) {
                return std::nullopt;
            }
            const bool good =
                arg == "--key" ? parseInto(options.key, parseKey(text), arg, text, "F1..F12", error)
                : arg == "--port"
                    ? parseInto(options.port, parsePort(text), arg, text, "COM1..COM8", error)
                    : parseInto(options.line, parseLine(text), arg, text, "rts, dtr or both",
                                error);
            if (!good) {
                return std::nullopt;
            }
        } else if (arg == "--device") {
            if (!value(text)) {
                return std::nullopt;
            }
            if (text.empty() || text.front() != '/') {
                error = "--device needs an absolute device path, not '" + text + "'";
                return std::nullopt;
            }
            options.device = text;
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
    if (options.key ? !positional.empty() : positional.size() != 1) {
        error = options.key          ? "give either a macro or --key, not both"
                : positional.empty() ? "no macro given"
                                     : "give the macro as one argument (quote it)";
        return std::nullopt;
    }
    if (options.port && options.device) {
        error = "give either --port or --device, not both";
        return std::nullopt;
    }
    if (!options.live() && (options.port || options.device || options.line)) {
        error = "--port, --device and --line key a real transmitter; they do not go with --output";
        return std::nullopt;
    }
    if (!options.key) {
        options.macro = positional.front();
    }
    return options;
}

}  // namespace pelkora
