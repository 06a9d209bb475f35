#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "RemoteFixture.h"
#include "core/remote/LoggerControl.h"

namespace pelkora::test {
namespace {

using Lines = std::vector<std::string>;

class LoggerControlTest : public RemoteFixture {
  protected:
    LoggerControl control{engine, host};
};

struct StateCase {
    std::int64_t code;
    bool txBefore;
    bool pauseBefore;
    bool txAfter;
    bool pauseAfter;
    // ReadyToPlay afterwards; nullopt: as it was before.
    std::optional<bool> readyAfter;
};

TEST_F(LoggerControlTest, EachStateCodeSetsItsButtonWithoutEcho) {
    const std::vector<StateCase> cases = {
        // 100 resume: Pause up, player ready.
        {100, false, false, false, false, true},
        {100, false, true, false, false, true},
        {100, true, false, true, false, true},
        {100, true, true, true, false, true},
        // 101 pause: Pause down, player waits.
        {101, false, false, false, true, false},
        {101, false, true, false, true, false},
        {101, true, false, true, true, false},
        {101, true, true, true, true, false},
        // 110 release: TX up, ReadyToPlay left alone.
        {110, false, false, false, false, std::nullopt},
        {110, false, true, false, true, std::nullopt},
        {110, true, false, false, false, std::nullopt},
        {110, true, true, false, true, std::nullopt},
        // 111 key: TX down and ready, even while paused.
        {111, false, false, true, false, true},
        {111, false, true, true, true, true},
        {111, true, false, true, false, true},
        {111, true, true, true, true, true},
    };
    for (const StateCase& c : cases) {
        SCOPED_TRACE("code " + std::to_string(c.code) + " tx " + std::to_string(c.txBefore) +
                     " pause " + std::to_string(c.pauseBefore));
        engine.setPauseButton(c.pauseBefore);
        engine.setTxButton(c.txBefore);
        const bool readyBefore = engine.ReadyToPlay();
        bus.clear();

        control.handle(c.code);

        EXPECT_EQ(engine.txDown(), c.txAfter);
        EXPECT_EQ(engine.pauseDown(), c.pauseAfter);
        EXPECT_EQ(engine.ReadyToPlay(), c.readyAfter.value_or(readyBefore));
        EXPECT_EQ(lines.rts(), c.txAfter) << "the lines follow the TX button";
        EXPECT_TRUE(bus.codes().empty()) << "the logger must not hear its own command back";
        EXPECT_TRUE(engine.PlayQueue().empty());
    }
}

TEST_F(LoggerControlTest, UnknownCodesChangeNothing) {
    engine.setTxButton(true);
    engine.AddToQueue("~[fa.wav]");
    bus.clear();
    lines.clearCalls();
    const std::vector<std::int64_t> codes = {0,
                                             13,
                                             99,
                                             102,
                                             109,
                                             112,
                                             -1,
                                             -100,
                                             -111,
                                             255,
                                             1000,
                                             std::int64_t{1} << 32,
                                             (std::int64_t{1} << 32) + 5,  // not macro 5
                                             std::numeric_limits<std::int32_t>::min(),
                                             std::numeric_limits<std::int64_t>::max()};
    for (const std::int64_t code : codes) {
        SCOPED_TRACE(code);
        control.handle(code);
        EXPECT_TRUE(engine.txDown());
        EXPECT_FALSE(engine.pauseDown());
        EXPECT_TRUE(engine.ReadyToPlay());
        EXPECT_EQ(queue(), (Lines{"snd/a.wav"}));
    }
    EXPECT_TRUE(host.askedKeys.empty());
    EXPECT_TRUE(bus.codes().empty());
    EXPECT_TRUE(lines.calls().empty());
}

TEST_F(LoggerControlTest, MacroCodeQueuesThatMacroWithoutStartingIt) {
    addFile("m5.wav", 100);
    engine.setTxButton(true);
    for (std::int64_t code = 1; code <= 12; ++code) {
        control.handle(code);
    }
    ASSERT_EQ(engine.PlayQueue().size(), 12u);
    EXPECT_EQ(engine.PlayQueue()[4], "snd/m5.wav");
    EXPECT_EQ(engine.PlayQueue()[11], "snd/m12.wav");
    run();
    EXPECT_TRUE(played().empty()) << "the next PlayStack plays it, not the code";
    EXPECT_FALSE(engine.runnerActive());
}

TEST_F(LoggerControlTest, MacroCodeSpellsWhatTheWindowFieldsHoldNow) {
    host.macros[2] = "~[ec]~[er]";
    host.call = "K1X";
    host.report = "57";
    engine.setCallText("STALE");
    control.handle(3);
    EXPECT_EQ(queue(), (Lines{"snd/K.wav", "snd/1.wav", "snd/X.wav", "snd/5.wav", "snd/7.wav"}));
}

TEST_F(LoggerControlTest, MacroCodeReachesARunnerAlreadyPlaying) {
    addFile("a.wav", 1000);
    addFile("b.wav", 1000);
    addFile("m2.wav", 100);
    engine.AddToQueue("~[tx]~[fa.wav]~[fb.wav]");
    engine.PlayStack();
    advance(100);
    control.handle(2);
    run();
    EXPECT_EQ(played(), (Lines{"0 play a.wav", "1002 play b.wav", "2004 play m2.wav"}));
}

TEST_F(LoggerControlTest, ReleaseWhilePlayingDropsTheLinesAndTheQueuePlaysOn) {
    addFile("a.wav", 1000);
    addFile("b.wav", 1000);
    engine.AddToQueue("~[tx]~[fa.wav]~[fb.wav]");
    engine.PlayStack();
    lines.clearCalls();
    bus.clear();
    advance(300);

    control.handle(LoggerControl::kRelease);

    EXPECT_EQ(lines.calls(), (Lines{"RTS 0"}));
    EXPECT_FALSE(engine.txDown());
    EXPECT_TRUE(sound.isPlaying()) << "the file is not cut";
    run();
    EXPECT_EQ(played(), (Lines{"0 play a.wav", "1002 play b.wav"}));
    EXPECT_TRUE(bus.codes().empty());
    EXPECT_FALSE(lines.rts());
}

TEST_F(LoggerControlTest, KeyWithoutAPortLightsTheLampAndTouchesNoLine) {
    ptt.closePort();
    lines.clearCalls();
    control.handle(LoggerControl::kKey);
    EXPECT_TRUE(engine.txDown());
    EXPECT_TRUE(engine.ReadyToPlay());
    EXPECT_TRUE(lines.calls().empty());
    EXPECT_EQ(recorder.only({"ptt", "broadcast"}), (Lines{"0 ptt on"}));
}

TEST_F(LoggerControlTest, PauseWhilePlayingCutsTheSoundAndResumePlaysTheRest) {
    addFile("a.wav", 1000);
    addFile("b.wav", 1000);
    engine.AddToQueue("~[tx]~[fa.wav]~[fb.wav]");
    engine.PlayStack();
    bus.clear();
    advance(300);

    control.handle(LoggerControl::kPause);
    EXPECT_FALSE(sound.isPlaying());
    EXPECT_FALSE(engine.Timer1().enabled());
    advance(5000);
    EXPECT_EQ(played(), (Lines{"0 play a.wav"})) << "nothing plays while paused";
    EXPECT_TRUE(lines.rts()) << "a pause does not release the transmitter";

    control.handle(LoggerControl::kResume);
    run();
    EXPECT_EQ(played(), (Lines{"0 play a.wav", "5300 play b.wav"}));
    EXPECT_TRUE(bus.codes().empty());
}

TEST_F(LoggerControlTest, PauseWhileIdleStopsNothingAndResumeMakesReady) {
    control.handle(LoggerControl::kPause);
    EXPECT_TRUE(engine.pauseDown());
    EXPECT_TRUE(recorder.only({"play", "ptt"}).empty());
    control.handle(LoggerControl::kResume);
    EXPECT_FALSE(engine.pauseDown());
    EXPECT_TRUE(engine.ReadyToPlay());
    EXPECT_TRUE(bus.codes().empty());
}

TEST_F(LoggerControlTest, KeyWakesAQueueThatWaitsForTheTransmitter) {
    addFile("a.wav", 100);
    engine.AddToQueue("~[fa.wav]");
    engine.PlayStack();
    run();
    ASSERT_TRUE(engine.waitsForTransmitter());
    control.handle(LoggerControl::kKey);
    run();
    EXPECT_EQ(played(), (Lines{"0 play a.wav"}));
    EXPECT_TRUE(lines.rts()) << "only the logger's 110 or a receive entry releases it";
    control.handle(LoggerControl::kRelease);
    EXPECT_FALSE(lines.rts());
}

}  // namespace
}  // namespace pelkora::test
