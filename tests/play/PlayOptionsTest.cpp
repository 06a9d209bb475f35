// pelkora-play's command line: what each command line parses to, or the exact
// complaint it gets. Loggers and scripts call the player with these spellings,
// so every row is a promise kept across any rework of the parser.
#include "PlayOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pelkora {
namespace {

using Args = std::vector<std::string>;

// The options that were given, in a fixed order, so one string states them all.
std::string describe(const PlayOptions& options) {
    std::string text;
    const auto add = [&text](const std::string& field) {
        text += (text.empty() ? "" : " ") + field;
    };
    const auto addIf = [&add](const char* name, const auto& value) {
        if (value) {
            add(std::string(name) + "=" + *value);
        }
    };
    addIf("sound-dir", options.soundDir);
    addIf("call", options.call);
    addIf("rs", options.report);
    addIf("ini", options.iniFile);
    if (options.keyFirst) {
        add("tx");
    }
    if (options.printEvents) {
        add("events");
    }
    if (options.maxMs) {
        add("max-ms=" + std::to_string(*options.maxMs));
    }
    if (!options.outputPath.empty()) {
        add("output=" + options.outputPath);
    }
    if (options.key) {
        add("key=F" + std::to_string(*options.key));
    } else {
        add("macro=" + options.macro);
    }
    if (options.port) {
        add("port=COM" + std::to_string(*options.port));
    }
    addIf("device", options.device);
    addIf("rig", options.rigName);
    if (options.line) {
        add("line=" + std::to_string(*options.line));
    }
    if (options.txTimeoutSeconds) {
        add("tx-timeout=" + std::to_string(*options.txTimeoutSeconds));
    }
    return text;
}

struct Row {
    Args args;
    std::string parsed;  // describe() of the result, or
    std::string error;   // the whole complaint
};

void expectRows(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        std::string trace;
        for (const std::string& arg : row.args) {
            trace += "[" + arg + "] ";
        }
        SCOPED_TRACE(trace);
        std::string error;
        const auto options = PlayOptions::parse(row.args, error);
        if (row.error.empty()) {
            ASSERT_TRUE(options) << error;
            EXPECT_EQ(describe(*options), row.parsed);
        } else {
            EXPECT_FALSE(options);
            EXPECT_EQ(error, row.error);
        }
    }
}

TEST(PlayOptions, AcceptedCommandLines) {
    expectRows({
        {{"~[fcq.wav]"}, "macro=~[fcq.wav]", ""},
        {{"--sound-dir", "snd", "--call", "K1ABC", "--rs", "57", "--ini", "p.ini", "--tx",
          "--events", "--max-ms", "1500", "--output", "o.wav", "~[ec]"},
         "sound-dir=snd call=K1ABC rs=57 ini=p.ini tx events max-ms=1500 output=o.wav macro=~[ec]",
         ""},
        // Options may come before or after the macro.
        {{"~[ec]", "--call", "K1ABC", "--tx"}, "call=K1ABC tx macro=~[ec]", ""},
        {{"--key", "F1"}, "key=F1", ""},
        {{"--key", "f12", "--call", "DL1X"}, "call=DL1X key=F12", ""},
        {{"--key", "F01"}, "key=F1", ""},
        {{"--port", "COM1", "--line", "rts", "m"}, "macro=m port=COM1 line=1", ""},
        {{"--port", "com8", "--line", "dtr", "m"}, "macro=m port=COM8 line=2", ""},
        {{"--device", "/dev/ttyUSB0", "--line", "both", "m"},
         "macro=m device=/dev/ttyUSB0 line=3",
         ""},
        {{"--rigctld", "localhost:4532", "m"}, "macro=m rig=rigctld localhost:4532", ""},
        {{"--rigctld", "radio", "m"}, "macro=m rig=rigctld radio:4532", ""},
        {{"--rigctld", "[::1]:4533", "m"}, "macro=m rig=rigctld [::1]:4533", ""},
        {{"--cm108", "/dev/hidraw2:3", "m"}, "macro=m rig=cm108 /dev/hidraw2 3", ""},
        {{"--cm108", "/dev/hidraw0", "m"}, "macro=m rig=cm108 /dev/hidraw0 3", ""},
        {{"--tx-timeout", "30", "m"}, "macro=m tx-timeout=30", ""},
        {{"--tx-timeout", "0", "--output", "o.wav", "m"}, "output=o.wav macro=m tx-timeout=0", ""},
        {{"--tx-timeout", "3600", "m"}, "macro=m tx-timeout=3600", ""},
        {{"--max-ms", "0", "--output", "o.wav", "m"}, "max-ms=0 output=o.wav macro=m", ""},
        {{"--max-ms", "9223372036854775807", "m"}, "max-ms=9223372036854775807 macro=m", ""},
        // Text options take any value, empty ones too.
        {{"--call", "", "--rs", "", "--sound-dir", "", "m"}, "sound-dir= call= rs= macro=m", ""},
        {{""}, "macro=", ""},
    });
}

