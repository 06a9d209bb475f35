#include "core/ptt/PttPort.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fake/FakeSerialLines.h"

namespace pelkora {
namespace {

using Calls = std::vector<std::string>;
using Status = SerialLines::OpenStatus;

class PttPortTest : public ::testing::Test {
  protected:
    void openOn(int portNumber, int line = 1) {
        port.setPortNumber(portNumber);
        port.setLineChoice(line);
        port.OpenPort();
        lines.clearCalls();
        errors.clear();
    }

    FakeSerialLines lines;
    std::vector<std::string> errors;
    PttPort port{lines, [this](const std::string& message) { errors.push_back(message); }};
};

TEST_F(PttPortTest, OpenLowersRtsThenDtrAndReportsNothing) {
    port.setPortNumber(8);
    port.OpenPort();
    EXPECT_EQ(lines.calls(), (Calls{"open COM8", "RTS 0", "DTR 0"}));
    EXPECT_TRUE(port.isOpen());
    EXPECT_TRUE(errors.empty());
}

struct OpenFailureCase {
    Status status;
    std::string message;
};

TEST_F(PttPortTest, FailedOpenIsReportedAndLeavesNoPortOpen) {
    const std::vector<OpenFailureCase> cases = {
        {Status::CannotOpen, "Can't open port COM3!"},
        {Status::NotASerialPort, "Pelkora COM-port error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        openOn(1);
        lines.failOpen("COM3", c.status);
        port.setPortNumber(3);
        port.OpenPort();
        EXPECT_EQ(lines.calls(), (Calls{"close", "open COM3"}));
        EXPECT_EQ(errors, (std::vector<std::string>{c.message}));
        EXPECT_FALSE(port.isOpen());
        lines.clearCalls();
        port.TxOnOff(true);
        EXPECT_TRUE(lines.calls().empty());
    }
}

TEST_F(PttPortTest, FailureToClearDtrIsReportedButThePortStaysInUse) {
    lines.failLine(SerialLines::Line::Dtr);
    port.setPortNumber(3);
    port.OpenPort();
    EXPECT_EQ(lines.calls(), (Calls{"open COM3", "RTS 0", "DTR 0"}));
    EXPECT_EQ(errors, (std::vector<std::string>{"Can't clear DTR on COM3!"}));
    EXPECT_TRUE(port.isOpen());
}

TEST_F(PttPortTest, FailureToClearRtsOnOpenIsSilent) {
    lines.failLine(SerialLines::Line::Rts);
    port.setPortNumber(3);
    port.OpenPort();
    EXPECT_EQ(lines.calls(), (Calls{"open COM3", "RTS 0", "DTR 0"}));
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(port.isOpen());
}

TEST_F(PttPortTest, ReopeningClosesFirstAndDropsRaisedLines) {
    openOn(2, 3);
    port.TxOnOff(true);
    port.setPortNumber(5);
    lines.clearCalls();
    port.OpenPort();
    EXPECT_EQ(lines.calls(), (Calls{"close", "open COM5", "RTS 0", "DTR 0"}));
    EXPECT_EQ(lines.openPort(), "COM5");
    EXPECT_FALSE(lines.rts());
    EXPECT_FALSE(lines.dtr());
}

struct TxCase {
    int line;
    bool on;
    Calls calls;
};

TEST_F(PttPortTest, TxOnOffDrivesTheChosenLinesRtsBeforeDtr) {
    const std::vector<TxCase> cases = {
        {1, true, {"RTS 1"}},  {2, true, {"DTR 1"}},  {3, true, {"RTS 1", "DTR 1"}},
        {1, false, {"RTS 0"}}, {2, false, {"DTR 0"}}, {3, false, {"RTS 0", "DTR 0"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("line " + std::to_string(c.line) + (c.on ? " on" : " off"));
        openOn(4, c.line);
        port.TxOnOff(c.on);
        EXPECT_EQ(lines.calls(), c.calls);
    }
}

TEST_F(PttPortTest, ReleaseDropsEveryLineThatKeyedWhateverTheChoiceIsNow) {
    // Keyed on both lines, then the choice narrows to RTS: a DTR left high
    // would keep the transmitter keyed after the release.
    openOn(4, 3);
    port.TxOnOff(true);
    port.setLineChoice(1);
    port.TxOnOff(false);
    EXPECT_FALSE(lines.rts());
    EXPECT_FALSE(lines.dtr());
    // A line this port never raised is not touched outside the choice.
    lines.clearCalls();
    port.TxOnOff(false);
    EXPECT_EQ(lines.calls(), Calls{"RTS 0"});
}

TEST_F(PttPortTest, LineChoiceThatKeysNothingIsTakenAsRts) {
    for (const int line : {0, 4, -1, 1000}) {
        SCOPED_TRACE(line);
        openOn(4, line);
        EXPECT_EQ(port.lineChoice(), 1);
        port.TxOnOff(true);
        EXPECT_EQ(lines.calls(), Calls{"RTS 1"});
        port.TxOnOff(false);
        EXPECT_FALSE(lines.rts());
    }
}

TEST_F(PttPortTest, TxOnOffWithoutOpenPortDoesNothing) {
    port.setLineChoice(3);
    port.TxOnOff(true);
    port.TxOnOff(false);
    EXPECT_TRUE(lines.calls().empty());
}

TEST_F(PttPortTest, LineFailuresDuringTransmitAreSilentAndDoNotStopTheOtherLine) {
    openOn(4, 3);
    lines.failLine(SerialLines::Line::Rts);
    port.TxOnOff(true);
    EXPECT_EQ(lines.calls(), (Calls{"RTS 1", "DTR 1"}));
    EXPECT_TRUE(lines.dtr());
    EXPECT_TRUE(errors.empty());
}

}  // namespace
}  // namespace pelkora
