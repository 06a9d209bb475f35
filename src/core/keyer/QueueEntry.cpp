#include "core/keyer/QueueEntry.h"

#include <cmath>

#include "core/text/TextRules.h"

namespace pelkora {

namespace {
// More than any header and trailing chunks of a real voice file account for.
constexpr double kHeaderSlackMs = 1000.0;
}  // namespace

std::string_view QueueEntry::pauseArgument(std::string_view trimmed) {
    if (trimmed.size() <= 4) {
        return {};
    }
    return trimmed.substr(3, trimmed.size() - 4);
}

QueueEntry QueueEntry::classify(std::string_view entry) {
    QueueEntry result;
    result.text = std::string(trimBlanks(entry));
    const std::string upper = toUpperAscii(result.text);
    if (upper == "~[P]") {
        result.kind = Kind::SecondPause;
    } else if (upper == "~[RX]" || upper == "`[RX]") {
        result.kind = Kind::Receive;
    } else if (upper.rfind("~[P", 0) == 0) {
        const std::string_view argument = pauseArgument(result.text);
        if (const auto n = parseDecimalInt32(argument)) {
            result.kind = Kind::Pause;
            result.number = *n;
        } else {
            result.kind = Kind::BadPause;
            result.badNumber = std::string(argument);
        }
    }
    return result;
}

bool QueueEntry::isBeacon(std::string_view entry) {
    return containsText(toUpperAscii(entry), "~[RP");
}

std::int64_t fileEntryMs(std::uint64_t sizeBytes, std::uint32_t bytesPerSecond,
                         std::optional<double> decodedSeconds) {
    if (bytesPerSecond == 0) {
        // No rate in the header: the decoded length is all we can go by.
        return decodedSeconds ? static_cast<std::int64_t>(*decodedSeconds * 1000.0) : 0;
    }
    const double ms = static_cast<double>(sizeBytes) / bytesPerSecond * 1000.0;
    const double decodedMs = decodedSeconds ? *decodedSeconds * 1000.0 : ms;
    if (ms > decodedMs + kHeaderSlackMs) {
        // The header claims far more than there is to hear: go by the audio,
        // not by a lie that would hold the transmitter keyed on silence.
        return static_cast<std::int64_t>(std::ceil(decodedMs));
    }
    return static_cast<std::int64_t>(std::trunc(ms));
}

}  // namespace pelkora
