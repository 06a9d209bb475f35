#include "core/settings/KeyerSettings.h"

#include "core/settings/ProfileInteger.h"

namespace pelkora {

namespace {

void readPttLine(KeyerSettings& s, ProfileStore& profiles, const std::string& settingsFile,
                 DiagnosticLog* log) {
    // Read as text, so that a value that is no number is reported as well.
    const std::string stored = profiles.readString(settingsFile, "Config", "PTTLine", "");
    const std::optional<std::int32_t> line = parseProfileInteger(stored);
    s.rejectedPttLine.reset();
    if (stored.empty() || (line && *line >= 1 && *line <= 3)) {
        s.pttLine = line.value_or(s.pttLine);
        return;
    }
    s.pttLine = 1;  // RTS, as a fresh setup uses
    s.rejectedPttLine = stored;
    if (log != nullptr) {
        log->logString("PTTLine", stored + " is not 1 (RTS), 2 (DTR) or 3 (both): RTS used");
    }
}

}  // namespace

std::string KeyerSettings::defaultMacro(int key) {
    static const char* const kDefaults[12] = {"~[iCall]",  "~[f2.wav]", "~[f3.wav]", "~[f4.wav]",
                                              "~[f5.wav]", "~[f6.wav]", "~[f7.wav]", "~[f8.wav]",
                                              "~[f9.wav]", "~[fa.wav]", "~[fb.wav]", "~[fc.wav]"};
    return key >= 1 && key <= 12 ? kDefaults[key - 1] : std::string();
}

KeyerSettings KeyerSettings::read(ProfileStore& profiles, const std::string& settingsFile,
                                  const std::string& startDir, DiagnosticLog* log) {
    KeyerSettings settings;
    settings.readPortAndPaths(profiles, settingsFile, startDir, log);
    settings.readMacrosAndButtons(profiles, settingsFile);
    return settings;
}

void KeyerSettings::readPortAndPaths(ProfileStore& profiles, const std::string& settingsFile,
                                     const std::string& startDir, DiagnosticLog* log) {
    KeyerSettings& s = *this;
    s.externalIni = profiles.readString(settingsFile, "Config", "ExternalIni", s.externalIni);
    s.externalIniSection =
        profiles.readString(settingsFile, "Config", "ExternalIniSection", s.externalIniSection);
    s.pttPort = readProfileInteger(profiles, settingsFile, "Config", "PTTPort", s.pttPort);
    readPttLine(s, profiles, settingsFile, log);
    s.soundDir = profiles.readString(settingsFile, "Paths", "SoundDir", startDir + "sound/");
}

void KeyerSettings::readMacrosAndButtons(ProfileStore& profiles, const std::string& settingsFile) {
    KeyerSettings& s = *this;
    for (int key = 1; key <= 12; ++key) {
        s.macros[key - 1] = profiles.readString(settingsFile, "Macroses",
                                                "Macro" + std::to_string(key), defaultMacro(key));
    }
    for (int key = 1; key <= 12; ++key) {
        s.captions[key - 1] =
            profiles.readString(settingsFile, "Buttons", "Caption" + std::to_string(key), "");
    }
    s.buttonRows =
        readProfileInteger(profiles, settingsFile, "General", "ButtonRows", s.buttonRows);
}

}  // namespace pelkora
