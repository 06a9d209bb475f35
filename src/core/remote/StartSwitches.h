#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace pelkora {

// The automation switches of the command line: "REGSERVER", "UNREGSERVER",
// "AUTOMATION" or "EMBEDDING", each after "/" or "-", in any letter case.
// Other arguments ("DEBUG", anything unknown) are not switches and are left
// alone.
class StartSwitches {
  public:
    enum class Mode { Standalone, Register, Unregister, Automation };

    // What the program does with the mode it was started in.
    struct Plan {
        Mode mode = Mode::Standalone;
        // Writes its registration before any window exists.
        bool registerAtStart = true;
        // A failed registration ends the program with the error; otherwise
        // it is ignored.
        bool registrationFailureIsFatal = false;
        // Ends right after (un)registering, without a window.
        bool endsAtOnce = false;
        // Ends by itself when the last automation object is released.
        bool endsWithLastObject = false;
        bool operator==(const Plan&) const = default;
    };

    StartSwitches() = delete;

    // arguments: the command line after the program's name. When several
    // switches are given, REGSERVER wins over UNREGSERVER, and either over
    // AUTOMATION and EMBEDDING: the ones that end at once are never lost.
    static Plan parse(std::span<const std::string> arguments);
    static Plan planFor(Mode mode);

    // The switch's name in upper case when the argument is a switch.
    static std::optional<std::string> switchName(std::string_view argument);
};

}  // namespace pelkora
