#include "core/keyer/MacroExpander.h"

#include <string>

#include "core/text/TextRules.h"

namespace pelkora {

namespace {

// The text of the word after the first occurrence of command (upper-casing
// keeps byte positions, so the position found in upper applies to word).
std::string_view argumentAfter(std::string_view word, std::string_view upper,
                               std::string_view command) {
    return word.substr(upper.find(command) + command.size());
}

}  // namespace

void MacroExpander::expand(std::string_view macro, MacroSink& sink) {
    std::size_t position = 0;
    while (position < macro.size()) {
        const std::size_t close = macro.find(']', position);
        const std::size_t end = close == std::string_view::npos ? macro.size() : close;
        if (end > position) {
            expandWord(macro.substr(position, end - position), sink);
        }
        position = end + 1;
    }
}

void MacroExpander::expandWord(std::string_view word, MacroSink& sink) {
    const std::string upper = toUpperAscii(word);
    if (containsText(upper, "~[F")) {
        const std::string_view name = argumentAfter(word, upper, "~[F");
        sink.appendEntry(sink.soundDir() + std::string(name));
        sink.appendDisplay("\"" + std::string(name) + "\" ");
    }
    if (containsText(upper, "~[RX")) {
        sink.appendEntry("~[rx]");
        sink.appendDisplay("[RX] ");
    }
    if (containsText(upper, "~[I")) {
        const std::string value =
            sink.externalValue(std::string(argumentAfter(word, upper, "~[I")));
        spell(value, sink);
        sink.appendDisplay(value + " ");
    }
    if (containsText(upper, "~[EC")) {
        const std::string call = sink.callText();
        spell(call, sink);
        sink.appendDisplay(call + " ");
    }
    if (containsText(upper, "~[ER")) {
        const std::string report = sink.reportText();
        spell(report, sink);
        sink.appendDisplay(report + " ");
    }
    if (containsText(upper, "~[CL")) {
        sink.clearCommand();
    }
    if (containsText(upper, "~[TX")) {
        sink.transmitCommand();
    }
    if (containsText(upper, "~[P")) {
        sink.appendEntry(std::string(word) + "]");
        sink.appendDisplay(" ");
    }
    if (containsText(upper, "~[RP")) {
        sink.appendEntry(std::string(word) + "]");
        sink.appendDisplay(" ");
        sink.saveBeaconText();
    }
}

void MacroExpander::spell(std::string_view text, MacroSink& sink) {
    const std::string soundDir = sink.soundDir();
    for (const char c : text) {
        if (c == '/' || c == '\\') {
            sink.appendEntry(soundDir + "stroke.wav");
        } else {
            sink.appendEntry(soundDir + c + ".wav");
        }
    }
}

}  // namespace pelkora
