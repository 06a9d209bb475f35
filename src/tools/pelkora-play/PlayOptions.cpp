#include "PlayOptions.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <functional>
#include <utility>

#include "core/ptt/PttTiming.h"

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

std::optional<std::int64_t> parseSeconds(const std::string& text) {
    const auto value = parseMilliseconds(text);
    return value && *value <= PttTiming::kMaxTimeoutSeconds ? value : std::nullopt;
}

// The whole complaint about a bad value; CLI11 passes it through unchanged.
[[noreturn]] void refuse(const std::string& complaint) {
    throw CLI::ValidationError(complaint);
}

// Each value is checked as soon as it is read, so the first fault in the order
// of the arguments is the one reported; a repeated option is read again and
// its last value counts.
void addChecked(CLI::App& app, const std::string& name,
                std::function<void(const std::string&)> take) {
    app.add_option_function<std::string>(name, std::move(take))->trigger_on_parse();
}

void addText(CLI::App& app, const std::string& name, std::optional<std::string>& into) {
    addChecked(app, name, [&into](const std::string& value) { into = value; });
}

template <typename T>
void addParsed(CLI::App& app, const std::string& name, std::optional<T>& into,
               std::optional<T> (*parseValue)(const std::string&), const char* expected) {
    addChecked(app, name, [&into, name, parseValue, expected](const std::string& value) {
        into = parseValue(value);
        if (!into) {
            refuse(name + " needs " + expected + ", not '" + value + "'");
        }
    });
}

// "--cm108 /dev/hidraw2:3" is the one-line form "cm108 /dev/hidraw2 3".
std::string rigWords(const std::string& name, const std::string& value) {
    const std::size_t colon = value.rfind(':');
    if (name != "--cm108" || colon == std::string::npos) {
        return value;
    }
    return value.substr(0, colon) + " " + value.substr(colon + 1);
}

void addRig(CLI::App& app, PlayOptions& options, const std::string& name, const char* kind,
            const char* form) {
    addChecked(app, name, [&options, name, kind, form](const std::string& value) {
        const bool oneWord = !value.empty() && value.find_first_of(" \t") == std::string::npos;
        const PortRoute::Parsed parsed = PortRoute::parse(kind + rigWords(name, value));
        if (!oneWord || !parsed.route) {
            refuse(name + " needs " + form + ", not '" + value + "'" +
                   (oneWord ? ": " + parsed.error : ""));
        }
        if (options.rig && options.rig->kind != parsed.route->kind) {
            refuse("give only one of --port, --device, --rigctld and --cm108");
        }
        options.rig = parsed.route;
        options.rigName = parsed.route->format();
    });
}

void addOptions(CLI::App& app, PlayOptions& options) {
    app.set_help_flag();  // main prints the usage text for --help and -h
    app.allow_extras();   // more than one macro word is counted, then refused
    addText(app, "--sound-dir", options.soundDir);
    addText(app, "--call", options.call);
    addText(app, "--rs", options.report);
    addText(app, "--ini", options.iniFile);
    app.add_flag_callback("--tx", [&options] { options.keyFirst = true; });
    app.add_flag_callback("--events", [&options] { options.printEvents = true; });
    addChecked(app, "--output", [&options](const std::string& value) {
        if (value.empty()) {
            refuse("--output needs a file name");  // not a quiet switch to a live run
        }
        options.outputPath = value;
    });
    addParsed(app, "--max-ms", options.maxMs, parseMilliseconds, "a whole number of milliseconds");
    addParsed(app, "--key", options.key, parseKey, "F1..F12");
    addParsed(app, "--port", options.port, parsePort, "COM1..COM8");
    addParsed(app, "--line", options.line, parseLine, "rts, dtr or both");
    addChecked(app, "--device", [&options](const std::string& value) {
        if (value.empty() || value.front() != '/') {
            refuse("--device needs an absolute device path, not '" + value + "'");
        }
        options.device = value;
    });
    addParsed(app, "--tx-timeout", options.txTimeoutSeconds, parseSeconds,
              "a whole number of seconds from 0 to 3600");
    addRig(app, options, "--rigctld", "rigctld ", "HOST:PORT");
    addRig(app, options, "--cm108", "cm108 ", "DEVICE:GPIO");
    app.add_option("macro", options.macro);
}

// The command line sorted for CLI11, which would read a lone "-x" as a short
// option and "--name=value" as a value. Here only a whole "--name" starts an
// option, its value is the next argument whatever it looks like, and anything
// else is a word of the macro, so a macro may begin with '-' or '~'.
struct SortedArguments {
    std::vector<std::string> options;  // in the order given, each followed by its value
    std::vector<std::string> words;    // of the macro
    std::string unknown;               // the first option this program has not got
    bool valueMissing = false;         // the last of options waits for its value
};