// A value is the next argument whatever it looks like; a single dash never
// starts an option, so a macro may begin with one.
TEST(PlayOptions, ValuesAndMacrosAreTakenAsWritten) {
    expectRows({
        {{"-abc"}, "macro=-abc", ""},
        {{"-"}, "macro=-", ""},
        {{"-5"}, "macro=-5", ""},
        {{"-h"}, "macro=-h", ""},
        {{"-~[ec]", "--call", "K1ABC"}, "call=K1ABC macro=-~[ec]", ""},
        {{"[a,b]"}, "macro=[a,b]", ""},
        {{"--call", "--tx", "~[ec]"}, "call=--tx macro=~[ec]", ""},
        {{"--call", "-X", "~[ec]"}, "call=-X macro=~[ec]", ""},
        {{"--call", "--", "~[ec]"}, "call=-- macro=~[ec]", ""},
        {{"--call", "a=b", "--rs", "--rs=5", "m"}, "call=a=b rs=--rs=5 macro=m", ""},
        {{"--", "--tx"}, "macro=--tx", ""},
        {{"--call", "K1ABC", "--", "-~[p]"}, "call=K1ABC macro=-~[p]", ""},
        {{"--", "--"}, "macro=--", ""},
        {{"--tx", "--", "--key"}, "tx macro=--key", ""},
    });
}

// A repeated option: the last one counts, each one is checked.
TEST(PlayOptions, RepeatedOptionsTakeTheLast) {
    expectRows({
        {{"--call", "A", "--call", "B", "m"}, "call=B macro=m", ""},
        {{"--key", "F2", "--key", "f12"}, "key=F12", ""},
        {{"--tx", "--tx", "--events", "--events", "m"}, "tx events macro=m", ""},
        {{"--output", "a.wav", "--output", "b.wav", "m"}, "output=b.wav macro=m", ""},
        {{"--max-ms", "5", "--max-ms", "7", "m"}, "max-ms=7 macro=m", ""},
        {{"--port", "COM1", "--port", "COM2", "m"}, "macro=m port=COM2", ""},
        {{"--line", "rts", "--line", "both", "m"}, "macro=m line=3", ""},
        {{"--key", "F13", "--key", "F2"}, "", "--key needs F1..F12, not 'F13'"},
        {{"--key", "F2", "--key", "F13"}, "", "--key needs F1..F12, not 'F13'"},
        {{"--output", "a.wav", "--output", "", "m"}, "", "--output needs a file name"},
    });
}

TEST(PlayOptions, BadValuesAreNamed) {
    const std::string ms = "--max-ms needs a whole number of milliseconds, not ";
    const std::string timeout = "--tx-timeout needs a whole number of seconds from 0 to 3600, not ";
    expectRows({
        {{"--key", "F13"}, "", "--key needs F1..F12, not 'F13'"},
        {{"--key", "F0"}, "", "--key needs F1..F12, not 'F0'"},
        {{"--key", ""}, "", "--key needs F1..F12, not ''"},
        {{"--key", "2"}, "", "--key needs F1..F12, not '2'"},
        {{"--key", "F+1"}, "", "--key needs F1..F12, not 'F+1'"},
        {{"--port", "COM0", "m"}, "", "--port needs COM1..COM8, not 'COM0'"},
        {{"--port", "COM9", "m"}, "", "--port needs COM1..COM8, not 'COM9'"},
        {{"--port", "/dev/ttyS0", "m"}, "", "--port needs COM1..COM8, not '/dev/ttyS0'"},
        {{"--line", "cts", "m"}, "", "--line needs rts, dtr or both, not 'cts'"},
        {{"--line", "RTS", "m"}, "", "--line needs rts, dtr or both, not 'RTS'"},
        {{"--device", "ttyUSB0", "m"}, "", "--device needs an absolute device path, not 'ttyUSB0'"},
        {{"--device", "", "m"}, "", "--device needs an absolute device path, not ''"},
        {{"--max-ms", "abc", "m"}, "", ms + "'abc'"},
        {{"--max-ms", "-5", "m"}, "", ms + "'-5'"},
        {{"--max-ms", "12x", "m"}, "", ms + "'12x'"},
        {{"--max-ms", "", "m"}, "", ms + "''"},
        {{"--max-ms", " 5", "m"}, "", ms + "' 5'"},
        {{"--max-ms", "+5", "m"}, "", ms + "'+5'"},
        {{"--max-ms", "9223372036854775808", "m"}, "", ms + "'9223372036854775808'"},
        {{"--output", "", "m"}, "", "--output needs a file name"},
        {{"--tx-timeout", "-1", "m"}, "", timeout + "'-1'"},
        {{"--tx-timeout", "3601", "m"}, "", timeout + "'3601'"},
        {{"--tx-timeout", "1.5", "m"}, "", timeout + "'1.5'"},
        {{"--tx-timeout", "", "m"}, "", timeout + "''"},
        {{"--rigctld", "", "m"}, "", "--rigctld needs HOST:PORT, not ''"},
        {{"--rigctld", "a b", "m"}, "", "--rigctld needs HOST:PORT, not 'a b'"},
        {{"--cm108", "", "m"}, "", "--cm108 needs DEVICE:GPIO, not ''"},
    });
}

