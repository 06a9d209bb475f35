#include <gtest/gtest.h>

#include "KeyerFixture.h"
#include "core/ptt/PttTiming.h"
#include "platform/fake/FakePttDeviceFactory.h"

namespace pelkora::test {
namespace {

using Lines = std::vector<std::string>;
using Status = PttDevice::Status;

// The keyer on a scriptable PTT device (a rig that may answer late or fail)
// in virtual time.
class TransmitTimingTest : public ::testing::Test {
  public:  // the table rows below act on the keyer directly
    TransmitTimingTest() {
        engine.setSoundDir("snd/");
        addFile("a.wav", 300);
        addFile("b.wav", 200);
        addFile("long.wav", 5000);
    }
    void addFile(const std::string& name, std::int64_t audioMs) {
        const std::string path = "snd/" + name;
        probe.setFile(path, static_cast<std::uint64_t>(audioMs) * 16, 16000,
                      static_cast<double>(audioMs));
        sound.setDuration(path, audioMs);
    }
    void openPort(std::int64_t latencyMs = 0) {
        devices.script().latencyMs = latencyMs;
        ptt.setPortNumber(1);
        ptt.OpenPort();
        scheduler.runUntilIdle();
        devices.clearCalls();
    }
    void fire(const std::string& macro) {
        engine.AddToQueue(macro);
        engine.PlayStack();
    }
    void run() { scheduler.runUntilIdle(scheduler.nowMs() + 10'000'000); }
    void advance(std::int64_t ms) { scheduler.advanceBy(ms); }
    Lines timeline() const { return recorder.only({"broadcast 11", "ptt", "play", "timeout"}); }

