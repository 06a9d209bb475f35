#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <utility>

#include "KeyerFixture.h"

// The ways a keyer could leave the transmitter keyed on silence, or stop
// moving time: each ends with the lines down and nothing left armed.
namespace pelkora::test {
namespace {

using Lines = std::vector<std::string>;

class KeyerSafetyTest : public KeyerFixture {
  protected:
    void SetUp() override {
        ptt.setPortNumber(1);
        ptt.setLineChoice(1);
        ptt.OpenPort();
    }
    // Runs at most a bounded number of tasks; a timer that re-arms at the same
    // instant for ever would otherwise hang the test.
    bool runBounded(int tasks = 10'000) {
        for (int n = 0; n < tasks; ++n) {
            if (!scheduler.runNext()) {
                return true;
            }
        }
        return false;
    }
};

TEST_F(KeyerSafetyTest, PauseThatIsOverBeforeItEndsDoesNotSpin) {
    // Keying again while a zero or negative pause is pending makes the player
    // ready before Timer1 falls due; Timer1 then has nothing to end.
    for (const char* macro : {"~[p0]", "~[p-5]", "~[p10]"}) {
        SCOPED_TRACE(macro);
        engine.setTxButton(true);
        engine.AddToQueue(macro);
        engine.PlayStack();
        engine.setTxButton(true);
        EXPECT_TRUE(runBounded()) << "Timer1 kept re-arming";
        EXPECT_FALSE(engine.Timer1().enabled());
        EXPECT_TRUE(engine.settled());
        engine.setTxButton(false);
    }
}

TEST_F(KeyerSafetyTest, FileTheSoundOutputRefusesIsSkippedAtOnce) {
    // A header of half an hour that the server will not take: the entry must
    // not keep the transmitter keyed for the header's length.
    probe.setFile("snd/huge.wav", 28'800'044, 16000, 1800.0);
    sound.setUnplayable("snd/huge.wav");
    addFile("b.wav", 100);
    engine.AddToQueue("~[tx]~[fhuge.wav]~[fb.wav]~[rx]");
    engine.PlayStack();
    ASSERT_TRUE(runBounded());
    EXPECT_EQ(recorder.only({"play", "skip", "ptt"}),
              (Lines{"0 ptt on", "0 skip snd/huge.wav", "0 play snd/b.wav", "102 ptt off"}));
    EXPECT_FALSE(lines.rts());
    EXPECT_EQ(log.lines().front(), "WaveRes=snd/huge.wav");
    EXPECT_NE(std::find(log.lines().begin(), log.lines().end(),
                        "Skipped=snd/huge.wav: the sound output refused it"),
              log.lines().end());
}

TEST_F(KeyerSafetyTest, SoundWhoseEndNeverComesIsTakenAsLost) {
    // A frozen sound server never reports the end: after the file's length
    // and the margin, the sound is cut and the transmitter released, once.
    addFile("a.wav", 1000);
    sound.setDuration("snd/a.wav", 3'600'000);
    addFile("b.wav", 100);
    engine.AddToQueue("~[tx]~[fa.wav]~[fb.wav]~[rx]");
    engine.PlayStack();
    advance(1000 + KeyerEngine::kSoundEndMarginMs - 1);
    EXPECT_TRUE(lines.rts()) << "still within the margin";
    advance(1);
    EXPECT_FALSE(lines.rts());
    EXPECT_FALSE(engine.txDown());
    EXPECT_EQ(sound.cut(), (Lines{"snd/a.wav"}));
    EXPECT_EQ(recorder.only({"sound lost"}).size(), 1u);
    EXPECT_EQ(recorder.only({"play"}), (Lines{"0 play snd/a.wav"}))
        << "nothing more goes on air without a transmitter";
    advance(600'000);
    EXPECT_EQ(recorder.only({"sound lost"}).size(), 1u);
}

TEST_F(KeyerSafetyTest, SoundThatEndsLateButWithinTheMarginIsKept) {
    addFile("a.wav", 1000);
    sound.setDuration("snd/a.wav", 1000 + KeyerEngine::kSoundEndMarginMs - 10);
    engine.AddToQueue("~[tx]~[fa.wav]~[rx]");
    engine.PlayStack();
    ASSERT_TRUE(runBounded());
    EXPECT_TRUE(recorder.only({"sound lost"}).empty());
    EXPECT_EQ(recorder.only({"ptt"}), (Lines{"0 ptt on", "2990 ptt off"}));
}

TEST_F(KeyerSafetyTest, SoundServerLostReleasesTheTransmitterOnce) {
    addFile("a.wav", 1000);
    engine.AddToQueue("~[tx]~[fa.wav]~[rx]");
    engine.PlayStack();
    advance(300);
    engine.onSoundServerLost("connection refused");
    EXPECT_FALSE(lines.rts());
    EXPECT_EQ(recorder.only({"ptt", "sound lost"}),
              (Lines{"0 ptt on", "300 ptt off", "300 sound lost connection refused"}));
    EXPECT_EQ(sound.cut(), (Lines{"snd/a.wav"}));
}

TEST_F(KeyerSafetyTest, ShutdownLeavesNothingKeyedWhateverWasRunning) {
    struct Case {
        const char* name;
        const char* macro;
        std::int64_t after;
    };
    const Case cases[] = {
        {"mid-file", "~[tx]~[fa.wav]~[fa.wav]", 50},
        {"mid-pause", "~[tx]~[p200]~[fa.wav]", 50},
        {"beacon playing", "~[fa.wav]~[rp1000:0]", 50},
        {"beacon waiting", "~[fa.wav]~[rp1000:0]", 500},
        {"keyed, idle", "~[tx]", 50},
        {"waiting for the transmitter", "~[fa.wav]", 50},
    };
    addFile("a.wav", 100);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        engine.AddToQueue(c.macro);
        engine.PlayStack();
        advance(c.after);
        engine.shutdown();
        EXPECT_FALSE(lines.rts());
        EXPECT_FALSE(engine.txDown());
        EXPECT_TRUE(engine.settled());
        EXPECT_FALSE(sound.isPlaying());
        advance(10'000);
        EXPECT_FALSE(lines.rts()) << "nothing keys again after the shutdown";
    }
}

TEST_F(KeyerSafetyTest, QueueChangedWhileAnEntryIsReportedKeepsEveryNewEntry) {
    // A front end that let the operator act while an error was on screen
    // (a modal box's own event loop) changes the queue under the runner.
    struct Case {
        const char* name;
        const char* macro;
        std::function<void(KeyerEngine&)> duringTheError;
        Lines expected;
    };
    const Case cases[] = {
        {"Clear and a new macro",
         "~[tx]~[p4x]~[fc.wav]",
         [](KeyerEngine& e) {
             e.ClearListButtonClick();
             e.AddToQueue("~[fa.wav]~[fb.wav]");
             e.PlayStack();
         },
         {"0 error '4x' is not a valid integer value", "0 play snd/a.wav", "102 play snd/b.wav"}},
        {"a new macro behind",
         "~[tx]~[p4x]~[fc.wav]",
         [](KeyerEngine& e) {
             e.AddToQueue("~[fa.wav]");
             e.PlayStack();
         },
         {"0 error '4x' is not a valid integer value", "0 play snd/c.wav", "102 play snd/a.wav"}},
        {"a new macro that starts with its own error",
         "~[tx]~[p4x]~[fc.wav]",
         [](KeyerEngine& e) {
             e.ClearListButtonClick();
             e.AddToQueue("~[p5y]~[fa.wav]");
             e.PlayStack();
         },
         {"0 error '4x' is not a valid integer value", "0 error '5y' is not a valid integer value",
          "0 play snd/a.wav"}},
        {"Clear alone",
         "~[tx]~[p4x]~[fc.wav]",
         [](KeyerEngine& e) { e.ClearListButtonClick(); },
         {"0 error '4x' is not a valid integer value"}},
    };
    for (const char* name : {"a.wav", "b.wav", "c.wav"}) {
        addFile(name, 100);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        recorder.events.clear();
        bool once = false;
        recorder.afterError = [&] {
            if (!std::exchange(once, true)) {
                c.duringTheError(engine);
            }
        };
        const std::int64_t start = scheduler.nowMs();
        engine.AddToQueue(c.macro);
        engine.PlayStack();
        ASSERT_TRUE(runBounded());
        Lines seen;
        for (const std::string& event : recorder.only({"play", "error"})) {
            const std::size_t space = event.find(' ');
            seen.push_back(std::to_string(std::stoll(event.substr(0, space)) - start) +
                           event.substr(space));
        }
        EXPECT_EQ(seen, c.expected);
        EXPECT_TRUE(engine.settled());
        EXPECT_TRUE(lines.rts()) << "nothing here releases the transmitter";
    }
}

TEST_F(KeyerSafetyTest, ErrorHandlerThatThrowsDoesNotStopTheRunnerForGood) {
    addFile("a.wav", 100);
    addFile("b.wav", 100);
    recorder.afterError = [] { throw std::runtime_error("no memory for the box"); };
    engine.AddToQueue("~[tx]~[p4x]~[fa.wav]");
    EXPECT_THROW(engine.PlayStack(), std::runtime_error);
    recorder.afterError = nullptr;
    engine.AddToQueue("~[fb.wav]");
    engine.PlayStack();
    ASSERT_TRUE(runBounded());
    EXPECT_EQ(played(), (Lines{"0 play a.wav", "102 play b.wav"}))
        << "the bad entry is gone; the rest and the next macro play";
}

TEST_F(KeyerSafetyTest, ShutdownAfterAFaultStillDropsTheLines) {
    addFile("a.wav", 1000);
    engine.AddToQueue("~[tx]~[fa.wav]");
    engine.PlayStack();
    advance(10);
    engine.shutdownAfterFault();
    EXPECT_FALSE(lines.rts());
    EXPECT_FALSE(sound.isPlaying());
}

}  // namespace
}  // namespace pelkora::test

namespace pelkora::test {
namespace {

TEST_F(KeyerSafetyTest, TransmitterIsKeyedOnlyAfterTheMacroIsExpanded) {
    // Reading the logger's settings file can be slow; the transmitter must
    // not be keyed on silence meanwhile, whatever the order in the macro.
    addFile("cq.wav", 100);
    std::vector<bool> keyedWhileReading;
    profiles.onRead = [&] { keyedWhileReading.push_back(lines.rts()); };
    engine.AddToQueue("~[tx]~[iCALL]~[fcq.wav]~[iNAME]");
    EXPECT_EQ(keyedWhileReading, (std::vector<bool>{false, false}));
    EXPECT_TRUE(engine.txDown()) << "keyed once the macro is expanded";
    EXPECT_TRUE(lines.rts());
}

TEST_F(KeyerSafetyTest, MacroWhoseExpansionFailsKeysNothing) {
    profiles.onRead = [] { throw std::runtime_error("Unable to read morvel.ini"); };
    EXPECT_THROW(engine.AddToQueue("~[tx]~[iCALL]"), std::runtime_error);
    EXPECT_FALSE(lines.rts());
    profiles.onRead = nullptr;
    engine.AddToQueue("~[tx]");
    EXPECT_TRUE(lines.rts()) << "the next macro keys as usual";
}

}  // namespace
}  // namespace pelkora::test
