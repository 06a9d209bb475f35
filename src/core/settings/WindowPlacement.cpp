#include "core/settings/WindowPlacement.h"

#include <array>
#include <cstddef>
#include <limits>
#include <string_view>

#include "core/settings/ProfileInteger.h"

namespace pelkora {

namespace {

const std::string kFormVersion = "FormVersion";
const std::string kFlags = "Flags";
const std::string kShowCmd = "ShowCmd";
const std::string kPixelsPerInch = "PixelsPerInch";
const std::string kMinMaxPos = "MinMaxPos";
const std::string kNormPos = "NormPos";
const std::string kVisible = "Visible";

using Four = std::array<std::int32_t, 4>;

std::string joinFour(const Four& values) {
    return std::to_string(values[0]) + ',' + std::to_string(values[1]) + ',' +
           std::to_string(values[2]) + ',' + std::to_string(values[3]);
}

std::string_view trimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// Each element is read on its own, so one bad number does not cost the
// others; see WindowPlacement::restore for the rule.
Four parseFour(std::string_view text, const Four& defaults) {
    Four values = defaults;
    for (std::size_t index = 0; index < values.size(); ++index) {
        const auto comma = text.find(',');
        const auto element = parseProfileInteger(trimBlanks(text.substr(0, comma)));
        values[index] = element.value_or(defaults[index]);
        if (comma == std::string_view::npos) {
            break;
        }
        text.remove_prefix(comma + 1);
    }
    return values;
}

Four fourOf(const WindowPlacement::Point& min, const WindowPlacement::Point& max) {
    return {min.x, min.y, max.x, max.y};
}

Four fourOf(const WindowPlacement::Rect& rect) {
    return {rect.left, rect.top, rect.right, rect.bottom};
}

bool fitsInt32(std::int64_t value) {
    return value >= std::numeric_limits<std::int32_t>::min() &&
           value <= std::numeric_limits<std::int32_t>::max();
}

// A window whose border cannot be resized keeps its size and takes only the
// stored position. nullopt when the stored position is so far out that the
// far edge is no longer a 32-bit number.
std::optional<WindowPlacement::Rect> keepSize(const WindowPlacement::Rect& stored,
                                              const WindowPlacement::Rect& current) {
    const std::int64_t right = stored.left + current.width();
    const std::int64_t bottom = stored.top + current.height();
    if (!fitsInt32(right) || !fitsInt32(bottom)) {
        return std::nullopt;
    }
    return WindowPlacement::Rect{stored.left, stored.top, static_cast<std::int32_t>(right),
                                 static_cast<std::int32_t>(bottom)};
}

// Reads MinMaxPos and NormPos into placement; true when either was present.
bool readPositions(ProfileStore& store, const std::string& file, const std::string& section,
                   WindowPlacement::Record& placement) {
    const std::string minMax = store.readString(file, section, kMinMaxPos, "");
    if (!minMax.empty()) {
        const Four values = parseFour(minMax, fourOf(placement.minPos, placement.maxPos));
        placement.minPos = {values[0], values[1]};
        placement.maxPos = {values[2], values[3]};
    }
    const std::string norm = store.readString(file, section, kNormPos, "");
    if (!norm.empty()) {
        const Four values = parseFour(norm, fourOf(placement.normal));
        placement.normal = {values[0], values[1], values[2], values[3]};
    }
    return !minMax.empty() || !norm.empty();
}

}  // namespace

void WindowPlacement::save(ProfileStore& store, const std::string& file, const std::string& section,
                           const Record& record, bool destroying) {
    writeProfileInteger(store, file, section, kFormVersion, 0);
    writeProfileInteger(store, file, section, kFlags, record.flags);
    writeProfileInteger(store, file, section, kShowCmd, record.showCmd);
    writeProfileInteger(store, file, section, kPixelsPerInch, record.pixelsPerInch);
    store.writeString(file, section, kMinMaxPos, joinFour(fourOf(record.minPos, record.maxPos)));
    store.writeString(file, section, kNormPos, joinFour(fourOf(record.normal)));
    writeProfileBool(store, file, section, kVisible, destroying);
}

WindowPlacement::RestoreDecision WindowPlacement::restore(ProfileStore& store,
                                                          const std::string& file,
                                                          const std::string& section,
                                                          const CurrentWindow& now) {
    RestoreDecision decision;
    if (readProfileInteger(store, file, section, kFormVersion, 0) < 0) {
        return decision;
    }
    Record& placement = decision.placement;
    placement = now.placement;
    placement.flags = readProfileInteger(store, file, section, kFlags, now.placement.flags);
    const bool present = readPositions(store, file, section, placement);
    const std::int32_t storedPixelsPerInch =
        readProfileInteger(store, file, section, kPixelsPerInch, now.placement.pixelsPerInch);
    // A placement taken at another resolution would put the window in the
    // wrong place and size: keep the window where its own rules put it.
    if (present && storedPixelsPerInch == now.placement.pixelsPerInch) {
        const auto rect =
            now.fixedSize ? keepSize(placement.normal, now.placement.normal) : placement.normal;
        if (rect && rect->left < rect->right) {
            placement.normal = *rect;
            decision.applyGeometry = true;
            decision.dropCentring = now.centredOnScreen;
        }
    }
    placement.showCmd = readProfileInteger(store, file, section, kShowCmd, 0);
    decision.showState = showStateOf(placement.showCmd);
    return decision;
}

WindowPlacement::ShowState WindowPlacement::showStateOf(std::int32_t showCmd) {
    switch (showCmd) {
        case 2:
        case 6:
        case 7:
            return ShowState::Minimised;
        case 3:
            return ShowState::Maximised;
        default:
            // 1, 5 and 9 ask for the normal state; so does everything unknown.
            return ShowState::Normal;
    }
}

std::int32_t WindowPlacement::showCmdOf(ShowState state) {
    switch (state) {
        case ShowState::Minimised:
            return kShowMinimised;
        case ShowState::Maximised:
            return kShowMaximised;
        case ShowState::Normal:
            break;
    }
    return kShowNormal;
}

}  // namespace pelkora