SortedArguments sortArguments(const CLI::App& app, const std::vector<std::string>& args) {
    SortedArguments sorted;
    for (auto arg = args.begin(); arg != args.end(); ++arg) {
        if (*arg == "--") {
            sorted.words.insert(sorted.words.end(), arg + 1, args.end());
            break;
        }
        if (arg->size() <= 2 || arg->rfind("--", 0) != 0) {
            sorted.words.push_back(*arg);
            continue;
        }
        const CLI::Option* option = app.get_option_no_throw(*arg);
        if (option == nullptr) {
            sorted.unknown = *arg;
            break;
        }
        sorted.options.push_back(*arg);
        if (option->get_items_expected_min() > 0) {
            sorted.valueMissing = arg + 1 == args.end();
            if (sorted.valueMissing) {
                break;
            }
            sorted.options.push_back(*++arg);
        }
    }
    return sorted;
}

// Options up to the first fault, then the macro words behind a "--". CLI11
// takes its arguments last first.
std::vector<std::string> argumentsForCli(const SortedArguments& sorted) {
    std::vector<std::string> arguments = sorted.options;
    if (sorted.unknown.empty() && !sorted.valueMissing) {
        arguments.emplace_back("--");
        arguments.insert(arguments.end(), sorted.words.begin(), sorted.words.end());
    }
    std::reverse(arguments.begin(), arguments.end());
    return arguments;
}

// What no single option can tell: the macro against --key, and the ports.
std::optional<std::string> combinationFault(const PlayOptions& options, std::size_t words) {
    if (options.key && words > 0) {
        return "give either a macro or --key, not both";
    }
    if (!options.key && words != 1) {
        return words == 0 ? "no macro given" : "give the macro as one argument (quote it)";
    }
    if (options.port && options.device) {
        return "give either --port or --device, not both";
    }
    if ((options.port ? 1 : 0) + (options.device ? 1 : 0) + (options.rig ? 1 : 0) > 1) {
        return "give only one of --port, --device, --rigctld and --cm108";
    }
    if (!options.live() && (options.port || options.device || options.rig || options.line)) {
        return "--port, --device, --rigctld, --cm108 and --line key a real transmitter; they do "
               "not go with --output";
    }
    return std::nullopt;
}

}  // namespace

const char* PlayOptions::usage() {
    return "usage: pelkora-play [--sound-dir DIR] [--call CALL] [--rs RS] [--ini FILE] [--tx]\n"
           "                    [--events] [--max-ms N] [--output OUT.wav]\n"
           "                    [--port COMn | --device PATH | --rigctld HOST:PORT |\n"
           "                     --cm108 DEV:GPIO] [--line rts|dtr|both] [--tx-timeout N]\n"
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
           "  --rigctld H:P    key the transmitter through a running rigctld (localhost:4532)\n"
           "  --cm108 D:G      key the transmitter on GPIO G of a CM108 sound card "
           "(/dev/hidraw2:3)\n"
           "  --line L         the line that keys: rts, dtr or both (default: Config/PTTLine)\n"
           "  --tx-timeout N   release after N s of continuous keying, as Esc would; 0 off\n"
           "                   (default: [PTT] TimeoutSeconds of pelkora.ini)\n";
}

std::optional<PortRoute> PlayOptions::portOverride() const {
    if (device) {
        PortRoute serial;
        serial.device = *device;
        return serial;
    }
    return rig;
}

std::optional<PlayOptions> PlayOptions::parse(const std::vector<std::string>& args,
                                              std::string& error) {
    PlayOptions options;
    CLI::App app("", "pelkora-play");
    addOptions(app, options);
    const SortedArguments sorted = sortArguments(app, args);
    try {
        app.parse(argumentsForCli(sorted));
    } catch (const CLI::ArgumentMismatch& failure) {
        error = sorted.valueMissing ? "option " + sorted.options.back() + " needs a value"
                                    : failure.what();
        return std::nullopt;
    } catch (const CLI::Error& failure) {
        error = failure.what();
        return std::nullopt;
    }
    if (!sorted.unknown.empty()) {
        error = "unknown option " + sorted.unknown;
        return std::nullopt;
    }
    const std::size_t words = app.count("macro") + app.remaining_size();
    if (const auto fault = combinationFault(options, words)) {
        error = *fault;
        return std::nullopt;
    }
    return options;
}

}  // namespace pelkora
