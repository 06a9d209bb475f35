#include <gtest/gtest.h>

#include "KeyerFixture.h"

namespace pelkora::test {
namespace {

using Lines = std::vector<std::string>;

class KeyerEngineTest : public KeyerFixture {};

TEST_F(KeyerEngineTest, ContestExchangePlaysInOrderWithItsPause) {
    for (const char* name : {"cq.wav", "A.wav", "B.wav", "stroke.wav", "1.wav", "5.wav", "9.wav"}) {
        addFile(name, 100);
    }
    engine.setCallText("AB/1");
    engine.AddToQueue("~[tx]~[fcq.wav]~[ec]~[p40]~[er]~[rx]");
    EXPECT_TRUE(engine.txDown()) << "~[tx] keys during expansion";
    EXPECT_EQ(engine.displayText(), "\"cq.wav\" AB/1  59 [RX] ");
    EXPECT_EQ(engine.PlayQueue().size(), 9u);
    engine.PlayStack();
    run();
    // Each 100 ms file ends when its header time (102 ms) is up.
    EXPECT_EQ(played(),
              (Lines{"0 play cq.wav", "102 play A.wav", "204 play B.wav", "306 play stroke.wav",
                     "408 play 1.wav", "910 play 5.wav", "1012 play 9.wav"}));
    EXPECT_EQ(recorder.only({"pause", "ptt", "broadcast"}),
              (Lines{"0 broadcast 111", "0 ptt on", "510 pause 400", "1114 broadcast 100",
                     "1114 broadcast 110", "1114 ptt off"}));
    EXPECT_TRUE(engine.PlayQueue().empty());
    EXPECT_FALSE(engine.txDown());
    EXPECT_FALSE(engine.runnerActive());
    EXPECT_EQ(engine.displayText(), "");
}

TEST_F(KeyerEngineTest, DisplayShrinksAsTheCallIsSpelled) {
    for (const char* name : {"cq.wav", "A.wav", "B.wav", "stroke.wav", "1.wav"}) {
        addFile(name, 100);
    }
    engine.setCallText("AB/1");
    engine.AddToQueue("~[tx]~[fcq.wav]~[ec]");
    engine.PlayStack();
    Lines shown;
    for (std::int64_t t : {50, 150, 250, 350, 450, 550}) {
        scheduler.advanceTo(t);
        shown.push_back(engine.displayText());
    }
    EXPECT_EQ(shown, (Lines{"\"cq.wav\" AB/1 ", "AB/1 ", "B/1 ", "/1 ", "1 ", ""}));
}

TEST_F(KeyerEngineTest, MacroWithoutTransmitWaitsForTheTransmitter) {
    addFile("2.wav", 100);
    advance(600'000);  // ten minutes after start-up
    engine.AddToQueue("~[f2.wav]");
    engine.PlayStack();
    advance(600'000);
    EXPECT_TRUE(played().empty());
    EXPECT_TRUE(engine.runnerActive());
    EXPECT_FALSE(scheduler.hasPending()) << "waiting is not polling";
    engine.setTxButton(true);
    run();
    EXPECT_EQ(played(), (Lines{"1200000 play 2.wav"}));
    EXPECT_TRUE(engine.txDown()) << "without ~[rx] the transmitter stays keyed";
}

TEST_F(KeyerEngineTest, QueuedWithoutRunnerWaitsForTheNextRun) {
    addFile("2.wav", 100);
    addFile("3.wav", 100);
    engine.AddToQueue("~[f2.wav]");  // as a logger's macro code does: no PlayStack
    engine.setTxButton(true);
    run();
    EXPECT_TRUE(played().empty());
    engine.AddToQueue("~[f3.wav]");
    engine.PlayStack();
    run();
    EXPECT_EQ(played(), (Lines{"0 play 2.wav", "102 play 3.wav"}));
}

TEST_F(KeyerEngineTest, UnreadableFileIsSkippedWithoutAPause) {
    addFile("2.wav", 100);
    engine.AddToQueue("~[tx]~[fmissing.wav]~[f2.wav]~[f]");
    engine.PlayStack();
    run();
    EXPECT_EQ(recorder.only({"play", "skip"}),
              (Lines{"0 skip snd/missing.wav", "0 play snd/2.wav", "102 skip snd/"}));
}

TEST_F(KeyerEngineTest, FileIsTimedFromItsHeader) {
    // 16044 bytes at 8000 bytes/s: 2005 ms, whatever the audio lasts.
    probe.setFile("snd/a.wav", 16044, 8000, 2000.0);
    sound.setDuration("snd/a.wav", 2000);
    addFile("b.wav", 10);
    engine.AddToQueue("~[tx]~[fa.wav]~[fb.wav]");
    engine.PlayStack();
    run();
    EXPECT_EQ(played(), (Lines{"0 play a.wav", "2005 play b.wav"}));
}

TEST_F(KeyerEngineTest, FileSoundingPastItsHeaderTimeIsNotClipped) {
    // The server may report the end a little after the header time.
    probe.setFile("snd/a.wav", 16044, 8000, 2000.0);
    sound.setDuration("snd/a.wav", 2100);
    addFile("b.wav", 10);
    engine.AddToQueue("~[tx]~[fa.wav]~[fb.wav]");
    engine.PlayStack();
    run();
    EXPECT_EQ(played(), (Lines{"0 play a.wav", "2100 play b.wav"}));
    EXPECT_TRUE(sound.cut().empty());
}

TEST_F(KeyerEngineTest, RateOfZeroIsTimedFromTheDecodedLength) {
    probe.setFile("snd/z.wav", 1000, 0, 250.0);
    sound.setDuration("snd/z.wav", 250);
    addFile("b.wav", 10);
    engine.AddToQueue("~[tx]~[fz.wav]~[fb.wav]");
    engine.PlayStack();
    run();
    EXPECT_EQ(played(), (Lines{"0 play z.wav", "250 play b.wav"}));
}

TEST_F(KeyerEngineTest, HeaderThatLiesAboutItsLengthDoesNotHoldTheTransmitter) {
    probe.setFile("snd/liar.wav", 1'000'000, 1, 300.0);  // header: 1,000,000 s
    sound.setDuration("snd/liar.wav", 300);
    addFile("b.wav", 10);
    engine.AddToQueue("~[tx]~[fliar.wav]~[fb.wav]");
    engine.PlayStack();
    run();
    EXPECT_EQ(played(), (Lines{"0 play liar.wav", "300 play b.wav"}));
}

TEST_F(KeyerEngineTest, PauseLengths) {
    addFile("x.wav", 10);
    engine.AddToQueue("~[tx]~[p]~[fx.wav]~[P]~[fx.wav]~[p40]~[fx.wav]~[p0]~[fx.wav]");
    engine.PlayStack();
    run();
    EXPECT_EQ(played(),
              (Lines{"1000 play x.wav", "2012 play x.wav", "2424 play x.wav", "2436 play x.wav"}));
}

TEST_F(KeyerEngineTest, BadPauseNumberIsReportedOnceAndDropped) {
    addFile("x.wav", 10);
    engine.AddToQueue("~[tx]~[p4x]~[fx.wav]");
    engine.PlayStack();
    run();
    EXPECT_EQ(recorder.errors, (Lines{"'4x' is not a valid integer value"}));
    EXPECT_EQ(played(), (Lines{"0 play x.wav"}));
    EXPECT_TRUE(engine.PlayQueue().empty());
}

TEST_F(KeyerEngineTest, ReceiveReleasesAndTheRestWaitsForKeying) {
    addFile("a.wav", 100);
    addFile("b.wav", 100);
    engine.AddToQueue("~[tx]~[fa.wav]~[rx]~[fb.wav]");
    engine.PlayStack();
    advance(5000);
    EXPECT_FALSE(engine.txDown());
    EXPECT_EQ(played(), (Lines{"0 play a.wav"}));
    // The release eats one character and the receive step four more and the
    // last one: the [RX] piece is gone, and so is the final space.
    EXPECT_EQ(engine.displayText(), "\"b.wav\"");
    engine.setTxButton(true);
    run();
    EXPECT_EQ(played(), (Lines{"0 play a.wav", "5000 play b.wav"}));
}

TEST_F(KeyerEngineTest, TransmitButtonBroadcastsBeforeTheLinesMove) {
    ptt.setPortNumber(1);
    ptt.OpenPort();
    lines.clearCalls();
    engine.setTxButton(true);
    engine.setTxButton(false);
    engine.setPauseButton(true);
    bus.clear();
    engine.setTxButton(true);
    EXPECT_FALSE(engine.ReadyToPlay()) << "keyed while paused: the queue does not advance";
    engine.setTxButton(false);
    EXPECT_EQ(bus.codes(), (std::vector<int>{111, 101, 110}));
    EXPECT_EQ(recorder.only({"broadcast", "ptt"}),
              (Lines{"0 broadcast 111", "0 ptt on", "0 broadcast 100", "0 broadcast 110",
                     "0 ptt off", "0 broadcast 101", "0 broadcast 111", "0 ptt on",
                     "0 broadcast 101", "0 broadcast 110", "0 ptt off"}));
    EXPECT_EQ(lines.calls(), (Lines{"RTS 1", "RTS 0", "RTS 1", "RTS 0"}));
}

TEST_F(KeyerEngineTest, TransmitCommandWhenAlreadyKeyedChangesNothing) {
    engine.setTxButton(true);
    bus.clear();
    engine.AddToQueue("~[tx]");
    EXPECT_TRUE(bus.codes().empty());
}

TEST_F(KeyerEngineTest, PauseDuringAPauseEntryEndsItAndResumeGoesOn) {
    addFile("a.wav", 100);
    engine.AddToQueue("~[tx]~[p100]~[fa.wav]");
    engine.PlayStack();
    advance(300);
    engine.setPauseButton(true);
    EXPECT_FALSE(engine.Timer1().enabled());
    advance(5000);
    EXPECT_TRUE(played().empty());
    engine.setPauseButton(false);
    run();
    EXPECT_EQ(played(), (Lines{"5300 play a.wav"}));
}

TEST_F(KeyerEngineTest, PauseCutsASoundingFileAndItCountsAsSent) {
    addFile("a.wav", 1000);
    addFile("b.wav", 100);
    engine.AddToQueue("~[tx]~[fa.wav]~[fb.wav]");
    engine.PlayStack();
    advance(400);
    engine.setPauseButton(true);
    EXPECT_EQ(sound.cut(), (Lines{"snd/a.wav"}));
    EXPECT_FALSE(engine.soundPlaying());
    advance(1000);
    engine.setPauseButton(false);
    run();
    EXPECT_EQ(played(), (Lines{"0 play a.wav", "1400 play b.wav"}));
}

TEST_F(KeyerEngineTest, ReleasingTheTransmitterCutsTheSoundAtOnce) {
    addFile("a.wav", 1000);
    engine.AddToQueue("~[tx]~[fa.wav]");
    engine.PlayStack();
    advance(200);
    engine.setTxButton(false);
    EXPECT_EQ(sound.calls().back().what, "stop");
    EXPECT_EQ(sound.calls().back().atMs, 200);
    run();
    EXPECT_EQ(scheduler.nowMs(), 200) << "nothing was left running";
}

TEST_F(KeyerEngineTest, ClearEmptiesQueueAndDisplayAndCutsTheSound) {
    addFile("a.wav", 1000);
    engine.AddToQueue("~[tx]~[fa.wav]~[fa.wav]");
    engine.PlayStack();
    advance(100);
    engine.ClearListButtonClick();
    EXPECT_TRUE(engine.PlayQueue().empty());
    EXPECT_EQ(engine.displayText(), "");
    EXPECT_EQ(sound.cut(), (Lines{"snd/a.wav"}));
    EXPECT_TRUE(engine.ReadyToPlay());
    EXPECT_TRUE(engine.txDown()) << "Clear leaves the transmitter alone";
    run();
    EXPECT_EQ(played().size(), 1u);
    EXPECT_FALSE(engine.runnerActive());
}

TEST_F(KeyerEngineTest, ClearCommandRunsAtExpansionTime) {
    engine.AddToQueue("~[f2.wav]~[cl]");
    EXPECT_TRUE(engine.PlayQueue().empty());
    EXPECT_EQ(engine.displayText(), "");
    engine.AddToQueue("~[cl]~[f2.wav]");
    EXPECT_EQ(engine.PlayQueue(), (std::deque<std::string>{"snd/2.wav"}));
}

TEST_F(KeyerEngineTest, KeyPressDuringPlaybackIsPlayedInTurn) {
    addFile("a.wav", 100);
    addFile("b.wav", 100);
    engine.AddToQueue("~[tx]~[fa.wav]");
    engine.PlayStack();
    advance(50);
    engine.AddToQueue("~[fb.wav]");
    engine.PlayStack();
    run();
    EXPECT_EQ(played(), (Lines{"0 play a.wav", "102 play b.wav"}));
}

TEST_F(KeyerEngineTest, UpdateMemoTakesAQuotedNameWholeAndOtherPiecesByTheCharacter) {
    engine.setCallText("");
    engine.AddToQueue("~[fcq.wav]~[ec]~[p5]~[fx.wav]");
    EXPECT_EQ(engine.displayText(), "\"cq.wav\"   \"x.wav\" ");
    engine.UpdateMemo();
    EXPECT_EQ(engine.displayText(), "  \"x.wav\" ") << "a quoted name goes with one space";
    engine.UpdateMemo();
    EXPECT_EQ(engine.displayText(), "\"x.wav\" ") << "a run of spaces goes as one piece";
    engine.UpdateMemo();
    EXPECT_EQ(engine.displayText(), "");
    engine.UpdateMemo();
    EXPECT_EQ(engine.displayText(), "");
}

TEST_F(KeyerEngineTest, DiagnosticLogNamesEachFileTwice) {
    addFile("a.wav", 10);
    engine.AddToQueue("~[tx]~[fa.wav]");
    engine.PlayStack();
    run();
    EXPECT_EQ(log.lines(), (Lines{"WaveRes=snd/a.wav", "WaveRes=snd/a.wav"}));
}

}  // namespace
}  // namespace pelkora::test

namespace pelkora::test {
namespace {

TEST_F(KeyerEngineTest, EscapeReleasesTheTransmitterAndEmptiesTheQueue) {
    addFile("a.wav", 1000);
    engine.AddToQueue("~[tx]~[fa.wav]~[fa.wav]");
    engine.PlayStack();
    advance(100);
    engine.EscapeKey();
    EXPECT_FALSE(engine.txDown());
    EXPECT_TRUE(engine.PlayQueue().empty());
    EXPECT_EQ(engine.displayText(), "");
    EXPECT_EQ(sound.cut(), (std::vector<std::string>{"snd/a.wav"}));
    EXPECT_TRUE(engine.settled());
    bus.clear();
    engine.EscapeKey();
    EXPECT_TRUE(bus.codes().empty()) << "Esc with the transmitter up does nothing";
}

TEST_F(KeyerEngineTest, EscapeDuringABeaconIsStop) {
    addFile("a.wav", 1000);
    engine.AddToQueue("~[tx]~[fa.wav]~[rp500:0]");
    engine.PlayStack();
    advance(100);
    bus.clear();
    engine.EscapeKey();
    EXPECT_FALSE(engine.stopEnabled());
    EXPECT_EQ(engine.caption(), "Pelkora");
    EXPECT_EQ(bus.codes(), (std::vector<int>{100, 110})) << "one release, not two";
    EXPECT_TRUE(engine.settled());
}

TEST_F(KeyerEngineTest, WaitingForTheTransmitterIsToldApartFromPlaying) {
    addFile("a.wav", 100);
    engine.AddToQueue("~[fa.wav]");
    engine.PlayStack();
    EXPECT_TRUE(engine.waitsForTransmitter());
    EXPECT_FALSE(engine.settled());
    engine.setTxButton(true);
    run();
    EXPECT_FALSE(engine.waitsForTransmitter());
    EXPECT_TRUE(engine.settled());
}

}  // namespace
}  // namespace pelkora::test
