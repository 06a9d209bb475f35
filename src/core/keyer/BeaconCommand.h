#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace pelkora {

// The parsed beacon entry "~[rp<interval>:<count>]". A value that parsed
// before a later one failed is still reported, because the keyer keeps it.
struct BeaconCommand {
    std::optional<std::int32_t> intervalMs;
    std::optional<std::int32_t> count;

    bool valid() const { return intervalMs && count; }

    static BeaconCommand parse(std::string_view entry);
};

}  // namespace pelkora
