#include "core/ptt/PttTiming.h"

#include <algorithm>

#include "core/text/TextRules.h"

namespace pelkora {

namespace {

std::int64_t readOne(ProfileStore& profiles, const std::string& file, const std::string& key,
                     std::int64_t ceiling, std::vector<std::string>& complaints) {
    const std::string stored = profiles.readString(file, "PTT", key, "");
    const std::string text(trimBlanks(stored));
    if (text.empty()) {
        return 0;
    }
    const auto value = parseDecimalInt32(text);
    if (!value || *value < 0) {
        complaints.push_back("[PTT] " + key + "=" + text +
                             " is not a whole number of 0 or more; 0 used");
        return 0;
    }
    if (*value > ceiling) {
        complaints.push_back("[PTT] " + key + "=" + text + " is more than " +
                             std::to_string(ceiling) + "; " + std::to_string(ceiling) + " used");
        return ceiling;
    }
    return *value;
}

}  // namespace

PttTiming PttTiming::clamped() const {
    return {std::clamp<std::int64_t>(leadMs, 0, kMaxLeadMs),
            std::clamp<std::int64_t>(tailMs, 0, kMaxTailMs),
            std::clamp<std::int64_t>(timeoutSeconds, 0, kMaxTimeoutSeconds)};
}

PttTiming PttTiming::read(ProfileStore& profiles, const std::string& settingsFile,
                          std::vector<std::string>& complaints) {
    PttTiming timing;
    timing.leadMs = readOne(profiles, settingsFile, "LeadMs", kMaxLeadMs, complaints);
    timing.tailMs = readOne(profiles, settingsFile, "TailMs", kMaxTailMs, complaints);
    timing.timeoutSeconds =
        readOne(profiles, settingsFile, "TimeoutSeconds", kMaxTimeoutSeconds, complaints);
    return timing;
}

}  // namespace pelkora
