#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "core/keyer/KeyerObserver.h"
#include "platform/Scheduler.h"

namespace pelkora {

// Prints what the keyer does as "<ms> <event> [<argument>]" lines on standard
// output (when asked to), and errors on standard error in any case.
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
    void onError(const std::string& message) override;

    int errorCount() const { return errors_; }
    // Time of the last thing that happened on air or at the port: where a
    // rendering of the run ends.
    std::int64_t lastEventMs() const { return lastEventMs_; }

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
    std::int64_t lastEventMs_ = 0;
};

}  // namespace pelkora
