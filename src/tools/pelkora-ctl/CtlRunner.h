#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "CtlRequest.h"
#include "KeyerLink.h"

namespace pelkora {

// Carries out one parsed request over a KeyerLink: the verb's calls in order,
// what it prints on out, one line on err when it fails, and the exit status.
// A call that may have keyed the transmitter and got no answer in time is
// followed by StopPlay, so that pelkora-ctl never leaves the transmitter keyed
// by a message whose fate it does not know.
// Threading: one thread.
class CtlRunner {
  public:
    CtlRunner(KeyerLink& link, std::ostream& out, std::ostream& err);

    int run(const CtlRequest& request);

    // "111 tx-on", "110 tx-off", "101 paused", "100 resumed"; the bare number
    // for a code the keyer may add later.
    static std::string stateLine(std::int32_t code);

  private:
    int finish(const KeyerLink::Reply& reply);
    int callKeying(const std::string& method, const std::vector<KeyerLink::Argument>& arguments);
    int control(std::int32_t code);
    int getGeometry();
    int setGeometry(const CtlRequest& request);
    int monitor();

    KeyerLink& link_;
    std::ostream& out_;
    std::ostream& err_;
};

}  // namespace pelkora
