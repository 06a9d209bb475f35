#include "core/ptt/PttPort.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fake/FakePttDeviceFactory.h"
#include "platform/fake/FakeSerialLines.h"
#include "platform/fake/VirtualScheduler.h"
#include "platform/posix/SerialPttDeviceFactory.h"

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
    SerialPttDeviceFactory devices{lines};
    PttPort port{devices, [this](const std::string& message) { errors.push_back(message); }};
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

namespace pelkora {
namespace {

TEST_F(PttPortTest, TheReasonOfAFailedOpenIsItsSecondLine) {
    lines.failOpen("COM2", SerialLines::OpenStatus::CannotOpen,
                   "/dev/ttyUSB0 is held by another program");
    port.setPortNumber(2);
    port.OpenPort();
    EXPECT_EQ(errors,
              (std::vector<std::string>{"Can't open port COM2!\n/dev/ttyUSB0 is held by another "
                                        "program"}));
}

// A port whose device answers later, as a rig does.
class LatePttPortTest : public ::testing::Test {
  protected:
    LatePttPortTest() {
        devices.script().latencyMs = 100;
        port.setPortNumber(2);
    }
    VirtualScheduler scheduler;
    FakePttDeviceFactory devices{scheduler};
    std::vector<std::string> errors;
    PttPort port{devices, [this](const std::string& message) { errors.push_back(message); }};
};

TEST_F(LatePttPortTest, AnOpenErrorShowsWhenTheDeviceAnswers) {
    const std::vector<PttDevice::Outcome> outcomes = {
        {PttDevice::Status::CannotOpen, "rigctld at localhost:4532 refused the connection"},
        {PttDevice::Status::NotASerialPort, ""},
        {PttDevice::Status::CannotClearDtr, ""},
        {PttDevice::Status::Ok, ""},
    };
    const std::vector<std::string> messages = {
        "Can't open port COM2!\nrigctld at localhost:4532 refused the connection",
        "Pelkora COM-port error", "Can't clear DTR on COM2!", ""};
    const std::vector<bool> inUse = {false, false, true, true};
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        SCOPED_TRACE(i);
        errors.clear();
        devices.script().open = outcomes[i];
        std::vector<bool> opened;
        port.OpenPort([&opened](bool ok) { opened.push_back(ok); });
        EXPECT_TRUE(errors.empty() && opened.empty()) << "nothing before the answer";
        EXPECT_TRUE(port.busy());
        scheduler.advanceBy(100);
        EXPECT_EQ(opened, std::vector<bool>{inUse[i]});
        EXPECT_EQ(errors.empty() ? "" : errors.front(), messages[i]);
        EXPECT_EQ(port.isOpen(), inUse[i]);
        EXPECT_FALSE(port.busy());
    }
}

TEST_F(LatePttPortTest, ClosingBeforeTheAnswerCompletesEveryCallWithoutAnError) {
    std::vector<std::string> done;
    port.OpenPort([&done](bool ok) { done.push_back(ok ? "opened" : "not opened"); });
    port.TxOnOff(true, [&done](bool ok) { done.push_back(ok ? "keyed" : "not keyed"); });
    port.closePort();
    EXPECT_EQ(done, (std::vector<std::string>{"not opened", "keyed"}));
    scheduler.runUntilIdle();
    EXPECT_EQ(done.size(), 2u) << "the closed device never answers";
    EXPECT_TRUE(errors.empty());
    EXPECT_FALSE(devices.keyed());
}

TEST_F(LatePttPortTest, CallsAreAnsweredInOrderAndAFailedReleaseIsShown) {
    port.OpenPort();
    std::vector<std::string> done;
    port.TxOnOff(true, [&done](bool ok) { done.push_back(ok ? "on" : "on failed"); });
    port.TxOnOff(false, [&done](bool ok) { done.push_back(ok ? "off" : "off failed"); });
    scheduler.runUntilIdle();
    EXPECT_EQ(done, (std::vector<std::string>{"on", "off"}));
    EXPECT_EQ(devices.calls(), (std::vector<std::string>{"open COM2", "key COM2", "release COM2"}));

    devices.script().release = {PttDevice::Status::Failed, "timed out"};
    port.OpenPort();
    port.TxOnOff(true);
    port.TxOnOff(false);
    scheduler.runUntilIdle();
    EXPECT_EQ(errors, (std::vector<std::string>{"Can't release the transmitter on COM2!\ntimed "
                                                "out"}));
}

// A rig that went away fails the key and the release that follows it: one
// box, the key's, since nothing was keyed.
TEST_F(LatePttPortTest, ARigThatFailsToKeyIsReportedOnceNotAgainOnItsRelease) {
    devices.script().key = {PttDevice::Status::Failed, "IO error"};
    devices.script().release = {PttDevice::Status::Failed, "IO error"};
    port.OpenPort();
    for (int attempt = 0; attempt < 2; ++attempt) {
        port.TxOnOff(true);
        port.TxOnOff(false);
        scheduler.runUntilIdle();
    }
    EXPECT_EQ(errors, (std::vector<std::string>{"Can't key the transmitter on COM2!\nIO error"}));
}

}  // namespace
}  // namespace pelkora
