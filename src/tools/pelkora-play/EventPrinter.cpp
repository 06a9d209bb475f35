#include "EventPrinter.h"

namespace pelkora {

void EventPrinter::print(const char* event, const std::string& argument) {
    lastEventMs_ = clock_.nowMs();
    if (printEvents_) {
        std::printf("%lld %s%s%s\n", static_cast<long long>(lastEventMs_ - originMs_), event,
                    argument.empty() ? "" : " ", escaped(argument).c_str());
        std::fflush(stdout);
    }
    notify();
}

void EventPrinter::onTransmit(bool keyed) {
    // The keyer runs its TX operation again on lines already in that state
    // (a beacon keys what --tx keyed, a stop releases what was released).
    if (keyed == keyed_) {
        notify();
        return;
    }
    keyed_ = keyed;
    print(keyed ? "ptt on" : "ptt off");
}

void EventPrinter::onTransmitTimeout(std::int64_t seconds) {
    print("timeout", std::to_string(seconds));
    std::fprintf(stderr, "pelkora-play: transmitter released after %lld s (time-out)\n",
                 static_cast<long long>(seconds));
}

void EventPrinter::onSkipFile(const std::string& path, const std::string& reason) {
    print("skip", path);
    std::fprintf(stderr, "pelkora-play: skipped %s: %s\n", escaped(path).c_str(),
                 escaped(reason).c_str());
}

void EventPrinter::onSoundLost(const std::string& detail) {
    soundLost_ = true;
    onError("Sound server not available: " + detail);
}

void EventPrinter::onError(const std::string& message) {
    ++errors_;
    std::fprintf(stderr, "pelkora-play: %s\n", escaped(message).c_str());
    print("error", message);
}

std::string EventPrinter::escaped(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (byte < 0x20 || byte == 0x7f) {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xf];
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace pelkora
