#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "core/keyer/KeyerObserver.h"
#include "platform/Scheduler.h"

namespace pelkora {

// Prints what the keyer does as "<ms> <event> [<argument>]" lines on standard
// output (when asked to), and errors on standard error in any case. Control
// characters in an argument are escaped, so that a file name or a call sign
// can neither forge an event line nor reach the terminal as a command.
class EventPrinter : public KeyerObserver {
  public:
    // Times are printed in milliseconds since originMs on the clock.
    EventPrinter(const Scheduler& clock, bool printEvents, std::int64_t originMs = 0)
        : clock_(clock), printEvents_(printEvents), originMs_(originMs) {}

    // Called after anything the keyer reports, printed or not.
    std::function<void()> onAnyEvent;

    void onDisplayTextChanged() override { notify(); }
    void onCaptionChanged(const std::string&) override { notify(); }
    void onTransmit(bool keyed) override;
    void onBroadcast(int code) override { print("broadcast", std::to_string(code)); }
    void onPlayFile(const std::string& path) override { print("play", path); }
    void onSkipFile(const std::string& path, const std::string& reason) override;
    void onPause(std::int64_t ms) override { print("pause", std::to_string(ms)); }
    void onBeaconRepetition(int number) override { print("beacon", std::to_string(number)); }
    void onTransmitTimeout(std::int64_t seconds) override;
    void onSoundLost(const std::string& detail) override;
    void onError(const std::string& message) override;

    int errorCount() const { return errors_; }
    bool soundLost() const { return soundLost_; }
    // Time of the last thing that happened on air or at the port: where a
    // rendering of the run ends.
    std::int64_t lastEventMs() const { return lastEventMs_; }

    // text with "\\", "\n", "\t", "\r" and "\xHH" for the other bytes below
    // 0x20 and for 0x7f; everything else as it is.
    static std::string escaped(std::string_view text);

  private:
    void print(const char* event, const std::string& argument = {});
    void notify() {
        if (onAnyEvent) {
            onAnyEvent();
        }
    }

    const Scheduler& clock_;
    bool printEvents_;
    std::int64_t originMs_;
    int errors_ = 0;
    bool soundLost_ = false;
    bool keyed_ = false;  // as last reported: only real transitions are printed
    std::int64_t lastEventMs_ = 0;
};

}  // namespace pelkora
