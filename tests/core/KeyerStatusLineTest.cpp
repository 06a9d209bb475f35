#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/keyer/KeyerEngine.h"
#include "core/keyer/StatusLine.h"
#include "core/ptt/PttPort.h"
#include "platform/fake/FakeSerialLines.h"
#include "platform/fake/FakeSoundOutput.h"
#include "platform/fake/FakeWavProbe.h"
#include "platform/fake/MemoryDiagnosticLog.h"
#include "platform/fake/MemoryProfileStore.h"
#include "platform/fake/RecordingMessageBus.h"
#include "platform/fake/VirtualScheduler.h"
#include "platform/posix/SerialPttDeviceFactory.h"

// The line under the display, fed by a keyer engine in virtual time the way
// the window feeds it: every report of the engine, and the skipped and
// played files.
namespace pelkora::test {
namespace {

using Lines = std::vector<std::string>;
using Directory = StatusLine::Directory;

const std::string kDir = "/home/op/sound/";
const std::string kHint = "Setup \u203a Sound directory chooses where your recordings are.";
const std::string kWaiting = "Waiting for TX \u2014 press Alt+T";

class KeyerStatusLineTest : public ::testing::Test, private KeyerObserver {
  protected:
    KeyerStatusLineTest() {
        directories[kDir] = Directory::HasRecordings;
        engine.setSoundDir(kDir);
        status.keyerChanged(engine);
    }

    // A 16-bit 8 kHz mono recording in the sound directory, 100 ms long.
    void addFile(const std::string& name) {
        const std::string path = kDir + name;
        onDisk.insert(path);
        probe.setFile(path, 44 + 1600, 16000, 100.0);
        sound.setDuration(path, 100);
    }
    void fire(const char* macro) {
        engine.AddToQueue(macro);
        engine.PlayStack();
    }
    void run() { scheduler.runUntilIdle(10'000'000); }

    std::map<std::string, Directory> directories;  // not listed: missing
    std::set<std::string> onDisk;

    VirtualScheduler scheduler;
    FakeSoundOutput sound{scheduler};
    FakeWavProbe probe;
    RecordingMessageBus bus;
    MemoryProfileStore profiles;
    MemoryDiagnosticLog log;
    FakeSerialLines lines;
    SerialPttDeviceFactory devices{lines};
    PttPort ptt{devices, [](const std::string&) {}};
    StatusLine status{StatusLine::Looks{
        [this](const std::string& dir) {
            const auto found = directories.find(dir);
            return found == directories.end() ? Directory::Missing : found->second;
        },
        [this](const std::string& path) { return onDisk.count(path) != 0; }}};
    KeyerEngine engine{KeyerServices{scheduler, sound, probe, bus, profiles, log, ptt, *this}};

