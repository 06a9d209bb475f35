#include "core/app/DebugLogFormat.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

namespace pelkora {
namespace {

std::tm makeTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm time{};
    time.tm_year = year - 1900;
    time.tm_mon = month - 1;
    time.tm_mday = day;
    time.tm_hour = hour;
    time.tm_min = minute;
    time.tm_sec = second;
    return time;
}

const std::string kGap(50, ' ');

TEST(DebugLogSwitch, OnlyTheFirstArgumentCounts) {
    struct Case {
        std::vector<std::string> args;
        bool on;
    };
    const std::vector<Case> cases = {
        {{"pelkora", "DEBUG"}, true},
        {{"pelkora", "debug"}, true},
        {{"pelkora", "Debug"}, true},
        {{"pelkora", " Debug "}, true},
        {{"pelkora", "\tDEBUG\n"}, true},
        {{"pelkora", "DEBUG", "extra"}, true},
        {{"pelkora", "x", "DEBUG"}, false},
        {{"pelkora"}, false},
        {{}, false},
        {{"pelkora", ""}, false},
        {{"pelkora", "DEBUGX"}, false},
        {{"pelkora", "DE BUG"}, false},
        {{"DEBUG"}, false},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& arg : c.args) {
            shown += "[" + arg + "]";
        }
        EXPECT_EQ(DebugLogFormat::isSwitchOn(c.args), c.on) << shown;
    }
}

TEST(DebugLogFileName, DayMonthHourMinuteSecondTwoDigitsEach) {
    struct Case {
        std::tm time;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {makeTime(2024, 12, 6, 17, 20, 5), "/opt/pk/pelkora0612172005.log"},
        {makeTime(2025, 1, 1, 0, 0, 0), "/opt/pk/pelkora0101000000.log"},
        {makeTime(2025, 12, 31, 23, 59, 59), "/opt/pk/pelkora3112235959.log"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DebugLogFormat::fileName("/opt/pk/", c.time), c.expected);
    }
}

TEST(DebugLogLines, ValueLineKeepsBothTextsWholeWithFiftyBlanksAfterEach) {
    EXPECT_EQ(DebugLogFormat::valueLine("i", "0"), "i" + kGap + "0" + kGap + "\r\n");
    EXPECT_EQ(DebugLogFormat::valueLine("", ""), kGap + kGap + "\r\n");

    const std::string longName(80, 'n');
    const std::string line = DebugLogFormat::valueLine(longName, "/home/op/a b.wav");
    EXPECT_EQ(line, longName + kGap + "/home/op/a b.wav" + kGap + "\r\n");
}

TEST(DebugLogLines, OpeningHasNoBlankAfterForAndAnEmptyLine) {
    EXPECT_EQ(DebugLogFormat::openingLines("/usr/bin/pelkora", "12/06/24 17:20:05"),
              "Debug file was created for/usr/bin/pelkora 12/06/24 17:20:05\r\n\r\n");
}

TEST(DebugLogLines, ClosingKeepsItsBlankBeforeTheTime) {
    EXPECT_EQ(DebugLogFormat::closingLine("12/06/24 17:20:05"),
              "Debug file was closed 12/06/24 17:20:05\r\n");
}

class DebugLogDateTime : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = std::setlocale(LC_TIME, nullptr);
        ASSERT_NE(std::setlocale(LC_TIME, "C"), nullptr);
    }
    void TearDown() override { std::setlocale(LC_TIME, saved_.c_str()); }

  private:
    std::string saved_;
};

TEST_F(DebugLogDateTime, ShortDateAndLongTimeOfTheLocale) {
    EXPECT_EQ(DebugLogFormat::formatDateTime(makeTime(2024, 12, 6, 17, 20, 5)),
              "12/06/24 17:20:05");
    EXPECT_EQ(DebugLogFormat::formatDateTime(makeTime(2000, 1, 2, 3, 4, 5)), "01/02/00 03:04:05");
}

}  // namespace
}  // namespace pelkora
