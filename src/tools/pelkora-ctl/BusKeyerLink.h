#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "KeyerLink.h"

struct sd_bus;
struct sd_bus_message;

namespace pelkora {

// The running keyer through the session bus: org.pelkora.Pelkora at
// /org/pelkora/Pelkora, on sd-bus rather than a toolkit, because a logger
// starts pelkora-ctl once per message and loading a toolkit took longer than
// the rest of the program. Calls never start a keyer by bus activation (a
// logger's message must not wait for a whole program to start, and an absent
// keyer is reported as such), and each waits at most the timeout given.
// Threading: one thread; monitor() waits on the bus and on SIGINT/SIGTERM.
class BusKeyerLink : public KeyerLink {
  public:
    explicit BusKeyerLink(std::chrono::milliseconds timeout);
    ~BusKeyerLink() override;
    BusKeyerLink(const BusKeyerLink&) = delete;
    BusKeyerLink& operator=(const BusKeyerLink&) = delete;

    Reply call(const std::string& method, const std::vector<Argument>& arguments) override;
    Reply readProperty(const std::string& name) override;
    Reply writeProperty(const std::string& name, std::int32_t value) override;
    Reply monitor(const std::function<void(std::int32_t)>& onState) override;

  private:
    // What a failed exchange means to pelkora-ctl: result is sd-bus's negative
    // errno, errorName and errorMessage the D-Bus error (empty when none),
    // busOpen whether the connection outlived the failure.
    static Reply failure(int result, const std::string& errorName, const std::string& errorMessage,
                         bool busOpen);
    // The session bus, connected on first use; nullptr with reply saying why.
    sd_bus* bus(Reply& reply);
    // Sends message (consumed) and waits for its answer; answer is set on success.
    Reply exchange(sd_bus_message* message, sd_bus_message** answer);
    sd_bus_message* newCall(const char* interface, const std::string& method, Reply& reply);

    std::chrono::milliseconds timeout_;
    sd_bus* bus_ = nullptr;
};

}  // namespace pelkora