  private:
    void changed() { status.keyerChanged(engine); }
    void onDisplayTextChanged() override { changed(); }
    void onCaptionChanged(const std::string&) override { changed(); }
    void onTxButtonChanged(bool) override { changed(); }
    void onPauseButtonChanged(bool) override { changed(); }
    void onStopEnabledChanged(bool) override { changed(); }
    void onPause(std::int64_t) override { changed(); }
    void onPlayFile(const std::string& path) override {
        status.filePlayed(path);
        changed();
    }
    void onSkipFile(const std::string& path, const std::string& reason) override {
        status.fileSkipped(path, reason);
        changed();
    }
};

TEST_F(KeyerStatusLineTest, SoundDirectoryThatCannotHoldRecordingsGetsAHint) {
    struct Row {
        std::string dir;
        Directory state;
        Lines expected;
    };
    const Row rows[] = {
        {"/home/op/none/",
         Directory::Missing,
         {"The sound directory /home/op/none does not exist.", kHint}},
        {"/home/op/empty/", Directory::Empty, {"No recordings in /home/op/empty.", kHint}},
        {"/home/op/full/", Directory::HasRecordings, {}},
        {"/", Directory::Empty, {"No recordings in /.", kHint}},
        {"", Directory::Missing, {"No sound directory is set.", kHint}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.dir);
        directories[row.dir] = row.state;
        engine.setSoundDir(row.dir);
        status.keyerChanged(engine);
        EXPECT_EQ(status.lines(), row.expected);
    }
}

TEST_F(KeyerStatusLineTest, MissingFilesAreNamedOncePerDirectoryAndTheKeyerGoesOn) {
    addFile("cq.wav");
    fire("~[tx]~[f2.wav]~[fcq.wav]~[fK.wav]~[f2.wav]~[fsub/x.wav]~[fcq.wav]");
    run();
    EXPECT_EQ(status.lines(), (Lines{"Not found in /home/op/sound: 2.wav, K.wav",
                                     "Not found in /home/op/sound/sub: x.wav"}));
    EXPECT_EQ(sound.finished(), (Lines{kDir + "cq.wav", kDir + "cq.wav"}))
        << "skipping is unchanged: both recordings played";
    EXPECT_EQ(scheduler.nowMs(), 204);
}

TEST_F(KeyerStatusLineTest, FileThatIsThereButCannotBePlayedSaysWhy) {
    onDisk.insert(kDir + "bad.wav");  // the probe cannot read it
    addFile("huge.wav");
    sound.setUnplayable(kDir + "huge.wav");
    fire("~[tx]~[fbad.wav]~[fhuge.wav]~[fgone.wav]");
    run();
    EXPECT_EQ(status.lines(),
              (Lines{"Cannot play in /home/op/sound (not a readable sound file): bad.wav",
                     "Cannot play in /home/op/sound (the sound output refused it): huge.wav",
                     "Not found in /home/op/sound: gone.wav"}));
}

TEST_F(KeyerStatusLineTest, NewMacroOnAnEmptyQueueStartsTheListAfresh) {
    addFile("cq.wav");
    fire("~[tx]~[f2.wav]");
    run();
    EXPECT_EQ(status.lines(), (Lines{"Not found in /home/op/sound: 2.wav"}));
    fire("~[f3.wav]");
    run();
    EXPECT_EQ(status.lines(), (Lines{"Not found in /home/op/sound: 3.wav"}));
    // A key pressed while the queue still runs adds to what the running
    // macro missed.
    fire("~[fcq.wav]~[f4.wav]");
    scheduler.advanceBy(50);
    fire("~[f5.wav]");
    run();
    EXPECT_EQ(status.lines(), (Lines{"Not found in /home/op/sound: 4.wav, 5.wav"}));
}

TEST_F(KeyerStatusLineTest, RecordingThatAppearsAndPlaysLeavesTheList) {
    fire("~[tx]~[fa.wav]~[p100]~[fa.wav]");
    EXPECT_EQ(status.lines(), (Lines{"Not found in /home/op/sound: a.wav"}));
    addFile("a.wav");
    run();
    EXPECT_EQ(status.lines(), Lines{});
}

TEST_F(KeyerStatusLineTest, EmptiedDirectoryIsSeenAtTheNextMacro) {
    addFile("cq.wav");
    fire("~[tx]~[fcq.wav]");
    run();
    EXPECT_EQ(status.lines(), Lines{});
    directories[kDir] = Directory::Empty;
    fire("~[f2.wav]");
    run();
    EXPECT_EQ(status.lines(), (Lines{"Not found in /home/op/sound: 2.wav",
                                     "No recordings in /home/op/sound.", kHint}));
    directories[kDir] = Directory::HasRecordings;
    addFile("2.wav");
    fire("~[f2.wav]");
    EXPECT_EQ(status.lines(), Lines{}) << "filled again: the hint goes with the next macro";
}

TEST_F(KeyerStatusLineTest, LongListsAreCutAndOddNamesQuoted) {
    for (int n = 0; n < 300; ++n) {
        status.fileSkipped(kDir + std::to_string(n) + ".wav", "");
    }
    const Lines shown = status.lines();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown.front(),
              "Not found in /home/op/sound: 0.wav, 1.wav, 2.wav, 3.wav, 4.wav, 5.wav, 6.wav, "
              "7.wav and 248 more");

