#include "core/app/SoundDirRule.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace pelkora {
namespace {

struct SeparatorCase {
    std::string entered;
    std::string soundDir;
};

TEST(WithTrailingSeparator, EndsInExactlyOneAddedSeparator) {
    const std::vector<SeparatorCase> cases = {
        {"/snd/", "/snd/"},
        {"/snd", "/snd/"},
        {"", "/"},
        {"/", "/"},
        {"//", "//"},
        {"snd", "snd/"},
        {"/home/op/sounds dir ", "/home/op/sounds dir /"},
        {"/snd\\", "/snd\\/"},
        {"/snd/\xff", "/snd/\xff/"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(withTrailingSeparator(c.entered), c.soundDir) << "entered \"" << c.entered << '"';
    }
}

struct StartCase {
    std::string fieldText;
    std::string startingSoundDir;
    std::string expected;
};

TEST(ChooserStartDirectory, FieldThenStartingDirThenRoot) {
    const std::set<std::string> existing = {"/snd/", "/home/op/", "/snd"};
    const auto isDirectory = [&](const std::string& path) { return existing.contains(path); };
    const std::vector<StartCase> cases = {
        {"/home/op/", "/snd/", "/home/op/"}, {"/snd", "/home/op/", "/snd"}, {"", "/snd/", "/snd/"},
        {"/missing/", "/snd/", "/"},         {"", "/missing/", "/"},        {"", "", "/"},
        {"relative/", "/snd/", "/"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(chooserStartDirectory(c.fieldText, c.startingSoundDir, isDirectory), c.expected)
            << "field \"" << c.fieldText << "\", starting \"" << c.startingSoundDir << '"';
    }
}

}  // namespace
}  // namespace pelkora
