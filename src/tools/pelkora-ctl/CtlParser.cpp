#include "CtlParser.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <ostream>

#include "CtlExit.h"

#ifndef PELKORA_VERSION
#define PELKORA_VERSION "unknown"
#endif

namespace pelkora {

namespace {

constexpr const char* kFooter = R"(Exit status:
  0  done
  2  usage error (nothing was sent)
  3  no keyer is running on the session bus (org.pelkora.Pelkora), or it left
     while `monitor` watched it; pelkora-ctl never starts the keyer
  4  the keyer refused the call (the D-Bus error is printed) or did not answer
     within 5 seconds
  5  no session bus (DBUS_SESSION_BUS_ADDRESS))";

// The words as the command line gave them, kept as text so that numbers are
// checked here, with a message of ours, rather than by the parser's own.
struct Words {
    std::string key;
    std::string tx;
    std::string code;
    std::vector<std::string> geometry;
};

using Verb = CtlRequest::Verb;

struct Verbs {
    CLI::App* play = nullptr;
    CLI::App* key = nullptr;
    CLI::App* tx = nullptr;
    CLI::App* code = nullptr;
    CLI::App* geometry = nullptr;
    CLI::App* setStartDir = nullptr;
    std::vector<std::pair<CLI::App*, Verb>> plain;
};

Verbs describe(CLI::App& app, CtlRequest& request, Words& words) {
    Verbs verbs;
    verbs.play = app.add_subcommand("play", "Queue and play macro text, e.g. '~[tx]~[ec]~[rx]'");
    verbs.play->add_option("MACRO", request.text, "The macro text")->required();
    verbs.play->add_option("--call", request.call, "Put CALL in the call field first");
    verbs.play->add_option("--rs", request.rs, "Put RS in the report field first");
    verbs.key = app.add_subcommand("key", "Queue the macro of key F1..F12, as the logger does");
    verbs.key->add_option("KEY", words.key, "F1..F12, f1..f12 or 1..12")->required();
    verbs.tx = app.add_subcommand("tx", "Press (on) or release (off) the TX button");
    verbs.tx->add_option("STATE", words.tx, "on or off")->required();
    verbs.code = app.add_subcommand("code", "Send a logger control code (e.g. 110, 111)");
    verbs.code->add_option("N", words.code, "A 32-bit integer")->required();
    verbs.geometry = app.add_subcommand("geometry",
                                        "Print the window's place as 'L T W H', "
                                        "or set it from four numbers");
    verbs.geometry->add_option("L T W H", words.geometry, "Left, top, width and height")
        ->expected(0, 4);
    verbs.setStartDir = app.add_subcommand("set-start-dir", "The folder that holds pelkora.ini");
    verbs.setStartDir->add_option("DIR", request.text, "The folder")->required();
    const std::pair<const char*, std::pair<Verb, const char*>> plain[] = {
        {"pause", {Verb::Pause, "Pause playback (code 101)"}},
        {"resume", {Verb::Resume, "Resume playback (code 100)"}},
        {"show", {Verb::Show, "Show the keyer's windows"}},
        {"hide", {Verb::Hide, "Hide the keyer's windows"}},
        {"monitor",
         {Verb::Monitor,
          "Print each state change until Ctrl+C: "
          "'111 tx-on', '110 tx-off', '101 paused', '100 resumed'"}},
    };
    for (const auto& [name, what] : plain) {
        verbs.plain.emplace_back(app.add_subcommand(name, what.second), what.first);
    }
    return verbs;
}

std::int32_t checkedInt(const std::string& text, const char* what) {
    const auto value = CtlParser::int32Of(text);
    if (!value) {
        throw CLI::ValidationError(std::string(what) + ": '" + text +
                                   "' is not a whole number from -2147483648 to 2147483647");
    }
    return *value;
}

void completeGeometry(CtlRequest& request, const std::vector<std::string>& numbers) {
    if (numbers.empty()) {
        request.verb = Verb::GetGeometry;
        return;
    }
    if (numbers.size() != 4) {
        throw CLI::ValidationError("geometry: give no numbers, or all four: L T W H");
    }
    request.verb = Verb::SetGeometry;
    request.left = checkedInt(numbers[0], "geometry");
    request.top = checkedInt(numbers[1], "geometry");
    request.width = checkedInt(numbers[2], "geometry");
    request.height = checkedInt(numbers[3], "geometry");
}

// The chosen verb with its words turned into the request's fields.
void complete(const Verbs& verbs, CtlRequest& request, const Words& words) {
    if (verbs.play->parsed()) {
        request.verb = Verb::Play;
    } else if (verbs.key->parsed()) {
        const auto number = CtlParser::keyNumber(words.key);
        if (!number) {
            throw CLI::ValidationError("key: '" + words.key + "' is not F1..F12 or 1..12");
        }
        request.verb = Verb::Key;
        request.code = *number;
    } else if (verbs.tx->parsed()) {
        if (words.tx != "on" && words.tx != "off") {
            throw CLI::ValidationError("tx: '" + words.tx + "' is not on or off");
        }
        request.verb = words.tx == "on" ? Verb::TxOn : Verb::TxOff;
    } else if (verbs.code->parsed()) {
        request.verb = Verb::Code;
        request.code = checkedInt(words.code, "code");
    } else if (verbs.geometry->parsed()) {
        completeGeometry(request, words.geometry);
    } else if (verbs.setStartDir->parsed()) {
        request.verb = Verb::SetStartDir;
    } else {
        for (const auto& [subcommand, verb] : verbs.plain) {
            if (subcommand->parsed()) {
                request.verb = verb;
            }
        }
    }
}

// The parser would only say that a verb is missing.
void refuseUnknownVerb(CLI::App& app, const std::vector<std::string>& args) {
    if (args.empty() || args.front().empty() || args.front()[0] == '-') {
        return;
    }
    std::string known;
    for (const CLI::App* subcommand : app.get_subcommands({})) {
        if (subcommand->check_name(args.front())) {
            return;
        }
        known += (known.empty() ? "" : ", ") + subcommand->get_name();
    }
    throw CLI::ValidationError("'" + args.front() + "' is not a verb; the verbs are " + known);
}

}  // namespace

