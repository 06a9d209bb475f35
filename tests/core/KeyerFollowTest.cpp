#include <gtest/gtest.h>

#include "KeyerFixture.h"

namespace pelkora::test {
namespace {

using Lines = std::vector<std::string>;

// Files of 100 ms (header time 102 ms) that the output takes 20 ms to start
// sounding: the server's end report comes at 120 ms, after the header time,
// so without a hand-over each entry waits for it.
class KeyerFollowTest : public KeyerFixture {
  protected:
    KeyerFollowTest() {
        for (const char* name : {"A.wav", "B.wav", "C.wav", "D.wav"}) {
            addFile(name, 100);
            sound.setDuration(std::string("snd/") + name, 120);
        }
    }

    Lines soundCalls(std::initializer_list<const char*> prefixes) const {
        Lines picked;
        for (const FakeSoundOutput::Call& call : sound.calls()) {
            for (const char* prefix : prefixes) {
                if (call.what.rfind(prefix, 0) == 0) {
                    picked.push_back(std::to_string(call.atMs) + " " + call.what);
                    break;
                }
            }
        }
        return picked;
    }

    bool anyKept() const { return !soundCalls({"keep"}).empty(); }
};

// Either way the last file is heard to its end (each follower starts where
// the kept file ends: 120 + 120 + 120 ms) before the release.
class KeyerFollowOrNotTest : public KeyerFollowTest, public ::testing::WithParamInterface<bool> {};

TEST_P(KeyerFollowOrNotTest, SpelledFilesFollowAtTheirHeaderTimeAndTheReleaseWaitsForTheLast) {
    const bool following = GetParam();
    if (following) {
        sound.allowFollowing();
    }
    engine.AddToQueue("~[tx]~[fA.wav]~[fB.wav]~[fC.wav]~[rx]");
    engine.PlayStack();
    run();
    EXPECT_EQ(played(), following ? (Lines{"0 play A.wav", "102 play B.wav", "204 play C.wav"})
                                  : (Lines{"0 play A.wav", "120 play B.wav", "240 play C.wav"}));
    EXPECT_EQ(recorder.only({"ptt off"}), (Lines{"360 ptt off"}));
    EXPECT_TRUE(sound.cut().empty());
    EXPECT_EQ(sound.finished().size(), following ? 1u : 3u);
    EXPECT_EQ(engine.displayText(), "");
    EXPECT_TRUE(engine.settled());
}

INSTANTIATE_TEST_SUITE_P(Output, KeyerFollowOrNotTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return param.param ? "Following" : "NotFollowing";
                         });

TEST_F(KeyerFollowTest, TheOutputIsAskedToKeepAFileOnlyWhenAFileFollows) {
    sound.allowFollowing();
    engine.AddToQueue("~[tx]~[fA.wav]~[fB.wav]");
    engine.PlayStack();
    run();
    EXPECT_EQ(soundCalls({"play", "keep", "follow"}),
              (Lines{"0 play snd/A.wav", "102 keep snd/A.wav", "102 follow snd/B.wav"}));
    EXPECT_EQ(recorder.only({"play", "ptt", "broadcast"}),
              (Lines{"0 broadcast 111", "0 ptt on", "0 play snd/A.wav", "102 play snd/B.wav"}));
    EXPECT_TRUE(engine.txDown()) << "without ~[rx] the transmitter stays keyed";
}

// An output that needs the follower sooner is offered it that much before the
// first file's header time; each follower's entry keeps its own header time,
// which already ends that far ahead of its sound, so the offers do not creep
// ahead of the sound file by file.
TEST_F(KeyerFollowTest, AnOutputThatAsksSoonerIsOfferedTheFollowerThatMuchBeforeTheHeaderTime) {
    sound.allowFollowing();
    sound.setHandOverLead(30);
    engine.AddToQueue("~[tx]~[fA.wav]~[fB.wav]~[fC.wav]~[p50]~[fD.wav]~[fA.wav]~[rx]");
    engine.PlayStack();
    run();
    // After the pause D starts anew, half a second after C was heard to its end.
    EXPECT_EQ(soundCalls({"play", "keep", "follow"}),
              (Lines{"0 play snd/A.wav", "72 keep snd/A.wav", "72 follow snd/B.wav",
                     "174 keep snd/B.wav", "174 follow snd/C.wav", "860 play snd/D.wav",
                     "932 keep snd/D.wav", "932 follow snd/A.wav"}));
    EXPECT_EQ(recorder.only({"ptt off"}), (Lines{"1100 ptt off"}));
    EXPECT_TRUE(sound.cut().empty());
}

struct NoHandOver {
    const char* name;
    const char* macro;
};

class KeyerNoHandOverTest : public KeyerFollowTest,
                            public ::testing::WithParamInterface<NoHandOver> {};

TEST_P(KeyerNoHandOverTest, TheFileIsHeardToItsEnd) {
    sound.allowFollowing();
    addFile("X.wav", 100);
    sound.setUnplayable("snd/X.wav");
    engine.AddToQueue(GetParam().macro);
    engine.PlayStack();
    advance(200);
    EXPECT_FALSE(anyKept());
    ASSERT_FALSE(sound.finished().empty());
    EXPECT_EQ(sound.finished().front(), "snd/A.wav");
    EXPECT_TRUE(sound.cut().empty());
    engine.shutdown();
}

INSTANTIATE_TEST_SUITE_P(
    NextEntry, KeyerNoHandOverTest,
    ::testing::Values(NoHandOver{"Release", "~[tx]~[fA.wav]~[rx]"},
                      NoHandOver{"Pause", "~[tx]~[fA.wav]~[p10]~[fB.wav]"},
                      NoHandOver{"EndOfQueue", "~[tx]~[fA.wav]"},
                      NoHandOver{"FileToBeSkipped", "~[tx]~[fA.wav]~[fmissing.wav]~[rx]"},
                      NoHandOver{"FileTheOutputRefuses", "~[tx]~[fA.wav]~[fX.wav]~[rx]"},
                      NoHandOver{"Beacon", "~[tx]~[fA.wav]~[fB.wav]~[rp500:0]"}),
    [](const ::testing::TestParamInfo<NoHandOver>& param) { return param.param.name; });

// After a hand-over the kept file still sounds for a while under its
// follower. Whatever cuts the sound cuts both at once.
struct Cut {
    const char* name;
    void (*act)(KeyerEngine&);
    bool keyedAfter;
};

class KeyerCutAfterHandOverTest : public KeyerFollowTest,
                                  public ::testing::WithParamInterface<Cut> {};

TEST_P(KeyerCutAfterHandOverTest, SilencesTheKeptFileAndItsFollower) {
    sound.allowFollowing();
    engine.AddToQueue("~[tx]~[fA.wav]~[fB.wav]~[fC.wav]~[rx]");
    engine.PlayStack();
    advance(110);  // A sounds until 120, B follows it
    ASSERT_TRUE(anyKept());
    GetParam().act(engine);
    EXPECT_EQ(soundCalls({"stop"}), (Lines{"110 stop"}));
    EXPECT_EQ(sound.cut(), (Lines{"snd/A.wav", "snd/B.wav"}));
    EXPECT_FALSE(sound.isPlaying());
    EXPECT_FALSE(engine.soundPlaying());
    EXPECT_EQ(engine.txDown(), GetParam().keyedAfter);
    EXPECT_EQ(recorder.only({"ptt"}).back(), GetParam().keyedAfter ? "0 ptt on" : "110 ptt off");
    advance(1000);
    EXPECT_EQ(played(), (Lines{"0 play A.wav", "102 play B.wav"}));
}

INSTANTIATE_TEST_SUITE_P(
    Action, KeyerCutAfterHandOverTest,
    ::testing::Values(Cut{"Escape", [](KeyerEngine& e) { e.EscapeKey(); }, false},
                      Cut{"TxReleased", [](KeyerEngine& e) { e.setTxButton(false); }, false},
                      Cut{"Clear", [](KeyerEngine& e) { e.ClearListButtonClick(); }, true},
                      Cut{"Pause", [](KeyerEngine& e) { e.setPauseButton(true); }, true},
                      Cut{"ServerLost", [](KeyerEngine& e) { e.onSoundServerLost("gone"); }, false},
                      Cut{"Shutdown", [](KeyerEngine& e) { e.shutdown(); }, false}),
    [](const ::testing::TestParamInfo<Cut>& param) { return param.param.name; });

TEST_F(KeyerFollowTest, ANewMacroAfterACutStartsAfresh) {
    sound.allowFollowing();
    engine.AddToQueue("~[tx]~[fA.wav]~[fB.wav]~[fC.wav]");
    engine.PlayStack();
    advance(110);
    engine.ClearListButtonClick();
    engine.AddToQueue("~[fD.wav]~[fA.wav]");
    engine.PlayStack();
    run();
    EXPECT_EQ(soundCalls({"play", "follow"}),
              (Lines{"0 play snd/A.wav", "102 follow snd/B.wav", "110 play snd/D.wav",
                     "212 follow snd/A.wav"}));
    EXPECT_EQ(played(),
              (Lines{"0 play A.wav", "102 play B.wav", "110 play D.wav", "212 play A.wav"}));
}

TEST_F(KeyerFollowTest, AFileAddedWhileTheFollowerSoundsFollowsInItsTurn) {
    sound.allowFollowing();
    engine.AddToQueue("~[tx]~[fA.wav]~[fB.wav]");
    engine.PlayStack();
    advance(150);
    engine.AddToQueue("~[fC.wav]");
    engine.PlayStack();
    run();
    EXPECT_EQ(soundCalls({"play", "follow"}),
              (Lines{"0 play snd/A.wav", "102 follow snd/B.wav", "204 follow snd/C.wav"}));
    EXPECT_TRUE(sound.cut().empty());
}

// A follower is timed from its own length: a server that stops answering
// after a hand-over still releases the transmitter.
TEST_F(KeyerFollowTest, AFollowerThatNeverEndsIsTakenAsALostServer) {
    sound.allowFollowing();
    sound.setDuration("snd/B.wav", 1'000'000);
    engine.AddToQueue("~[tx]~[fA.wav]~[fB.wav]~[rx]");
    engine.PlayStack();
    run();
    const Lines lost = recorder.only({"sound lost", "ptt off"});
    ASSERT_EQ(lost.size(), 2u);
    EXPECT_EQ(lost[0].substr(0, lost[0].find(' ')), std::to_string(102 + 100 + 2000));
    EXPECT_FALSE(engine.txDown());
}

}  // namespace
}  // namespace pelkora::test
