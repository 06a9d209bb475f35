#include "core/remote/StartSwitches.h"

#include "core/text/TextRules.h"

namespace pelkora {

std::optional<std::string> StartSwitches::switchName(std::string_view argument) {
    if (argument.size() < 2 || (argument.front() != '/' && argument.front() != '-')) {
        return std::nullopt;
    }
    return toUpperAscii(argument.substr(1));
}

StartSwitches::Plan StartSwitches::parse(std::span<const std::string> arguments) {
    bool reg = false;
    bool unreg = false;
    bool automation = false;
    for (const std::string& argument : arguments) {
        const std::optional<std::string> name = switchName(argument);
        if (!name) {
            continue;
        }
        reg = reg || *name == "REGSERVER";
        unreg = unreg || *name == "UNREGSERVER";
        automation = automation || *name == "AUTOMATION" || *name == "EMBEDDING";
    }
    if (reg) {
        return planFor(Mode::Register);
    }
    if (unreg) {
        return planFor(Mode::Unregister);
    }
    return planFor(automation ? Mode::Automation : Mode::Standalone);
}

StartSwitches::Plan StartSwitches::planFor(Mode mode) {
    Plan plan;
    plan.mode = mode;
    plan.registerAtStart = mode != Mode::Unregister;
    plan.registrationFailureIsFatal = mode == Mode::Register;
    plan.endsAtOnce = mode == Mode::Register || mode == Mode::Unregister;
    plan.endsWithLastObject = mode == Mode::Automation;
    return plan;
}

}  // namespace pelkora