CtlParser::Result CtlParser::parse(const std::vector<std::string>& args, std::ostream& out,
                                   std::ostream& err) {
    CLI::App app{"Drives the running Pelkora keyer over the session bus.", "pelkora-ctl"};
    app.set_version_flag("--version", std::string("pelkora-ctl ") + PELKORA_VERSION);
    app.require_subcommand(1, 1);
    app.footer(kFooter);
    CtlRequest request;
    Words words;
    const Verbs verbs = describe(app, request, words);

    std::vector<const char*> argv{"pelkora-ctl"};
    for (const std::string& arg : args) {
        argv.push_back(arg.c_str());
    }
    try {
        refuseUnknownVerb(app, args);
        app.parse(static_cast<int>(argv.size()), argv.data());
        complete(verbs, request, words);
    } catch (const CLI::Success& done) {
        app.exit(done, out, err);
        return {std::nullopt, CtlOk};
    } catch (const CLI::ParseError& wrong) {
        err << "pelkora-ctl: " << wrong.what() << "\nRun with --help for more information.\n";
        return {std::nullopt, CtlUsage};
    }
    return {request, CtlOk};
}

std::optional<std::int32_t> CtlParser::keyNumber(const std::string& text) {
    const bool named = !text.empty() && (text[0] == 'F' || text[0] == 'f');
    const auto number = int32Of(named ? text.substr(1) : text);
    if (!number || *number < 1 || *number > 12) {
        return std::nullopt;
    }
    return number;
}

std::optional<std::int32_t> CtlParser::int32Of(const std::string& text) {
    const char* first = text.data();
    const char* last = first + text.size();
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (text.empty() || error != std::errc() || end != last) {
        return std::nullopt;
    }
    return value;
}

}  // namespace pelkora
