#include "core/settings/KeyerSettings.h"

#include "core/settings/ProfileInteger.h"

namespace pelkora {

std::string KeyerSettings::defaultMacro(int key) {
    static const char* const kDefaults[12] = {"~[iCall]",  "~[f2.wav]", "~[f3.wav]", "~[f4.wav]",
                                              "~[f5.wav]", "~[f6.wav]", "~[f7.wav]", "~[f8.wav]",
                                              "~[f9.wav]", "~[fa.wav]", "~[fb.wav]", "~[fc.wav]"};
    return key >= 1 && key <= 12 ? kDefaults[key - 1] : std::string();
}

KeyerSettings KeyerSettings::read(ProfileStore& profiles, const std::string& settingsFile,
                                  const std::string& startDir) {
    KeyerSettings settings;
    settings.readPortAndPaths(profiles, settingsFile, startDir);
    settings.readMacrosAndButtons(profiles, settingsFile);
    return settings;
}

void KeyerSettings::readPortAndPaths(ProfileStore& profiles, const std::string& settingsFile,
                                     const std::string& startDir) {
    KeyerSettings& s = *this;
    s.externalIni = profiles.readString(settingsFile, "Config", "ExternalIni", s.externalIni);
    s.externalIniSection =
        profiles.readString(settingsFile, "Config", "ExternalIniSection", s.externalIniSection);
    s.pttPort = readProfileInteger(profiles, settingsFile, "Config", "PTTPort", s.pttPort);
    s.pttLine = readProfileInteger(profiles, settingsFile, "Config", "PTTLine", s.pttLine);
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