    engine.setSoundDir("/srv/");  // starts afresh
    directories["/srv/"] = Directory::HasRecordings;
    status.keyerChanged(engine);
    for (const char* name : {" .wav", "a,b.wav", "", "K.wav", " .wav"}) {
        status.fileSkipped(std::string("/srv/") + name, "");
    }
    status.fileSkipped("bare.wav", "");
    for (int dir = 0; dir < 5; ++dir) {
        status.fileSkipped("/d" + std::to_string(dir) + "/x.wav", "");
    }
    EXPECT_EQ(status.lines(), (Lines{"Not found in /srv: \" .wav\", \"a,b.wav\", \"\", K.wav",
                                     "Not found: bare.wav", "Not found in /d0: x.wav"}))
        << "three lines at most";
}

// Each row starts from a keyer just started: transmitter released, player
// not ready. A step is an operator's action (or time passing) and whether
// the line then says that the queue waits for the transmitter.
struct Step {
    std::string action;  // "fire <macro>", "run", "advance <ms>", "key", "release", "clear"
    bool waits;
};
struct WaitRow {
    const char* name;
    std::vector<Step> steps;
};

class WaitingForTransmitter : public KeyerStatusLineTest,
                              public ::testing::WithParamInterface<WaitRow> {
  protected:
    void perform(const std::string& action) {
        const std::string verb = action.substr(0, action.find(' '));
        const std::string argument =
            action.find(' ') == std::string::npos ? "" : action.substr(action.find(' ') + 1);
        if (verb == "fire") {
            fire(argument.c_str());
        } else if (verb == "run") {
            run();
        } else if (verb == "advance") {
            scheduler.advanceBy(std::stoll(argument));
        } else if (verb == "key" || verb == "release") {
            engine.setTxButton(verb == "key");
        } else if (verb == "clear") {
            engine.ClearListButtonClick();
        } else {
            FAIL() << "no such step: " << action;
        }
    }
};

TEST_P(WaitingForTransmitter, IsToldUntilKeyedOrEmptied) {
    addFile("a.wav");
    for (const Step& step : GetParam().steps) {
        SCOPED_TRACE(step.action);
        perform(step.action);
        const Lines shown = status.lines();
        const bool waits = !shown.empty() && shown.front() == kWaiting;
        EXPECT_EQ(waits, step.waits);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WaitingForTransmitter,
    ::testing::Values(
        WaitRow{"keyedByHand",
                {{"fire ~[fa.wav]", true}, {"run", true}, {"key", false}, {"run", false}}},
        WaitRow{"emptiedByClear", {{"fire ~[fa.wav]~[fa.wav]", true}, {"clear", false}}},
        WaitRow{"restAfterReceive",
                {{"fire ~[tx]~[fa.wav]~[rx]~[fa.wav]", false},
                 {"run", true},
                 {"key", false},
                 {"run", false}}},
        WaitRow{"releasedWithEntriesLeft",
                {{"fire ~[tx]~[fa.wav]~[p100]~[fa.wav]", false},
                 {"advance 150", false},
                 {"release", true},
                 {"key", false},
                 {"run", false}}},
        WaitRow{"keyedByTheMacro", {{"fire ~[tx]~[fa.wav]~[fa.wav]", false}, {"run", false}}},
        WaitRow{"beaconKeyedByTheMacro",
                {{"fire ~[tx]~[fa.wav]~[rp100:2]", false}, {"run", false}}},
        WaitRow{"beaconThatCannotStart", {{"fire ~[fa.wav]~[rp100:2]", true}, {"key", false}}},
        WaitRow{"readyAfterClearPlaysUnkeyed",
                {{"clear", false}, {"fire ~[fa.wav]", false}, {"run", false}}}),
    [](const ::testing::TestParamInfo<WaitRow>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace pelkora::test
