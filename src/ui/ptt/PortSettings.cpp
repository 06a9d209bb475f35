#include "ui/ptt/PortSettings.h"

#include "core/text/TextRules.h"

namespace pelkora {

namespace {

constexpr const char* kPortsSection = "Ports";
constexpr const char* kPttSection = "PTT";

void addTiming(std::vector<ProfileEntry>& entries, const char* key, std::int64_t before,
               std::int64_t after) {
    if (before != after) {
        entries.push_back({kPttSection, key, std::to_string(after)});
    }
}

}  // namespace

std::string PortSettings::defaultDevice(int portNumber) {
    return "/dev/ttyS" + std::to_string(portNumber - 1);
}

PortSettings::Values PortSettings::read(ProfileStore& profiles, const std::string& settingsFile) {
    Values values;
    for (int number = 1; number <= kPorts; ++number) {
        Port& port = values.ports[static_cast<std::size_t>(number - 1)];
        port.stored = std::string(
            trimBlanks(profiles.readString(settingsFile, kPortsSection, keyName(number), "")));
        port.route.device = defaultDevice(number);
        if (port.stored.empty()) {
            continue;
        }
        auto parsed = PortRoute::parse(port.stored);
        if (parsed.route) {
            port.route = *parsed.route;
        } else {
            port.error = std::move(parsed.error);
        }
    }
    values.timing = PttTiming::read(profiles, settingsFile, values.timingComplaints);
    return values;
}

PortSettings::Changes PortSettings::changes(const Values& before, const Edit& edit) {
    Changes changes;
    for (int number = 1; number <= kPorts; ++number) {
        const auto index = static_cast<std::size_t>(number - 1);
        const auto& line = edit.ports[index];
        if (!line) {
            continue;
        }
        const auto parsed = PortRoute::parse(*line);
        if (!parsed.route) {
            return {{}, keyName(number) + ": " + parsed.error};
        }
        const std::string value = parsed.route->format();
        const std::string& stored = before.ports[index].stored;
        const bool leftAtDefault = stored.empty() && value == defaultDevice(number);
        if (value != stored && !leftAtDefault) {
            changes.entries.push_back({kPortsSection, keyName(number), value});
        }
    }
    addTiming(changes.entries, "LeadMs", before.timing.leadMs, edit.timing.leadMs);
    addTiming(changes.entries, "TailMs", before.timing.tailMs, edit.timing.tailMs);
    addTiming(changes.entries, "TimeoutSeconds", before.timing.timeoutSeconds,
              edit.timing.timeoutSeconds);
    return changes;
}

}  // namespace pelkora
