#include <chrono>
#include <iostream>
#include <string>
#include <vector>

#include "BusKeyerLink.h"
#include "CtlParser.h"
#include "CtlRunner.h"

namespace {

// Well inside a logger's patience, and far below the bus's own 25 s: a keyer
// that does not answer in this time is reported, not waited for.
constexpr std::chrono::milliseconds kCallTimeout{5000};

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const auto parsed = pelkora::CtlParser::parse(args, std::cout, std::cerr);
    if (!parsed.request) {
        return parsed.exitCode;
    }
    pelkora::BusKeyerLink link(kCallTimeout);
    return pelkora::CtlRunner(link, std::cout, std::cerr).run(*parsed.request);
}
