#include "core/keyer/BeaconCommand.h"

#include "core/text/TextRules.h"

namespace pelkora {

BeaconCommand BeaconCommand::parse(std::string_view entry) {
    BeaconCommand command;
    const std::string_view s = trimSpaces(entry);
    const std::size_t colon = s.find(':');
    // Needs a colon with at least one character between "~[rp" and it.
    if (colon == std::string_view::npos || colon < 5) {
        return command;
    }
    command.intervalMs = parseDecimalInt32(s.substr(4, colon - 4));
    if (!command.intervalMs) {
        return command;
    }
    // After the colon, up to the next-to-last character (the closing bracket).
    const std::size_t countStart = colon + 1;
    const std::size_t countEnd = s.size() >= 1 ? s.size() - 1 : 0;
    if (countEnd > countStart) {
        command.count = parseDecimalInt32(trimBlanks(s.substr(countStart, countEnd - countStart)));
    }
    return command;
}

}  // namespace pelkora
