#include <gtest/gtest.h>

#include "KeyerFixture.h"

namespace pelkora::test {
namespace {

using Lines = std::vector<std::string>;

class BeaconTest : public KeyerFixture {
  protected:
    void SetUp() override {
        addFile("cq.wav", 300);
        addFile("id.wav", 200);
    }
    void fire(const std::string& macro) {
        engine.AddToQueue(macro);
        engine.PlayStack();
    }
    bool beaconOff() const {
        return !engine.stopEnabled() && engine.caption() == "Pelkora" &&
               !engine.beacon().Timer3().enabled();
    }
};

TEST_F(BeaconTest, CountedBeaconRepeatsAfterEachInterval) {
    fire("~[tx]~[fcq.wav]~[fid.wav]~[rp5000:3]");
    EXPECT_EQ(engine.caption(), "Pelkora: Beacon mode");
    EXPECT_TRUE(engine.stopEnabled());
    run();
    // Each repetition takes 500 ms; the interval runs from its release.
    EXPECT_EQ(played(), (Lines{"0 play cq.wav", "300 play id.wav", "5500 play cq.wav",
                               "5800 play id.wav", "11000 play cq.wav", "11300 play id.wav"}));
    EXPECT_EQ(recorder.only({"beacon", "ptt off"}),
              (Lines{"0 beacon 1", "500 ptt off", "5500 beacon 2", "6000 ptt off", "11000 beacon 3",
                     "11500 ptt off"}));
    EXPECT_TRUE(beaconOff());
    EXPECT_TRUE(engine.PlayQueue().empty());
    EXPECT_EQ(engine.displayText(), "");
    EXPECT_EQ(engine.beacon().BeaconDone(), 0);
    EXPECT_EQ(engine.beacon().BeaconText(), "");
    EXPECT_FALSE(engine.txDown());
}

TEST_F(BeaconTest, CountOfOnePlaysOnceAndEnds) {
    fire("~[tx]~[fcq.wav]~[rp5000:1]");
    run();
    EXPECT_EQ(played(), (Lines{"0 play cq.wav"}));
    EXPECT_TRUE(beaconOff());
}

TEST_F(BeaconTest, EndlessBeaconRunsUntilStop) {
    fire("~[tx]~[fcq.wav]~[rp1000:0]");
    advance(5000);
    EXPECT_EQ(played(),
              (Lines{"0 play cq.wav", "1300 play cq.wav", "2600 play cq.wav", "3900 play cq.wav"}));
    EXPECT_FALSE(engine.waitsForTransmitter()) << "between repetitions it waits for Timer3";
    EXPECT_FALSE(engine.settled());
    engine.StopButtonClick();
    EXPECT_TRUE(beaconOff());
    EXPECT_FALSE(engine.txDown());
    EXPECT_TRUE(engine.PlayQueue().empty());
    EXPECT_EQ(engine.beacon().BeaconText(), "\"cq.wav\"  ") << "Stop leaves the beacon text";
    run();
    EXPECT_EQ(played().size(), 4u);
}

TEST_F(BeaconTest, StopCutsTheSoundAndEndsTheRepetitionAtOnce) {
    fire("~[tx]~[fcq.wav]~[fid.wav]~[rp1000:0]");
    advance(100);
    engine.StopButtonClick();
    EXPECT_EQ(sound.cut(), (Lines{"snd/cq.wav"}));
    EXPECT_FALSE(engine.beacon().BeaconBusy());
    run();
    EXPECT_EQ(played(), (Lines{"0 play cq.wav"}));
}

TEST_F(BeaconTest, ZeroIntervalPlaysOnceThenStaysInBeaconMode) {
    fire("~[tx]~[fcq.wav]~[rp0:3]");
    run();
    EXPECT_EQ(played(), (Lines{"0 play cq.wav"}));
    EXPECT_EQ(engine.caption(), "Pelkora: Beacon mode");
    EXPECT_TRUE(engine.stopEnabled());
    engine.StopButtonClick();
    EXPECT_TRUE(beaconOff());
}

TEST_F(BeaconTest, PauseCountsMillisecondsInsideARepetition) {
    fire("~[tx]~[fcq.wav]~[p40]~[fid.wav]~[rp5000:1]");
    run();
    EXPECT_EQ(played(), (Lines{"0 play cq.wav", "340 play id.wav"}));
}

TEST_F(BeaconTest, ReceiveEntryReleasesMidRepetitionAndTheRestStillPlays) {
    fire("~[tx]~[fcq.wav]~[rx]~[fid.wav]~[rp5000:2]");
    run();
    EXPECT_EQ(recorder.only({"play", "ptt"}),
              (Lines{"0 ptt on", "0 ptt on", "0 play snd/cq.wav", "300 ptt off",
                     "300 play snd/id.wav", "500 ptt off", "5500 ptt on", "5500 play snd/cq.wav",
                     "5800 ptt off", "5800 play snd/id.wav", "6000 ptt off"}));
}

TEST_F(BeaconTest, DisplayShowsTheMacroAgainAtEachRepetition) {
    fire("~[tx]~[fcq.wav]~[fid.wav]~[rp5000:2]");
    EXPECT_EQ(engine.displayText(), "\"cq.wav\" \"id.wav\"  ");
    advance(5600);
    EXPECT_EQ(engine.displayText(), "\"cq.wav\" \"id.wav\"  ");
}

struct SyntaxCase {
    const char* beacon;
    std::int64_t intervalAfter;  // what Timer3 holds afterwards
};

class BeaconSyntax : public BeaconTest, public ::testing::WithParamInterface<SyntaxCase> {};

TEST_P(BeaconSyntax, MalformedBeaconIsReportedOnceAndNothingPlays) {
    fire(std::string("~[tx]~[fcq.wav]") + GetParam().beacon);
    run();
    EXPECT_EQ(recorder.errors, (Lines{"Wrong ~[rp] command syntax!"}));
    EXPECT_TRUE(played().empty());
    EXPECT_EQ(engine.PlayQueue().size(), 2u) << "the queue stays as it was";
    EXPECT_EQ(engine.beacon().Timer3().interval(), GetParam().intervalAfter);
    EXPECT_TRUE(beaconOff());
}

INSTANTIATE_TEST_SUITE_P(Beacon, BeaconSyntax,
                         ::testing::Values(SyntaxCase{"~[rp5000]", 0}, SyntaxCase{"~[rp:3]", 0},
                                           SyntaxCase{"~[rp5000:]", 5000},
                                           SyntaxCase{"~[rpx:3]", 0},
                                           SyntaxCase{"~[rp5000:x]", 5000}));

TEST_F(BeaconTest, BeaconThatCannotStartLeavesItsEntriesForTheNextRun) {
    fire("~[fcq.wav]~[rp5000:3]");  // transmitter not keyed: the player is not ready
    run();
    EXPECT_TRUE(played().empty());
    EXPECT_TRUE(beaconOff());
    EXPECT_EQ(engine.PlayQueue().size(), 2u);
    engine.setTxButton(true);
    run();
    EXPECT_TRUE(played().empty()) << "keying alone does not start a runner";
    fire("~[fid.wav]");
    run();
    EXPECT_EQ(recorder.only({"play", "skip"}),
              (Lines{"0 play snd/cq.wav", "302 skip ~[rp5000:3]", "302 play snd/id.wav"}));
}

TEST_F(BeaconTest, ClearDuringARepetitionEndsItWithoutReadingPastTheQueue) {
    fire("~[tx]~[fcq.wav]~[p500]~[fid.wav]~[fcq.wav]~[rp1000:0]");
    advance(400);  // inside the pause
    engine.ClearListButtonClick();
    run();
    EXPECT_EQ(played(), (Lines{"0 play cq.wav"}));
    EXPECT_FALSE(engine.txDown()) << "the transmitter is not left keyed";
    EXPECT_FALSE(engine.beacon().BeaconBusy());
    EXPECT_TRUE(engine.stopEnabled()) << "Clear leaves the beacon itself to Stop";
}

TEST_F(BeaconTest, BadPauseInsideARepetitionReleasesTheTransmitter) {
    fire("~[tx]~[fcq.wav]~[pz]~[fid.wav]~[rp1000:0]");
    run();
    EXPECT_EQ(recorder.errors, (Lines{"'z' is not a valid integer value"}));
    EXPECT_EQ(played(), (Lines{"0 play cq.wav"}));
    EXPECT_FALSE(engine.txDown());
    EXPECT_FALSE(engine.beacon().BeaconBusy());
    EXPECT_FALSE(scheduler.hasPending()) << "the fault does not come round again";
}

TEST_F(BeaconTest, LateRepetitionsHoldTheBusyMarkForAsLongAgain) {
    fire("~[tx]~[fcq.wav]~[rp100:0]");
    advance(300);
    EXPECT_FALSE(engine.beacon().BeaconBusy()) << "the first repetition does not wait";
    advance(450);  // the second repetition (400..700) is waited out until 1000
    EXPECT_TRUE(engine.beacon().BeaconBusy());
    scheduler.advanceTo(1000);
    // The Timer3 tick at 800 falls inside that wait and starts the third.
    EXPECT_EQ(played(), (Lines{"0 play cq.wav", "400 play cq.wav", "800 play cq.wav"}));
    engine.StopButtonClick();
}

}  // namespace
}  // namespace pelkora::test
