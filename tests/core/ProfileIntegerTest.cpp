#include "core/settings/ProfileInteger.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/settings/IniText.h"

namespace pelkora {
namespace {

struct IntegerCase {
    std::string text;
    std::optional<std::int32_t> expected;
};

TEST(ParseProfileInteger, AcceptsDecimalAndHexOnly) {
    constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
    constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
    const std::vector<IntegerCase> cases = {
        {"3", 3},
        {"-7", -7},
        {"+5", 5},
        {"0", 0},
        {"-0", 0},
        {"007", 7},
        {"000000000000000000001", 1},
        {"2147483647", kMax},
        {"-2147483648", kMin},
        {"0x3", 3},
        {"0X1f", 31},
        {"$1F", 31},
        {"$ff", 255},
        {"0xFFFFFFFF", -1},
        {"0x80000000", kMin},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"99999999999", std::nullopt},
        {"0x100000000", std::nullopt},
        {"", std::nullopt},
        {"abc", std::nullopt},
        {"12abc", std::nullopt},
        {" 5", std::nullopt},
        {"5 ", std::nullopt},
        {"-", std::nullopt},
        {"+", std::nullopt},
        {"--1", std::nullopt},
        {"0x", std::nullopt},
        {"$", std::nullopt},
        {"-0x3", std::nullopt},
        {"0x-3", std::nullopt},
        {"0xG", std::nullopt},
        {"1.5", std::nullopt},
        {"1e3", std::nullopt},
    };
    for (const IntegerCase& c : cases) {
        EXPECT_EQ(parseProfileInteger(c.text), c.expected) << '"' << c.text << '"';
    }
}

// Keeps each file's text in memory, read and written with the same rules as
// the real store.
class MemoryProfileStore : public ProfileStore {
  public:
    std::string readString(const std::string& file, const std::string& section,
                           const std::string& key, const std::string& def) override {
        return IniText::find(files[file], section, key).value_or(def);
    }
    void writeString(const std::string& file, const std::string& section, const std::string& key,
                     const std::string& value) override {
        files[file] = IniText::withValue(files[file], section, key, value);
    }
    std::map<std::string, std::string> files;
};

TEST(ProfileIntegerStore, ReadsNumbersOrTheDefault) {
    MemoryProfileStore store;
    store.files["p.ini"] = "[A]\nhex=0x10\nbad=12abc\nempty=\nspaced=  42  \n";
    EXPECT_EQ(readProfileInteger(store, "p.ini", "A", "hex", 7), 16);
    EXPECT_EQ(readProfileInteger(store, "p.ini", "A", "spaced", 7), 42);
    EXPECT_EQ(readProfileInteger(store, "p.ini", "A", "bad", 7), 7);
    EXPECT_EQ(readProfileInteger(store, "p.ini", "A", "empty", 7), 7);
    EXPECT_EQ(readProfileInteger(store, "p.ini", "A", "missing", -3), -3);
}

TEST(ProfileIntegerStore, WritesDecimal) {
    MemoryProfileStore store;
    writeProfileInteger(store, "p.ini", "A", "n", -42);
    writeProfileInteger(store, "p.ini", "A", "min", std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(store.files["p.ini"], "[A]\nn=-42\nmin=-2147483648\n");
    EXPECT_EQ(readProfileInteger(store, "p.ini", "A", "min", 0),
              std::numeric_limits<std::int32_t>::min());
}

TEST(ProfileIntegerStore, SwitchesAreOneAndZero) {
    MemoryProfileStore store;
    writeProfileBool(store, "p.ini", "A", "on", true);
    writeProfileBool(store, "p.ini", "A", "off", false);
    EXPECT_EQ(store.files["p.ini"], "[A]\non=1\noff=0\n");
    store.files["p.ini"] += "two=2\njunk=yes\n";
    EXPECT_TRUE(readProfileBool(store, "p.ini", "A", "two", false));
    EXPECT_FALSE(readProfileBool(store, "p.ini", "A", "off", true));
    EXPECT_TRUE(readProfileBool(store, "p.ini", "A", "junk", true));
    EXPECT_FALSE(readProfileBool(store, "p.ini", "A", "missing", false));
}

}  // namespace
}  // namespace pelkora
