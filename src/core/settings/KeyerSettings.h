#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/DiagnosticLog.h"
#include "platform/ProfileStore.h"

namespace pelkora {

// The values the keyer reads from pelkora.ini when it starts, with their
// defaults. Reading never fails: a missing file, key or a value that does not
// parse gives the default.
struct KeyerSettings {
    std::string externalIni = "morvel.ini";
    std::string externalIniSection = "QSO";
    std::int32_t pttPort = 0;
    std::int32_t pttLine = 1;  // always 1..3 (RTS, DTR, both)
    // PTTLine as stored when it was not 1, 2 or 3 and RTS was used instead:
    // a line choice that keys nothing would report "ptt on" while the
    // transmitter stays silent. The file is left as it is.
    std::optional<std::string> rejectedPttLine;
    std::string soundDir;  // StartDir + "sound/" unless stored
    std::array<std::string, 12> macros;
    std::array<std::string, 12> captions;
    std::int32_t buttonRows = 1;

    static std::string defaultMacro(int key);  // key 1..12

    // Reads every start-up key from settingsFile, in the order the main
    // window reads them: first the keys of the PTT port and the paths, then
    // (after the port has been opened) the macros, captions and button rows.
    // A rejected value is written to log when one is given.
    static KeyerSettings read(ProfileStore& profiles, const std::string& settingsFile,
                              const std::string& startDir, DiagnosticLog* log = nullptr);
    void readPortAndPaths(ProfileStore& profiles, const std::string& settingsFile,
                          const std::string& startDir, DiagnosticLog* log = nullptr);
    void readMacrosAndButtons(ProfileStore& profiles, const std::string& settingsFile);
};

}  // namespace pelkora
