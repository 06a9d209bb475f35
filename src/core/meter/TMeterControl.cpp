#include "core/meter/TMeterControl.h"

#include <array>
#include <span>
#include <utility>

#include "core/meter/TMeterData.h"

namespace pelkora {

TMeterControl::TMeterControl(const TMeterData& owner, MixerControl control, std::uint32_t lineId,
                             int deviceNumber)
    : owner_(owner), control_(std::move(control)), lineId_(lineId), deviceNumber_(deviceNumber) {}

std::int32_t TMeterControl::ReadValue() const noexcept {
    // Two channels only for a meter that lists per-channel items.
    const bool perChannel =
        (control_.flags & mixer::kMultiple) != 0 && (control_.flags & mixer::kUniform) == 0;
    const ControlRequest request{control_.controlId, perChannel ? 2u : 1u, control_.multipleItems};
    // Read every 50 ms: no allocation, and a control claiming more values
    // than one request carries is a failed read, not a write past the buffer.
    std::array<std::int32_t, mixer::kMaxValues> values{};
    if (request.valueCount() > values.size()) {
        return 0;
    }
    const std::span<std::int32_t> wanted(values.data(), request.valueCount());
    if (!owner_.layer().readValues(owner_.deviceReference(), request, wanted)) {
        return 0;
    }
    return values[0];
}

}  // namespace pelkora
