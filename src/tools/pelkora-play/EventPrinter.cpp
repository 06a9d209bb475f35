#include "EventPrinter.h"

namespace pelkora {

void EventPrinter::print(const char* event, const std::string& argument) {
    lastEventMs_ = clock_.nowMs();
    if (printEvents_) {
        std::printf("%lld %s%s%s\n", static_cast<long long>(lastEventMs_ - originMs_), event,
                    argument.empty() ? "" : " ", argument.c_str());
        std::fflush(stdout);
    }
    notify();
}

void EventPrinter::onTransmit(bool keyed) {
    print(keyed ? "ptt on" : "ptt off");
}

void EventPrinter::onSkipFile(const std::string& path, const std::string& reason) {
    print("skip", path);
    std::fprintf(stderr, "pelkora-play: skipped %s: %s\n", path.c_str(), reason.c_str());
}

void EventPrinter::onError(const std::string& message) {
    ++errors_;
    print("error", message);
    std::fprintf(stderr, "pelkora-play: %s\n", message.c_str());
}

}  // namespace pelkora
