#include "core/ptt/PttMenu.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ptt/PttPort.h"
#include "platform/fake/FakeSerialLines.h"
#include "platform/fake/MemoryProfileStore.h"
#include "platform/posix/SerialPttDeviceFactory.h"

namespace pelkora {
namespace {

using Texts = std::vector<std::string>;

// Notes how many serial calls had happened at each write, so a test can tell
// whether the choice was stored before the port was touched.
class SerialAwareStore : public MemoryProfileStore {
  public:
    explicit SerialAwareStore(const FakeSerialLines& lines) : lines_(lines) {}
    void writeString(const std::string& file, const std::string& section, const std::string& key,
                     const std::string& value) override {
        serialCallsAtWrite.push_back(lines_.calls().size());
        MemoryProfileStore::writeString(file, section, key, value);
    }
    std::vector<std::size_t> serialCallsAtWrite;

  private:
    const FakeSerialLines& lines_;
};

class PttMenuTest : public ::testing::Test {
  protected:
    void start(int portNumber, int line) {
        menu.initialise(portNumber, line);
        lines.clearCalls();
        errors.clear();
    }

    // Writes as "<file> <section>/<key>=<value>".
    Texts writes() const {
        Texts out;
        for (const auto& w : profiles.writes()) {
            out.push_back(w.file + " " + w.section + "/" + w.key + "=" + w.value);
        }
        return out;
    }

    int checkedCount(bool portGroup) const {
        int count = 0;
        for (const auto& item : PttMenu::items()) {
            count += (item.isPort == portGroup && menu.isChecked(item.name)) ? 1 : 0;
        }
        return count;
    }