TEST(PlayOptions, BadCommandLinesAreNamed) {
    const std::string keyed =
        "--port, --device, --rigctld, --cm108 and --line key a real transmitter; they do not go "
        "with --output";
    const std::string onlyOne = "give only one of --port, --device, --rigctld and --cm108";
    expectRows({
        {{"--bogus", "m"}, "", "unknown option --bogus"},
        {{"--help"}, "", "unknown option --help"},
        {{"--TX", "m"}, "", "unknown option --TX"},
        {{"--macro", "m"}, "", "unknown option --macro"},
        {{"---x"}, "", "unknown option ---x"},
        {{"--!x", "m"}, "", "unknown option --!x"},
        {{"--call=K1ABC", "m"}, "", "unknown option --call=K1ABC"},
        {{"--tx=1", "m"}, "", "unknown option --tx=1"},
        {{"m", "--output"}, "", "option --output needs a value"},
        {{"--call"}, "", "option --call needs a value"},
        {{"--tx", "--key"}, "", "option --key needs a value"},
        {{}, "", "no macro given"},
        {{"--tx"}, "", "no macro given"},
        {{"--"}, "", "no macro given"},
        {{"a", "b"}, "", "give the macro as one argument (quote it)"},
        {{"--", "a", "b"}, "", "give the macro as one argument (quote it)"},
        {{"-abc", "-def"}, "", "give the macro as one argument (quote it)"},
        {{"--key", "F2", "m"}, "", "give either a macro or --key, not both"},
        {{"--key", "F2", "a", "b"}, "", "give either a macro or --key, not both"},
        {{"--port", "COM1", "--device", "/dev/x", "m"},
         "",
         "give either --port or --device, not both"},
        {{"--output", "o.wav", "--line", "rts", "m"}, "", keyed},
        {{"--output", "o.wav", "--port", "COM1", "m"}, "", keyed},
        {{"--device", "/dev/x", "--output", "o.wav", "m"}, "", keyed},
        {{"--rigctld", "localhost", "--output", "o.wav", "m"}, "", keyed},
        {{"--cm108", "/dev/hidraw1:3", "--output", "o.wav", "m"}, "", keyed},
        {{"--port", "COM1", "--rigctld", "localhost", "m"}, "", onlyOne},
        {{"--device", "/dev/x", "--cm108", "/dev/hidraw1", "m"}, "", onlyOne},
        {{"--rigctld", "localhost", "--cm108", "/dev/hidraw1", "m"},
         "",
         "give only one of --port, --device, --rigctld and --cm108"},
    });
}

// The first fault in the order of the arguments is the one reported.
TEST(PlayOptions, FirstFaultWins) {
    const std::string ms = "--max-ms needs a whole number of milliseconds, not 'abc'";
    expectRows({
        {{"--max-ms", "abc", "--bogus"}, "", ms},
        {{"--bogus", "--max-ms", "abc"}, "", "unknown option --bogus"},
        {{"--key", "F13", "--port", "COM9"}, "", "--key needs F1..F12, not 'F13'"},
        {{"--port", "COM9", "--key", "F13"}, "", "--port needs COM1..COM8, not 'COM9'"},
        {{"--max-ms", "abc", "--output"}, "", ms},
        {{"--bogus", "--output"}, "", "unknown option --bogus"},
        {{"--call", "--bogus", "--output"}, "", "option --output needs a value"},
        {{"--output", "", "--bogus"}, "", "--output needs a file name"},
        {{"a", "b", "--max-ms", "abc"}, "", ms},
        {{"a", "b", "--bogus"}, "", "unknown option --bogus"},
        {{"--", "--bogus", "--max-ms", "abc"}, "", "give the macro as one argument (quote it)"},
        {{"--port", "COM1", "--device", "/dev/x", "--output", "o.wav", "m"},
         "",
         "give either --port or --device, not both"},
        {{"--port", "COM1", "--output", "o.wav", "--key", "F2", "m"},
         "",
         "give either a macro or --key, not both"},
    });
}

}  // namespace
}  // namespace pelkora