    VirtualScheduler scheduler;
    FakeSoundOutput sound{scheduler};
    FakeWavProbe probe;
    RecordingMessageBus bus;
    MemoryProfileStore profiles;
    MemoryDiagnosticLog log;
    FakePttDeviceFactory devices{scheduler};
    EventRecorder recorder{scheduler};
    PttPort ptt{devices, [this](const std::string& m) { recorder.onError(m); }};
    KeyerEngine engine{KeyerServices{scheduler, sound, probe, bus, profiles, log, ptt, recorder}};
};

struct OrderCase {
    const char* what;
    PttTiming timing;
    std::int64_t latencyMs;
    Lines expected;
};

TEST_F(TransmitTimingTest, LeadTailAndLatencyShiftTheMacroAsTheyShould) {
    const std::vector<OrderCase> cases = {
        {"no timing, a device that answers at once",
         {},
         0,
         {"0 broadcast 111", "0 ptt on", "0 play snd/a.wav", "300 broadcast 110", "300 ptt off"}},
        {"lead: the first sound waits",
         {200, 0, 0},
         0,
         {"0 broadcast 111", "0 ptt on", "200 play snd/a.wav", "500 broadcast 110", "500 ptt off"}},
        {"tail: the release waits after the last sound",
         {0, 150, 0},
         0,
         {"0 broadcast 111", "0 ptt on", "0 play snd/a.wav", "450 broadcast 110", "450 ptt off"}},
        {"a rig that answers late: the sound waits for its answer",
         {},
         100,
         {"0 broadcast 111", "100 ptt on", "100 play snd/a.wav", "400 broadcast 110",
          "500 ptt off"}},
        {"the lead counts from the rig's answer",
         {200, 50, 0},
         100,
         {"0 broadcast 111", "100 ptt on", "300 play snd/a.wav", "650 broadcast 110",
          "750 ptt off"}},
    };
    for (const OrderCase& c : cases) {
        SCOPED_TRACE(c.what);
        recorder.events.clear();
        openPort(c.latencyMs);
        engine.setPttTiming(c.timing);
        const std::int64_t start = scheduler.nowMs();
        fire("~[tx]~[fa.wav]~[rx]");
        run();
        Lines shifted;
        for (const std::string& line : timeline()) {
            const auto space = line.find(' ');
            shifted.push_back(std::to_string(std::stoll(line.substr(0, space)) - start) +
                              line.substr(space));
        }
        EXPECT_EQ(shifted, c.expected);
        EXPECT_FALSE(devices.keyed());
        EXPECT_TRUE(engine.settled());
    }
}

TEST_F(TransmitTimingTest, BeaconRepetitionsWaitForTheLeadAndKeepTheTail) {
    openPort(0);
    engine.setPttTiming({100, 50, 0});
    fire("~[tx]~[fa.wav]~[rp2000:2]");
    run();
    EXPECT_EQ(recorder.only({"ptt", "play", "beacon"}),
              (Lines{"0 ptt on", "0 beacon 1", "0 ptt on", "100 play snd/a.wav", "450 ptt off",
                     "2400 beacon 2", "2400 ptt on", "2500 play snd/a.wav", "2850 ptt off"}));
    EXPECT_FALSE(devices.keyed());
}

TEST_F(TransmitTimingTest, NothingAfterAReceiveEntryPlaysWhileTheTailRuns) {
    openPort(0);
    engine.setPttTiming({0, 500, 0});
    fire("~[tx]~[fa.wav]~[rx]~[fb.wav]");
    advance(600);
    EXPECT_EQ(timeline(), (Lines{"0 broadcast 111", "0 ptt on", "0 play snd/a.wav"}));
    EXPECT_TRUE(engine.txDown()) << "keyed through the tail";
    run();
    EXPECT_EQ(recorder.only({"ptt off", "play snd/b"}), Lines{"800 ptt off"});
    EXPECT_TRUE(engine.waitsForTransmitter()) << "b.wav waits for the next key, as before";
}

struct ReleaseCase {
    const char* what;
    PttTiming timing;
    std::int64_t releaseAtMs;
    std::function<void(KeyerEngine&)> release;
};

TEST_F(TransmitTimingTest, TheOperatorReleasesAtOnceDuringALeadOrATail) {
    const auto txUp = [](KeyerEngine& e) { e.setTxButton(false); };
    const auto esc = [](KeyerEngine& e) { e.EscapeKey(); };
    const auto logger = [](KeyerEngine& e) { e.commandedTransmit(false); };
    const std::vector<ReleaseCase> cases = {
        {"TX up during the lead", {1000, 0, 0}, 400, txUp},
        {"Esc during the lead", {1000, 0, 0}, 400, esc},
        {"the logger during the lead", {1000, 0, 0}, 400, logger},
        {"TX up during the tail", {0, 1000, 0}, 400, txUp},
        {"Esc during the tail", {0, 1000, 0}, 400, esc},
    };
    for (const ReleaseCase& c : cases) {
        SCOPED_TRACE(c.what);
        recorder.events.clear();
        engine.ClearListButtonClick();
        openPort(0);
        engine.setPttTiming(c.timing);
        const std::int64_t start = scheduler.nowMs();
        fire("~[tx]~[fa.wav]~[rx]");
        advance(c.releaseAtMs);
        c.release(engine);
        EXPECT_FALSE(devices.keyed());
        EXPECT_EQ(recorder.only({"ptt off"}),
                  Lines{std::to_string(start + c.releaseAtMs) + " ptt off"});
        advance(3000);
        EXPECT_EQ(recorder.only({"ptt"}).size(), 2u) << "nothing keys or releases later";
        EXPECT_FALSE(devices.keyed());
        if (c.timing.leadMs > 0) {
            EXPECT_TRUE(recorder.only({"play"}).empty()) << "released before the first sound";
        }
    }
}

TEST_F(TransmitTimingTest, ARigThatCannotKeyIsReportedOnceAndReleases) {
    for (const std::int64_t latency : {0, 100}) {
        SCOPED_TRACE(latency);
        recorder.events.clear();
        recorder.errors.clear();
        engine.ClearListButtonClick();
        devices.script().key = {Status::Failed, "the rig did not answer"};
        openPort(latency);
        fire("~[tx]~[fa.wav]~[rx]");
        run();
        EXPECT_EQ(recorder.errors,
                  Lines{"Can't key the transmitter on COM1!\nthe rig did not answer"});
        EXPECT_FALSE(engine.txDown()) << "the button is up again";
        EXPECT_EQ(recorder.only({"broadcast 11", "play", "ptt on"}).size(), 2u)
            << "111 and 110, nothing played, never reported keyed";
        EXPECT_EQ(bus.codes().back(), 110);
        engine.setTxButton(true);
        run();
        EXPECT_EQ(recorder.errors.size(), 1u) << "the same fault is not shown again";
        EXPECT_FALSE(engine.txDown());
        devices.script().key = {};
    }
}

TEST_F(TransmitTimingTest, AFailingRigStopsABeacon) {
    devices.script().key = {Status::Failed, "no answer"};
    openPort(100);
    fire("~[tx]~[fa.wav]~[rp1000:0]");
    run();
    EXPECT_FALSE(engine.beacon().running());
    EXPECT_TRUE(recorder.only({"play"}).empty());
    EXPECT_EQ(recorder.errors.size(), 1u);
}

struct TimeoutCase {
    const char* what;
    std::function<void(TransmitTimingTest&)> start;
};

TEST_F(TransmitTimingTest, TimeOutReleasesAsEscDoes) {
    const std::vector<TimeoutCase> cases = {
        {"Alt+T with nothing playing", [](TransmitTimingTest& t) { t.engine.setTxButton(true); }},
        {"a file longer than the time-out",
         [](TransmitTimingTest& t) { t.fire("~[tx]~[flong.wav]~[rx]"); }},
        {"a beacon whose repetition outlasts the time-out",
         [](TransmitTimingTest& t) { t.fire("~[tx]~[flong.wav]~[rp100:0]"); }},
        {"the logger's key", [](TransmitTimingTest& t) { t.engine.commandedTransmit(true); }},
    };
    for (const TimeoutCase& c : cases) {
        SCOPED_TRACE(c.what);
        recorder.events.clear();
        openPort(0);
        engine.setPttTiming({0, 0, 2});
        const std::int64_t start = scheduler.nowMs();
        c.start(*this);
        run();
        const std::string at = std::to_string(start + 2000);
        EXPECT_EQ(recorder.only({"ptt off", "timeout"}),
                  (Lines{at + " ptt off", at + " timeout 2"}));
        EXPECT_FALSE(devices.keyed());
        EXPECT_FALSE(engine.txDown());
        EXPECT_FALSE(engine.beacon().running());
        EXPECT_TRUE(engine.PlayQueue().empty());
        EXPECT_EQ(engine.displayText(), "");
        EXPECT_FALSE(sound.isPlaying());
        EXPECT_EQ(log.lines().back(), "TxTimeout=2");
    }
}

TEST_F(TransmitTimingTest, TimeOutCountsOnlyContinuousKeying) {
    openPort(0);
    engine.setPttTiming({0, 0, 2});
    engine.setTxButton(true);
    advance(1500);
    engine.setTxButton(false);
    engine.setTxButton(true);
    advance(1500);
    EXPECT_TRUE(engine.txDown()) << "keyed again at 1500: 1500 ms so far";
    engine.setTxButton(true);  // pressed while keyed: still the same keying
    advance(600);
    EXPECT_FALSE(engine.txDown());
    EXPECT_EQ(recorder.only({"timeout"}), Lines{"3500 timeout 2"});
}

TEST_F(TransmitTimingTest, ABeaconThatReleasesBetweenRepetitionsNeverTimesOut) {
    openPort(0);
    engine.setPttTiming({0, 0, 1});
    fire("~[tx]~[fa.wav]~[rp500:0]");
    advance(10'000);
    EXPECT_TRUE(engine.beacon().running());
    EXPECT_TRUE(recorder.only({"timeout"}).empty());
    engine.StopButtonClick();
}

TEST_F(TransmitTimingTest, ANewTimeOutAppliesToTheKeyingUnderWay) {
    openPort(0);
    engine.setTxButton(true);
    advance(5000);
    engine.setPttTiming({0, 0, 3});
    EXPECT_TRUE(engine.txDown()) << "released from the loop, not inside the settings call";
    advance(0);
    EXPECT_FALSE(engine.txDown());
    EXPECT_EQ(recorder.only({"timeout"}), Lines{"5000 timeout 3"});
}

// ------------------------------------------------------------------ settings

struct TimingRow {
    const char* lead;
    const char* tail;
    const char* timeout;
    PttTiming expected;
    std::size_t complaints;
};

TEST(PttTimingTest, ReadsClampsAndComplains) {
    const std::vector<TimingRow> rows = {
        {nullptr, nullptr, nullptr, {0, 0, 0}, 0},
        {"150", "300", "120", {150, 300, 120}, 0},
        {" 150 ", "0", "0", {150, 0, 0}, 0},
        {"-5", "abc", "1.5", {0, 0, 0}, 3},
        {"99999", "5001", "86400", {5000, 5000, 3600}, 3},
        {"5000", "5000", "3600", {5000, 5000, 3600}, 0},
        {"", "", "", {0, 0, 0}, 0},
        {"99999999999", "0x10", "", {0, 0, 0}, 2},
    };
    for (const TimingRow& row : rows) {
        MemoryProfileStore store;
        const auto put = [&store](const char* key, const char* value) {
            if (value != nullptr) {
                store.writeString("p.ini", "PTT", key, value);
            }
        };
        put("LeadMs", row.lead);
        put("TailMs", row.tail);
        put("TimeoutSeconds", row.timeout);
        std::vector<std::string> complaints;
        EXPECT_EQ(PttTiming::read(store, "p.ini", complaints), row.expected)
            << (row.lead ? row.lead : "-") << "/" << (row.tail ? row.tail : "-");
        EXPECT_EQ(complaints.size(), row.complaints);
    }
    EXPECT_EQ((PttTiming{-1, 7000, 99999}.clamped()), (PttTiming{0, 5000, 3600}));
}

}  // namespace
}  // namespace pelkora::test

namespace pelkora::test {
namespace {

// A rig's answer that comes after the keyer is gone must not reach it.
TEST(TransmitLifetimeTest, AnAnswerAfterTheKeyerIsGoneIsDropped) {
    VirtualScheduler scheduler;
    FakeSoundOutput sound{scheduler};
    FakeWavProbe probe;
    RecordingMessageBus bus;
    MemoryProfileStore profiles;
    MemoryDiagnosticLog log;
    FakePttDeviceFactory devices{scheduler};
    devices.script().latencyMs = 100;
    EventRecorder recorder{scheduler};
    PttPort ptt{devices, [](const std::string&) {}};
    ptt.setPortNumber(1);
    ptt.OpenPort();
    {
        KeyerEngine engine{
            KeyerServices{scheduler, sound, probe, bus, profiles, log, ptt, recorder}};
        engine.setTxButton(true);
    }
    scheduler.runUntilIdle();
    EXPECT_TRUE(recorder.only({"ptt"}).empty());
    ptt.TxOnOff(true, [](bool) {});
    ptt.closePort();
}

}  // namespace
}  // namespace pelkora::test
