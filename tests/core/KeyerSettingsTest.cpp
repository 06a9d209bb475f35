#include "core/settings/KeyerSettings.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/fake/MemoryDiagnosticLog.h"
#include "platform/fake/MemoryProfileStore.h"

namespace pelkora {
namespace {

const std::string kFile = "/home/op/pelkora.ini";

struct PttLineCase {
    std::optional<std::string> stored;  // nullopt: no PTTLine key
    int line;
    bool rejected;
};

TEST(KeyerSettings, PttLineOutsideOneToThreeIsReportedAndKeysRts) {
    const std::vector<PttLineCase> cases = {
        {std::nullopt, 1, false}, {"", 1, false},    {"1", 1, false},  {"2", 2, false},
        {"3", 3, false},          {"0x2", 2, false}, {"0", 1, true},   {"4", 1, true},
        {"-1", 1, true},          {"DTR", 1, true},  {"2.5", 1, true}, {"0xFFFFFFFF", 1, true},
    };
    for (const PttLineCase& c : cases) {
        SCOPED_TRACE(c.stored.value_or("<missing>"));
        MemoryProfileStore profiles;
        if (c.stored) {
            profiles.writeString(kFile, "Config", "PTTLine", *c.stored);
        }
        MemoryDiagnosticLog log;
        const KeyerSettings settings = KeyerSettings::read(profiles, kFile, "/start/", &log);
        EXPECT_EQ(settings.pttLine, c.line);
        EXPECT_EQ(settings.rejectedPttLine, c.rejected ? c.stored : std::optional<std::string>());
        const std::vector<std::string> expectedLog = {
            "PTTLine=" + c.stored.value_or("") + " is not 1 (RTS), 2 (DTR) or 3 (both): RTS used"};
        EXPECT_EQ(log.lines(), c.rejected ? expectedLog : std::vector<std::string>());
        // Start-up reads only: the bad value stays for the operator to see.
        EXPECT_EQ(profiles.writes().size(), c.stored ? 1u : 0u);
        EXPECT_EQ(KeyerSettings::read(profiles, kFile, "/start/").pttLine, c.line);
    }
}

TEST(KeyerSettings, RereadingAGoodValueClearsTheRejection) {
    MemoryProfileStore profiles;
    profiles.writeString(kFile, "Config", "PTTLine", "7");
    KeyerSettings settings;
    settings.readPortAndPaths(profiles, kFile, "/start/");
    ASSERT_TRUE(settings.rejectedPttLine);
    profiles.writeString(kFile, "Config", "PTTLine", "2");
    settings.readPortAndPaths(profiles, kFile, "/start/");
    EXPECT_EQ(settings.pttLine, 2);
    EXPECT_FALSE(settings.rejectedPttLine);
}

}  // namespace
}  // namespace pelkora