    std::string settingsPath = "/home/op/pelkora.ini";
    FakeSerialLines lines;
    SerialAwareStore profiles{lines};
    Texts errors;
    SerialPttDeviceFactory devices{lines};
    PttPort port{devices, [this](const std::string& m) { errors.push_back(m); }};
    PttMenu menu{port, profiles, [this] { return settingsPath; },
                 [this](const std::string& m) { errors.push_back(m); }};
};

struct StartCase {
    int storedPort, storedLine;
    std::string portItem, lineItem, caption;
    Texts calls;
};

TEST_F(PttMenuTest, StartUpChecksTheStoredChoiceAndOpensOnlyARealPort) {
    const Texts opened2{"open COM2", "RTS 0", "DTR 0"};
    const Texts opened3{"open COM3", "RTS 0", "DTR 0"};
    const std::vector<StartCase> cases = {
        {0, 1, "PTT0", "PTTS1", "NONE", {}},
        {0, 3, "PTT0", "PTTS3", "NONE", {}},
        {2, 2, "PTT2", "PTTS2", "PTT on COM2/Use DTR for PTT", opened2},
        {8,
         3,
         "COM81",
         "PTTS3",
         "PTT on COM8/Use RTS and DTR for PTT",
         {"open COM8", "RTS 0", "DTR 0"}},
        // Values the menu cannot show fall back to "NONE" and RTS.
        {9, 2, "PTT0", "PTTS2", "NONE", {}},
        {-1, 1, "PTT0", "PTTS1", "NONE", {}},
        {3, 0, "PTT3", "PTTS1", "PTT on COM3/Use RTS for PTT", opened3},
        {3, 4, "PTT3", "PTTS1", "PTT on COM3/Use RTS for PTT", opened3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.storedPort) + "/" + std::to_string(c.storedLine));
        FakeSerialLines freshLines;
        SerialPttDeviceFactory freshDevices{freshLines};
        PttPort freshPort{freshDevices, [](const std::string&) {}};
        PttMenu fresh{freshPort, profiles, [this] { return settingsPath; },
                      [](const std::string&) {}};
        fresh.initialise(c.storedPort, c.storedLine);
        EXPECT_EQ(fresh.checkedPortItem(), c.portItem);
        EXPECT_EQ(fresh.checkedLineItem(), c.lineItem);
        EXPECT_EQ(fresh.caption(), c.caption);
        EXPECT_EQ(freshLines.calls(), c.calls);
    }
    EXPECT_TRUE(profiles.writes().empty());
}

TEST_F(PttMenuTest, StartUpGoesOnWhenThePortCannotBeOpened) {
    lines.failOpen("COM4", SerialLines::OpenStatus::CannotOpen);
    menu.initialise(4, 1);
    EXPECT_EQ(errors, Texts{"Can't open port COM4!"});
    EXPECT_EQ(menu.caption(), "PTT on COM4/Use RTS for PTT");
    EXPECT_FALSE(port.isOpen());
}

struct ClickCase {
    std::string item, portItem, lineItem;
    int storedPort, storedLine;
    std::string caption;
};

TEST_F(PttMenuTest, ClickChecksItsItemStoresBothValuesAndSetsTheCaption) {
    const std::vector<ClickCase> cases = {
        {"PTT0", "PTT0", "PTTS2", 0, 2, "NONE"},
        {"PTT1", "PTT1", "PTTS2", 1, 2, "PTT on COM1/Use DTR for PTT"},
        {"PTT4", "PTT4", "PTTS2", 4, 2, "PTT on COM4/Use DTR for PTT"},
        {"COM51", "COM51", "PTTS2", 5, 2, "PTT on COM5/Use DTR for PTT"},
        {"COM81", "COM81", "PTTS2", 8, 2, "PTT on COM8/Use DTR for PTT"},
        {"PTTS1", "PTT2", "PTTS1", 2, 1, "PTT on COM2/Use RTS for PTT"},
        {"PTTS3", "PTT2", "PTTS3", 2, 3, "PTT on COM2/Use RTS and DTR for PTT"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.item);
        start(2, 2);
        const std::size_t writesBefore = profiles.writes().size();
        menu.PTTClick(c.item);
        EXPECT_EQ(menu.checkedPortItem(), c.portItem);
        EXPECT_EQ(menu.checkedLineItem(), c.lineItem);
        EXPECT_EQ(checkedCount(true), 1);
        EXPECT_EQ(checkedCount(false), 1);
        const Texts expected{settingsPath + " Config/PTTPort=" + std::to_string(c.storedPort),
                             settingsPath + " Config/PTTLine=" + std::to_string(c.storedLine)};
        const Texts all = writes();
        EXPECT_EQ(Texts(all.begin() + static_cast<long>(writesBefore), all.end()), expected);
        EXPECT_EQ(menu.caption(), c.caption);
    }
}

TEST_F(PttMenuTest, EveryClickStoresTheChoiceBeforeTheLinesAreTouched) {
    start(0, 1);
    menu.PTTClick("PTT3");
    settingsPath = "/srv/other/pelkora.ini";
    menu.PTTClick("PTT3");
    EXPECT_EQ(writes(), (Texts{"/home/op/pelkora.ini Config/PTTPort=3",
                               "/home/op/pelkora.ini Config/PTTLine=1",
                               "/srv/other/pelkora.ini Config/PTTPort=3",
                               "/srv/other/pelkora.ini Config/PTTLine=1"}));
    // First click: no serial call yet; second: only the first open was done.
    EXPECT_EQ(profiles.serialCallsAtWrite, (std::vector<std::size_t>{0, 0, 3, 3}));
}

TEST_F(PttMenuTest, NoneClosesTheOpenPortAndLaterTransmitsKeyNothing) {
    start(3, 3);
    menu.PTTClick("PTT0");
    EXPECT_EQ(lines.calls(), Texts{"close"});
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(menu.caption(), "NONE");
    lines.clearCalls();
    port.TxOnOff(true);
    EXPECT_TRUE(lines.calls().empty());
}

TEST_F(PttMenuTest, LineChosenWithoutPortIsStoredButOpensNothing) {
    start(0, 1);
    menu.PTTClick("PTTS2");
    EXPECT_EQ(port.lineChoice(), 2);
    EXPECT_TRUE(lines.calls().empty());
    EXPECT_EQ(menu.caption(), "NONE");
    EXPECT_EQ(writes().back(), settingsPath + " Config/PTTLine=2");
}

TEST_F(PttMenuTest, ChoosingThePortOrALineAgainReopensWithBothLinesLow) {
    for (const std::string item : {"PTT2", "PTTS3"}) {
        SCOPED_TRACE(item);
        start(2, 3);
        port.TxOnOff(true);
        lines.clearCalls();
        menu.PTTClick(item);
        EXPECT_EQ(lines.calls(), (Texts{"close", "open COM2", "RTS 0", "DTR 0"}));
        EXPECT_FALSE(lines.rts());
        EXPECT_FALSE(lines.dtr());
    }
}

TEST_F(PttMenuTest, PortThatCannotBeOpenedIsStillSavedAndNamed) {
    start(0, 1);
    lines.failOpen("COM6", SerialLines::OpenStatus::CannotOpen);
    menu.PTTClick("COM61");
    EXPECT_EQ(errors, Texts{"Can't open port COM6!"});
    EXPECT_EQ(writes().front(), settingsPath + " Config/PTTPort=6");
    EXPECT_TRUE(menu.isChecked("COM61"));
    EXPECT_EQ(menu.caption(), "PTT on COM6/Use RTS for PTT");
    EXPECT_FALSE(port.isOpen());
}

TEST_F(PttMenuTest, RefusedWriteIsShownAndTheOpenPortIsLeftAlone) {
    start(2, 1);
    profiles.refuseWrites(settingsPath);
    menu.PTTClick("PTT3");
    EXPECT_EQ(errors, Texts{"Unable to write to /home/op/pelkora.ini"});
    EXPECT_TRUE(lines.calls().empty());
    EXPECT_EQ(lines.openPort(), "COM2");
}

TEST_F(PttMenuTest, ReleaseAfterARefusedLineChangeDropsTheLineThatKeyed) {
    // Keyed on RTS; the operator picks DTR but the choice cannot be stored,
    // so the port is not reopened. The release must still drop RTS.
    start(1, 1);
    port.TxOnOff(true);
    ASSERT_TRUE(lines.rts());
    profiles.refuseWrites(settingsPath);
    menu.PTTClick("PTTS2");
    port.TxOnOff(false);
    EXPECT_FALSE(lines.rts());
    EXPECT_FALSE(lines.dtr());
    lines.clearCalls();
    port.TxOnOff(false);
    EXPECT_EQ(lines.calls(), (Texts{"DTR 0"})) << "only the chosen line once nothing is up";
}

TEST_F(PttMenuTest, UnknownItemNamesAreIgnored) {
    start(2, 2);
    for (const std::string name : {"", "-", "PTT9", "COM5", "NONE", "PTTS4"}) {
        SCOPED_TRACE(name);
        menu.PTTClick(name);
        EXPECT_TRUE(profiles.writes().empty());
        EXPECT_TRUE(lines.calls().empty());
        EXPECT_EQ(menu.checkedPortItem(), std::string("PTT2"));
        EXPECT_EQ(menu.checkedLineItem(), std::string("PTTS2"));
        EXPECT_EQ(menu.caption(), "PTT on COM2/Use DTR for PTT");
    }
}

}  // namespace
}  // namespace pelkora
