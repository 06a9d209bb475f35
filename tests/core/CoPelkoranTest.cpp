#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "RemoteFixture.h"
#include "core/remote/CoPelkoran.h"

namespace pelkora::test {
namespace {

using Lines = std::vector<std::string>;

class CoPelkoranTest : public RemoteFixture {
  protected:
    CoPelkoran object{engine, host, frame};
};

TEST_F(CoPelkoranTest, EmptyCallAndReportKeepTheWindowFields) {
    host.call = "OLD";
    host.report = "57";
    object.PlayMacros("~[ec]~[er]", "", "");
    EXPECT_EQ(host.call, "OLD");
    EXPECT_EQ(host.report, "57");
    EXPECT_EQ(queue(), (Lines{"snd/O.wav", "snd/L.wav", "snd/D.wav", "snd/5.wav", "snd/7.wav"}));
}

TEST_F(CoPelkoranTest, GivenCallAndReportFillTheFieldsBeforeTheMacroSpells) {
    host.call = "OLD";
    object.PlayMacros("~[ec]~[er]", "K1X", "599");
    EXPECT_EQ(host.call, "K1X");
    EXPECT_EQ(host.report, "599");
    EXPECT_EQ(queue(), (Lines{"snd/K.wav", "snd/1.wav", "snd/X.wav", "snd/5.wav", "snd/9.wav",
                              "snd/9.wav"}));
    object.PlayMacros("~[er]", "", "5NN");
    EXPECT_EQ(host.call, "K1X") << "only the report was given";
}

TEST_F(CoPelkoranTest, PlayMacrosWhilePlayingAppendsAndPlaysOn) {
    for (const char* name : {"a.wav", "b.wav", "c.wav"}) {
        addFile(name, 500);
    }
    object.PlayMacros("~[tx]~[fa.wav]~[fb.wav]", "", "");
    advance(100);
    object.PlayMacros("~[fc.wav]~[rx]", "", "");
    run();
    EXPECT_EQ(played(), (Lines{"0 play a.wav", "502 play b.wav", "1004 play c.wav"}));
    EXPECT_EQ(lines.calls(), (Lines{"RTS 1", "RTS 0"})) << "keyed once, released at the end";
}

TEST_F(CoPelkoranTest, MacroWithoutTransmitWaitsForStartPlay) {
    addFile("a.wav", 100);
    object.PlayMacros("~[fa.wav]", "", "");
    run();
    EXPECT_TRUE(played().empty());
    object.StartPlay();
    run();
    EXPECT_EQ(played(), (Lines{"0 play a.wav"}));
    EXPECT_TRUE(lines.rts());
}

TEST_F(CoPelkoranTest, StartPlayWhilePausedKeysButLeavesThePlayerWaiting) {
    engine.setPauseButton(true);
    bus.clear();
    object.StartPlay();
    EXPECT_TRUE(engine.txDown());
    EXPECT_FALSE(engine.ReadyToPlay());
    EXPECT_TRUE(lines.rts());
    EXPECT_EQ(bus.codes(), std::vector<int>{111});
    EXPECT_TRUE(engine.PlayQueue().empty()) << "nothing is queued";
}

TEST_F(CoPelkoranTest, StopPlayWhileIdleStillBroadcastsPauseStateAndRelease) {
    object.StopPlay();
    EXPECT_EQ(bus.codes(), (std::vector<int>{100, 110}));
    EXPECT_FALSE(lines.rts());
}

TEST_F(CoPelkoranTest, StopPlayReleasesButKeepsTheQueueForTheNextKeying) {
    addFile("a.wav", 1000);
    addFile("b.wav", 1000);
    object.PlayMacros("~[tx]~[fa.wav]~[fb.wav]", "", "");
    advance(300);
    object.StopPlay();
    EXPECT_FALSE(lines.rts());
    EXPECT_FALSE(sound.isPlaying());
    EXPECT_EQ(queue(), (Lines{"snd/b.wav"}));
    advance(2000);
    object.StartPlay();
    run();
    EXPECT_EQ(played(), (Lines{"0 play a.wav", "2300 play b.wav"}));
}

TEST_F(CoPelkoranTest, HugeMacroIsQueuedWhole) {
    std::string macro = "~[tx]";
    for (int i = 0; i < 20000; ++i) {
        macro += "~[fa.wav]";
    }
    object.PlayMacros(macro, std::string(100000, 'K'), "");
    run();
    // Unreadable files are skipped at once, each of them; the transmitter
    // stays keyed only because the macro has no "~[rx]".
    EXPECT_EQ(recorder.only({"skip"}).size(), 20000u);
    EXPECT_TRUE(engine.PlayQueue().empty());
    EXPECT_EQ(host.call, std::string(100000, 'K'));
    object.StopPlay();
    EXPECT_FALSE(lines.rts());
}

struct StartDirCase {
    std::string given;
    std::optional<std::string> stored;
};

TEST_F(CoPelkoranTest, StartDirIsTrimmedAndTheMicrophoneIsLookedUpEveryTime) {
    const std::vector<StartDirCase> cases = {
        {"/home/op/keyer/", "/home/op/keyer/"},
        {"/home/op/keyer", "/home/op/keyer"},  // no separator added
        {"  /x/ \t\r\n", "/x/"},
        {std::string("\x01/a\x02", 4) + "b/\x1f", std::string("/a\x02") + "b/"},
        {std::string("\0/n/\0", 5), "/n/"},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"\t\r\n\x1f", std::nullopt},
        {"/\xC3\xA9t\xC3\xA9/", "/\xC3\xA9t\xC3\xA9/"},  // bytes above 127 kept
        {"\xFF\xFE", "\xFF\xFE"},                        // not valid UTF-8: stored as given
    };
    int lookups = 0;
    for (const StartDirCase& c : cases) {
        SCOPED_TRACE(c.given);
        host.startDirs.clear();
        object.SetStartDir(c.given);
        EXPECT_EQ(host.microphoneLookups, ++lookups);
        if (c.stored) {
            EXPECT_EQ(host.startDirs, Lines{*c.stored});
        } else {
            EXPECT_TRUE(host.startDirs.empty());
        }
    }
}

struct BoundsCase {
    const char* name;
    std::function<void(CoPelkoran&)> put;
    WindowFrame::Bounds expected;
};

TEST_F(CoPelkoranTest, EachPropertyChangesOneEdgeOfTheMainWindow) {
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    const std::vector<BoundsCase> cases = {
        {"top", [](CoPelkoran& o) { o.setTop(10); }, {454, 10, 552, 349}},
        {"left", [](CoPelkoran& o) { o.setLeft(-20); }, {-20, 206, 552, 349}},
        {"width", [](CoPelkoran& o) { o.setWidth(800); }, {454, 206, 800, 349}},
        {"height", [](CoPelkoran& o) { o.setHeight(600); }, {454, 206, 552, 600}},
        {"negative width", [](CoPelkoran& o) { o.setWidth(-5); }, {454, 206, 0, 349}},
        {"negative height", [](CoPelkoran& o) { o.setHeight(kMin); }, {454, 206, 552, 0}},
        {"extremes",
         [](CoPelkoran& o) { o.setTop(kMin), o.setLeft(kMax); },
         {kMax, kMin, 552, 349}},
    };
    for (const BoundsCase& c : cases) {
        SCOPED_TRACE(c.name);
        frame.bounds = {454, 206, 552, 349};
        c.put(object);
        EXPECT_EQ(frame.bounds, c.expected);
        EXPECT_EQ(object.Left(), c.expected.left);
        EXPECT_EQ(object.Top(), c.expected.top);
        EXPECT_EQ(object.Width(), c.expected.width);
        EXPECT_EQ(object.Height(), c.expected.height);
    }
}

}  // namespace
}  // namespace pelkora::test
