#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "CtlRequest.h"

namespace pelkora {

// pelkora-ctl's command line: a verb and its arguments, checked before
// anything goes on the bus. --help and --version print and end with 0; a bad
// line prints one reason on err and ends with CtlUsage.
class CtlParser {
  public:
    struct Result {
        std::optional<CtlRequest> request;  // empty: nothing to send, end with exitCode
        int exitCode = 0;
    };

    // args without the program's name.
    static Result parse(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

    // "F5", "f5" or "5": the key's number 1..12; empty for anything else.
    static std::optional<std::int32_t> keyNumber(const std::string& text);
    // A whole decimal number that fits a D-Bus int32; empty for anything else.
    static std::optional<std::int32_t> int32Of(const std::string& text);
};

}  // namespace pelkora
