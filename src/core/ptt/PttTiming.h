#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ProfileStore.h"

namespace pelkora {

// The [PTT] timings of pelkora.ini: how long the queue waits after keying
// before the first sound (LeadMs, for a relay or an amplifier to switch),
// how long the transmitter stays keyed after the last sound of a macro
// (TailMs), and after how many seconds of continuous keying the keyer
// releases by itself (TimeoutSeconds, 0 = never). All default to 0.
struct PttTiming {
    // Longer waits than these are no switching time any more but a typing
    // error; the time-out's ceiling is an hour of continuous keying.
    static constexpr std::int64_t kMaxLeadMs = 5000;
    static constexpr std::int64_t kMaxTailMs = 5000;
    static constexpr std::int64_t kMaxTimeoutSeconds = 3600;

    std::int64_t leadMs = 0;
    std::int64_t tailMs = 0;
    std::int64_t timeoutSeconds = 0;

    // Negative values become 0, values above the ceilings the ceiling.
    PttTiming clamped() const;

    // Reads the three keys. A value that is not a whole number or is negative
    // gives 0, one above its ceiling the ceiling; each such value adds a line
    // to complaints saying what was used instead.
    static PttTiming read(ProfileStore& profiles, const std::string& settingsFile,
                          std::vector<std::string>& complaints);

    bool operator==(const PttTiming&) const = default;
};

}  // namespace pelkora
