#pragma once

#include <functional>
#include <optional>
#include <string>

namespace pelkora {

// Name of the keyer's own settings file inside the start directory.
inline constexpr const char* kSettingsFileName = "pelkora.ini";

// dir and name with exactly the separator they need: "/" is inserted only
// when dir is not empty and does not already end with one.
std::string joinPath(const std::string& dir, const std::string& name);

// The directory that holds pelkora.ini (the start directory), ending in "/":
// - the executable's directory when pelkora.ini lies beside it (a portable
//   install carries its settings along);
// - else $XDG_CONFIG_HOME/pelkora/ when that variable is set and absolute
//   (the XDG rule: relative values are ignored);
// - else $HOME/.config/pelkora/ when HOME is set and absolute;
// - else the executable's directory.
// The directory may not exist yet; the profile store creates it on the
// first write. Inputs are injected so the choice can be tested.
std::string startDirectory(const std::string& executablePath,
                           const std::function<std::optional<std::string>(const char*)>& getEnv,
                           const std::function<bool(const std::string&)>& fileExists);

// The same with the real environment, /proc/self/exe and the file system.
std::string startDirectory();

// The directory part of path, ending in "/"; "" when path has none.
std::string directoryPart(const std::string& path);

// mkdir -p: creates every missing level of dir, each private to the user.
// True when dir is a directory afterwards; otherwise false with errno set by
// the step that failed (ENOTDIR when a file stands where a level should be).
bool makeDirectories(const std::string& dir);

}  // namespace pelkora
