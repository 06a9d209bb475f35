#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/remote/StartSwitches.h"

namespace pelkora {
namespace {

using Mode = StartSwitches::Mode;

struct ModeCase {
    std::vector<std::string> arguments;
    Mode mode;
};

TEST(StartSwitchesTest, SpellingsOfTheSwitches) {
    const std::vector<ModeCase> cases = {
        {{}, Mode::Standalone},
        {{"DEBUG"}, Mode::Standalone},
        {{"/regserver"}, Mode::Register},
        {{"-REGSERVER"}, Mode::Register},
        {{"/RegServer"}, Mode::Register},
        {{"-unregserver"}, Mode::Unregister},
        {{"/UNREGSERVER"}, Mode::Unregister},
        {{"/Automation"}, Mode::Automation},
        {{"-AUTOMATION"}, Mode::Automation},
        {{"-embedding"}, Mode::Automation},
        {{"/EMBEDDING"}, Mode::Automation},
        {{"DEBUG", "-Embedding"}, Mode::Automation},
        // Not switches: no leading mark, a doubled mark, a wrong mark, extra text.
        {{"REGSERVER"}, Mode::Standalone},
        {{"--regserver"}, Mode::Standalone},
        {{"\\regserver"}, Mode::Standalone},
        {{"/regserver2"}, Mode::Standalone},
        {{"/ regserver"}, Mode::Standalone},
        {{"/"}, Mode::Standalone},
        {{"-"}, Mode::Standalone},
        {{""}, Mode::Standalone},
        {{"/reg\xC3\xA9server"}, Mode::Standalone},
        {{std::string("/REGSERVER\0", 11)}, Mode::Standalone},
        // Several switches: the ones that end at once win.
        {{"/automation", "/regserver"}, Mode::Register},
        {{"/unregserver", "/regserver"}, Mode::Register},
        {{"-embedding", "-unregserver"}, Mode::Unregister},
    };
    for (const ModeCase& c : cases) {
        const StartSwitches::Plan plan = StartSwitches::parse(c.arguments);
        EXPECT_EQ(plan.mode, c.mode) << (c.arguments.empty() ? "" : c.arguments.back());
    }
}

}  // namespace
}  // namespace pelkora
