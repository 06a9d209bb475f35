#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/ProfileStore.h"

namespace pelkora {

// The values the keyer reads from pelkora.ini when it starts, with their
// defaults. Reading never fails: a missing file, key or a value that does not
// parse gives the default.
struct KeyerSettings {
    std::string externalIni = "morvel.ini";
    std::string externalIniSection = "QSO";
    std::int32_t pttPort = 0;
    std::int32_t pttLine = 1;
    std::string soundDir;  // StartDir + "sound/" unless stored
    std::array<std::string, 12> macros;
    std::array<std::string, 12> captions;
    std::int32_t buttonRows = 1;

    static std::string defaultMacro(int key);  // key 1..12

    // Reads every start-up key from settingsFile, in the order the main
    // window reads them: first the keys of the PTT port and the paths, then
    // (after the port has been opened) the macros, captions and button rows.
    static KeyerSettings read(ProfileStore& profiles, const std::string& settingsFile,
                              const std::string& startDir);
    void readPortAndPaths(ProfileStore& profiles, const std::string& settingsFile,
                          const std::string& startDir);
    void readMacrosAndButtons(ProfileStore& profiles, const std::string& settingsFile);
};

}  // namespace pelkora
