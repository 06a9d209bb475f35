#pragma once

#include <functional>
#include <optional>
#include <string>

namespace pelkora {

// The session bus's activation file for the keyer: with it in place, a
// client calling org.pelkora.Pelkora while no keyer runs has the bus start
// one in automation mode.
class ActivationFile {
  public:
    static constexpr const char* kServiceName = "org.pelkora.Pelkora";
    static constexpr const char* kAutomationSwitch = "-AUTOMATION";

    // What a write or removal came to: the file it concerned and, when it
    // failed, why.
    struct Outcome {
        std::string path;
        std::string error;  // empty: done
        bool ok() const { return error.empty(); }
    };

    ActivationFile() = delete;

    // $XDG_DATA_HOME/dbus-1/services/org.pelkora.Pelkora.service, with
    // ~/.local/share standing in for an unset, empty or relative
    // XDG_DATA_HOME; "" when HOME is not usable either.
    static std::string path(const std::function<std::optional<std::string>(const char*)>& getEnv);
    // The file's text for a program at executable.
    static std::string contents(const std::string& executable);
    // One word of the bus daemon's Exec line: bare when it can be, else in
    // single quotes, a quote inside written as '"'"' and a backslash doubled
    // (the daemon's key file reading halves it).
    static std::string execWord(const std::string& word);

    // Writes the file for executable through a temporary file and a rename,
    // so a reader never sees half of it; the directories are made first.
    static Outcome write(const std::string& file, const std::string& executable);
    // Removes the file; one that is not there is removed already.
    static Outcome remove(const std::string& file);

    // The running program's absolute path, from /proc/self/exe; "" unknown.
    static std::string runningProgram();
    // The real environment's file path.
    static std::string defaultPath();
};

}  // namespace pelkora
