#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/ptt/PortRoute.h"
#include "core/ptt/PttTiming.h"
#include "platform/ProfileStore.h"

namespace pelkora {

// The [Ports] COM1..COM8 and [PTT] values the Port devices dialog edits,
// without the widgets: what it reads to fill its rows and which keys its OK
// stores. A value that does not read is never replaced unless the operator
// changed its row, so no setting is lost by opening the dialog and pressing OK.
// Threading: GUI thread, like the store it reads.
class PortSettings {
  public:
    static constexpr int kPorts = 8;

    struct Port {
        std::string stored;  // the value as read, trimmed; "" when the key is absent
        PortRoute route;     // what it names; the port's default device when absent
        std::string error;   // why the stored value does not read; "" when it does
    };
    struct Values {
        std::array<Port, kPorts> ports;
        PttTiming timing;
        std::vector<std::string> timingComplaints;
    };
    // What the operator leaves in the dialog: for each row changed, its value
    // as one line (PortRoute's form); rows left alone are nullopt.
    struct Edit {
        std::array<std::optional<std::string>, kPorts> ports;
        PttTiming timing;
    };
    struct Changes {
        std::vector<ProfileEntry> entries;  // to store in one write
        std::string error;                  // a changed row that does not read; nothing to store
    };

    static Values read(ProfileStore& profiles, const std::string& settingsFile);

    // The keys to store for edit, given what was read: changed rows whose
    // value differs from the stored one (a row at its default device that
    // was not stored stays unstored), and each timing that differs from what
    // was read (so an unreadable timing left alone stays as it is).
    static Changes changes(const Values& before, const Edit& edit);

    // COMn's device when [Ports] names none: /dev/ttyS(n-1).
    static std::string defaultDevice(int portNumber);
    static std::string keyName(int portNumber) { return "COM" + std::to_string(portNumber); }
};

}  // namespace pelkora
